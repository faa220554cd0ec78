// How fast the live view keeps up in headless Chromium: drawing commands
// applied per second, frames per second while 1,000 sprites move, and how
// long seeking to a point of a 1,000,000-message session takes.
// A frame is one update of #screen (data-message changes once per batch).
// MONITOR, SENDER, IMAGES as for the browser tests: node page_rate.mjs
import { spawn, spawnSync } from 'node:child_process';
import { chromium } from '@playwright/test';

const monitor = spawn(process.env.MONITOR,
  ['--count', '100000000', '--view', '--listen', '127.0.0.1:0', '--images', process.env.IMAGES],
  { stdio: ['ignore', 'ignore', 'pipe'] });
let err = '';
monitor.stderr.on('data', (data) => { err += data; });
while (!/live view at (\S+)/.test(err)) await new Promise((resolve) => setTimeout(resolve, 20));
const url = err.match(/live view at (\S+)/)[1];

let sent = 0;
function send(script) {
  const result = spawnSync(process.env.SENDER, [], { input: script, maxBuffer: 1 << 26 });
  if (result.status !== 0) throw new Error(`scene_sender failed: ${result.stderr}`);
  sent += script.split('\n').filter(Boolean).reduce(
    (sum, line) => sum + (line.startsWith('repeat ') ? Number(line.split(' ')[1]) : 1), 0);
}

const browser = await chromium.launch({ executablePath: process.env.CHROMIUM || '/usr/bin/chromium' });
const page = await browser.newPage({ viewport: { width: 1280, height: 720 } });

// Starts counting frames; returns a function that waits for message `n` and
// gives the seconds taken and the frames shown since.
async function watch() {
  await page.evaluate(() => {
    const canvas = document.getElementById('screen');
    window.rate = { start: performance.now(), frames: 0 };
    new MutationObserver(() => { window.rate.frames += 1; window.rate.last = performance.now(); })
      .observe(canvas, { attributes: true, attributeFilter: ['data-message'] });
  });
  return async (n) => {
    await page.waitForFunction((m) => Number(document.getElementById('screen').dataset.message) >= m, n,
      { timeout: 300_000, polling: 10 });
    return page.evaluate(() => ({ seconds: (window.rate.last - window.rate.start) / 1000, frames: window.rate.frames }));
  };
}

await page.goto(url);
await page.waitForFunction(() => document.getElementById('screen').dataset.message === '0');

const ops = 200000;
let done = await watch();
send(`SetResolution 640 480\nrepeat ${ops / 2} DrawPixel 10 20\nrepeat ${ops / 2 - 1} DrawRect 5 5 40 30 0\n`);
let result = await done(sent);
console.log(`drawing: ${ops} ops (pixels and outlined rectangles) in ${result.seconds.toFixed(2)} s: ` +
  `${Math.round(ops / result.seconds)} ops/s, ${(result.frames / result.seconds).toFixed(1)} frames/s`);

const sprites = [];
for (let i = 0; i < 1000; ++i) {
  sprites.push(`CreateSprite "s${i}" 16 16`, `SetEditSprite "s${i}"`, `SetColor ${i % 256} 128 ${255 - (i % 256)} 255`,
    'DrawRect 0 0 16 16 1', `SetBound ${(i * 37) % 624} ${(i * 53) % 464}`, `SetZ ${i % 7}`);
}
send(`DrawClear\n${sprites.join('\n')}\n`);
await page.waitForFunction((m) => Number(document.getElementById('screen').dataset.message) >= m, sent);
const moves = 300000;
done = await watch();
send(`SetEditSprite "s500"\nrepeat ${moves} SetBound 100 100\n`);
result = await done(sent);
console.log(`1,000 sprites: ${moves} moves shown in ${result.seconds.toFixed(2)} s, ` +
  `${(result.frames / result.seconds).toFixed(1)} frames/s`);

// Up to 1,000,000 messages, the last 500,000 pixels on a screen never
// cleared: a point late in the session brings the largest drawing history.
send(`DrawClear\nrepeat ${1000000 - sent - 1} DrawPixel 7 7\n`);
await page.waitForFunction((m) => Number(document.getElementById('screen').dataset.message) >= m, sent,
  { timeout: 300_000 });
// Milliseconds from `act()` until #screen shows message n, timed in the page.
await page.evaluate(() => {
  window.timeTo = (n, act) => {
    const canvas = document.getElementById('screen');
    const start = performance.now();
    return new Promise((resolve) => {
      const observer = new MutationObserver(() => {
        if (canvas.dataset.message === String(n)) {
          observer.disconnect();
          resolve(performance.now() - start);
        }
      });
      observer.observe(canvas, { attributes: true, attributeFilter: ['data-message'] });
      act();
    });
  };
});
const times = [];
for (let i = 1; i <= 20; ++i) {
  const point = i === 20 ? sent - 100 : Math.round((sent * i * 0.618034) % sent);
  times.push(await page.evaluate((n) => window.timeTo(n, () => { location.hash = `#message=${n}`; }), point));
}
times.sort((a, b) => a - b);
console.log(`seeking a ${sent}-message session, 20 points, asked for to drawn: median ${times[10].toFixed(0)} ms, ` +
  `max ${times[19].toFixed(0)} ms`);

// Stepping forward from a point late in the session, where the drawing
// history is largest: only the changes since the point shown travel.
const steps = [];
for (let i = 0; i < 20; ++i) {
  steps.push(await page.evaluate(() => {
    const next = Number(document.getElementById('screen').dataset.message) + 1;
    return window.timeTo(next, () => document.getElementById('forward').click());
  }));
}
steps.sort((a, b) => a - b);
console.log(`stepping forward one message, 20 steps late in the session: median ${steps[10].toFixed(0)} ms, ` +
  `max ${steps[19].toFixed(0)} ms`);

await browser.close();
monitor.kill('SIGTERM');
