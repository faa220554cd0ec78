// vesprine-monitor --export and --compare on session files: the pictures
// equal the view's, clips keep the recorded times, and comparisons find the
// first differing message and screen within their tolerances.
// Run by CTest: node --test export_compare.mjs, with MONITOR (the monitor),
// RUN (what runs Windows programs), EXAMPLES (the demo's folder), SESSION
// (a recorded demo) and FAKE_FFMPEG (a stand-in for ffmpeg) set; the view's
// part needs loopback.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawn, spawnSync } from 'node:child_process';
import { mkdtempSync, mkdirSync, copyFileSync, readFileSync, writeFileSync, existsSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, dirname } from 'node:path';
import { fileURLToPath } from 'node:url';
import { inflateSync } from 'node:zlib';
import http from 'node:http';

const here = dirname(fileURLToPath(import.meta.url));
const monitor = process.env.MONITOR;
const runner = (process.env.RUN || '').split(' ').filter(Boolean);
const windows = monitor.endsWith('.exe');
const examples = process.env.EXAMPLES;
const demo = process.env.SESSION;
const work = mkdtempSync(join(tmpdir(), 'vesprine-export-'));
process.on('exit', () => rmSync(work, { recursive: true, force: true }));

function command(args) {
  const full = windows ? [...runner, monitor, ...args] : [monitor, ...args];
  return [full[0], full.slice(1)];
}

// Runs the monitor to its end (`options` for spawnSync); its status and what it said.
function runWith(options, ...args) {
  const [program, rest] = command([...args, '--images', examples]);
  const result = spawnSync(program, rest, { encoding: 'utf8', timeout: 120_000, killSignal: 'SIGKILL', ...options });
  if (result.error) throw result.error;
  return { status: result.status, out: result.stdout.replace(/\r/g, ''), err: result.stderr.replace(/\r/g, '') };
}
const run = (...args) => runWith({}, ...args);

// Windows programs see the work folder through Wine's Z: drive.
const path = (name) => join(work, name);

// --- Sessions written here, message by message ---------------------------

function short(code, fields = {}) {
  const at = { x: 8, y: 12, width: 16, height: 20, color1: 24, color2: 28, color3: 32, alpha: 36, shapeParam: 52 };
  const bytes = Buffer.alloc(64);
  bytes.writeInt32LE(code, 0);
  bytes.writeInt32LE(code, 4);
  for (const [name, value] of Object.entries(fields)) bytes.writeInt32LE(value, 4 + at[name]);
  return bytes;
}
const colour = (r, g, b, a = 255) => short(5, { color1: r, color2: g, color3: b, alpha: a });
const pixel = (x, y) => short(1, { x, y });
const rect = (x, y, width, height) => short(2, { x, y, width, height, shapeParam: 1 });
const resolution = (width, height) => short(26, { width, height });
const log = (text) => Buffer.concat([Buffer.from([22, 0, 0, 0]), Buffer.from(text), Buffer.from([0])]);

// A session file of [microseconds, message] entries from client 1.
function session(name, entries) {
  const parts = [Buffer.from('VESPSESS'), Buffer.from([1, 0, 0, 0])];
  const head = (kind, time, length) => {
    const h = Buffer.alloc(24);
    h.writeUInt32LE(kind, 0);
    h.writeInt32LE(1, 4);
    h.writeBigInt64LE(BigInt(time), 8);
    h.writeUInt32LE(length, 16);
    h.writeUInt32LE(length, 20);
    return h;
  };
  parts.push(head(1, 0, 0));
  for (const [time, bytes] of entries) parts.push(head(0, time, bytes.length), bytes);
  writeFileSync(path(name), Buffer.concat(parts));
  return path(name);
}

// --- PNG, read back -------------------------------------------------------

function chunks(png) {
  assert.equal(png.subarray(1, 4).toString(), 'PNG');
  const list = [];
  for (let at = 8; at < png.length;) {
    const length = png.readUInt32BE(at);
    list.push({ type: png.subarray(at + 4, at + 8).toString(), data: png.subarray(at + 8, at + 8 + length) });
    at += 12 + length;
  }
  return list;
}

// The RGBA pixels of a PNG this monitor wrote (8-bit RGBA, not interlaced).
function decode(png) {
  const list = chunks(png);
  const header = list.find((c) => c.type === 'IHDR').data;
  const [width, height] = [header.readUInt32BE(0), header.readUInt32BE(4)];
  const raw = inflateSync(Buffer.concat(list.filter((c) => c.type === 'IDAT').map((c) => c.data)));
  const stride = width * 4;
  const out = Buffer.alloc(stride * height);
  for (let y = 0; y < height; y++) {
    const filter = raw[y * (stride + 1)];
    for (let i = 0; i < stride; i++) {
      const value = raw[y * (stride + 1) + 1 + i];
      const a = i >= 4 ? out[y * stride + i - 4] : 0;
      const b = y > 0 ? out[(y - 1) * stride + i] : 0;
      const c = i >= 4 && y > 0 ? out[(y - 1) * stride + i - 4] : 0;
      const p = a + b - c;
      const paeth = Math.abs(p - a) <= Math.abs(p - b) && Math.abs(p - a) <= Math.abs(p - c) ? a
        : Math.abs(p - b) <= Math.abs(p - c) ? b : c;
      out[y * stride + i] = (value + [0, a, b, (a + b) >> 1, paeth][filter]) & 255;
    }
  }
  return { width, height, at: (x, y) => [...out.subarray((y * width + x) * 4, (y * width + x) * 4 + 4)] };
}

// Two screens as the same bytes, or how many pixels differ and where first.
function sameBytes(actual, expected, what) {
  if (actual.equals(expected)) return;
  const [a, b] = [decode(actual), decode(expected)];
  const differ = [];
  for (let y = 0; y < Math.min(a.height, b.height); y++) {
    for (let x = 0; x < Math.min(a.width, b.width); x++) {
      if (a.at(x, y).join() !== b.at(x, y).join()) differ.push(`(${x}, ${y}) ${a.at(x, y)} / ${b.at(x, y)}`);
    }
  }
  assert.fail(`${what}: ${a.width}x${a.height} against ${b.width}x${b.height}; ${differ.length} pixels differ, ` +
    `first ${differ.slice(0, 5).join('; ')}`);
}

// --- Export ---------------------------------------------------------------

test('a picture of the demo is the same bytes on every target', () => {
  const result = run('--replay', demo, '--export', path('demo.png'));
  assert.equal(result.status, 0, result.err);
  sameBytes(readFileSync(path('demo.png')), readFileSync(join(here, '..', 'expected', 'demo.png')), 'the demo');
});

function get(url) {
  return new Promise((resolve, reject) => {
    http.get(url, (response) => {
      const parts = [];
      response.on('data', (data) => parts.push(data));
      response.on('end', () => resolve({ status: response.statusCode, headers: response.headers,
        body: Buffer.concat(parts) }));
    }).on('error', reject);
  });
}

test('a picture after message N equals what the view serves at /frame?message=N', async () => {
  const [program, rest] = command(['--replay', demo, '--view', '--listen', '127.0.0.1:0', '--images', examples]);
  const view = spawn(program, rest, { stdio: ['ignore', 'ignore', 'pipe'] });
  try {
    let said = '';
    view.stderr.on('data', (data) => { said += data; });
    const end = Date.now() + 60_000;
    while (!/replay is done/.test(said)) {
      assert.ok(Date.now() < end, `the view did not start: ${said}`);
      await new Promise((resolve) => setTimeout(resolve, 50));
    }
    // The token goes with every request: under Wine this Linux program's user cannot be told.
    const printed = new URL(said.match(/live view at (\S+)/)[1]);
    const url = `${printed.origin}/`;
    const token = `token=${printed.searchParams.get('token')}`;
    for (const n of [0, 1, 6, 31, 50, 63]) {
      const frame = await get(`${url}frame?message=${n}&${token}`);
      assert.equal(frame.status, 200);
      assert.equal(run('--replay', demo, '--export', path(`at-${n}.png`), '--at', String(n)).status, 0);
      sameBytes(readFileSync(path(`at-${n}.png`)), frame.body, `after message ${n}`);
    }
    // A look back past the end shows the last message, and says so.
    for (const [route, query] of [['frame', ''], ['pixel', '&x=1&y=1'], ['seek', ''], ['sprite', '&id=1']]) {
      const answer = await get(`${url}${route}?message=500${query}&${token}`);
      assert.equal(answer.headers['x-vesprine-message'], '63', `/${route}`);
    }
    const off = await get(`${url}pixel?x=700&y=5&${token}`);
    assert.deepEqual((({ onScreen, width, height }) => ({ onScreen, width, height }))(JSON.parse(off.body)),
      { onScreen: false, width: 640, height: 480 });
    const overlay = await get(`${url}frame?message=63&overlay=1&${token}`);
    assert.equal(run('--replay', demo, '--export', path('overlay.png'), '--overlay').status, 0);
    sameBytes(readFileSync(path('overlay.png')), overlay.body, 'the overlay');
  } finally {
    view.kill('SIGKILL');
  }
});

test('a clip has a frame where the picture changed, for as long as the recorded time', () => {
  // At 10 frames a second: pixels at 0 and 50 ms (frame 0), 250 ms, then
  // after a pause of 3 s, and a log line that changes nothing. Without
  // --pace each pause longer than a frame lasts one frame.
  const file = session('clip.session', [
    [0, resolution(8, 8)], [0, colour(255, 0, 0)], [0, pixel(0, 0)], [50_000, pixel(1, 0)], [250_000, pixel(2, 0)],
    [3_250_000, pixel(3, 0)], [3_260_000, log('nothing drawn')], [3_400_000, pixel(4, 0)], [3_600_000, pixel(5, 0)],
  ]);
  const frames = (name, ...options) => {
    const result = run('--replay', file, '--export', path(name), '--from', '0', '--fps', '10', ...options);
    assert.equal(result.status, 0, result.err);
    const list = chunks(readFileSync(path(name)));
    const count = list.find((c) => c.type === 'acTL').data.readUInt32BE(0);
    const controls = list.filter((c) => c.type === 'fcTL').map((c) => ({
      width: c.data.readUInt32BE(4), height: c.data.readUInt32BE(8), x: c.data.readUInt32BE(12),
      ms: c.data.readUInt16BE(20) * 1000 / c.data.readUInt16BE(22),
    }));
    assert.equal(controls.length, count);
    return controls;
  };
  // Two pixels, then three, four, five and six, a frame each; each later
  // frame holds only the pixel that changed.
  assert.deepEqual(frames('clip.png').map((f) => f.ms), [100, 100, 100, 100, 100]);
  assert.deepEqual(frames('clip.png').slice(1).map((f) => [f.width, f.height, f.x]),
    [[1, 1, 2], [1, 1, 3], [1, 1, 4], [1, 1, 5]]);
  // With --pace the recorded times: frames 0, 2, 32, 34 and 36.
  assert.deepEqual(frames('paced.png', '--pace').map((f) => f.ms), [200, 3000, 200, 200, 100]);
  // Only messages 5 to 7: the picture after message 5 first.
  const part = run('--replay', file, '--export', path('part.png'), '--from', '5', '--to', '7', '--fps', '10');
  assert.equal(part.status, 0, part.err);
  assert.equal(chunks(readFileSync(path('part.png'))).filter((c) => c.type === 'fcTL').length, 2);
});

test('a clip of a session briefer than a handful of frames has a frame per message', () => {
  // Six pixels, the last a repeat, within 2 ms: by recorded time one frame of
  // 100 ms; per message a frame for each that changes the picture.
  const file = session('brief.session', [[0, resolution(8, 8)], [0, colour(255, 0, 0)],
    ...[0, 1, 2, 3, 4, 4].map((x, i) => [i * 400, pixel(x, 0)])]);
  const clip = (...options) => {
    const result = run('--replay', file, '--export', path('brief.png'), '--fps', '10', ...options);
    assert.equal(result.status, 0, result.err);
    const said = result.err.match(/wrote (\d+ frames?) to/)[1];
    const list = chunks(readFileSync(path('brief.png')));
    assert.equal(`${list.filter((c) => c.type === 'fcTL').length} frame`, said.replace(/s$/, ''));
    return said;
  };
  // Messages 1 to 8 and 3 to 8; the last pixel changes nothing and lengthens the frame before.
  assert.equal(clip('--from', '0'), '6 frames');
  assert.equal(clip('--from', '2'), '6 frames');  // the screen after message 2 first
  assert.equal(clip('--from', '0', '--every', '3'), '3 frames');
  assert.equal(clip('--from', '7', '--to', '8'), '1 frame');
  // The demo, as the README exports it: all 63 messages within 20 ms.
  const demoClip = run('--replay', demo, '--export', path('demo-clip.png'), '--from', '40', '--to', '63');
  assert.equal(demoClip.status, 0, demoClip.err);
  assert.ok(Number(demoClip.err.match(/wrote (\d+) frames/)[1]) >= 5, demoClip.err);
  // Past the end: said, and the clip made up to the last message.
  const past = run('--replay', file, '--export', path('past.png'), '--from', '0', '--to', '99');
  assert.equal(past.status, 0, past.err);
  assert.match(past.err, /--to 99 is past the end: .* has 8 messages/);
});

test('a clip holds for any recorded times, the extremes of 64 bits included', () => {
  const [least, most] = [-(2n ** 63n), 2n ** 63n - 1n];
  const file = session('extremes.session', [
    [least, resolution(4, 4)], [most, colour(0, 255, 0)], [least, pixel(0, 0)], [most, pixel(1, 0)], [0n, pixel(2, 0)],
  ]);
  for (const options of [['--from', '0'], ['--from', '1', '--pace']]) {
    const result = run('--replay', file, '--export', path('extremes.png'), '--fps', '10', ...options);
    assert.equal(result.status, 0, result.err);
  }
});

test('a session cut off inside an entry is exported up to its last whole entry, and says so', () => {
  const whole = readFileSync(demo);
  writeFileSync(path('cut.session'), whole.subarray(0, whole.length - 100));
  const result = run('--replay', path('cut.session'), '--export', path('cut.png'));
  assert.equal(result.status, 2);
  const said = result.err.match(/cut off inside the entry at offset \d+.*; exported up to message (\d+)/);
  assert.ok(said, result.err);
  assert.equal(run('--replay', demo, '--export', path('up-to.png'), '--at', said[1]).status, 0);
  sameBytes(readFileSync(path('cut.png')), readFileSync(path('up-to.png')), 'the cut session');
});

test('an export and a compare that run out of memory say so, with status 2', (t) => {
  // Sanitizers reserve more address space than the limit allows; Wine is a 64-bit Linux program.
  if (windows || /-(asan|tsan)\//.test(monitor)) return t.skip('a limit of address space on the monitor alone');
  const big = session('big.session', [[0, resolution(8192, 8192)], [0, rect(0, 0, 8192, 8192)]]);
  for (const args of [['--replay', big, '--export', path('big.png')], ['--compare', big, big]]) {
    const result = spawnSync('sh', ['-c', 'ulimit -v 700000; exec "$@"', 'sh', monitor, ...args],
      { encoding: 'utf8', timeout: 120_000, killSignal: 'SIGKILL' });
    assert.equal(result.status, 2, `${args.join(' ')}: ${result.stderr}`);
    assert.match(result.stderr, /^vesprine-monitor: out of memory: /m);
  }
  assert.ok(!existsSync(path('big.png')));
});

test('clips through ffmpeg, or a clear refusal without it', (t) => {
  const ffmpeg = !windows && spawnSync('ffmpeg', ['-version']).status === 0;
  if (!ffmpeg) {
    const result = run('--replay', demo, '--export', path('clip.mp4'), '--from', '0');
    assert.equal(result.status, 2);
    assert.match(result.err, /needs ffmpeg, which is not on the path; the monitor itself writes \.png/);
    t.skip('ffmpeg is not installed here (or not on the Windows side): only the refusal is checked');
    return;
  }
  for (const [name, magic] of [['clip.gif', 'GIF8'], ['clip.mp4', 'ftyp'], ['clip.webm', '\x1aE\xdf\xa3']]) {
    const result = run('--replay', demo, '--export', path(name), '--from', '0');
    assert.equal(result.status, 0, result.err);
    const bytes = readFileSync(path(name));
    assert.ok(bytes.toString('latin1').slice(0, 12).includes(magic), `${name} starts ${bytes.subarray(0, 12).toString('hex')}`);
  }
});

test('ffmpeg gets the output name as one argument, as a file, with no shell between', () => {
  const bin = path('bin');
  mkdirSync(bin);
  copyFileSync(process.env.FAKE_FFMPEG, join(bin, windows ? 'ffmpeg.exe' : 'ffmpeg'));
  const env = { ...process.env, FAKE_FFMPEG_ARGUMENTS: path('arguments'), PATH: `${bin}:${process.env.PATH}`,
    WINEPATH: `Z:${bin}` };
  // A shell would run the commands, a command prompt expand %OS%, ffmpeg read -clip as an option.
  // No Windows file name holds a quote.
  for (const name of ['clip $(touch marker) `touch marker` %OS% & a.gif', windows ? '-clip.mp4' : '-clip "quoted".mp4']) {
    const result = runWith({ cwd: work, env }, '--replay', demo, '--export', name, '--from', '0');
    assert.equal(result.status, 0, result.err);
    assert.ok(!existsSync(path('marker')), 'a shell ran the command in the name');
    const fit = name.endsWith('.gif') ? [] : ['-vf', 'pad=ceil(iw/2)*2:ceil(ih/2)*2', '-pix_fmt', 'yuv420p'];
    const given = readFileSync(path('arguments'), 'latin1').replace(/\r/g, '').split('\n').slice(1, -1);
    assert.deepEqual(given, ['-loglevel', 'error', '-y', '-f', 'rawvideo', '-pix_fmt', 'rgba', '-s', given[8],
      '-r', '30', '-i', 'pipe:0', ...fit, `file:${name}`]);
    const [, frames, written] = result.err.match(/wrote (\d+) frames to (.*)\n/) ?? [];
    assert.equal(written, name, result.err);
    const [width, height] = given[8].split('x').map(Number);
    assert.equal(readFileSync(path(name), 'latin1'), `${frames * width * height * 4} bytes of frames\n`);
  }
});

// --- Compare --------------------------------------------------------------

const base = [[0, resolution(40, 30)], [0, colour(10, 100, 200)], [0, rect(0, 0, 20, 10)], [0, colour(255, 255, 255)],
  [0, pixel(30, 20)], [0, log('done')]];

function compare(a, b, ...options) {
  return run('--compare', a, b, ...options);
}

test('identical sessions agree; one changed colour is found, with its message and pixels', () => {
  const a = session('a.session', base);
  assert.equal(compare(a, a).status, 0);
  assert.equal(compare(demo, demo).status, 0);
  const changed = base.map(([time, bytes], i) => [time, i === 1 ? colour(10, 100, 201) : bytes]);
  const b = session('b.session', changed);
  const result = compare(a, b, '--diff', path('diff.png'));
  assert.equal(result.status, 1, result.out + result.err);
  assert.match(result.out, /messages differ at message 2\n {2}A: #1 SetColor color1=10 color2=100 color3=200 alpha=255\n {2}B: #1 SetColor color1=10 color2=100 color3=201 alpha=255/);
  assert.match(result.out, /screens differ after message 3: 200 pixels \(0 may\), x 0 to 19, y 0 to 9/);
  const diff = decode(readFileSync(path('diff.png')));
  assert.deepEqual(diff.at(0, 0), [255, 0, 0, 255]);
  assert.deepEqual(diff.at(20, 10), diff.at(39, 29));  // faded grey where they agree
  // The same in JSON lines.
  const json = compare(a, b, '--json').out.trim().split('\n').map((line) => JSON.parse(line));
  assert.deepEqual(json.map((line) => [line.messages ?? line.screens, line.message ?? line.after]),
    [['differ', 2], ['differ', 3]]);
  assert.equal(json[1].pixels, 200);
  // A picture of the differences that cannot be written: said with why, not claimed, status 2.
  const unwritable = [[work, 'it is a folder'], ...(windows ? [] : [['/dev/full', 'No space left on device']])];
  for (const [target, why] of unwritable) {
    for (const format of [[], ['--json']]) {
      const failed = compare(a, b, '--diff', target, ...format);
      assert.equal(failed.status, 2, failed.out + failed.err);
      assert.ok(failed.err.includes(`cannot write ${target}: ${why}\n`), failed.err);
      assert.match(failed.out, /screens differ after message 3|"after":3,.*"screens":"differ"/);
      assert.doesNotMatch(failed.out, /drawn in|"diff"/);
    }
  }
});

test('a message inserted, and sessions of different lengths', () => {
  const a = session('a.session', base);
  const inserted = session('inserted.session', [...base.slice(0, 3), [0, pixel(5, 25)], ...base.slice(3)]);
  const result = compare(a, inserted);
  assert.equal(result.status, 1);
  assert.match(result.out, /messages differ at message 4\n {2}A: #1 SetColor[^\n]*\n {2}B: #1 DrawPixel x=5 y=25/);
  assert.match(result.out, /screens differ after message 4: 1 pixels/);
  // One ends first: a log line more changes no pixel.
  const longer = session('longer.session', [...base, [0, log('one more')]]);
  const ends = compare(a, longer);
  assert.equal(ends.status, 0, ends.out);
  assert.match(ends.out, /A ends after message 6; B goes on with message 7: #1 LogI "one more"/);
  // A pixel more is a difference.
  const drawn = session('drawn.session', [...base, [0, pixel(1, 29)]]);
  assert.equal(compare(a, drawn).status, 1);
  assert.equal(compare(a, drawn, '--at', '6').status, 0);
  assert.equal(compare(a, drawn, '--final').status, 1);
});

test('tolerances: met exactly agrees, exceeded by one differs', () => {
  const a = session('a.session', base);
  // Every pixel of the 20x10 rectangle off by 3 in blue.
  const b = session('b.session', base.map(([time, bytes], i) => [time, i === 1 ? colour(10, 100, 203) : bytes]));
  assert.equal(compare(a, b, '--max-difference', '3').status, 0);
  assert.equal(compare(a, b, '--max-difference', '2').status, 1);
  assert.equal(compare(a, b, '--total-pixels', '200').status, 0);
  assert.equal(compare(a, b, '--total-pixels', '199').status, 1);
  assert.equal(compare(a, b, '--max-difference', '2', '--total-pixels', '199', '--final').status, 1);
});

test('a session without messages is refused, unless expected', () => {
  const empty = session('empty.session', []);
  const a = session('a.session', base);
  for (const [first, second] of [[empty, empty], [a, empty], [empty, a]]) {
    const result = compare(first, second);
    assert.equal(result.status, 2, result.out);
    assert.match(result.err, /empty\.session holds no message, so there is nothing to compare \(--allow-empty/);
    assert.equal(result.out, '');
  }
  const allowed = compare(empty, empty, '--allow-empty');
  assert.equal(allowed.status, 0, allowed.err);
  assert.match(allowed.out, /the same 0 messages/);
});

test('a session given through a pipe is read once, as from its file', (t) => {
  if (windows) return t.skip('a pipe as a path is /dev/stdin on Linux');
  // The monitor with `file` on its standard input through a pipe (node's own would be a socket).
  const through = (file, ...args) => {
    const result = spawnSync('sh', ['-c', 'cat "$0" | "$@"', file, monitor, ...args, '--images', examples],
      { encoding: 'utf8', timeout: 120_000, killSignal: 'SIGKILL' });
    return { status: result.status, out: result.stdout, err: result.stderr };
  };
  const same = through(demo, '--compare', demo, '/dev/stdin');
  assert.equal(same.status, 0, same.out + same.err);
  assert.match(same.out, /^the same 63 messages$/m);
  const empty = through(session('empty.session', []), '--compare', demo, '/dev/stdin');
  assert.equal(empty.status, 2, empty.out);
  assert.match(empty.err, /\/dev\/stdin holds no message, so there is nothing to compare/);
  // A pipe cannot be read ahead for how brief the range is: by recorded
  // time, unless --every says otherwise; then the same clip as the file's.
  const timed = through(demo, '--replay', '/dev/stdin', '--export', path('piped.png'), '--to', '63');
  assert.equal(timed.status, 0, timed.err);
  assert.match(timed.err, /wrote 1 frame to/);
  const every = through(demo, '--replay', '/dev/stdin', '--export', path('piped.png'), '--to', '63', '--every', '1');
  assert.equal(every.status, 0, every.err);
  assert.equal(run('--replay', demo, '--export', path('file.png'), '--to', '63').status, 0);
  assert.ok(readFileSync(path('piped.png')).equals(readFileSync(path('file.png'))), 'the clips differ');
});

test('a file that is not a session, or is missing, is an error', () => {
  const a = session('a.session', base);
  writeFileSync(path('not.session'), 'not a session at all');
  const not = compare(a, path('not.session'));
  assert.equal(not.status, 2);
  assert.match(not.err, /not a vesprine-monitor session/);
  assert.equal(compare(a, path('missing.session')).status, 2);
  assert.ok(!existsSync(path('never.png')));
});

// --- Images that cannot be read --------------------------------------------

// A full record naming an image: DrawImage (7) at 0, 0, or SetBackground (27).
function imageRecord(code, name) {
  const bytes = Buffer.alloc(4296);
  bytes.writeInt32LE(code, 0);
  bytes.writeInt32LE(code, 4);
  if (code === 27) bytes.writeInt32LE(255, 4 + 36);
  bytes.write(name, 4 + 192, 'latin1');
  bytes.writeInt32LE(name.length, 4 + 4288);
  return bytes;
}
const drawImage = (name) => imageRecord(7, name);
const background = (name) => imageRecord(27, name);

// The monitor run in the work folder with no --images, as a user in another folder than the recording's.
function runHere(...args) {
  const [program, rest] = command(args);
  const result = spawnSync(program, rest, { cwd: work, encoding: 'utf8', timeout: 120_000, killSignal: 'SIGKILL' });
  if (result.error) throw result.error;
  return { status: result.status, out: result.stdout.replace(/\r/g, ''), err: result.stderr.replace(/\r/g, '') };
}

// The absolute path the monitor tries for a relative one, as that platform writes it.
const tried = (name) => (windows ? `Z:${join(work, name)}`.replace(/\//g, '\\') : join(work, name));
const warning = (name) => `vesprine-monitor: warning: cannot read image ${tried(name)} (no such file); drawn as a ` +
  'placeholder; --images DIR says where relative paths are read from\n';
const occurrences = (text, part) => text.split(part).length - 1;

// The view, replaying: what it says on standard error once both images were tried.
async function viewSays(file) {
  const [program, rest] = command(['--replay', file, '--view', '--listen', '127.0.0.1:0']);
  const view = spawn(program, rest, { cwd: work, stdio: ['ignore', 'ignore', 'pipe'] });
  let said = '';
  view.stderr.on('data', (data) => { said += String(data).replace(/\r/g, ''); });
  try {
    const end = Date.now() + 60_000;
    while (!(said.includes(warning('images/logo.png')) && said.includes(warning('backgrounds/sky.png')))) {
      assert.ok(Date.now() < end, `no warnings from the view: ${said}`);
      await new Promise((resolve) => setTimeout(resolve, 50));
    }
    await new Promise((resolve) => setTimeout(resolve, 300));
    return said.replace(/\r/g, '');
  } finally {
    view.kill('SIGKILL');
  }
}

test('an image that cannot be read is said on standard error, once, with the path tried, in every mode that draws', async () => {
  const file = session('images.session', [[0, resolution(40, 30)], [0, background('backgrounds/sky.png')],
    [0, drawImage('images/logo.png')], [0, drawImage('images/logo.png')]]);
  const modes = [
    ['--export', () => runHere('--replay', file, '--export', path('images.png')).err],
    ['--compare', () => runHere('--compare', file, file).err],
    ['--view', () => viewSays(file)],
  ];
  for (const [mode, said] of modes) {
    const err = await said();
    for (const name of ['images/logo.png', 'backgrounds/sky.png']) {
      assert.equal(occurrences(err, warning(name)), 1, `${mode}: ${err}`);
    }
  }
  // From the recording's folder, nothing to say.
  assert.doesNotMatch(run('--replay', file, '--export', path('images.png')).err, /warning/);
});

test('past some hundreds of unreadable images, one line says more were missing', () => {
  const file = session('many.session', Array.from({ length: 300 }, (_, i) => [0, drawImage(`images/none-${i}.png`)]));
  const result = runHere('--replay', file, '--export', path('many.png'));
  assert.equal(result.status, 0, result.err);
  assert.equal(occurrences(result.err, 'warning: cannot read image'), 200, result.err);
  assert.equal(occurrences(result.err, 'warning: more images cannot be read; they are not listed\n'), 1, result.err);
});

test('a compare says when a side drew placeholders: two sessions missing the same image agree', () => {
  const drawn = session('drawn-images.session', [[0, resolution(40, 30)], [0, drawImage('images/logo.png')]]);
  const text = runHere('--compare', drawn, drawn);
  assert.equal(text.status, 0, text.err);
  assert.match(text.out, /^A drew 1 image as a placeholder, B 1: their files could not be read/m);
  const json = runHere('--compare', drawn, drawn, '--json').out.trim().split('\n').map((line) => JSON.parse(line));
  assert.deepEqual(json.find((line) => line.placeholders)?.placeholders, { a: 1, b: 1 });
  assert.doesNotMatch(run('--compare', drawn, drawn).out, /placeholder/);
});
