// Drawing on the screen's layer: each shape outlined and filled, colour and
// alpha blending, clearing, and a change of resolution.
import { test, expect, send, openView, pixel, expectColour } from './helpers.mjs';

const black = [0, 0, 0, 255];

test('pixels, lines with both end points, clipped far outside the screen', async ({ page, monitor }) => {
  const n = send(`SetColor 255 0 0 255
DrawPixel 10 20
SetColor 0 255 0 255
DrawLine 100 100 110 103
DrawLine -2000000000 300 2000000000 300
DrawLine 50 400 50 400
`);
  await openView(page, monitor.url, n);
  expectColour(await pixel(page, 10, 20), [255, 0, 0, 255]);
  expectColour(await pixel(page, 11, 20), black);
  expectColour(await pixel(page, 100, 100), [0, 255, 0, 255]);
  expectColour(await pixel(page, 110, 103), [0, 255, 0, 255]);
  expectColour(await pixel(page, 105, 102), [0, 255, 0, 255]);  // 1.5 rounds up
  expectColour(await pixel(page, 105, 101), black);
  expectColour(await pixel(page, 111, 103), black);
  expectColour(await pixel(page, 0, 300), [0, 255, 0, 255]);
  expectColour(await pixel(page, 639, 300), [0, 255, 0, 255]);
  expectColour(await pixel(page, 50, 400), [0, 255, 0, 255]);
});

test('rectangles and ellipses, outlined and filled, inside their box', async ({ page, monitor }) => {
  const n = send(`SetColor 0 0 255 255
DrawRect 10 10 20 10 0
DrawRect 40 10 20 10 7
DrawEllipse 100 100 41 21 0
DrawEllipse 200 100 41 21 1
`);
  await openView(page, monitor.url, n);
  const blue = [0, 0, 255, 255];
  // Outlined: corners and edges, not the inside; the box is x..x+w-1.
  for (const [x, y] of [[10, 10], [29, 10], [10, 19], [29, 19], [20, 10], [10, 15]]) expectColour(await pixel(page, x, y), blue);
  for (const [x, y] of [[20, 15], [30, 10], [10, 20], [11, 11]]) expectColour(await pixel(page, x, y), black);
  for (const [x, y] of [[40, 10], [50, 15], [59, 19]]) expectColour(await pixel(page, x, y), blue);
  expectColour(await pixel(page, 60, 15), black);
  // Ellipse: the ends of its axes touch the box, its corners stay empty.
  for (const [x, y] of [[100, 110], [140, 110], [120, 100], [120, 120]]) expectColour(await pixel(page, x, y), blue);
  for (const [x, y] of [[120, 110], [100, 100], [140, 120], [99, 110], [141, 110]]) expectColour(await pixel(page, x, y), black);
  for (const [x, y] of [[200, 110], [220, 110], [220, 101], [240, 110]]) expectColour(await pixel(page, x, y), blue);
  expectColour(await pixel(page, 200, 100), black);
});

test('colour with alpha blends over what is below, once per shape', async ({ page, monitor }) => {
  const n = send(`SetColor 255 255 255 255
DrawRect 0 0 100 100 1
SetColor 255 0 0 128
DrawRect 10 10 30 30 0
DrawRect 50 50 20 20 1
SetColor 300 -20 0 64
DrawPixel 200 200
`);
  await openView(page, monitor.url, n);
  // Red at 128 over white: (255, 127, 127); the outline's corners are not blended twice.
  expectColour(await pixel(page, 10, 10), [255, 127, 127, 255]);
  expectColour(await pixel(page, 39, 39), [255, 127, 127, 255]);
  expectColour(await pixel(page, 60, 60), [255, 127, 127, 255]);
  expectColour(await pixel(page, 20, 20), [255, 255, 255, 255]);
  // Clamped to (255, 0, 0) at 64 over black.
  expectColour(await pixel(page, 200, 200), [64, 0, 0, 255]);
});

test('DrawClear clears the layer; the resolution sets the canvas size', async ({ page, monitor }) => {
  const n = send(`DrawRect 0 0 10 10 1
DrawClear
DrawPixel 700 500
SetResolution 800 600
DrawPixel 799 599
`);
  await openView(page, monitor.url, n);
  const size = await page.evaluate(() => [document.getElementById('screen').width, document.getElementById('screen').height]);
  expect(size).toEqual([800, 600]);
  expectColour(await pixel(page, 5, 5), black);
  expectColour(await pixel(page, 700, 500), black);  // drawn off the screen of its time
  expectColour(await pixel(page, 799, 599), [255, 255, 255, 255]);
  await expect(page.locator('#resolution')).toHaveText('800 × 600');
});
