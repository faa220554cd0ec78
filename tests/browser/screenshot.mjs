// Opens the live view at URL once #screen shows message N and writes a
// screenshot of the page to FILE: node screenshot.mjs URL N FILE
import { chromium } from '@playwright/test';

const [url, messages, file] = process.argv.slice(2);
const browser = await chromium.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium', args: ['--no-sandbox'],
});
const page = await browser.newPage({ viewport: { width: 1280, height: 720 } });
await page.goto(url);
await page.waitForFunction(
  (n) => Number(document.getElementById('screen').dataset.message) >= n, Number(messages), { timeout: 60_000 });
await page.screenshot({ path: file });
await browser.close();
