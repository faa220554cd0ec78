// Wires the page: the stream feeds the state and the screen, in order, and
// the panels show the state after each step.
import { openStream } from './stream.js';
import { State } from './state.js';
import { Screen } from './screen.js';
import { Panels } from './panels.js';

const overlay = new URLSearchParams(location.search).get('overlay') === '1';
if (overlay) document.body.classList.add('overlay');

const canvas = document.getElementById('screen');
const state = new State();
const screen = new Screen(canvas, overlay, (text) => state.note(text));
const panels = new Panels(state, screen);

// Steps run one after another: images load before the ops that draw them.
let queue = Promise.resolve();
function enqueue(step) {
  queue = queue.then(step).catch((error) => state.note(`the page failed to apply a change: ${error}`));
}

openStream({
  snapshot(data) {
    enqueue(async () => {
      await screen.loadSnapshot(data);
      state.loadSnapshot(data);
      screen.compose(state);
      canvas.dataset.message = String(data.messages);
      panels.show();
    });
  },
  batch(data) {
    enqueue(async () => {
      await screen.applyBatch(data, state);
      state.applyBatch(data);
      screen.compose(state);
      canvas.dataset.message = String(data.messages);
      panels.show();
    });
  },
  status(text) {
    panels.showStream(text);
  },
});

document.getElementById('save').addEventListener('click', () => {
  canvas.toBlob((blob) => {
    const link = document.createElement('a');
    link.href = URL.createObjectURL(blob);
    link.download = `vesprine-screen-${canvas.dataset.message}.png`;
    link.click();
    setTimeout(() => URL.revokeObjectURL(link.href), 1000);
  }, 'image/png');
});
