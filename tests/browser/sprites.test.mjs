// Sprites: the drawing target, z order, visibility, alpha, bound and O-point.
import { test, expect, send, openView, pixel, expectColour } from './helpers.mjs';

const black = [0, 0, 0, 255];

test('drawing goes to the current sprite, in its own coordinates', async ({ page, monitor }) => {
  const n = send(`CreateSprite "box" 10 10
SetColor 255 0 0 255
DrawPixel 1 1
SetEditSprite "box"
DrawRect 0 0 10 10 1
SetBound 100 50
SetEditSprite ""
DrawPixel 2 2
`);
  await openView(page, monitor.url, n);
  expectColour(await pixel(page, 1, 1), [255, 0, 0, 255]);
  expectColour(await pixel(page, 2, 2), [255, 0, 0, 255]);
  expectColour(await pixel(page, 0, 0), black);
  expectColour(await pixel(page, 100, 50), [255, 0, 0, 255]);
  expectColour(await pixel(page, 109, 59), [255, 0, 0, 255]);
  expectColour(await pixel(page, 110, 60), black);
  await expect(page.locator('#sprites tbody tr')).toHaveCount(1);
  await expect(page.locator('#sprites tbody td').first()).toHaveText('box');
});

test('bound places the O-point; z orders sprites, then creation order', async ({ page, monitor }) => {
  const n = send(`CreateSprite "low" 20 20
SetEditSprite "low"
SetColor 255 0 0 255
DrawRect 0 0 20 20 1
SetBound 100 100
SetOPoint 10 10
SetZ 5
CreateSprite "high" 20 20
SetEditSprite "high"
SetColor 0 0 255 255
DrawRect 0 0 20 20 1
SetBound 100 100
SetZ 1
CreateSprite "same" 4 4
SetEditSprite "same"
SetColor 0 255 0 255
DrawRect 0 0 4 4 1
SetBound 90 90
SetZ 5
`);
  await openView(page, monitor.url, n);
  // "low" covers 90..109 (O-point 10,10 at 100,100) and lies above "high" (z 5 > 1).
  expectColour(await pixel(page, 92, 92), [0, 255, 0, 255]);  // "same": z 5, created after "low"
  expectColour(await pixel(page, 95, 95), [255, 0, 0, 255]);
  expectColour(await pixel(page, 100, 100), [255, 0, 0, 255]);
  expectColour(await pixel(page, 89, 100), black);
  expectColour(await pixel(page, 115, 115), [0, 0, 255, 255]);  // only "high" reaches 119
  expectColour(await pixel(page, 120, 120), black);
});

test('visibility and sprite alpha', async ({ page, monitor }) => {
  const n = send(`SetColor 255 255 255 255
CreateSprite "hidden" 10 10
SetEditSprite "hidden"
DrawRect 0 0 10 10 1
SetVisible 0
CreateSprite "faded" 10 10
SetEditSprite "faded"
DrawRect 0 0 10 10 1
SetBound 20 0
SetAlpha 128
CreateSprite "shown" 10 10
SetEditSprite "shown"
DrawRect 0 0 10 10 1
SetBound 40 0
SetVisible 0
SetVisible -3
`);
  await openView(page, monitor.url, n);
  expectColour(await pixel(page, 5, 5), black);
  expectColour(await pixel(page, 25, 5), [128, 128, 128, 255]);
  expectColour(await pixel(page, 45, 5), [255, 255, 255, 255]);
});

test('disposing removes a sprite from the screen and the list', async ({ page, monitor }) => {
  const n = send(`CreateSprite "a" 10 10
SetEditSprite "a"
DrawRect 0 0 10 10 1
CreateSprite "b" 10 10
SetEditSprite "b"
DrawRect 0 0 10 10 1
SetBound 20 0
DisposeCurrentSprite
DrawPixel 30 5
`);
  await openView(page, monitor.url, n);
  expectColour(await pixel(page, 5, 5), [255, 255, 255, 255]);
  expectColour(await pixel(page, 25, 5), black);
  expectColour(await pixel(page, 30, 5), [255, 255, 255, 255]);  // none current: the screen
  await expect(page.locator('#sprites tbody tr')).toHaveCount(1);
});
