// A WebSocket client by hand, for what a browser will not do: stop reading,
// send any Origin or Sec-Fetch-Site, or be the 17th view open.
import net from 'node:net';
import { randomBytes } from 'node:crypto';
import { withToken } from './helpers.mjs';

// Reads an HTTP answer's head from `socket`: status, headers (lower-case
// names) and the bytes after the head.
function readHead(socket) {
  return new Promise((resolve, reject) => {
    let buffer = Buffer.alloc(0);
    const onData = (data) => {
      buffer = Buffer.concat([buffer, data]);
      const end = buffer.indexOf('\r\n\r\n');
      if (end < 0) return;
      socket.off('data', onData);
      socket.off('error', reject);
      socket.off('end', onEnd);
      const [statusLine, ...fields] = buffer.subarray(0, end).toString('latin1').split('\r\n');
      const headers = {};
      for (const field of fields) {
        const colon = field.indexOf(':');
        headers[field.slice(0, colon).trim().toLowerCase()] = field.slice(colon + 1).trim();
      }
      resolve({ status: Number(statusLine.split(' ')[1]), headers, rest: buffer.subarray(end + 4) });
    };
    const onEnd = () => reject(new Error(`the connection ended before an answer: ${buffer.toString('latin1')}`));
    socket.on('data', onData);
    socket.on('error', reject);
    socket.on('end', onEnd);
  });
}

// A frame from the client: always masked.
function clientFrame(opcode, payload = Buffer.alloc(0)) {
  const mask = randomBytes(4);
  const masked = Buffer.from(payload.map((byte, i) => byte ^ mask[i % 4]));
  const length = payload.length < 126 ? Buffer.from([0x80 | payload.length])
    : Buffer.from([0x80 | 126, payload.length >> 8, payload.length & 255]);
  return Buffer.concat([Buffer.from([0x80 | opcode]), length, mask, masked]);
}

// Opens a WebSocket to `path` of the monitor at `url`, sending `headers`
// besides the handshake's own and the monitor's token. Resolves once answered, with the status and
// headers; when the answer is 101 and not `stall`, the messages that come
// are counted (texts kept, and `message` says the last frame's message),
// pings answered, and send(text) sends one. With
// `stall` nothing more is ever read from the socket.
export async function openWebSocket(url, { path = '/live', headers = {}, stall = false } = {}) {
  const { hostname, port } = new URL(url);
  const socket = net.connect(Number(port), hostname);
  await new Promise((resolve, reject) => { socket.once('connect', resolve); socket.once('error', reject); });
  const fields = { Host: `${hostname}:${port}`, Upgrade: 'websocket', Connection: 'Upgrade',
    'Sec-WebSocket-Key': randomBytes(16).toString('base64'), 'Sec-WebSocket-Version': '13', ...withToken(url, headers) };
  const request = [`GET ${path} HTTP/1.1`, ...Object.entries(fields).map(([name, value]) => `${name}: ${value}`)];
  socket.write(`${request.join('\r\n')}\r\n\r\n`);
  const { status, headers: answer, rest } = await readHead(socket);
  const view = { status, headers: answer, socket, body: '', texts: [], binaries: 0, ended: false };
  view.ends = new Promise((resolve) => socket.once('close', () => { view.ended = true; resolve(); }));
  socket.on('error', () => {});
  view.close = () => { socket.destroy(); return view.ends; };
  if (status !== 101) {
    // The refusal's text, up to its length.
    const length = Number(answer['content-length'] ?? 0);
    let body = rest;
    while (body.length < length && !view.ended) {
      body = Buffer.concat([body, await new Promise((resolve) => {
        socket.once('data', resolve);
        view.ends.then(() => resolve(Buffer.alloc(0)));
      })]);
    }
    view.body = body.toString('utf8');
    return view;
  }
  if (stall) {
    socket.pause();
    return view;
  }
  view.send = (text) => socket.write(clientFrame(1, Buffer.from(text)));
  // The bytes not yet parsed, in pieces, joined only once a whole frame is
  // there: a frame of a large screen comes in many pieces.
  let pieces = [rest];
  let held = rest.length;
  let need = 2;
  let parts = [];
  const parse = () => {
    if (held < need) return;
    let buffer = Buffer.concat(pieces);
    for (;;) {
      need = 2;
      if (buffer.length < 2) break;
      const opcode = buffer[0] & 15;
      const fin = (buffer[0] & 0x80) !== 0;
      let length = buffer[1] & 127;
      let at = 2;
      if (length === 126) {
        need = 4;
        if (buffer.length < 4) break;
        length = buffer.readUInt16BE(2);
        at = 4;
      } else if (length === 127) {
        need = 10;
        if (buffer.length < 10) break;
        length = Number(buffer.readBigUInt64BE(2));
        at = 10;
      }
      need = at + length;
      if (buffer.length < need) break;
      const payload = buffer.subarray(at, at + length);
      buffer = buffer.subarray(at + length);
      if (opcode === 9) {
        socket.write(clientFrame(10, payload));
      } else if (opcode === 8) {
        socket.end(clientFrame(8, payload.subarray(0, 2)));
      } else if (opcode !== 10) {
        parts.push(Buffer.from(payload));
        if (opcode !== 0) view.kind = opcode;
        if (fin) {
          const whole = Buffer.concat(parts);
          if (view.kind === 1) {
            view.texts.push(whole.toString('utf8'));
          } else {
            view.binaries += 1;
            if (whole.length >= 24) view.message = Number(whole.readBigInt64LE(16));  // the frame's message
          }
          parts = [];
        }
      }
    }
    pieces = [buffer];
    held = buffer.length;
  };
  socket.on('data', (data) => {
    pieces.push(data);
    held += data.length;
    parse();
  });
  parse();
  return view;
}
