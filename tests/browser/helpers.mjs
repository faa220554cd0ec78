// What every browser test needs: a monitor serving the view, a host
// application that sends a scene through the real library, and pixel reads.
import { spawn, spawnSync } from 'node:child_process';
import { closeSync, mkdtempSync, openSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { crc32, inflateSync } from 'node:zlib';
import { test as base, expect } from '@playwright/test';

const runner = (process.env.RUN || '').split(' ').filter(Boolean);
// On Linux the kernel kills what this process starts when it dies, however it
// dies: setpriv sets the signal and then runs the program (under Wine too).
const guard = process.platform === 'linux' ? ['setpriv', '--pdeathsig', 'KILL', '--'] : [];

function command(path, args) {
  const full = [...guard, ...(path.endsWith('.exe') ? [...runner, path, ...args] : [path, ...args])];
  return [full[0], full.slice(1)];
}

// The monitors this process started that have not been stopped, each with
// its folder of lines.
const monitors = new Map();
process.on('exit', () => {
  for (const [child, folder] of monitors) {
    child.kill('SIGKILL');
    rmSync(folder, { recursive: true, force: true });
  }
});

// Ends every monitor not yet stopped, at once.
async function stopAll() {
  await Promise.all([...monitors].map(async ([child, folder]) => {
    if (child.exitCode === null && child.signalCode === null) {
      const exited = new Promise((resolve) => child.once('exit', resolve));
      child.kill('SIGKILL');
      await exited;
    }
    rmSync(folder, { recursive: true, force: true });
    monitors.delete(child);
  }));
}

async function until(check, what, timeout = 60_000) {
  const end = Date.now() + timeout;
  for (;;) {
    const value = check();
    if (value) return value;
    if (Date.now() > end) throw new Error(`timed out waiting for ${what()}`);
    await new Promise((resolve) => setTimeout(resolve, 20));
  }
}

// The token of each monitor started here, by its port. Every request here
// carries it: under Wine the monitor cannot tell whose a Linux program's
// connection is, so it asks these tests for the token as it would a stranger.
const tokens = new Map();
// The monitors started here, by their origin, for saying what a page was shown.
const started = new Map();

// `headers`, with the cookie of the monitor at `url` unless they name a Cookie of their own.
export function withToken(url, headers = {}) {
  const { port } = new URL(url);
  return tokens.has(port) && headers.Cookie === undefined
    ? { Cookie: `vesprine-token-${port}=${tokens.get(port)}`, ...headers } : headers;
}

// Gives the pages of `context` the cookie of the monitor at `url`, as
// opening the address the monitor printed would.
export async function admit(context, url) {
  const { port } = new URL(url);
  if (tokens.has(port)) await context.addCookies([{ name: `vesprine-token-${port}`, value: tokens.get(port), url }]);
}

// Starts `vesprine-monitor --view` on a free port. Its `url` is the page's
// address without the token, to add paths to; `printed` the one it printed.
export async function startMonitor(extra = []) {
  const [program, args] = command(process.env.MONITOR,
    ['--json', '--view', '--listen', '127.0.0.1:0', '--images', process.env.IMAGES, ...extra]);
  // Lines go to a file: a pipe that nobody drains while send() runs would stop the monitor.
  const folder = mkdtempSync(join(tmpdir(), 'vesprine-view-'));
  const lines = join(folder, 'lines');
  const out = openSync(lines, 'w');
  const child = spawn(program, args, { stdio: ['ignore', out, 'pipe'] });
  closeSync(out);
  monitors.set(child, folder);
  let err = '';
  let ended = false;
  child.stderr.on('data', (data) => { err += data; });
  const exited = new Promise((resolve) => child.on('exit', () => {
    ended = true;
    resolve();
  }));
  const stop = async () => {
    if (!ended) child.kill('SIGTERM');
    const timer = setTimeout(() => child.kill('SIGKILL'), 5000);
    await exited;
    clearTimeout(timer);
    rmSync(folder, { recursive: true, force: true });
    monitors.delete(child);
  };
  let printed;
  try {
    printed = await until(() => {
      if (ended) throw new Error(`the monitor ended before it served: ${err}`);
      return err.match(/live view at (\S+)/)?.[1];
    }, () => `the monitor to serve: ${err}`);
  } catch (error) {
    await stop();
    throw error;
  }
  const address = new URL(printed);
  tokens.set(address.port, address.searchParams.get('token'));
  const monitor = {
    url: `${address.origin}/`,
    printed,
    pid: child.pid,
    lines: () => readFileSync(lines, 'utf8').split('\n').filter(Boolean),
    stderr: () => err,
    stop,
  };
  started.set(address.origin, monitor);
  return monitor;
}

// Sends a scene, one export call per line, through the real library; returns
// how many messages it made.
export function send(script) {
  const [program, args] = command(process.env.SENDER, []);
  // A sender that hangs is killed, so that the test fails rather than waits.
  const result = spawnSync(program, args,
    { input: script, encoding: 'latin1', maxBuffer: 1 << 26, timeout: 60_000, killSignal: 'SIGKILL' });
  if (result.status !== 0) throw new Error(`scene_sender failed (${result.signal || result.status}): ${result.stderr}`);
  return countMessages(script);
}

function countMessages(script) {
  return script.split('\n').filter((line) => line.trim()).reduce(
    (sum, line) => sum + (line.startsWith('repeat ') ? Number(line.split(' ')[1]) : 1), 0);
}

// As send, but without waiting: resolves with the count once the sender is
// done, so that the test can watch the monitor meanwhile.
export function sendInBackground(script) {
  const [program, args] = command(process.env.SENDER, []);
  const child = spawn(program, args, { stdio: ['pipe', 'ignore', 'pipe'] });
  let err = '';
  child.stderr.on('data', (data) => { err += data; });
  const timer = setTimeout(() => child.kill('SIGKILL'), 60_000);
  child.stdin.end(script, 'latin1');
  return new Promise((resolve, reject) => child.on('exit', (status, signal) => {
    clearTimeout(timer);
    if (status !== 0) reject(new Error(`scene_sender failed (${signal || status}): ${err}`));
    else resolve(countMessages(script));
  }));
}

// Opens the view and waits until #screen shows message `messages`.
export async function openView(page, url, messages, query = '') {
  await admit(page.context(), url);
  await page.goto(url + query);
  await showsMessage(page, messages);
}

// As long as a page is given to show what it was sent: loading, connecting
// and the monitor's answer (under Wine a page once took more than expect's
// default 5 s).
export const shownWithin = { timeout: 60_000 };

// When it does not, the error says what the page showed and what its monitor had read.
export async function showsMessage(page, messages) {
  try {
    await page.waitForFunction(
      (n) => Number(document.getElementById('screen').dataset.message) >= n, messages, shownWithin);
  } catch (error) {
    error.message += `\nwaiting for message ${messages}: ${await whatWasShown(page)}`;
    throw error;
  }
}

// What the page shows and what its monitor had read, in a line; never throws.
async function whatWasShown(page) {
  const quick = { timeout: 5000 };
  const message = await page.locator('#screen').getAttribute('data-message', quick).catch(() => '(unreadable)');
  const stream = await page.locator('#stream').textContent(quick).catch(() => '(unreadable)');
  let read;
  try {
    const monitor = started.get(new URL(page.url()).origin);
    const lines = monitor.lines();
    read = `its monitor printed ${lines.length} lines, the last ${lines.at(-1) ?? '(none)'}; its stderr: ${monitor.stderr()}`;
  } catch (e) {
    read = `its monitor at ${page.url()} cannot be read (${e.message})`;
  }
  return `the page shows message ${message}, connection "${stream}"; ${read}`;
}

// The RGBA of screen pixel (x, y).
export function pixel(page, x, y) {
  return page.evaluate(([px, py]) =>
    Array.from(document.getElementById('screen').getContext('2d').getImageData(px, py, 1, 1).data), [x, y]);
}

// Every pixel of the screen as RGBA values, for comparing two pages; the
// array also carries the screen's width and height. The bytes cross from the
// page as base64: a whole screen as a list of numbers takes seconds.
export async function allPixels(page) {
  const { width, height, base64 } = await page.evaluate(() => {
    const canvas = document.getElementById('screen');
    const { width: w, height: h } = canvas;
    const data = canvas.getContext('2d').getImageData(0, 0, w, h).data;
    let binary = '';
    for (let i = 0; i < data.length; i += 0x8000) binary += String.fromCharCode.apply(null, data.subarray(i, i + 0x8000));
    return { width: w, height: h, base64: btoa(binary) };
  });
  return Object.assign(new Uint8Array(Buffer.from(base64, 'base64')), { width, height });
}

// The pixels of a PNG file (8 bits a channel, RGB or RGBA, not interlaced)
// as RGBA values, carrying width and height like allPixels' result.
export function decodePng(png) {
  const signature = '89504e470d0a1a0a';
  if (png.subarray(0, 8).toString('hex') !== signature) throw new Error('not a PNG file');
  let header;
  const compressed = [];
  for (let at = 8; at < png.length;) {
    const length = png.readUInt32BE(at);
    const type = png.subarray(at + 4, at + 8).toString('latin1');
    const body = png.subarray(at + 8, at + 8 + length);
    if (crc32(png.subarray(at + 4, at + 8 + length)) !== png.readUInt32BE(at + 8 + length)) {
      throw new Error(`PNG chunk ${type} fails its CRC`);
    }
    if (type === 'IHDR') header = body;
    if (type === 'IDAT') compressed.push(body);
    if (type === 'IEND') break;
    at += 12 + length;
  }
  const [width, height] = [header.readUInt32BE(0), header.readUInt32BE(4)];
  const [depth, colour, interlace] = [header[8], header[9], header[12]];
  if (depth !== 8 || (colour !== 2 && colour !== 6) || interlace !== 0) {
    throw new Error(`PNG of depth ${depth}, colour type ${colour}, interlace ${interlace}: not read here`);
  }
  const channels = colour === 6 ? 4 : 3;
  const stride = width * channels;
  const raw = inflateSync(Buffer.concat(compressed));
  if (raw.length !== height * (stride + 1)) throw new Error(`PNG data of ${raw.length} bytes for ${width}×${height}`);
  const rows = new Uint8Array(height * stride);
  for (let y = 0; y < height; y++) {
    const filter = raw[y * (stride + 1)];
    const line = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
    for (let i = 0; i < stride; i++) {
      const left = i >= channels ? rows[y * stride + i - channels] : 0;
      const up = y > 0 ? rows[(y - 1) * stride + i] : 0;
      const corner = y > 0 && i >= channels ? rows[(y - 1) * stride + i - channels] : 0;
      let predicted = 0;
      if (filter === 1) predicted = left;
      else if (filter === 2) predicted = up;
      else if (filter === 3) predicted = (left + up) >> 1;
      else if (filter === 4) {
        const p = left + up - corner;
        const [pa, pb, pc] = [Math.abs(p - left), Math.abs(p - up), Math.abs(p - corner)];
        predicted = pa <= pb && pa <= pc ? left : pb <= pc ? up : corner;
      } else if (filter !== 0) throw new Error(`PNG row ${y} has filter ${filter}`);
      rows[y * stride + i] = (line[i] + predicted) & 255;
    }
  }
  const data = new Uint8Array(width * height * 4);
  for (let p = 0; p < width * height; p++) {
    for (let c = 0; c < channels; c++) data[p * 4 + c] = rows[p * channels + c];
    if (channels === 3) data[p * 4 + 3] = 255;
  }
  return Object.assign(data, { width, height });
}

// The pixels of a PNG the monitor answers at `path` (e.g. "frame?message=3").
export async function pngPixels(url, path) {
  const response = await fetch(new URL(path, url), { headers: withToken(url) });
  const body = Buffer.from(await response.arrayBuffer());
  if (response.status !== 200) throw new Error(`GET /${path}: ${response.status} ${body.toString().trim()}`);
  expect(response.headers.get('content-type')).toBe('image/png');
  return decodePng(body);
}

// How two screens' RGBA values differ, in a line or two: the number of
// pixels that differ and the first five; empty when they are the same.
export function pixelDifference(actual, expected) {
  const size = (pixels) => (pixels.width ? `${pixels.width}×${pixels.height}` : `${pixels.length / 4} pixels`);
  if (actual.length !== expected.length || (actual.width ?? 0) !== (expected.width ?? 0)) {
    return `the screens differ in size: ${size(actual)}, expected ${size(expected)}`;
  }
  const width = actual.width || expected.width || actual.length / 4;
  const rgba = (pixels, i) => `[${Array.prototype.slice.call(pixels, i, i + 4).join(', ')}]`;
  const first = [];
  let count = 0;
  for (let i = 0; i < actual.length; i += 4) {
    if (actual[i] === expected[i] && actual[i + 1] === expected[i + 1] && actual[i + 2] === expected[i + 2] &&
        actual[i + 3] === expected[i + 3]) continue;
    if (++count > 5) continue;
    const [x, y] = [(i / 4) % width, Math.floor(i / 4 / width)];
    first.push(`(${x}, ${y}) ${rgba(actual, i)}, expected ${rgba(expected, i)}`);
  }
  if (count === 0) return '';
  return `${count} of ${actual.length / 4} pixels differ; the first ${first.length}: ${first.join('; ')}`;
}

// Expects two screens, each a page or the result of allPixels, to hold the
// same pixels. They are compared here, so a failure says only how they differ.
export async function expectSamePixels(actual, expected, label = 'the screen') {
  const pixels = (screen) => (typeof screen?.evaluate === 'function' ? allPixels(screen) : screen);
  const difference = pixelDifference(await pixels(actual), await pixels(expected));
  expect(difference, label).toBe('');
}

// Expects each channel within `tolerance` of the expected RGBA (blending rounds).
export function expectColour(actual, expected, tolerance = 2) {
  const close = actual.length === 4 && actual.every((value, i) => Math.abs(value - expected[i]) <= tolerance);
  expect(close, `pixel ${JSON.stringify(actual)}, expected ${JSON.stringify(expected)}`).toBe(true);
}

// A test with a fresh monitor of its own; when a worker ends, no monitor it
// started outlives it.
export const test = base.extend({
  monitor: async ({ context }, use) => {
    const monitor = await startMonitor();
    await admit(context, monitor.url);
    await use(monitor);
    await monitor.stop();
  },
  monitorsEnded: [async ({}, use) => {
    await use();
    await stopAll();
  }, { scope: 'worker', auto: true }],
});

export { expect };
