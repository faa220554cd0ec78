// Shows the state beside the screen: status, sprites, the log and a
// pixel's history. Every string from the host goes in as text, never as markup.
import { kLevels, kMaxLogLines } from './constants.js';

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
    this.levelsShown = new Set(kLevels.map(([level]) => level));
    const filters = document.getElementById('filters');
    for (const [level, label] of kLevels) {
      const box = document.createElement('input');
      box.type = 'checkbox';
      box.checked = true;
      box.dataset.level = level;
      box.addEventListener('change', () => {
        if (box.checked) this.levelsShown.add(level); else this.levelsShown.delete(level);
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

  // A state from the monitor, shown at once with the frame it came before:
  // the tables change only where the state did, so that a frame costs
  // what changed.
  update(data) {
    this.sprites = new Map(data.sprites.map((s) => [s.id, s]));
    this.clients = data.clients;
    text_('resolution', `${data.width} × ${data.height}`);
    text_('messages', String(data.messages));
    text_('malformed', String(data.malformed));
    const clients = data.clients.map((c) => `#${c.client} ${c.encoding}`);
    text_('clients', clients.length ? clients.join(', ') : 'none');
    this.showSprites();
    this.addLog(data.logs, data.logsReset);
  }

  // Each sprite's row, made once and changed where its cells change.
  showSprites() {
    const current = new Map();
    for (const c of this.clients) {
      if (c.sprite) current.set(c.sprite, [...(current.get(c.sprite) ?? []), `#${c.client}`]);
    }
    const body = document.querySelector('#sprites tbody');
    const rows = new Map([...body.rows].map((tr) => [Number(tr.dataset.id), tr]));
    const wanted = [...this.sprites.values()].map((s) => {
      const tr = rows.get(s.id) ?? row(s.id);
      const cells = [
        s.name, `${s.width} × ${s.height}`, `${s.x}, ${s.y}`, `${s.ox}, ${s.oy}`, String(s.z),
        s.visible ? 'yes' : 'no', String(s.alpha), (current.get(s.id) ?? []).join(' '),
      ];
      cells.forEach((text, i) => {
        if (tr.cells[i].textContent !== text) tr.cells[i].textContent = text;
      });
      tr.className = s.id === this.selected ? 'selected' : '';
      return tr;
    });
    if (wanted.length !== body.rows.length || wanted.some((tr, i) => body.rows[i] !== tr)) body.replaceChildren(...wanted);
  }

  // New log lines go on top of the list; the oldest, past what is kept, go.
  addLog(lines, reset) {
    if (reset) this.logs = [];
    this.logs.push(...lines);
    const dropped = this.logs.splice(0, Math.max(0, this.logs.length - kMaxLogLines));
    if (reset || dropped.length > lines.length) {
      this.showLog();
      return;
    }
    for (const line of dropped) line.item?.remove();
    const items = lines.filter((line) => this.levelsShown.has(line.level)).map(logItem);
    document.getElementById('log').prepend(...items.reverse());
  }

  showLog() {
    const items = this.logs.filter((line) => this.levelsShown.has(line.level)).map(logItem);
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
      item.dataset.message = String(entry.message);
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

// An empty row of the sprites table.
function row(id) {
  const tr = document.createElement('tr');
  tr.dataset.id = String(id);
  for (let i = 0; i < 8; i++) tr.append(document.createElement('td'));
  return tr;
}

// A log line's item in the list; the line keeps it, to take it out when it goes.
function logItem(line) {
  const item = document.createElement('li');
  item.className = `level-${line.level}`;
  const meta = document.createElement('span');
  meta.className = 'meta';
  const time = kTime.format(new Date(line.time));
  meta.textContent = `${time} ${line.client ? `#${line.client}` : 'monitor'} ${line.level}`;
  item.append(meta, line.text);
  line.item = item;
  return item;
}
