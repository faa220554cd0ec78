// What reaches the page from the pipe stays text; the server answers only
// its own page, with headers that keep its answers to it; it asks for a
// token of all but the monitor's own user on loopback; pages that stop
// reading or crowd in hold nothing up.
import http from 'node:http';
import net from 'node:net';
import { readFileSync } from 'node:fs';
import {
  test, expect, startMonitor, send, sendInBackground, openView, showsMessage, pixel, shownWithin, withToken,
} from './helpers.mjs';
import { openWebSocket } from './websocket.mjs';

// One request on a connection of its own, with any headers (Host, Origin
// and Sec-Fetch-* included) and the monitor's token: its status, headers and body.
function request(url, path, { method = 'GET', headers = {} } = {}) {
  const { hostname, port } = new URL(url);
  return new Promise((resolve, reject) => {
    const options = { hostname, port, path, method, headers: withToken(url, headers), agent: false };
    const sent = http.request(options, (response) => {
      let body = '';
      response.setEncoding('utf8');
      response.on('data', (data) => { body += data; });
      response.on('end', () => resolve({ status: response.statusCode, headers: response.headers, body }));
    });
    sent.on('error', reject);
    sent.end();
  });
}

// The headers that every answer carries, whatever its status.
function expectGuarded(answer, what) {
  const policy = answer.headers['content-security-policy'] ?? '';
  expect(policy, `${what}: Content-Security-Policy`).toContain("default-src 'none'");
  expect(policy, `${what}: Content-Security-Policy`).toContain("script-src 'self'");
  expect(policy, `${what}: Content-Security-Policy allows blob: or data:`).not.toMatch(/blob:|data:/);
  expect(answer.headers['x-content-type-options'], `${what}: X-Content-Type-Options`).toBe('nosniff');
  expect(answer.headers['cross-origin-resource-policy'], `${what}: Cross-Origin-Resource-Policy`).toBe('same-origin');
  expect(answer.headers['referrer-policy'], `${what}: Referrer-Policy`).toBe('no-referrer');
  expect(answer.headers['access-control-allow-origin'], `${what}: Access-Control-Allow-Origin`).toBeUndefined();
}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// Repeats `check` until it returns something, for at most `ms`.
async function within(ms, what, check) {
  const end = Date.now() + ms;
  for (;;) {
    const value = await check();
    if (value) return value;
    if (Date.now() > end) throw new Error(`not within ${ms / 1000} s: ${what}`);
    await sleep(100);
  }
}

test('markup in a log line, a sprite name, the lines around a point and a pixel history shows as text', async ({ page, monitor }) => {
  const markup = '<img src=x onerror=window.owned=1><b>bold</b>';
  const name = '<img src=y onerror=window.owned=2>';
  const n = send(`LogW "${markup}"
CreateSprite "${name}" 4 4
SetEditSprite "${name}"
DrawRect 0 0 4 4 1
SetBound 20 20
DrawPixel 1 1
SetEditSprite ""
DrawString 100 100 "<script>window.owned=3</script>" 12
`);
  await openView(page, monitor.url, n);
  await expect(page.locator('#log')).toContainText(markup);
  await expect(page.locator('#sprites tbody td').first()).toHaveText(name);
  // The messages around a point.
  await page.goto(`${monitor.url}#message=1`);
  await expect(page.locator('#screen')).toHaveAttribute('data-message', '1', shownWithin);
  await expect(page.locator('#around li.selected')).toContainText(markup);
  await expect(page.locator('#around li').nth(1)).toContainText(name);
  // A pixel's history, its sprite named.
  await page.locator('#pause').click();
  await showsMessage(page, n);
  const box = await page.locator('#screen').boundingBox();
  const scale = box.width / 640;
  await page.mouse.click(Math.ceil(box.x + 21.25 * scale), Math.ceil(box.y + 21.25 * scale));
  await expect(page.locator('#pixel-history li').first()).toHaveText(`6  DrawPixel on sprite ${name} at 1, 1: rgba 255, 255, 255, 255`);
  const made = '#log img, #log b, #sprites img, #around img, #around b, #pixel-history img, script:not([src])';
  expect(await page.locator(made).count()).toBe(0);
  expect(await page.evaluate(() => window.owned)).toBeUndefined();
});

test('every answer carries the headers that keep it to this page, the WebSocket\'s included', async ({ monitor }) => {
  send('CreateSprite "s" 2 2\nDrawPixel 1 1\n');
  await expect.poll(() => monitor.lines().length).toBe(2);
  const answers = [
    ['/', 200], ['/main.js', 200], ['/live.js', 200], ['/view.css', 200], ['/frame', 200], ['/frame?message=1', 200],
    ['/pixel?x=1&y=1', 200], ['/seek?message=1', 200], ['/sprite?id=1&message=2', 200], ['/sprite?id=99', 404],
    ['/nothing', 404], ['/seek?message=x', 400], ['/frame?at=1', 400],
  ];
  for (const [path, status] of answers) {
    const answer = await request(monitor.url, path);
    expect(answer.status, path).toBe(status);
    expectGuarded(answer, `GET ${path}`);
  }
  const pageAnswer = await request(monitor.url, '/');
  expect(pageAnswer.headers['content-type']).toBe('text/html; charset=utf-8');
  expect((await request(monitor.url, '/main.js')).headers['content-type']).toBe('text/javascript; charset=utf-8');
  expectGuarded(await request(monitor.url, '/', { headers: { Host: 'attacker.example' } }), '403 for a foreign Host');
  expectGuarded(await request(monitor.url, '/seek?message=1', { headers: { 'Sec-Fetch-Site': 'cross-site' } }), '403 cross-site');
  expectGuarded(await request(monitor.url, '/', { method: 'POST' }), 'POST /');
  const live = await openWebSocket(monitor.url);
  expect(live.status).toBe(101);
  expectGuarded(live, 'the WebSocket handshake');
  await live.close();
  // The 503s are checked where they are made, below.
});

test('queries that are not plain numbers, or have unknown or repeated keys, are refused', async ({ monitor }) => {
  send('CreateSprite "s" 2 2\nDrawPixel 1 1\n');
  await expect.poll(() => monitor.lines().length).toBe(2);
  const bad = ['message=', 'message=abc', 'message=-1', 'message=%2B1', 'message=+1', 'message=1e3', 'message=0x10',
    'message=1.5', 'message=%201', 'message=99999999999999999999999', 'message=1&message=2', 'unknown=1',
    'message', 'message=1&', '&message=1', 'message=1&&', '%6Dessage=1', 'MESSAGE=1', 'message=1;x=2', '='];
  const good = { '/frame': 'message=1', '/pixel': 'x=1&y=1', '/seek': 'message=1', '/sprite': 'id=1&message=2' };
  for (const [path, base] of Object.entries(good)) {
    expect((await request(monitor.url, `${path}?${base}`)).status, `${path}?${base}`).toBe(200);
    for (const query of bad) {
      for (const target of [`${path}?${query}`, `${path}?${base}&${query}`]) {
        const answer = await request(monitor.url, target);
        expect(answer.status, target).toBe(400);
        expect(answer.body, target).toMatch(new RegExp(`^expected \\${path}\\?`));
      }
    }
  }
  for (const target of ['/pixel?x=1', '/pixel?y=1', '/pixel?x=1&y=1&x=2', '/pixel?x=1&y=99999999', '/sprite?id=1&x=1']) {
    expect((await request(monitor.url, target)).status, target).toBe(400);
  }
});

test('a foreign Host is refused', async ({ monitor }) => {
  const { port } = new URL(monitor.url);
  expect((await request(monitor.url, '/')).status).toBe(200);
  expect((await request(monitor.url, '/', { headers: { Host: `localhost:${port}` } })).status).toBe(200);
  for (const host of [`attacker.example:${port}`, 'attacker.example', `127.0.0.1:${Number(port) + 1}`, `127.0.0.1.attacker.example:${port}`]) {
    for (const path of ['/', '/main.js', '/frame', '/seek?message=0']) {
      const answer = await request(monitor.url, path, { headers: { Host: host } });
      expect(answer.status, `${path} with Host: ${host}`).toBe(403);
    }
    expect((await openWebSocket(monitor.url, { headers: { Host: host } })).status, `/live with Host: ${host}`).toBe(403);
  }
});

test('cross-site requests are refused on every path; a link to the page from anywhere opens it', async ({ context, monitor }) => {
  const n = send('CreateSprite "s" 2 2\nDrawPixel 1 1\n');
  await expect.poll(() => monitor.lines().length).toBe(n);
  const { port } = new URL(monitor.url);
  const paths = ['/', '/index.html', '/main.js', '/view.css', '/frame', '/frame?message=1', '/pixel?x=1&y=1',
    '/seek?message=1', '/sprite?id=1', '/nothing', '/live'];
  const crossSite = [
    { 'Sec-Fetch-Site': 'cross-site' },
    { 'Sec-Fetch-Site': 'same-site' },
    { Origin: 'http://attacker.example' },
    { Origin: `http://127.0.0.1:${Number(port) + 1}` },
    { Origin: 'null' },
    { 'Sec-Fetch-Site': 'same-origin', Origin: 'http://attacker.example' },
    // A navigation, but not a top-level one to the page.
    { 'Sec-Fetch-Site': 'cross-site', 'Sec-Fetch-Mode': 'navigate', 'Sec-Fetch-Dest': 'iframe' },
  ];
  for (const path of paths) {
    for (const headers of crossSite) {
      const answer = await request(monitor.url, path, { headers });
      expect(answer.status, `${path} with ${JSON.stringify(headers)}`).toBe(403);
      expect(answer.body).toContain('cross-site requests are refused');
    }
  }
  for (const path of paths.filter((p) => p !== '/')) {
    const navigation = { 'Sec-Fetch-Site': 'cross-site', 'Sec-Fetch-Mode': 'navigate', 'Sec-Fetch-Dest': 'document' };
    expect((await request(monitor.url, path, { headers: navigation })).status, `a navigation to ${path}`).toBe(403);
  }
  for (const headers of crossSite) {
    const live = await openWebSocket(monitor.url, { headers });
    expect(live.status, `a WebSocket with ${JSON.stringify(headers)}`).toBe(403);
  }
  // A top-level navigation to the page, from anywhere: answered.
  const navigation = await request(monitor.url, '/', {
    headers: { 'Sec-Fetch-Site': 'cross-site', 'Sec-Fetch-Mode': 'navigate', 'Sec-Fetch-Dest': 'document', 'Sec-Fetch-User': '?1' } });
  expect(navigation.status).toBe(200);
  expect(navigation.body).toContain('<canvas id="screen"');
  expect((await request(monitor.url, '/', { method: 'POST', headers: {
    'Sec-Fetch-Site': 'cross-site', 'Sec-Fetch-Mode': 'navigate', 'Sec-Fetch-Dest': 'document' } })).status).toBe(403);
  // Same-origin, and typed into the address bar: answered.
  for (const headers of [{ 'Sec-Fetch-Site': 'same-origin', 'Sec-Fetch-Mode': 'cors', Origin: `http://127.0.0.1:${port}` },
    { 'Sec-Fetch-Site': 'none', 'Sec-Fetch-Mode': 'navigate', 'Sec-Fetch-Dest': 'document' }]) {
    expect((await request(monitor.url, '/seek?message=1', { headers })).status, JSON.stringify(headers)).toBe(200);
  }
  const own = await openWebSocket(monitor.url, { headers: { Origin: `http://127.0.0.1:${port}` } });
  expect(own.status).toBe(101);
  await own.close();

  // In Chromium: a page of another site can neither open the live view's
  // WebSocket nor read its answers, but a link from it opens the view.
  const other = http.createServer((_, response) => {
    response.setHeader('Content-Type', 'text/html');
    response.end(`<a id="go" href="${monitor.url}">the view</a>`);
  });
  await new Promise((resolve) => other.listen(0, '127.0.0.1', resolve));
  const page = await context.newPage();
  try {
    await page.goto(`http://127.0.0.1:${other.address().port}/`);
    const opened = await page.evaluate((url) => new Promise((resolve) => {
      const socket = new WebSocket(url.replace('http:', 'ws:') + 'live');
      socket.onopen = () => resolve('opened');
      socket.onclose = () => resolve('closed');
    }), monitor.url);
    expect(opened).toBe('closed');
    const read = await page.evaluate((url) => fetch(url + 'seek?message=1').then((r) => r.status, (e) => e.name), monitor.url);
    expect(read).toBe('TypeError');
    const image = await page.evaluate((url) => new Promise((resolve) => {
      const img = new Image();
      img.onload = () => resolve('loaded');
      img.onerror = () => resolve('refused');
      img.src = url + 'frame';
    }), monitor.url);
    expect(image).toBe('refused');
    await page.locator('#go').click();
    await showsMessage(page, n);
    expect(await pixel(page, 1, 1)).toEqual([255, 255, 255, 255]);
    // Once there, the page's own requests are same-origin and answered.
    expect(await page.evaluate(() => fetch('/seek?message=1').then((r) => r.status))).toBe(200);
  } finally {
    await page.close();
    await new Promise((resolve) => other.close(resolve));
  }
});

test('16 live views do not lock out the page\'s files; a 17th is told plainly, and served once one leaves', async ({ page, monitor }) => {
  const n = send('DrawPixel 3 3\n');
  const views = [];
  try {
    for (let i = 0; i < 16; i++) {
      const view = await openWebSocket(monitor.url);
      expect(view.status, `live view ${i + 1}`).toBe(101);
      views.push(view);
    }
    await within(10_000, 'every view to get its first frame', () => views.every((view) => view.binaries > 0));
    for (const path of ['/', '/main.js', '/live.js', '/timeline.js', '/panels.js', '/inspect.js', '/constants.js', '/view.css',
      '/seek?message=1', '/frame']) {
      expect((await request(monitor.url, path)).status, path).toBe(200);
    }
    const refused = await openWebSocket(monitor.url);
    expect(refused.status).toBe(503);
    expect(refused.body).toContain('too many live views open (at most 16)');
    expectGuarded(refused, 'the 17th live view');
    // A page opened now loads, says why it shows nothing yet, and shows
    // the screen once a view leaves.
    await page.goto(monitor.url);
    await expect(page.locator('#stream')).toHaveText(/too many live views/, shownWithin);
    expect(await page.locator('#screen').getAttribute('data-message')).toBeNull();
    await views.pop().close();
    await showsMessage(page, n);
    expect(await pixel(page, 3, 3)).toEqual([255, 255, 255, 255]);
    expect(views.every((view) => !view.ended)).toBe(true);
  } finally {
    await Promise.all(views.map((view) => view.close()));
  }
});

// Opens a connection and sends nothing on it.
function idleConnection(url) {
  const { hostname, port } = new URL(url);
  return new Promise((resolve, reject) => {
    const socket = net.connect(Number(port), hostname, () => resolve(socket));
    socket.on('error', reject);
  });
}

test('more than 64 connections at once get a clear 503, and a connection that closes frees its place', async ({ monitor }) => {
  const idle = [];
  try {
    for (let i = 0; i < 64; i++) idle.push(await idleConnection(monitor.url));
    const refused = await request(monitor.url, '/');
    expect(refused.status).toBe(503);
    expect(refused.body).toContain('too many connections (at most 64)');
    expectGuarded(refused, 'the 65th connection');
    expect((await openWebSocket(monitor.url)).status).toBe(503);
    idle.pop().destroy();
    const answer = await within(10_000, 'a place to free', async () => {
      const again = await request(monitor.url, '/');
      return again.status === 200 && again;
    });
    expect(answer.body).toContain('<canvas id="screen"');
  } finally {
    for (const socket of idle) socket.destroy();
  }
});

// The state of the monitor's end of the TCP connection from local port
// `local` to the monitor's `port` (Linux's /proc/net/tcp; "01" is
// established), or "gone".
function monitorEnd(port, local) {
  const hex = (value) => value.toString(16).toUpperCase().padStart(4, '0');
  for (const line of readFileSync('/proc/net/tcp', 'utf8').split('\n').slice(1)) {
    const [, here, there, state] = line.trim().split(/\s+/);
    if (here?.endsWith(`:${hex(port)}`) && there?.endsWith(`:${hex(local)}`)) return state;
  }
  return 'gone';
}

test('a page whose WebSocket stops reading is dropped, and holds up neither the host nor memory', async ({ monitor }) => {
  test.skip(process.platform !== 'linux', 'the connection\'s state is read from /proc');
  const port = Number(new URL(monitor.url).port);
  const reader = await openWebSocket(monitor.url);
  const stalled = await openWebSocket(monitor.url, { stall: true });
  const stalledAt = Date.now();
  expect(stalled.status).toBe(101);
  const local = stalled.socket.localPort;
  expect(monitorEnd(port, local)).toBe('01');
  // A 1024 × 1024 screen that changes all over a hundred times, among
  // many small messages: a frame of it is 4 MiB, so the stalled page's
  // buffers fill at once, and a server that kept its frames would hold hundreds of MiB.
  const script = ['SetResolution 1024 1024'];
  const many = process.env.RUN ? 10 : 1000;  // a sender under Wine is slow: well inside the 10 s
  for (let i = 0; i < 100; i++) script.push(`SetColor ${i} ${255 - i} ${i * 2} 255`, 'DrawRect 0 0 1024 1024 1', `repeat ${many} DrawPixel 1 1`);
  const sending = sendInBackground(script.join('\n') + '\n');
  const rss = () => Number(readFileSync(`/proc/${monitor.pid}/status`, 'utf8').match(/VmRSS:\s+(\d+)/)?.[1] ?? 0);
  let most = 0;
  let sent = 0;
  let stillOpen = false;  // when the sender was done
  sending.then((n) => {
    sent = n;
    stillOpen = monitorEnd(port, local) === '01';
  }, () => {});
  // Memory is read until the page that reads has been sent the last frame.
  while (!sent || reader.message !== sent) {
    if (!process.env.RUN) most = Math.max(most, rss());
    if (sent && Date.now() - stalledAt > 30_000) break;
    await sleep(50);
  }
  const n = await sending;
  expect(n).toBe(1 + 100 * (2 + many));
  expect(stillOpen, 'the sender finished only once the stalled page was dropped').toBe(true);
  await expect.poll(() => monitor.lines().length, { timeout: 30_000 }).toBe(n);
  await within(30_000, 'the reading page to be sent the last frame', () => reader.message === n);
  if (!process.env.RUN) {
    // KiB: a screen, its frame, the timeline and a page's copy are a few tens of MiB (under 50 here);
    // a server that kept the stalled page's frames would hold 4 MiB for each.
    expect(most, 'the monitor\'s resident memory (KiB) while a page did not read').toBeLessThan(128 * 1024);
  }
  // Dropped some 10 s after it last answered, while the page that reads stays.
  const dropped = await within(25_000, 'the stalled page to be dropped', () => monitorEnd(port, local) !== '01' && Date.now());
  expect((dropped - stalledAt) / 1000, 'seconds until the stalled page was dropped').toBeLessThan(15);
  expect(reader.ended).toBe(false);
  await stalled.close();
  await reader.close();
});

test('a page that answers no ping for 20 s is dropped; one that answers stays', async ({ monitor }) => {
  test.skip(process.platform !== 'linux', 'the connection\'s state is read from /proc');
  const port = Number(new URL(monitor.url).port);
  const answering = await openWebSocket(monitor.url);
  const silent = await openWebSocket(monitor.url, { stall: true });
  const openedAt = Date.now();
  const local = silent.socket.localPort;
  // Nothing is drawn, so no write to the silent page stalls: only its silence can drop it.
  const dropped = await within(40_000, 'the silent page to be dropped', () => monitorEnd(port, local) !== '01' && Date.now());
  const seconds = (dropped - openedAt) / 1000;
  expect(seconds, 'seconds until the silent page was dropped').toBeGreaterThan(15);
  expect(seconds, 'seconds until the silent page was dropped').toBeLessThan(35);
  expect(answering.ended).toBe(false);
  await silent.close();
  await answering.close();
});

test('a page that watches drawing for 30 s, speaking only to answer pings, stays', async ({ monitor }) => {
  const watching = await openWebSocket(monitor.url);
  const started = Date.now();
  let n = 0;
  for (let i = 0; Date.now() - started < 30_000; i++) {
    n += send(`DrawPixel ${i % 640} 1\n`);
    await sleep(500);
  }
  await expect.poll(() => monitor.lines().length, { timeout: 30_000 }).toBe(n);
  await within(10_000, 'the watching page to be sent the last frame', () => watching.message === n);
  expect(watching.ended).toBe(false);
  await watching.close();
});

test('a look back at a message not drawn yet is told when to ask again', async ({ monitor }) => {
  // Under Wine, within the whole suite, the rectangles were once found drawn before the look back asked.
  test.skip(Boolean(process.env.RUN), 'the drawing is not reliably behind the look back under Wine');
  // Full-screen rectangles at 8192x8192: seconds of drawing behind the pipe on any machine
  // (a quarter of a gigabyte each); the monitor is ended after the test, midway.
  const n = send('SetResolution 8192 8192\nrepeat 400 DrawRect 0 0 8192 8192 1\n');
  await expect.poll(() => monitor.lines().length).toBe(n);
  const early = await request(monitor.url, `/seek?message=${n}`);
  expect(early.status).toBe(503);
  expect(early.headers['retry-after']).toBe('1');
  expect(early.body).toMatch(new RegExp(`^message ${n} is not drawn yet \\(\\d+ of ${n} are\\); ask again shortly\\n$`));
  expectGuarded(early, 'not drawn yet');
  // What is drawn is looked at meanwhile.
  await expect.poll(async () => (await request(monitor.url, '/seek?message=2')).status, { timeout: 60_000 }).toBe(200);
});

test('looks back past 4 at once are told to wait', async ({ monitor }) => {
  // Many full-screen shapes: each look back at a late point takes a while.
  const n = send('SetResolution 640 480\nrepeat 3000 DrawRect 0 0 640 480 1\nrepeat 3000 DrawEllipse 0 0 640 480 1\n');
  await expect.poll(() => monitor.lines().length).toBe(n);
  await expect.poll(async () => (await request(monitor.url, `/seek?message=${n}`)).status, { timeout: 60_000 }).toBe(200);
  const paths = [];
  for (let i = 0; i < 8; i++) paths.push(i % 2 ? `/frame?message=${n - i}` : `/pixel?x=5&y=5&message=${n - i}`);
  const answers = await Promise.all(paths.map((path) => request(monitor.url, path)));
  const busy = answers.filter((answer) => answer.status === 503);
  expect(busy.length, `answers: ${answers.map((a) => a.status).join(', ')}`).toBeGreaterThan(0);
  expect(answers.filter((answer) => answer.status === 200).length).toBeGreaterThanOrEqual(1);
  expect(answers.every((answer) => answer.status === 200 || answer.status === 503)).toBe(true);
  for (const answer of busy) {
    expect(answer.body).toContain('too many looks back at once (at most 4)');
    expectGuarded(answer, 'too many looks back');
  }
  // Once they are done, one more is answered.
  expect((await request(monitor.url, `/seek?message=${n - 9}`)).status).toBe(200);
});

test('beyond loopback a token is asked for, given by the address, then by a cookie', async ({ page }) => {
  const monitor = await startMonitor(['--listen', '0.0.0.0:0']);
  try {
    const { printed } = monitor;
    expect(printed).toMatch(/^http:\/\/0\.0\.0\.0:\d+\/\?token=[0-9a-f]{32}$/);
    expect(monitor.stderr()).toContain('warning: the view is served beyond this machine');
    const { port } = new URL(printed);
    const token = new URL(printed).searchParams.get('token');
    const name = `vesprine-token-${port}`;
    const url = `http://127.0.0.1:${port}/`;
    const n = send('CreateSprite "s" 2 2\nDrawPixel 1 1\n');
    await expect.poll(() => monitor.lines().length).toBe(n);
    const paths = ['/', '/main.js', '/view.css', '/frame', '/pixel?x=1&y=1', '/seek?message=1', '/sprite?id=1&message=2', '/nothing'];
    const wrongCookies = ['other=1', `${name}=0123`, `${name}=${token}x`, `${name}=${token.slice(1)}`,
      `vesprine-token=${token}`, `vesprine-token-${Number(port) + 1}=${token}`];
    for (const path of paths) {
      for (const cookie of wrongCookies) {
        const answer = await request(url, path, { headers: { Cookie: cookie } });
        expect(answer.status, `${path} with the cookie ${cookie}`).toBe(403);
        expectGuarded(answer, `${path} without the token`);
      }
      const wrong = `${path}${path.includes('?') ? '&' : '?'}token=${token.slice(1)}`;
      expect((await request(url, wrong, { headers: { Cookie: 'other=1' } })).status, wrong).toBe(403);
    }
    expect((await openWebSocket(url, { headers: { Cookie: 'other=1' } })).status).toBe(403);
    // The token in the address: answered, and a cookie set for the rest.
    const cookie = `${name}=${token}; Path=/; HttpOnly; SameSite=Strict`;
    const first = await request(url, `/?token=${token}`, { headers: { Cookie: 'other=1' } });
    expect(first.status).toBe(200);
    expect(first.headers['set-cookie']).toEqual([cookie]);
    for (const path of ['/frame?message=1', '/pixel?x=1&y=1', '/seek?message=1', '/sprite?id=1&message=2']) {
      const answer = await request(url, `${path}&token=${token}`, { headers: { Cookie: 'other=1' } });
      expect(answer.status, `${path}&token=`).toBe(200);
      expect(answer.headers['set-cookie']).toEqual([cookie]);
    }
    for (const path of paths) {
      const answer = await request(url, path, { headers: { Cookie: `other=1; ${name}=${token}` } });
      expect(answer.status, `${path} with the cookie`).toBe(path === '/nothing' ? 404 : 200);
      expect(answer.headers['set-cookie']).toBeUndefined();
    }
    const live = await openWebSocket(url, { headers: { Cookie: `${name}=${token}` } });
    expect(live.status).toBe(101);
    await live.close();
    // In Chromium: the printed address opens the view, and the cookie keeps it open without the token.
    await page.goto(`${url}?token=${token}`);
    await showsMessage(page, n);
    await page.goto(url);
    await showsMessage(page, n);
    expect(await pixel(page, 1, 1)).toEqual([255, 255, 255, 255]);
    await page.context().clearCookies();
    const refused = await page.goto(url);
    expect(refused.status()).toBe(403);
  } finally {
    await monitor.stop();
  }
});

test('on loopback the monitor\'s own user needs no token, though the printed address carries one', async ({ browser, monitor }) => {
  test.skip(!!process.env.RUN, 'under Wine the monitor cannot tell whose a Linux program\'s connection is');
  expect(monitor.printed).toMatch(/^http:\/\/127\.0\.0\.1:\d+\/\?token=[0-9a-f]{32}$/);
  const n = send('DrawPixel 1 1\n');
  await expect.poll(() => monitor.lines().length).toBe(n);
  for (const path of ['/', '/main.js', '/frame', '/seek?message=0', '/?token=abc']) {
    const answer = await request(monitor.url, path, { headers: { Cookie: 'other=1' } });
    expect(answer.status, path).toBe(200);
    expect(answer.headers['set-cookie']).toBeUndefined();
  }
  const live = await openWebSocket(monitor.url, { headers: { Cookie: 'other=1' } });
  expect(live.status).toBe(101);
  await live.close();
  // A page without the cookie: the page, its files and its live view.
  const page = await browser.newPage();
  try {
    await page.goto(monitor.url);
    await showsMessage(page, n);
    expect(await pixel(page, 1, 1)).toEqual([255, 255, 255, 255]);
  } finally {
    await page.close();
  }
});

test('a port already taken is refused plainly, by another program or another monitor', async ({ monitor }) => {
  // Another program holds the port.
  const holder = net.createServer();
  await new Promise((resolve) => holder.listen(0, '127.0.0.1', resolve));
  const taken = holder.address().port;
  try {
    await expect(startMonitor(['--listen', `127.0.0.1:${taken}`]))
      .rejects.toThrow(new RegExp(`cannot listen on 127\\.0\\.0\\.1:${taken}`));
  } finally {
    await new Promise((resolve) => holder.close(resolve));
  }
  // A monitor holds it: a second one refuses to start, and the first goes on.
  const { port } = new URL(monitor.url);
  await expect(startMonitor(['--listen', `127.0.0.1:${port}`]))
    .rejects.toThrow(new RegExp(`cannot listen on 127\\.0\\.0\\.1:${port}`));
  expect((await request(monitor.url, '/')).status).toBe(200);
  // Nor can any other program take it from the monitor.
  const thief = net.createServer();
  const error = await new Promise((resolve) => {
    thief.once('error', (e) => resolve(e.code));
    thief.listen(Number(port), '127.0.0.1', () => resolve('listening'));
  });
  if (error === 'listening') await new Promise((resolve) => thief.close(resolve));
  expect(error).toBe('EADDRINUSE');
});
