// The live view's browser tests: Debian's Chromium, one test at a time (the
// monitor serves the one pipe name).
import { defineConfig } from '@playwright/test';

export default defineConfig({
  testDir: '.',
  testMatch: '*.test.mjs',
  workers: 1,
  timeout: 120_000,
  reporter: [['list']],
  use: {
    launchOptions: { executablePath: process.env.CHROMIUM || '/usr/bin/chromium', args: ['--no-sandbox'] },
  },
});
