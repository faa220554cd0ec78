// Wires the page: the live connection draws frames and feeds the panels;
// the timeline keeps whether the view is live or paused at a point; a click
// on the screen asks for a pixel's history at the point shown.
import { Live } from './live.js';
import { Panels } from './panels.js';
import { Timeline } from './timeline.js';
import { pixelHistory, drawMarks, showSurface } from './inspect.js';

const overlay = new URLSearchParams(location.search).get('overlay') === '1';
if (overlay) document.body.classList.add('overlay');

const canvas = document.getElementById('screen');
const marks = document.getElementById('marks');
const alone = document.getElementById('alone');
const panels = new Panels(choose);
let chosenPixel = null;

const live = new Live(canvas, overlay, {
  state: (data) => {
    if (data.t === 'count') {
      timeline.counted(data.messages, data.received, data.first);
      return;
    }
    panels.update(data);
    timeline.stated(data);
  },
  status: (text) => panels.showStream(text),
});
const timeline = new Timeline({
  seek: (n) => live.seek(n),
  resume: () => {
    chosenPixel = null;
    panels.showPixel(null);
    live.resume();
  },
});

// Each frame shown: the marks, the surface, the saved picture and a
// chosen pixel's history follow its message.
canvas.addEventListener('shown', () => {
  const message = Number(canvas.dataset.message);
  document.getElementById('save').href = `/frame?message=${message}${overlay ? '&overlay=1' : ''}`;
  document.getElementById('save').download = `vesprine-screen-${message}.png`;
  inspect();
  if (chosenPixel && timeline.paused && chosenPixel.message !== message) showPixel(message);
});

async function showPixel(message) {
  chosenPixel.message = message;
  const { x, y } = chosenPixel;
  try {
    const history = await pixelHistory(x, y, message);
    if (chosenPixel && chosenPixel.message === message) panels.showPixel(history);
  } catch (error) {
    panels.showStream(`pixel history: ${error.message}`);
  }
}

// A click picks a pixel; while live, the view pauses at the message shown.
canvas.addEventListener('click', (event) => {
  const box = canvas.getBoundingClientRect();
  const x = Math.floor((event.clientX - box.left) * canvas.width / box.width);
  const y = Math.floor((event.clientY - box.top) * canvas.height / box.height);
  const message = Number(canvas.dataset.message ?? 0);
  chosenPixel = { x, y, message: -1 };
  if (!timeline.paused) timeline.seek(message);
  showPixel(timeline.paused ? timeline.point : message);
  inspect();
});

document.getElementById('pixel-history').addEventListener('click', (event) => {
  const item = event.target.closest('li');
  if (item) timeline.seek(Number(item.dataset.message));
});

function choose(id) {
  panels.selected = panels.selected === id ? 0 : id;
  panels.showSprites();
  inspect();
}
alone.addEventListener('change', () => inspect());

// The marks over the screen and the chosen sprite's surface.
function inspect() {
  const sprite = panels.sprites.get(panels.selected);
  drawMarks(marks, canvas.width, canvas.height, sprite, chosenPixel);
  showSurface(document.getElementById('surface'), alone.checked ? sprite : null, Number(canvas.dataset.message ?? 0));
}
