// Wires the page: the stream feeds the state and the screen, in order, and
// the panels show the state after each step. Paused, the timeline's point
// takes the stream's place until the view resumes.
import { openStream } from './stream.js';
import { State } from './state.js';
import { Screen } from './screen.js';
import { Panels } from './panels.js';
import { Timeline } from './timeline.js';
import { pixelHistory, drawMarks, showSurface } from './inspect.js';

const overlay = new URLSearchParams(location.search).get('overlay') === '1';
if (overlay) document.body.classList.add('overlay');

const canvas = document.getElementById('screen');
const marks = document.getElementById('marks');
const alone = document.getElementById('alone');
const state = new State();
const screen = new Screen(canvas, overlay, (text) => state.note(text));
const panels = new Panels(state, choose);
let point = null;  // the timeline's point shown, while paused: the answer to /seek (its snapshot null when it was a batch)
let chosenPixel = null;

// Steps run one after another: images load before the ops that draw them.
let queue = Promise.resolve();
function enqueue(step) {
  queue = queue.then(step).catch((error) => state.note(`the page failed to apply a change: ${error}`));
  return queue;
}

function shown(message) {
  screen.compose(state);
  canvas.dataset.message = String(message);
  inspect();
  panels.show();
}

const timeline = new Timeline({
  show: (data) => enqueue(async () => {
    point = null;
    if (data.batch) {
      await screen.applyBatch(data.batch);
      state.applyBatch(data.batch);
      point = { ...data, snapshot: null };
    } else {
      await screen.loadSnapshot(data.snapshot);
      state.loadSnapshot(data.snapshot);
      point = data;
    }
    shown(data.message);
  }),
  // A pixel's history needs the whole scene; without one, the changes will do.
  shown: () => (point && !chosenPixel ? point.message : null),
  resume: () => {
    point = null;
    chosenPixel = null;
    panels.showPixel();
    connect();
  },
  note: (text) => state.note(text),
});

// Each connection's steps are its own: those of a stream closed on resuming are dropped.
let source = null;
let generation = 0;
function connect() {
  if (source) source.close();
  const own = ++generation;
  const live = (step) => (data) => enqueue(async () => {
    if (own !== generation) return;
    timeline.counted(data.messages);
    if (!timeline.paused) await step(data);
  });
  source = openStream({
    snapshot: live(async (data) => {
      await screen.loadSnapshot(data);
      state.loadSnapshot(data);
      shown(data.messages);
    }),
    batch: live(async (data) => {
      await screen.applyBatch(data, state);
      state.applyBatch(data);
      shown(data.messages);
    }),
    status: (text) => panels.showStream(text),
  });
}
connect();
timeline.start();

// A pixel's history is that of the point shown; clicked while live, the view pauses there.
canvas.addEventListener('click', (event) => {
  const box = canvas.getBoundingClientRect();
  const x = Math.floor((event.clientX - box.left) * canvas.width / box.width);
  const y = Math.floor((event.clientY - box.top) * canvas.height / box.height);
  chosenPixel = { x, y };
  if (point?.snapshot) enqueue(() => inspect()); else timeline.seek(timeline.paused ? timeline.point : timeline.live);
});

document.getElementById('pixel-history').addEventListener('click', (event) => {
  const item = event.target.closest('li');
  if (item) timeline.seek(Number(item.dataset.m));
});

function choose(id) {
  panels.selected = panels.selected === id ? 0 : id;
  state.changed = true;
  panels.show();
  inspect();
}
alone.addEventListener('change', () => inspect());

// The marks over the screen, the chosen sprite's surface and the chosen pixel's history.
function inspect() {
  const sprite = state.sprites.get(panels.selected);
  drawMarks(marks, canvas.width, canvas.height, sprite, chosenPixel);
  showSurface(document.getElementById('surface'), alone.checked && sprite ? screen.surfaceOf(sprite.id) : null);
  if (point?.snapshot && chosenPixel) {
    panels.showPixel(chosenPixel.x, chosenPixel.y,
      pixelHistory(point.snapshot, chosenPixel.x, chosenPixel.y, screen.images), point.first);
  }
}

document.getElementById('save').addEventListener('click', () => {
  canvas.toBlob((blob) => {
    const link = document.createElement('a');
    link.href = URL.createObjectURL(blob);
    link.download = `vesprine-screen-${canvas.dataset.message}.png`;
    link.click();
    setTimeout(() => URL.revokeObjectURL(link.href), 1000);
  }, 'image/png');
});
