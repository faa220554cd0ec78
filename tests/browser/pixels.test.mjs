// Comparing two screens: a difference is told by its count and first five
// pixels, however large the screens and however much of them differs.
import { test as base, expect } from '@playwright/test';
import { expectSamePixels, pixelDifference } from './helpers.mjs';

// A screen of `width` × `height` pixels, each from `colour(x, y)`.
function screen(width, height, colour) {
  const data = [];
  for (let y = 0; y < height; ++y) for (let x = 0; x < width; ++x) data.push(...colour(x, y));
  return Object.assign(data, { width, height });
}

const grey = () => [10, 20, 30, 255];

base('the same pixels pass', async () => {
  await expectSamePixels(screen(4, 3, grey), screen(4, 3, grey));
});

base('a difference names its count and the first five pixels with both colours', () => {
  const changed = [[3, 0], [0, 1], [2, 1], [1, 2], [3, 2], [0, 3], [3, 3]];
  const other = screen(4, 4, (x, y) => (changed.some(([cx, cy]) => cx === x && cy === y) ? [10, 20, 30, 128] : grey()));
  expect(pixelDifference(other, screen(4, 4, grey))).toBe('7 of 16 pixels differ; the first 5: ' +
    '(3, 0) [10, 20, 30, 128], expected [10, 20, 30, 255]; (0, 1) [10, 20, 30, 128], expected [10, 20, 30, 255]; ' +
    '(2, 1) [10, 20, 30, 128], expected [10, 20, 30, 255]; (1, 2) [10, 20, 30, 128], expected [10, 20, 30, 255]; ' +
    '(3, 2) [10, 20, 30, 128], expected [10, 20, 30, 255]');
});

base('screens of different sizes are told apart by size', () => {
  const wide = screen(4, 3, grey);
  expect(pixelDifference(wide, screen(3, 4, grey))).toBe('the screens differ in size: 4×3, expected 3×4');
  expect(pixelDifference(wide, screen(4, 4, grey))).toBe('the screens differ in size: 4×3, expected 4×4');
});

base('two whole screens that differ everywhere fail with a short message', async () => {
  const a = screen(320, 240, (x, y) => [x % 256, y, 7, 255]);
  const b = screen(320, 240, (x, y) => [x % 256, y, 8, 255]);
  const failure = await expectSamePixels(a, b, 'after message 9').then(() => null, (error) => error.message);
  expect(failure).toContain('after message 9');
  const first = '(0, 0) [0, 0, 7, 255], expected [0, 0, 8, 255]; ';
  expect(failure).toContain(`76800 of 76800 pixels differ; the first 5: ${first}`);
  expect(failure.length).toBeLessThan(2000);
});
