// Images from real PNG files, their placeholder, the background, and text
// in UTF-8 and Shift-JIS.
import { test, expect, send, openView, pixel, expectColour } from './helpers.mjs';

const [red, green, blue, yellow] = [[255, 0, 0, 255], [0, 255, 0, 255], [0, 0, 255, 255], [255, 255, 0, 255]];

test('an image at its own size and scaled with alpha', async ({ page, monitor }) => {
  const n = send(`DrawImage "images/logo.png" 10 10
DrawImageScaled "images/logo.png" 100 100 64 32 255
DrawImageScaled "images/logo.png" 300 300 32 32 128
`);
  await openView(page, monitor.url, n);
  expectColour(await pixel(page, 10, 10), red);
  expectColour(await pixel(page, 41, 10), green);
  expectColour(await pixel(page, 10, 41), blue);
  expectColour(await pixel(page, 41, 41), yellow);
  expectColour(await pixel(page, 42, 42), [0, 0, 0, 255]);
  expectColour(await pixel(page, 131, 100), red);  // stretched: the red quadrant is 32 wide
  expectColour(await pixel(page, 132, 100), green);
  expectColour(await pixel(page, 100, 131), blue);
  expectColour(await pixel(page, 300, 300), [128, 0, 0, 255]);
});

test('a missing image is a visible placeholder, and the log says why', async ({ page, monitor }) => {
  const n = send(`DrawImage "images/missing.png" 10 10
DrawImageScaled "images" 100 10 50 40 255
`);
  await openView(page, monitor.url, n);
  expectColour(await pixel(page, 10, 10), [255, 0, 255, 255]);   // its outline, 32 x 32
  expectColour(await pixel(page, 41, 41), [255, 0, 255, 255]);
  expectColour(await pixel(page, 42, 42), [0, 0, 0, 255]);
  expectColour(await pixel(page, 149, 49), [255, 0, 255, 255]);  // 50 x 40
  await expect(page.locator('#log')).toContainText('cannot draw image "images/missing.png": no such file');
  await expect(page.locator('#log')).toContainText('"images": not a regular file');
});

test('the background is stretched over the screen with its alpha', async ({ page, monitor }) => {
  const n = send(`SetBackground "images/logo.png" 255
SetColor 255 255 255 255
DrawPixel 5 5
`);
  await openView(page, monitor.url, n);
  expectColour(await pixel(page, 100, 100), red);
  expectColour(await pixel(page, 500, 100), green);
  expectColour(await pixel(page, 100, 400), blue);
  expectColour(await pixel(page, 500, 400), yellow);
  expectColour(await pixel(page, 5, 5), [255, 255, 255, 255]);  // the drawing layer lies above it
  send(`SetBackground "images/logo.png" 128`);
  await page.waitForFunction(() => document.getElementById('screen').dataset.message === '4');
  expectColour(await pixel(page, 100, 100), [128, 0, 0, 255]);
  send(`SetBackground "" 255`);
  await page.waitForFunction(() => document.getElementById('screen').dataset.message === '5');
  expectColour(await pixel(page, 100, 100), [0, 0, 0, 255]);
});

// The number of pixels in a box that are not black.
function inked(page, x, y, w, h) {
  return page.evaluate(([bx, by, bw, bh]) => {
    const data = document.getElementById('screen').getContext('2d').getImageData(bx, by, bw, bh).data;
    let count = 0;
    for (let i = 0; i < data.length; i += 4) if (data[i] + data[i + 1] + data[i + 2] > 0) count++;
    return count;
  }, [x, y, w, h]);
}

test('text in UTF-8 and in Shift-JIS draws glyphs at its size', async ({ page, monitor }) => {
  const n = send(`DrawString 10 10 "Gr\\xC3\\xBC\\xC3\\x9Fe \\xE4\\xB8\\x96\\xE7\\x95\\x8C" 24
SetEncodingShiftJIS
DrawString 10 100 "\\x83\\x65\\x83\\x58\\x83\\x67" 32
DrawString 10 200 "\\x83\\x65\\x83\\x58\\x83\\x67" 0
`);
  await openView(page, monitor.url, n);
  expect(await inked(page, 10, 10, 200, 30)).toBeGreaterThan(100);
  expect(await inked(page, 10, 100, 110, 40)).toBeGreaterThan(100);
  expect(await inked(page, 10, 100, 110, 40)).toBeGreaterThan(await inked(page, 10, 200, 110, 40));
  expect(await inked(page, 0, 0, 10, 10)).toBe(0);  // nothing above or left of its top-left
  // Not drawn as U+FFFD boxes: Shift-JIS テスト differs from three replacement characters.
  send(`SetEncodingUTF8
DrawString 10 300 "\\x83\\x65\\x83\\x58\\x83\\x67" 32`);
  await page.waitForFunction(() => document.getElementById('screen').dataset.message === String(6));
  const glyphs = (y) => page.evaluate((top) => Array.from(
    document.getElementById('screen').getContext('2d').getImageData(10, top, 110, 40).data), y);
  expect(await glyphs(100)).not.toEqual(await glyphs(300));
});
