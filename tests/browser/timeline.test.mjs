// The timeline: seeking shows the screen as it was right after a message,
// the same pixels /frame gives; pausing holds the picture while messages
// are counted; a pixel's history names the messages that changed it; a
// chosen sprite is outlined; and #screen says no message before its first frame.
import { readFileSync } from 'node:fs';
import { join } from 'node:path';
import { test as base } from '@playwright/test';
import {
  test, expect, startMonitor, send, openView, showsMessage, pixel, allPixels, expectSamePixels, pngPixels, decodePng,
  shownWithin, withToken,
} from './helpers.mjs';

// Clears, sprites moving over the screen, text and an image: lines, each one message.
const lines = [
  'SetResolution 120 90', 'SetColor 200 40 40 255', 'DrawRect 0 0 60 40 1', 'CreateSprite "ship" 12 8',
  'SetEditSprite "ship"', 'SetColor 40 200 40 255', 'DrawEllipse 0 0 12 8 1', 'SetEditSprite ""',
  'SetBound 10 10', 'SetColor 250 250 0 200', 'DrawString 2 50 "timeline" 14', 'DrawImage "images/logo.png" 70 40',
];
for (let i = 0; i < 40; i++) {
  lines.push(`SetColor ${i * 6} 100 ${255 - i * 6} 255`, `DrawLine 0 ${i * 2} 119 ${89 - i * 2}`);
  if (i === 20) lines.push('DrawClear');
  if (i % 5 === 0) lines.push('SetEditSprite "ship"', `SetBound ${i * 2} ${i}`, 'SetEditSprite ""');
}
const last = lines.length;
const points = [0, 1, 3, 12, 13, 14, 50, 61, last - 1, last];

// Waits until the page shows point `n` of `total`, paused.
async function pausedAt(page, n, total) {
  await expect(page.locator('#timeline')).toHaveAttribute('data-state', 'paused');
  await expect(page.locator('#screen')).toHaveAttribute('data-message', String(n), shownWithin);
  await expect(page.locator('#position')).toHaveText(`message ${n} of ${total}, paused`);
  await expect(page).toHaveURL(new RegExp(`#message=${n}$`));
}

base('the screen after seeking to message N equals a fresh view of the first N messages, and /frame', async ({ page }) => {
  const fresh = new Map();
  for (const n of points) {
    const monitor = await startMonitor();
    try {
      if (n > 0) send(lines.slice(0, n).join('\n') + '\n');
      await openView(page, monitor.url, n);
      fresh.set(n, await allPixels(page));
    } finally {
      await monitor.stop();
    }
  }
  // The points differ from each other, so that a wrong one cannot pass.
  for (const [a, b] of [[0, 1], [3, 12], [13, 14], [14, 50], [50, 61], [last - 1, last]]) {
    expect(fresh.get(a).some((value, i) => value !== fresh.get(b)[i]), `message ${a} and ${b} look alike`).toBe(true);
  }
  const monitor = await startMonitor();
  try {
    expect(send(lines.join('\n') + '\n')).toBe(last);
    await openView(page, monitor.url, last);
    const check = async (n) => {
      await pausedAt(page, n, last);
      await expectSamePixels(page, fresh.get(n), `after message ${n}`);
    };
    // Opened at an address that names the point, as a link would open it;
    // and /frame gives the very same pixels.
    for (const n of points) {
      await page.goto('about:blank');
      await page.goto(`${monitor.url}#message=${n}`);
      await check(n);
      await expect(page.locator('#around li.selected')).toHaveCount(n > 0 ? 1 : 0);
      if (n > 0) await expect(page.locator('#around li.selected')).toContainText(lines[n - 1].split(' ')[0]);
      await expectSamePixels(await pngPixels(monitor.url, `frame?message=${n}`), fresh.get(n), `/frame?message=${n}`);
    }
    // The address changed in place.
    for (const n of [50, 3, last]) {
      await page.evaluate((m) => { location.hash = `#message=${m}`; }, n);
      await check(n);
    }
    // The slider.
    for (const n of [61, 12, 0, 50]) {
      await page.locator('#scrub').fill(String(n));
      await check(n);
    }
    // ◀ and ▶.
    await page.locator('#scrub').fill('13');
    await check(13);
    await page.locator('#forward').click();
    await check(14);
    await page.locator('#back').click();
    await check(13);
    // The arrow keys, with nothing focused that takes them itself.
    await page.locator('#scrub').fill('1');
    await check(1);
    await page.evaluate(() => document.activeElement.blur());
    await page.keyboard.press('ArrowLeft');
    await check(0);
    await page.keyboard.press('ArrowRight');
    await check(1);
    await page.locator('#scrub').fill(String(last - 1));
    await check(last - 1);
    await page.evaluate(() => document.activeElement.blur());
    await page.keyboard.press('ArrowRight');
    await check(last);
    // Past the last message: the last is shown.
    await page.keyboard.press('ArrowRight');
    await check(last);
    // Back to live.
    await page.locator('#pause').click();
    await expect(page.locator('#timeline')).toHaveAttribute('data-state', 'live');
    await expect(page.locator('#position')).toHaveText(`live: message ${last}`);
    await expect(page).not.toHaveURL(/#message/);
    await expectSamePixels(page, fresh.get(last), 'live again');
  } finally {
    await monitor.stop();
  }
});

test('paused, the picture holds while messages are counted; resumed, it is live', async ({ page, monitor }) => {
  send('SetColor 255 0 0 255\nDrawRect 0 0 20 20 1\n');
  await openView(page, monitor.url, 2);
  await page.locator('#pause').click();
  await pausedAt(page, 2, 2);
  const held = await allPixels(page);
  await expectSamePixels(held, await pngPixels(monitor.url, 'frame?message=2'), 'paused at 2');
  send('SetColor 0 0 255 255\nDrawRect 0 0 20 20 1\nDrawPixel 50 50\n');
  await expect(page.locator('#position')).toHaveText('message 2 of 5, paused');
  await expect(page.locator('#scrub')).toHaveAttribute('max', '5');
  await expect(page.locator('#screen')).toHaveAttribute('data-message', '2');
  await expectSamePixels(page, held, 'paused while messages arrive');
  await expect(page.locator('#pause')).toHaveText('Resume');
  await page.locator('#pause').click();
  await expect(page.locator('#timeline')).toHaveAttribute('data-state', 'live');
  await expect(page.locator('#screen')).toHaveAttribute('data-message', '5');
  await expect(page.locator('#position')).toHaveText('live: message 5');
  expect(await pixel(page, 5, 5)).toEqual([0, 0, 255, 255]);
  expect(await pixel(page, 50, 50)).toEqual([0, 0, 255, 255]);
  await expectSamePixels(page, await pngPixels(monitor.url, 'frame?message=5'), 'live again');
  // Live, it follows what arrives.
  send('DrawPixel 60 60\n');
  await showsMessage(page, 6);
  expect(await pixel(page, 60, 60)).toEqual([255, 255, 255, 255]);
});

test('a point put in the address is sought though an answer rewrites the address before the page reads it', async ({ page, monitor }) => {
  send(lines.join('\n') + '\n');
  await openView(page, monitor.url, 20, '#message=20');
  await pausedAt(page, 20, last);
  // The answer for 20 rewriting the address between the change and its event.
  await page.evaluate(() => {
    location.hash = '#message=7';
    history.replaceState(null, '', '#message=20');
  });
  await pausedAt(page, 7, last);
});

test('going back to where the view was opened live is live again', async ({ page, monitor }) => {
  send(lines.join('\n') + '\n');
  await openView(page, monitor.url, last);
  await page.evaluate(() => { location.hash = '#message=7'; });
  await pausedAt(page, 7, last);
  await page.goBack();
  await expect(page.locator('#timeline')).toHaveAttribute('data-state', 'live');
  await expect(page.locator('#position')).toHaveText(`live: message ${last}`);
});

test('a step taken while an earlier step is answered goes on from the last one asked', async ({ page, monitor }) => {
  // The monitor's messages to the page held back here, and let through when the test says.
  let hold = false;
  const held = [];
  let toPage;
  await page.routeWebSocket(/\/live/, (ws) => {
    toPage = ws;
    ws.connectToServer().onMessage((message) => { if (hold) held.push(message); else ws.send(message); });
  });
  send(lines.join('\n') + '\n');
  await openView(page, monitor.url, 20, '#message=20');
  await pausedAt(page, 20, last);
  hold = true;
  await page.keyboard.press('ArrowRight');  // asks 21
  const frame = () => held.findIndex((message) => typeof message !== 'string');
  await expect.poll(frame).toBeGreaterThanOrEqual(0);
  await page.keyboard.press('ArrowRight');  // asks 22
  // The answer for 21, up to its frame, lands after 22 was asked.
  for (const message of held.splice(0, frame() + 1)) toPage.send(message);
  await expect(page.locator('#screen')).toHaveAttribute('data-message', '21');
  await page.keyboard.press('ArrowRight');  // asks 23
  hold = false;
  for (const message of held.splice(0)) toPage.send(message);
  await pausedAt(page, 23, last);
});

test('Resume pressed while a seek is answered, then a pause, ends at the paused point exactly', async ({ page, monitor }) => {
  // Many full-screen shapes, so that a seek far from the last one takes a
  // while (about a second here).
  const k = 2500;
  const total = send(`SetResolution 640 480
SetColor 10 20 30 255
repeat ${k} DrawRect 0 0 640 480 1
SetColor 200 0 0 255
DrawRect 5 5 10 10 1
SetColor 0 90 0 255
repeat ${k} DrawEllipse 0 0 640 480 1
SetColor 0 0 200 255
DrawRect 40 40 10 10 1
DrawPixel 100 100
DrawPixel 101 100
DrawPixel 102 100
`);
  const slow = 2 * k + 5;   // the last ellipse
  const red = k + 4;        // the red square
  await openView(page, monitor.url, total);
  // Every message #screen shows, in order.
  await page.evaluate(() => {
    const canvas = document.getElementById('screen');
    window.shownMessages = [];
    new MutationObserver(() => window.shownMessages.push(Number(canvas.dataset.message)))
      .observe(canvas, { attributes: true, attributeFilter: ['data-message'] });
  });
  const resume = page.locator('#pause');
  await page.locator('#scrub').fill('3');
  await pausedAt(page, 3, total);
  // How long the slow seek takes, from a point as far from it.
  const start = Date.now();
  await page.locator('#scrub').fill(String(slow));
  await pausedAt(page, slow, total);
  const answered = Date.now() - start;
  await page.locator('#scrub').fill('3');
  await pausedAt(page, 3, total);

  // Ends paused at `n` with its pixels, and stays there for twice the time
  // the abandoned seek takes, so that a late answer to it would be seen.
  const endsAt = async (n, how) => {
    await pausedAt(page, n, total);
    await page.waitForTimeout(Math.max(1000, 2 * answered));
    const shown = await page.evaluate(() => window.shownMessages.slice(-8));
    expect(shown.at(-1), `${how}: the last messages shown were ${shown.join(', ')}`).toBe(n);
    await pausedAt(page, n, total);
    const expected = await pngPixels(monitor.url, `frame?message=${n}`);
    await expectSamePixels(page, expected, `${how}: after message ${n}`);
    const fresh = await page.context().newPage();
    try {
      await fresh.goto(`${monitor.url}#message=${n}`);
      await pausedAt(fresh, n, total);
      await expectSamePixels(page, fresh, `${how}: against a fresh view of message ${n}`);
    } finally {
      await fresh.close();
    }
  };

  // A slow seek, Resume before it is answered, and Pause again: paused at the latest.
  await page.locator('#scrub').fill(String(slow));
  await resume.click();
  await resume.click();
  await endsAt(total, 'Pause after Resume');

  // The same, then steps back with the keys in quick succession.
  await page.locator('#scrub').fill(String(slow));
  await resume.click();
  await resume.click();
  await page.keyboard.press('ArrowLeft');
  await page.keyboard.press('ArrowLeft');
  await page.keyboard.press('ArrowLeft');
  await endsAt(total - 3, 'three steps back after Resume');

  // A slow seek, Resume, and a point in the address.
  await page.locator('#scrub').fill(String(slow));
  await resume.click();
  await page.evaluate((m) => { location.hash = `#message=${m}`; }, red);
  await endsAt(red, 'an address after Resume');
  expect(await pixel(page, 10, 10)).toEqual([200, 0, 0, 255]);
});

// Clicks screen pixel (x, y) at a whole CSS pixel inside it, so that no
// rounding of the mouse's position moves the click to a neighbour.
async function clickPixel(page, x, y) {
  const [left, top, scale] = await page.locator('#screen').evaluate((c) => {
    const box = c.getBoundingClientRect();
    return [box.left, box.top, box.width / c.width];
  });
  await page.mouse.click(Math.ceil(left + (x + 0.25) * scale), Math.ceil(top + (y + 0.25) * scale));
}

// Source-over of premultiplied RGBA, rounded to nearest as the monitor does.
const over = (src, dst) => src.map((value, i) => value + Math.round(dst[i] * (255 - src[3]) / 255));
const premultiplied = ([r, g, b, a]) => [r, g, b].map((c) => Math.round(c * a / 255)).concat(a);
// A layer's pixel as shown over black.
const shown = ([r, g, b]) => [r, g, b, 255];

test('a pixel\'s history: the commands that drew it and what changed it, latest first; a click on one seeks there', async ({ page, monitor }) => {
  const first = send(`SetColor 255 0 0 128
DrawRect 0 0 50 50 1
DrawPixel 30 30
SetColor 0 255 0 128
DrawLine 0 10 40 10
DrawRect 20 20 10 10 0
SetColor 0 0 255 128
DrawEllipse 5 5 11 11 1
DrawPixel 11 11
`);
  const rect = premultiplied([255, 0, 0, 128]);
  const line = over(premultiplied([0, 255, 0, 128]), rect);
  const ellipse = over(premultiplied([0, 0, 255, 128]), line);
  await openView(page, monitor.url, first);
  await clickPixel(page, 10, 10);
  // A click pauses the view at the message shown.
  await pausedAt(page, first, first);
  const items = page.locator('#pixel-history li');
  await expect(page.locator('#pixel-note')).toHaveText(
    `Pixel 10, 10 at message ${first}: 3 messages drew on it or changed it, the latest first.`);
  const rgba = (colour) => `rgba ${colour.join(', ')}`;
  await expect(items).toHaveText([
    `8  DrawEllipse on screen: ${rgba(shown(ellipse))}`,
    `5  DrawLine on screen: ${rgba(shown(line))}`,
    `2  DrawRect on screen: ${rgba(shown(rect))}`,
  ]);

  // The background shows through; a sprite moved over the pixel, then drawn on there.
  const total = first + send(`SetBackground "images/logo.png" 255
CreateSprite "<lid>" 4 4
SetEditSprite "<lid>"
SetColor 255 255 0 255
DrawRect 0 0 4 4 1
SetBound 8 8
SetColor 0 255 255 255
DrawPixel 2 2
SetEditSprite ""
`);
  await expect(page.locator('#position')).toHaveText(`message ${first} of ${total}, paused`);
  await page.locator('#pause').click();
  await showsMessage(page, total);
  await clickPixel(page, 10, 10);
  await pausedAt(page, total, total);
  // The background is the logo stretched over 640 × 480: pixel 10, 10 shows its pixel 0, 0.
  const logo = decodePng(readFileSync(join(process.env.IMAGES, 'images/logo.png')));
  const background = over(ellipse, premultiplied(Array.from(logo.subarray(0, 4))));
  const expected = [
    [17, `17  DrawPixel on sprite <lid> at 2, 2: rgba 0, 255, 255, 255`],
    [15, `15  SetBound over it: rgba 255, 255, 0, 255`],
    [10, `10  SetBackground over it: ${rgba(shown(background))}`],
    [8, `8  DrawEllipse on screen: ${rgba(shown(ellipse))}`],
    [5, `5  DrawLine on screen: ${rgba(shown(line))}`],
    [2, `2  DrawRect on screen: ${rgba(shown(rect))}`],
  ];
  await expect(items).toHaveText(expected.map(([, text]) => text));
  await expect(page.locator('#pixel-note')).toContainText(`Pixel 10, 10 at message ${total}: 6 messages`);
  // A click on an entry shows the screen right after it: the pixel as listed,
  // and the history up to there.
  for (const [i, [m, text]] of expected.entries()) {
    await items.nth(i === 0 ? 0 : 1).click();
    await pausedAt(page, m, total);
    await expect(items).toHaveText(expected.slice(i).map(([, t]) => t));
    const colour = text.match(/rgba (\d+), (\d+), (\d+), (\d+)$/).slice(1).map(Number);
    expect(await pixel(page, 10, 10), `pixel 10, 10 after message ${m}`).toEqual(colour);
  }
});

test('a pixel drawn 400,000 times lists the latest 1,000', async ({ page, monitor }) => {
  test.skip(!!process.env.RUN, 'sending 400,000 messages takes minutes under Wine');
  const n = send('SetColor 0 0 255 255\nDrawLine 0 5 20 5\nrepeat 400000 DrawPixel 5 5\nSetColor 255 0 0 255\nDrawRect 0 0 9 9 0\n');
  await openView(page, monitor.url, n);
  await clickPixel(page, 5, 5);
  const items = page.locator('#pixel-history li');
  await expect(items).toHaveCount(1000, { timeout: 30_000 });
  await expect(items.first()).toHaveText('400002  DrawPixel on screen: rgba 0, 0, 255, 255');
  await expect(items.last()).toHaveText('399003  DrawPixel on screen: rgba 0, 0, 255, 255');
  await expect(page.locator('#pixel-note')).toHaveText(`Pixel 5, 5 at message ${n}: 400001 messages drew on it ` +
    'or changed it, the latest first; the latest 1000 are listed.');
  // The outline around the pixel does not reach it.
  await expect(page.locator('#pixel-history li', { hasText: 'DrawRect' })).toHaveCount(0);
});

test('a chosen sprite is outlined with its O-point, and its surface shown alone', async ({ page, monitor }) => {
  const n = send(`SetColor 0 255 0 255
DrawRect 0 0 100 100 1
CreateSprite "box" 10 6
SetEditSprite "box"
SetColor 255 0 0 255
DrawRect 0 0 9 6 1
SetColor 0 0 255 255
DrawPixel 9 5
SetOPoint 5 3
SetBound 40 30
`);
  await openView(page, monitor.url, n);
  const screen = await allPixels(page);
  await expectSamePixels(screen, await pngPixels(monitor.url, `frame?message=${n}`), 'the screen');
  await page.locator('#sprites tbody tr').first().click();
  await expect(page.locator('#sprites tbody tr.selected')).toHaveCount(1);
  const mark = (x, y) => page.evaluate(([px, py]) =>
    Array.from(document.getElementById('marks').getContext('2d').getImageData(px, py, 1, 1).data), [x, y]);
  // The sprite covers 35..44 by 27..32; the outline runs just outside it,
  // the O-point's cross through 40, 30.
  await expect.poll(async () => (await mark(34, 28))[3]).toBeGreaterThan(0);
  for (const [x, y] of [[45, 28], [40, 26], [40, 33], [40, 25], [46, 30]]) {
    expect((await mark(x, y))[3], `the mark at ${x}, ${y}`).toBeGreaterThan(0);
  }
  for (const [x, y] of [[36, 28], [43, 31], [60, 60], [33, 28]]) {
    expect((await mark(x, y))[3], `no mark at ${x}, ${y}`).toBe(0);
  }
  await page.locator('#alone').check();
  const surface = page.locator('img#surface');
  await expect(surface).toBeVisible();
  await expect.poll(() => surface.evaluate((img) => img.complete && img.naturalWidth)).toBe(10);
  const alone = await surface.evaluate((img) => {
    const canvas = document.createElement('canvas');
    [canvas.width, canvas.height] = [img.naturalWidth, img.naturalHeight];
    const ctx = canvas.getContext('2d');
    ctx.drawImage(img, 0, 0);
    return { width: canvas.width, height: canvas.height, data: Array.from(ctx.getImageData(0, 0, canvas.width, canvas.height).data) };
  });
  expect([alone.width, alone.height]).toEqual([10, 6]);
  expect(await surface.evaluate((img) => [img.width, img.height])).toEqual([10, 6]);
  const id = await page.locator('#sprites tbody tr.selected').getAttribute('data-id');
  const expected = await pngPixels(monitor.url, `sprite?id=${id}&message=${n}`);
  await expectSamePixels(Object.assign(alone.data, { width: 10, height: 6 }), expected, 'the surface');
  const at = (x, y) => alone.data.slice((y * 10 + x) * 4, (y * 10 + x) * 4 + 4);
  expect(at(0, 0)).toEqual([255, 0, 0, 255]);
  expect(at(9, 5)).toEqual([0, 0, 255, 255]);
  expect(at(9, 0)).toEqual([0, 0, 0, 0]);  // the sprite alone: nothing of the screen under it
  // The screen itself is untouched by the marks and the surface.
  await expectSamePixels(page, screen, 'the screen with a sprite chosen');
});

test('#screen says no message before its first frame is drawn', async ({ page, monitor }) => {
  const n = send('DrawRect 0 0 10 10 1\n');
  const html = await (await fetch(monitor.url, { headers: withToken(monitor.url) })).text();
  expect(html).toContain('<canvas id="screen"');
  expect(html).not.toContain('data-message');
  // The monitor's messages reach the page, but its frames are held back:
  // neither the screen nor the panels show the state sent before them.
  const held = [];
  let toPage = null;
  let released = false;
  await page.routeWebSocket(/\/live$/, (ws) => {
    toPage = ws;
    ws.connectToServer().onMessage((message) => {
      if (typeof message === 'string' || released) ws.send(message); else held.push(message);
    });
  });
  await page.goto(monitor.url);
  await expect.poll(() => held.length, shownWithin).toBeGreaterThan(0);
  expect(await page.locator('#screen').getAttribute('data-message')).toBeNull();
  await expect(page.locator('#messages')).toHaveText('0');
  released = true;
  for (const frame of held) toPage.send(frame);
  await showsMessage(page, n);
  await expect(page.locator('#messages')).toHaveText(String(n));
  expect(await pixel(page, 5, 5)).toEqual([255, 255, 255, 255]);
});
