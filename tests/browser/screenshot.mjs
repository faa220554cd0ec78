// Opens the live view at URL once #screen shows message N and writes a
// screenshot of the page to FILE: node screenshot.mjs URL N FILE
// With `--inspect M X Y SPRITE`, the view is paused at message M, pixel X, Y
// is clicked and sprite SPRITE chosen before the picture is taken.
import { chromium } from '@playwright/test';

const [url, messages, file, option, ...inspect] = process.argv.slice(2);
const browser = await chromium.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium', args: ['--no-sandbox'],
});
const page = await browser.newPage({ viewport: { width: 1280, height: option === '--inspect' ? 900 : 720 } });
await page.goto(url);
await page.waitForFunction(
  (n) => Number(document.getElementById('screen').dataset.message) >= n, Number(messages), { timeout: 60_000 });
if (option === '--inspect') {
  const [point, x, y, sprite] = inspect;
  await page.goto(`${url}#message=${point}`);
  await page.waitForFunction((n) => document.getElementById('screen').dataset.message === n, point);
  const box = await page.locator('#screen').boundingBox();
  await page.mouse.click(Math.ceil(box.x + Number(x)), Math.ceil(box.y + Number(y)));
  await page.locator('#pixel-history li').first().waitFor();
  await page.locator('#sprites tbody tr', { hasText: sprite }).click();
  await page.locator('#sprites tbody tr.selected').waitFor();
}
await page.screenshot({ path: file });
await browser.close();
