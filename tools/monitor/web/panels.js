// Shows the state beside the screen: status, sprites, the log and a
// pixel's history. Every string from the host goes in as text, never as markup.
const kLevels = [['V', 'verbose'], ['D', 'debug'], ['I', 'info'], ['W', 'warning'], ['E', 'error'],
  ['C', 'critical'], ['warning', 'monitor']];
const kMaxLogLines = 1000;
const kTablesEvery = 250;  // milliseconds
// A log line's time, as toLocaleTimeString(undefined, { hour12: false })
// writes it: made once, since making one for every line took most of the
// time to list 1,000 lines.
const kTime = new Intl.DateTimeFormat(undefined, { hour: 'numeric', minute: 'numeric', second: 'numeric', hour12: false });

export class Panels {
  // `choose(id)` is called with the sprite whose row was clicked.
  constructor(choose) {
    this.selected = 0;  // the chosen sprite's id
    this.sprites = new Map();
    this.clients = [];
    this.logs = [];
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
        this.showLog();
      });
      const name = document.createElement('label');
      name.className = `level-${level}`;
      name.append(box, ` ${label}`);
      filters.append(name);
    }
  }

  showStream(text) {
    text_('stream', text);
  }

  // A state from the monitor: the counters at once, the tables (which cost
  // far more to rebuild) at most four times a second.
  update(data) {
    this.sprites = new Map(data.sprites.map((s) => [s.id, s]));
    this.clients = data.clients;
    if (data.logsReset) this.logs = [];
    this.logs.push(...data.logs);
    if (this.logs.length > kMaxLogLines) this.logs.splice(0, this.logs.length - kMaxLogLines);
    text_('resolution', `${data.width} × ${data.height}`);
    text_('messages', String(data.messages));
    text_('malformed', String(data.malformed));
    const clients = data.clients.map((c) => `#${c.client} ${c.encoding}`);
    text_('clients', clients.length ? clients.join(', ') : 'none');
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
    for (const c of this.clients) {
      if (c.sprite) current.set(c.sprite, [...(current.get(c.sprite) ?? []), `#${c.client}`]);
    }
    const rows = [...this.sprites.values()].map((s) => {
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
    const items = this.logs.filter((line) => this.shown.has(line.level)).map((line) => {
      const item = document.createElement('li');
      item.className = `level-${line.level}`;
      const meta = document.createElement('span');
      meta.className = 'meta';
      const time = kTime.format(new Date(line.time));
      meta.textContent = `${time} ${line.client ? `#${line.client}` : 'monitor'} ${line.level}`;
      item.append(meta, line.text);
      return item;
    });
    document.getElementById('log').replaceChildren(...items.reverse());
  }

  // The history of a screen pixel at the point shown (the answer to
  // /pixel), or the hint when none is chosen.
  showPixel(history) {
    const list = document.getElementById('pixel-history');
    if (!history) {
      text_('pixel-note', 'Click a pixel of the screen to list the messages that drew it.');
      list.replaceChildren();
      return;
    }
    const { x, y, total, entries } = history;
    const notes = [`Pixel ${x}, ${y} at message ${history.message}: ${total} message${total === 1 ? '' : 's'} ` +
      `drew on it or changed it, the latest first` +
      `${total > entries.length ? `; the latest ${entries.length} are listed` : ''}.`];
    if (history.dropped) notes.push(`The timeline starts at message ${history.first}; earlier ones were dropped.`);
    text_('pixel-note', notes.join(' '));
    list.replaceChildren(...entries.map((entry) => {
      const item = document.createElement('li');
      item.dataset.m = String(entry.message);
      const swatch = document.createElement('span');
      swatch.className = 'swatch';
      const [r, g, b, a] = entry.color;
      swatch.style.background = `rgba(${r},${g},${b},${a / 255})`;
      item.append(swatch, `${entry.message}  ${entry.command} ${where(entry)}: rgba ${r}, ${g}, ${b}, ${a}`);
      return item;
    }));
  }
}

// What an entry changed: a layer it drew on, or what lies over the pixel.
function where(entry) {
  if (!entry.layer) return 'over it';
  if (entry.layer.screen) return 'on screen';
  return `on sprite ${entry.layer.name} at ${entry.layer.x}, ${entry.layer.y}`;
}

function text_(id, value) {
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
