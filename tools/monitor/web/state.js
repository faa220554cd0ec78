// The page's copy of the monitor's state, but for the pixels (screen.js).
const kMaxLogLines = 1000;

export class State {
  constructor() {
    this.width = 640;
    this.height = 480;
    this.background = null;
    this.sprites = new Map();  // id to its properties, in creation order
    this.clients = new Map();  // client number to { sprite, encoding }
    this.logs = [];
    this.messages = 0;
    this.malformed = 0;
    this.since = new Map();    // layer (0: screen) to the first message its history keeps
    this.changed = true;
  }

  loadSnapshot(data) {
    this.width = data.width;
    this.height = data.height;
    this.background = data.background;
    this.sprites = new Map(data.sprites.map((s) => [s.id, withoutLayer(s)]));
    this.clients = new Map(data.clients.map((c) => [c.client, c]));
    this.logs = data.logs.slice(-kMaxLogLines);
    this.since = new Map();
    if (data.screen.since) this.since.set(0, data.screen.since);
    for (const s of data.sprites) if (s.layer.since) this.since.set(s.id, s.layer.since);
    this.count(data);
  }

  applyBatch(data) {
    for (const event of data.events) {
      switch (event.t) {
        case 'ops':
          for (const op of event.ops) {
            if (op.k === 'size') {
              this.width = op.w;
              this.height = op.h;
            }
          }
          break;
        case 'sprite':
          this.sprites.set(event.sprite.id, event.sprite);
          break;
        case 'dispose':
          this.sprites.delete(event.id);
          this.since.delete(event.id);
          break;
        case 'background':
          this.background = event.background;
          break;
        case 'log':
          this.logs.push(event.log);
          break;
        case 'client':
          this.clients.set(event.client.client, event.client);
          break;
        case 'left':
          this.clients.delete(event.client);
          break;
      }
    }
    if (this.logs.length > kMaxLogLines) this.logs.splice(0, this.logs.length - kMaxLogLines);
    this.count(data);
  }

  // A line of the page's own, shown with the monitor's warnings.
  note(text) {
    this.logs.push({ m: this.messages, client: 0, level: 'warning', text: `page: ${text}`, time: Date.now() });
    this.changed = true;
  }

  count(data) {
    this.messages = data.messages;
    this.malformed = data.malformed;
    this.changed = true;
  }
}

function withoutLayer(sprite) {
  const { layer, ...properties } = sprite;
  return properties;
}
