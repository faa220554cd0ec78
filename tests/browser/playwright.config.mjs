// The live view's browser tests: Debian's Chromium, one test at a time (the
// monitor serves the one pipe name). Each test has its own budget and the run
// has one, below the TIMEOUT that tests/CMakeLists.txt gives it, so that
// Playwright reports a hang before CTest has to kill it.
import { defineConfig } from '@playwright/test';

export default defineConfig({
  testDir: '.',
  testMatch: '*.test.mjs',
  workers: 1,
  timeout: 120_000,
  globalTimeout: 25 * 60_000,
  reporter: [['list']],
  use: {
    launchOptions: { executablePath: process.env.CHROMIUM || '/usr/bin/chromium', args: ['--no-sandbox'] },
  },
});
