// The page as a whole: a late page equals one that watched, the overlay, and
// saving the screen.
import {
  test, expect, send, openView, showsMessage, pixel, allPixels, expectColour, expectSamePixels, pngPixels, decodePng,
} from './helpers.mjs';

const scene = `SetResolution 320 240
SetBackground "backgrounds/sky.png" 200
SetColor 255 128 0 200
DrawEllipse 20 20 100 60 1
CreateSprite "s" 40 40
SetEditSprite "s"
SetColor 0 255 255 160
DrawEllipse 0 0 40 40 0
DrawString 2 10 "Hi" 14
SetBound 200 100
SetOPoint 20 20
SetAlpha 200
SetEditSprite ""
DrawImageScaled "images/logo.png" 150 150 50 50 100
DrawLine 0 239 319 0
LogI "scene drawn"
`;

test('a page opened late shows the same pixels as one that watched', async ({ browser, monitor }) => {
  const watching = await browser.newPage();
  await openView(watching, monitor.url, 0);
  const n = send(scene);
  await showsMessage(watching, n);
  const late = await browser.newPage();
  await openView(late, monitor.url, n);
  const [a, b] = [await allPixels(watching), await allPixels(late)];
  expect(a.length).toBe(320 * 240 * 4);
  expect(a.some((value, i) => i % 4 !== 3 && value !== 0)).toBe(true);
  await expectSamePixels(b, a);
  await late.reload();
  await showsMessage(late, n);
  await expectSamePixels(late, a);
  // And /frame, for the latest message and by its number, gives those pixels too.
  await expectSamePixels(await pngPixels(monitor.url, 'frame'), a, '/frame');
  await expectSamePixels(await pngPixels(monitor.url, `frame?message=${n}`), a, `/frame?message=${n}`);
});

test('?overlay=1 shows the canvas alone, transparent where nothing covers it', async ({ page, monitor }) => {
  const n = send(`DrawRect 10 10 5 5 1
`);
  await openView(page, monitor.url, n, '?overlay=1');
  expectColour(await pixel(page, 12, 12), [255, 255, 255, 255]);
  expect(await pixel(page, 100, 100)).toEqual([0, 0, 0, 0]);
  await expect(page.locator('#panels')).toBeHidden();
  const background = await page.evaluate(() => getComputedStyle(document.body).backgroundColor);
  expect(background).toBe('rgba(0, 0, 0, 0)');
});

test('the panels show the state, and Save PNG saves the screen at its own size', async ({ page, monitor }) => {
  const n = send(scene);
  await openView(page, monitor.url, n);
  await expect(page.locator('#messages')).toHaveText(String(n));
  await expect(page.locator('#malformed')).toHaveText('0');
  await expect(page.locator('#sprites tbody td').nth(1)).toHaveText('40 × 40');
  await expect(page.locator('#sprites tbody td').nth(2)).toHaveText('200, 100');
  await expect(page.locator('#log')).toContainText('scene drawn');
  await page.locator('#filters input[data-level="I"]').uncheck();
  await expect(page.locator('#log')).not.toContainText('scene drawn');
  const [download] = await Promise.all([page.waitForEvent('download'), page.click('#save')]);
  const file = await download.path();
  const { readFileSync } = await import('node:fs');
  const png = readFileSync(file);
  expect(png.subarray(1, 4).toString()).toBe('PNG');
  expect([png.readUInt32BE(16), png.readUInt32BE(20)]).toEqual([320, 240]);
  await expectSamePixels(decodePng(png), page, 'the saved PNG');
});
