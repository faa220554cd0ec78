// Looks closer at the paused scene: which messages left colour at a pixel,
// and where a chosen sprite lies, with its surface on its own.
import { drawOp, reaches } from './screen.js';

const kCommands = {
  pixel: 'DrawPixel', line: 'DrawLine', rect: 'DrawRect', ellipse: 'DrawEllipse', text: 'DrawString', image: 'DrawImage',
};

const kMaxListed = 1000;  // entries of a pixel's history listed, the latest

// The ops of `snapshot` that drew on screen pixel (x, y), most recent first:
// on the screen's layer, and on each visible sprite over the pixel. Each says
// the colour it left on its own layer; the colour is read for the latest
// `kMaxListed` only. `count` is how many there are in all; `dropped` names
// the layers whose older drawing the monitor no longer keeps.
export function pixelHistory(snapshot, x, y, images) {
  const { screen } = snapshot;
  const layers = [{ name: null, ops: screen.ops, x, y, width: screen.width, height: screen.height, since: screen.since }];
  for (const s of snapshot.sprites) {
    const lx = x - (s.x - s.ox);
    const ly = y - (s.y - s.oy);
    if (s.visible && lx >= 0 && ly >= 0 && lx < s.width && ly < s.height) {
      layers.push({ name: s.name, ops: s.layer.ops, x: lx, y: ly, width: s.width, height: s.height, since: s.layer.since });
    }
  }
  const found = layers.flatMap((layer) => layerHistory(layer, images));
  found.sort((a, b) => b.m - a.m);
  return { entries: found.slice(0, kMaxListed), count: found.length, dropped: layers.filter((l) => l.since > 0) };
}

// The layer's ops that reach the pixel, in order: from their shapes, or for
// text and images by drawing each alone. Then they are drawn onto the
// pixel's colour so far, which is read after each of the latest.
function layerHistory(layer, images) {
  let probe = null;
  let { width, height } = layer;
  const steps = [];  // ops that reach the pixel, and 'lost' where a resize drops it
  for (const op of layer.ops) {
    if (op.k === 'size') {
      if (layer.x >= op.w || layer.y >= op.h) steps.push('lost');
      width = op.w;
      height = op.h;
      continue;
    }
    let hit = reaches(op, layer.x, layer.y, width, height);
    if (hit === null) {
      probe ??= pixelOf(layer);
      probe.clearRect(layer.x, layer.y, 1, 1);
      drawOp(probe, op, width, height, images);
      hit = probe.getImageData(0, 0, 1, 1).data[3] > 0;
    }
    if (hit) steps.push({ op, width, height });
  }
  const drawn = steps.filter((step) => step !== 'lost').length;
  const colour = pixelOf(layer);
  const found = [];
  for (const step of steps) {
    if (step === 'lost') {
      colour.clearRect(layer.x, layer.y, 1, 1);
      continue;
    }
    const { op } = step;
    drawOp(colour, op, step.width, step.height, images);
    const entry = { m: op.m, command: kCommands[op.k] ?? op.k, layer: layer.name, x: layer.x, y: layer.y, colour: null };
    if (found.length >= drawn - kMaxListed) entry.colour = Array.from(colour.getImageData(0, 0, 1, 1).data);
    found.push(entry);
  }
  return found;
}

// A one-pixel surface that shows pixel (x, y) of its layer.
function pixelOf(layer) {
  const canvas = document.createElement('canvas');
  canvas.width = 1;
  canvas.height = 1;
  const ctx = canvas.getContext('2d', { willReadFrequently: true });
  ctx.setTransform(1, 0, 0, 1, -layer.x, -layer.y);
  return ctx;
}

// Outlines the chosen sprite and marks its O-point, and marks the chosen
// pixel, on a canvas laid over the screen.
export function drawMarks(marks, width, height, sprite, pixel) {
  marks.width = width;
  marks.height = height;
  const ctx = marks.getContext('2d');
  ctx.lineWidth = 1;
  if (sprite) {
    const left = sprite.x - sprite.ox;
    const top = sprite.y - sprite.oy;
    ctx.strokeStyle = '#00e5ff';
    ctx.strokeRect(left - 0.5, top - 0.5, sprite.width + 1, sprite.height + 1);
    ctx.strokeStyle = '#ff2bd6';
    ctx.beginPath();
    ctx.moveTo(sprite.x - 6, sprite.y + 0.5);
    ctx.lineTo(sprite.x + 7, sprite.y + 0.5);
    ctx.moveTo(sprite.x + 0.5, sprite.y - 6);
    ctx.lineTo(sprite.x + 0.5, sprite.y + 7);
    ctx.stroke();
  }
  if (pixel) {
    ctx.strokeStyle = '#ffe600';
    ctx.strokeRect(pixel.x - 1.5, pixel.y - 1.5, 4, 4);
  }
}

// A sprite's surface alone, at its own size.
export function showSurface(target, surface) {
  target.hidden = !surface;
  if (!surface) return;
  target.width = surface.width;
  target.height = surface.height;
  const ctx = target.getContext('2d');
  ctx.clearRect(0, 0, target.width, target.height);
  ctx.drawImage(surface, 0, 0);
}
