// How fast the live view keeps up in headless Chromium: drawing commands
// shown per second, distinct frames per second while one of 1,000 sprites
// moves, and, over long sessions served by `vesprine-monitor --replay FILE
// --view`, the time from asking for a point (a seek over the WebSocket) to
// #screen showing it (data-message = N): random points, steps forward, and
// a scrub at 60 asks a second.
// MONITOR, SENDER, IMAGES as for the browser tests; SESSIONS: session files,
// separated by spaces (no seeking without them): node page_rate.mjs
import { spawn, spawnSync } from 'node:child_process';
import { closeSync, openSync, readSync } from 'node:fs';
import { chromium } from '@playwright/test';

// Starts a monitor with `args` and the view on a free port; its address.
async function start(args) {
  const child = spawn(process.env.MONITOR,
    [...args, '--view', '--listen', '127.0.0.1:0', '--images', process.env.IMAGES],
    { stdio: ['ignore', 'ignore', 'pipe'] });
  let err = '';
  child.stderr.on('data', (data) => { err += data; });
  const exited = new Promise((resolve) => child.once('exit', resolve));
  const said = async (pattern) => {
    while (!pattern.test(err)) {
      if (child.exitCode !== null) throw new Error(`the monitor ended: ${err}`);
      await new Promise((resolve) => setTimeout(resolve, 20));
    }
  };
  await said(/live view at (\S+)/);
  return { url: err.match(/live view at (\S+)/)[1], said, stop: () => { child.kill('SIGTERM'); return exited; } };
}

const monitor = await start(['--count', '100000000']);

let sent = 0;
function send(script) {
  const result = spawnSync(process.env.SENDER, [], { input: script, maxBuffer: 1 << 26 });
  if (result.status !== 0) throw new Error(`scene_sender failed: ${result.stderr}`);
  sent += script.split('\n').filter(Boolean).reduce(
    (sum, line) => sum + (line.startsWith('repeat ') ? Number(line.split(' ')[1]) : 1), 0);
}

const browser = await chromium.launch({ executablePath: process.env.CHROMIUM || '/usr/bin/chromium' });
const page = await browser.newPage({ viewport: { width: 1280, height: 720 } });

// In the page: counts the distinct frames #screen shows, and times how long
// an act takes to be shown.
async function instrument() {
  await page.evaluate(() => {
    const canvas = document.getElementById('screen');
    window.rate = { start: performance.now(), frames: 0, message: canvas.dataset.message };
    canvas.addEventListener('shown', () => {
      if (canvas.dataset.message === window.rate.message) return;
      window.rate.message = canvas.dataset.message;
      window.rate.frames += 1;
      window.rate.last = performance.now();
    });
    // Milliseconds from `act()` until #screen shows message n.
    window.timeTo = (n, act) => new Promise((resolve) => {
      const started = performance.now();
      const shown = () => {
        if (canvas.dataset.message !== String(n)) return;
        canvas.removeEventListener('shown', shown);
        resolve(performance.now() - started);
      };
      canvas.addEventListener('shown', shown);
      act();
    });
  });
}

// Starts counting frames; returns a function that waits for message `n` and
// gives the seconds taken and the distinct frames shown since.
async function watch() {
  await page.evaluate(() => {
    window.rate.start = performance.now();
    window.rate.frames = 0;
  });
  return async (n) => {
    await page.waitForFunction((m) => Number(document.getElementById('screen').dataset.message) >= m, n,
      { timeout: 300_000, polling: 10 });
    return page.evaluate(() => ({ seconds: (window.rate.last - window.rate.start) / 1000, frames: window.rate.frames }));
  };
}

function percentile(values, fraction) {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted[Math.min(sorted.length, Math.max(1, Math.ceil(fraction * sorted.length))) - 1];
}
const ms = (value) => (value === undefined ? 'none' : `${value.toFixed(1)} ms`);

await page.goto(monitor.url);
await page.waitForFunction(() => document.getElementById('screen').dataset.message === '0');
await instrument();

const ops = 200000;
let done = await watch();
send(`SetResolution 640 480\nrepeat ${ops / 2} DrawPixel 10 20\nrepeat ${ops / 2 - 1} DrawRect 5 5 40 30 0\n`);
let result = await done(sent);
console.log(`drawing: ${ops} ops (pixels and outlined rectangles) shown in ${result.seconds.toFixed(2)} s: ` +
  `${Math.round(ops / result.seconds)} ops/s, ${(result.frames / result.seconds).toFixed(1)} frames/s`);

const sprites = [];
for (let i = 0; i < 1000; ++i) {
  sprites.push(`CreateSprite "s${i}" 16 16`, `SetEditSprite "s${i}"`, `SetColor ${i % 256} 128 ${255 - (i % 256)} 255`,
    'DrawRect 0 0 16 16 1', `SetBound ${(i * 37) % 624} ${(i * 53) % 464}`, `SetZ ${i % 7}`);
}
send(`DrawClear\n${sprites.join('\n')}\n`);
await page.waitForFunction((m) => Number(document.getElementById('screen').dataset.message) >= m, sent);
// One sprite moves across the screen, 300,000 moves at the host's full rate.
const moves = [];
for (let i = 0; i < 600; ++i) moves.push(`repeat 500 SetBound ${i} ${100 + (i % 300)}`);
done = await watch();
send(`SetEditSprite "s500"\n${moves.join('\n')}\n`);
result = await done(sent);
console.log(`1,000 sprites: 300,000 moves shown in ${result.seconds.toFixed(2)} s, ` +
  `${(result.frames / result.seconds).toFixed(1)} distinct frames/s`);
await monitor.stop();

// The messages in a session file: entries after a 12-byte header, each a
// 24-byte head (kind 0 for a message; its size at offset 20) and its bytes.
function messagesIn(path) {
  const file = openSync(path, 'r');
  const head = Buffer.alloc(24);
  let count = 0;
  for (let at = 12; readSync(file, head, 0, 24, at) === 24; at += 24 + head.readUInt32LE(20)) {
    if (head.readUInt32LE(0) === 0) count += 1;
  }
  closeSync(file);
  return count;
}

// Looking back over each session: the page opened once the replay is done
// and every message is shown.
const sessions = (process.env.SESSIONS || '').split(' ').filter(Boolean);
if (sessions.length === 0) console.log('seeking: no SESSIONS given');
for (const session of sessions) {
  const total = messagesIn(session);
  const replay = await start(['--replay', session]);
  await replay.said(/the replay is done/);
  await page.goto(replay.url);
  await page.waitForFunction((m) => document.getElementById('screen').dataset.message === String(m), total,
    { timeout: 600_000, polling: 100 });
  await instrument();
  const name = session.split('/').pop();

  // Random points, asked for through the address (#message=N) as a link would.
  let seed = 7;
  const random = () => { seed = (seed * 1103515245 + 12345) % 2147483648; return seed / 2147483648; };
  const times = [];
  for (let i = 0; i < 40; ++i) {
    let point = Math.floor(random() * total) + 1;
    if (String(point) === await page.evaluate(() => document.getElementById('screen').dataset.message)) point -= 1;
    times.push(await page.evaluate((n) => window.timeTo(n, () => { location.hash = `#message=${n}`; }), point));
  }
  console.log(`${name}, ${total} messages: seek to a random point, asked to shown: median ${ms(percentile(times, 0.5))}, ` +
    `95th ${ms(percentile(times, 0.95))}, max ${ms(percentile(times, 1))} (40 points)`);

  // Stepping forward from where the last seek left the view.
  const steps = [];
  for (let i = 0; i < 30; ++i) {
    steps.push(await page.evaluate(() => {
      const next = Number(document.getElementById('screen').dataset.message) + 1;
      return window.timeTo(next, () => document.getElementById('forward').click());
    }));
  }
  console.log(`${name}: a step forward, asked to shown: median ${ms(percentile(steps, 0.5))}, ` +
    `95th ${ms(percentile(steps, 0.95))}, max ${ms(percentile(steps, 1))} (30 steps)`);

  // A scrub: the bar moved to a new point at every animation frame for 2 s,
  // 1/2000 of the session apart; the page shows what it can of them.
  const scrub = await page.evaluate(async (count) => {
    const canvas = document.getElementById('screen');
    const bar = document.getElementById('scrub');
    const asked = new Map();
    const latencies = [];
    let lastShown = 0;
    const shown = () => {
      const at = asked.get(canvas.dataset.message);
      if (at === undefined) return;
      asked.delete(canvas.dataset.message);
      latencies.push(performance.now() - at);
      lastShown = performance.now();
    };
    canvas.addEventListener('shown', shown);
    const first = Math.floor(count / 4);
    const step = Math.max(1, Math.floor(count / 2000));
    let i = 0;
    const began = performance.now();
    let lastAsked = '';
    await new Promise((resolve) => {
      const frame = () => {
        if (performance.now() - began >= 2000) { resolve(); return; }
        lastAsked = String(first + i * step);
        asked.set(lastAsked, performance.now());
        bar.value = lastAsked;
        bar.dispatchEvent(new Event('input'));
        i += 1;
        requestAnimationFrame(frame);
      };
      requestAnimationFrame(frame);
    });
    const askedLast = performance.now();
    // Until the last point asked for is shown.
    while (canvas.dataset.message !== lastAsked && performance.now() - askedLast < 10000) {
      await new Promise((resolve) => setTimeout(resolve, 5));
    }
    canvas.removeEventListener('shown', shown);
    return { asks: i, latencies, seconds: (lastShown - began) / 1000, settle: lastShown - askedLast };
  }, total);
  console.log(`${name}: a scrub of ${scrub.asks} points at 60 a second: ${scrub.latencies.length} shown ` +
    `(${(scrub.latencies.length / scrub.seconds).toFixed(1)} a second), asked to shown: median ` +
    `${ms(percentile(scrub.latencies, 0.5))}, 95th ${ms(percentile(scrub.latencies, 0.95))}; ` +
    `the last shown ${ms(Math.max(0, scrub.settle))} after it was asked`);
  await replay.stop();
}

await browser.close();
