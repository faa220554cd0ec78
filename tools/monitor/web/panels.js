// Shows the state beside the screen: status, sprites and the log. Every
// string from the host goes in as text, never as markup.
const kLevels = [['V', 'verbose'], ['D', 'debug'], ['I', 'info'], ['W', 'warning'], ['E', 'error'],
  ['C', 'critical'], ['warning', 'monitor']];
const kTablesEvery = 250;  // milliseconds

export class Panels {
  // `choose(id)` is called with the sprite whose row was clicked.
  constructor(state, choose) {
    this.state = state;
    this.selected = 0;  // the chosen sprite's id
    document.querySelector('#sprites tbody').addEventListener('click', (event) => {
      const row = event.target.closest('tr');
      if (row) choose(Number(row.dataset.id));
    });
    this.shown = new Set(kLevels.map(([level]) => level));
    const filters = document.getElementById('filters');
    for (const [level, label] of kLevels) {
      const box = document.createElement('input');
      box.type = 'checkbox';
      box.checked = true;
      box.dataset.level = level;
      box.addEventListener('change', () => {
        if (box.checked) this.shown.add(level); else this.shown.delete(level);
        this.state.changed = true;
        this.show();
      });
      const name = document.createElement('label');
      name.className = `level-${level}`;
      name.append(box, ` ${label}`);
      filters.append(name);
    }
  }

  showStream(text) {
    document.getElementById('stream').textContent = text;
  }

  // The counters follow every batch; the tables, which cost far more to
  // rebuild (a thousand sprites, a thousand log lines), at most four times a second.
  show() {
    const state = this.state;
    if (!state.changed) return;
    state.changed = false;
    text('resolution', `${state.width} × ${state.height}`);
    text('messages', String(state.messages));
    text('malformed', String(state.malformed));
    const clients = [...state.clients.values()].map((c) => `#${c.client} ${c.encoding}`);
    text('clients', clients.length ? clients.join(', ') : 'none');
    const notes = [...state.since].map(([id, since]) =>
      `${id === 0 ? 'the screen' : `sprite ${state.sprites.get(id)?.name ?? id}`} from message ${since}`);
    const history = document.getElementById('history');
    history.hidden = notes.length === 0;
    history.textContent = notes.length
      ? `Older drawing was dropped to bound memory; shown: ${notes.join(', ')} on.` : '';
    if (this.tables) return;
    const wait = Math.max(0, (this.tablesShown ?? -Infinity) + kTablesEvery - performance.now());
    this.tables = setTimeout(() => {
      this.tables = null;
      this.tablesShown = performance.now();
      this.showSprites();
      this.showLog();
    }, wait);
  }

  showSprites() {
    const current = new Map();
    for (const c of this.state.clients.values()) {
      if (c.sprite) current.set(c.sprite, [...(current.get(c.sprite) ?? []), `#${c.client}`]);
    }
    const rows = [...this.state.sprites.values()].map((s) => {
      const tr = row([
        s.name, `${s.width} × ${s.height}`, `${s.x}, ${s.y}`, `${s.ox}, ${s.oy}`, String(s.z),
        s.visible ? 'yes' : 'no', String(s.alpha), (current.get(s.id) ?? []).join(' '),
      ]);
      tr.dataset.id = String(s.id);
      if (s.id === this.selected) tr.className = 'selected';
      return tr;
    });
    document.querySelector('#sprites tbody').replaceChildren(...rows);
  }

  showLog() {
    const items = this.state.logs.filter((line) => this.shown.has(line.level)).map((line) => {
      const item = document.createElement('li');
      item.className = `level-${line.level}`;
      const meta = document.createElement('span');
      meta.className = 'meta';
      const time = new Date(line.time).toLocaleTimeString(undefined, { hour12: false });
      meta.textContent = `${time} ${line.client ? `#${line.client}` : 'monitor'} ${line.level}`;
      item.append(meta, line.text);
      return item;
    });
    document.getElementById('log').replaceChildren(...items.reverse());
  }

  // The history of screen pixel (x, y) at the point shown, or a hint.
  showPixel(x, y, history, first) {
    const list = document.getElementById('pixel-history');
    if (!history) {
      text('pixel-note', 'Click a pixel of the screen to list the messages that drew it.');
      list.replaceChildren();
      return;
    }
    const notes = [`Pixel ${x}, ${y}: ${history.count} message${history.count === 1 ? '' : 's'} drew on it, ` +
      `the latest first${history.count > history.entries.length ? `; the latest ${history.entries.length} are listed` : ''}.`];
    for (const layer of history.dropped) {
      notes.push(`${layer.name === null ? 'The screen' : `Sprite ${layer.name}`} keeps its drawing from message ` +
        `${layer.since} on; earlier drawing was dropped.`);
    }
    if (first > 0) notes.push(`The timeline starts at message ${first}.`);
    text('pixel-note', notes.join(' '));
    list.replaceChildren(...history.entries.map((entry) => {
      const item = document.createElement('li');
      item.dataset.m = String(entry.m);
      const swatch = document.createElement('span');
      swatch.className = 'swatch';
      const [r, g, b, a] = entry.colour;
      swatch.style.background = `rgba(${r},${g},${b},${a / 255})`;
      const where = entry.layer === null ? 'screen' : `sprite ${entry.layer} at ${entry.x}, ${entry.y}`;
      item.append(swatch, `${entry.m}  ${entry.command} on ${where}: rgba ${r}, ${g}, ${b}, ${a}`);
      return item;
    }));
  }
}

function text(id, value) {
  document.getElementById(id).textContent = value;
}

function row(cells) {
  const tr = document.createElement('tr');
  for (const cell of cells) {
    const td = document.createElement('td');
    td.textContent = cell;
    tr.append(td);
  }
  return tr;
}
