// The page's one connection to the monitor (a WebSocket at /live): frames
// come as binary messages of tiles, drawn on #screen as they arrive, and
// the state the panels show comes as JSON. The page asks for a point of the
// timeline, or for live, and is sent that. A state is handed on with the
// frame that follows it, so that the panels and the screen change together.
import { kTileSide } from './constants.js';

export class Live {
  // `state(data)` gets each state message; `status(text)` the connection's.
  constructor(canvas, overlay, { state, status }) {
    this.canvas = canvas;
    this.overlay = overlay;
    this.onState = state;
    this.onStatus = status;
    this.asked = { t: 'live' };  // what to ask for again after reconnecting
    this.states = [];            // the states that came before the next frame
    this.connect();
  }

  connect() {
    const url = new URL(`/live${this.overlay ? '?overlay=1' : ''}`, location.href);
    url.protocol = url.protocol === 'https:' ? 'wss:' : 'ws:';
    const socket = new WebSocket(url);
    socket.binaryType = 'arraybuffer';
    socket.addEventListener('open', () => {
      this.onStatus('live');
      if (this.asked.t !== 'live') socket.send(JSON.stringify(this.asked));
    });
    socket.addEventListener('message', (event) => {
      if (typeof event.data !== 'string') {
        this.draw(event.data);
        return;
      }
      const data = JSON.parse(event.data);
      if (data.t === 'state') this.states.push(data); else this.onState(data);
    });
    socket.addEventListener('close', () => {
      this.states = [];
      this.onStatus('reconnecting (too many live views open?)');
      setTimeout(() => this.connect(), 1000);
    });
    this.socket = socket;
  }

  ask(what) {
    this.asked = what;
    if (this.socket.readyState === WebSocket.OPEN) this.socket.send(JSON.stringify(what));
  }

  seek(message) { this.ask({ t: 'seek', message }); }
  resume() { this.ask({ t: 'live' }); }

  // A frame: kind, width, height, tile count (32 bits each), the message
  // (64 bits), then per tile its column, row and 64×64 RGBA pixels. Once
  // every tile is drawn and the panels show the states sent before it, in
  // the same task, #screen's data-message says which message it shows.
  draw(buffer) {
    const head = new DataView(buffer);
    const [width, height, count] = [head.getUint32(4, true), head.getUint32(8, true), head.getUint32(12, true)];
    const message = head.getBigInt64(16, true);
    const canvas = this.canvas;
    if (canvas.width !== width || canvas.height !== height) {
      canvas.width = width;
      canvas.height = height;
    }
    const ctx = canvas.getContext('2d');
    let at = 24;
    for (let i = 0; i < count; i++) {
      const column = head.getUint32(at, true);
      const row = head.getUint32(at + 4, true);
      const pixels = new Uint8ClampedArray(buffer, at + 8, kTileSide * kTileSide * 4);
      ctx.putImageData(new ImageData(pixels, kTileSide, kTileSide), column * kTileSide, row * kTileSide);
      at += 8 + kTileSide * kTileSide * 4;
    }
    for (const state of this.states.splice(0)) this.onState(state);
    canvas.dataset.message = String(message);
    canvas.dispatchEvent(new Event('shown'));
  }
}
