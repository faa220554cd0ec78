// What reaches the page from the pipe stays text; the server answers only its
// own page; pages that stop reading or crowd in hold nothing up.
import http from 'node:http';
import net from 'node:net';
import { readFileSync } from 'node:fs';
import { test, expect, send, openView } from './helpers.mjs';

function get(url, headers = {}) {
  return new Promise((resolve, reject) => {
    const request = http.get(url, { headers }, (response) => {
      let body = '';
      response.on('data', (data) => { body += data; });
      response.on('end', () => resolve({ status: response.statusCode, headers: response.headers, body }));
    });
    request.on('error', reject);
  });
}

test('markup in a log line, a sprite name and drawn text is shown as text', async ({ page, monitor }) => {
  const n = send(`LogW "<img src=x onerror=window.owned=1><b>bold</b>"
CreateSprite "<i>name</i>" 4 4
DrawString 10 10 "<script>window.owned=2</script>" 12
`);
  await openView(page, monitor.url, n);
  await expect(page.locator('#log')).toContainText('<img src=x onerror=window.owned=1><b>bold</b>');
  await expect(page.locator('#sprites tbody td').first()).toHaveText('<i>name</i>');
  expect(await page.locator('#log img, #log b, #sprites i').count()).toBe(0);
  // And so is the list of messages around a point of the timeline.
  await page.goto(`${monitor.url}#message=1`);
  await expect(page.locator('#around li.selected')).toContainText('<img src=x onerror=window.owned=1>');
  expect(await page.locator('#around img, #around b, #around script').count()).toBe(0);
  expect(await page.evaluate(() => window.owned)).toBeUndefined();
});

test('a seek that is not a message number is refused; one past the end shows the last', async ({ monitor }) => {
  const n = send('DrawPixel 1 1\nDrawPixel 2 2\n');
  await expect.poll(() => monitor.lines().length).toBe(n);
  for (const query of ['', 'message=', 'message=abc', 'message=-1', 'message=1e3', 'message=99999999999999999999999',
    'message=1&message=2', 'at=1', 'from=1', 'message=2&from=', 'message=2&from=-1', 'message=2&from=1&']) {
    const answer = await get(`${monitor.url}seek?${query}`);
    expect(answer.status, query).toBe(400);
    expect(answer.body).toContain('expected ?message=N');
  }
  const last = await get(`${monitor.url}seek?message=123456789`);
  expect(last.status).toBe(200);
  expect(last.headers['content-type']).toBe('application/json');
  const data = JSON.parse(last.body);
  expect([data.message, data.first, data.last, data.snapshot.messages]).toEqual([n, 0, n, n]);
  expect(data.around.map((line) => line.m)).toEqual([1, 2]);
  // From an earlier point, the changes since; from a later one, the whole scene.
  const changes = JSON.parse((await get(`${monitor.url}seek?message=2&from=1`)).body);
  expect(changes.snapshot).toBeUndefined();
  expect(changes.batch.events).toEqual([{ t: 'ops', layer: 0, ops: [['pixel', 2, 2, 2, 255, 255, 255, 255]] }]);
  expect(JSON.parse((await get(`${monitor.url}seek?message=1&from=2`)).body).snapshot.messages).toBe(1);
});

test('a foreign Host or Origin is refused; the headers allow only this server', async ({ monitor }) => {
  const page = await get(monitor.url);
  expect(page.status).toBe(200);
  expect(page.headers['content-security-policy']).toContain("script-src 'self'");
  expect(page.headers['x-content-type-options']).toBe('nosniff');
  expect(page.headers['access-control-allow-origin']).toBeUndefined();
  expect((await get(monitor.url, { Host: 'attacker.example:8765' })).status).toBe(403);
  expect((await get(`${monitor.url}events`, { Origin: 'http://attacker.example' })).status).toBe(403);
  expect((await get(`${monitor.url}image/1`)).status).toBe(404);
  expect((await get(`${monitor.url}image/..%2F..%2Fetc%2Fpasswd`)).status).toBe(404);
  expect((await get(`${monitor.url}../../etc/passwd`)).status).toBe(404);
});

// Opens a stream and never reads from it.
function stalledStream(url) {
  const { hostname, port } = new URL(url);
  return new Promise((resolve) => {
    const socket = net.connect(Number(port), hostname, () => {
      socket.write(`GET /events HTTP/1.1\r\nHost: ${hostname}:${port}\r\n\r\n`);
      socket.pause();
      resolve(socket);
    });
  });
}

test('16 open streams do not lock out a page; one more is refused plainly', async ({ monitor }) => {
  const streams = [];
  for (let i = 0; i < 16; i++) streams.push(await stalledStream(monitor.url));
  await new Promise((resolve) => setTimeout(resolve, 300));
  expect((await get(monitor.url)).status).toBe(200);
  const refused = await get(`${monitor.url}events`);
  expect(refused.status).toBe(503);
  expect(refused.body).toContain('too many live views open (at most 16)');
  for (const socket of streams) socket.destroy();
  await new Promise((resolve) => setTimeout(resolve, 300));
  const again = await stalledStream(monitor.url);
  const first = await new Promise((resolve) => { again.once('data', (data) => resolve(String(data))); again.resume(); });
  expect(first).toContain('200 OK');
  again.destroy();
});

test('a page that stops reading holds up neither the host nor memory', async ({ monitor }) => {
  test.skip(!!process.env.RUN, 'memory is read from /proc: Linux only');
  const stalled = await stalledStream(monitor.url);
  const n = send('repeat 50000 DrawPixel 1 1\nrepeat 50000 DrawString 5 5 "a longer line of text to fill the queue" 12\n');
  expect(n).toBe(100000);
  await expect.poll(() => monitor.lines().length, { timeout: 60_000 }).toBe(100000);
  const rss = Number(readFileSync(`/proc/${monitor.pid}/status`, 'utf8').match(/VmRSS:\s+(\d+)/)[1]);
  expect(rss).toBeLessThan(400 * 1024);  // KiB: the history is bounded at 32 MiB, queues at 8 MiB a page
  stalled.destroy();
});
