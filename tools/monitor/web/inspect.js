// Looks closer at the paused scene: which messages left colour at a pixel,
// and where a chosen sprite lies, with its surface on its own.
import { drawOp } from './screen.js';

const kCommands = {
  pixel: 'DrawPixel', line: 'DrawLine', rect: 'DrawRect', ellipse: 'DrawEllipse', text: 'DrawString', image: 'DrawImage',
};

// The ops of `snapshot` that drew on screen pixel (x, y), most recent first:
// on the screen's layer, and on each visible sprite over the pixel. Each says
// the colour it left on its own layer. `dropped` names the layers whose
// older drawing the monitor no longer keeps.
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
  const entries = layers.flatMap((layer) => layerHistory(layer, images));
  entries.sort((a, b) => b.m - a.m);
  return { entries, dropped: layers.filter((l) => l.since > 0) };
}

// Replays a layer's ops onto one pixel: each op is first drawn alone, to
// see whether it reaches the pixel, then onto the pixel's colour so far.
function layerHistory(layer, images) {
  const probe = pixelOf(layer);
  const colour = pixelOf(layer);
  let { width, height } = layer;
  const found = [];
  for (const op of layer.ops) {
    if (op.k === 'size') {
      if (layer.x >= op.w || layer.y >= op.h) colour.clearRect(layer.x, layer.y, 1, 1);
      width = op.w;
      height = op.h;
      continue;
    }
    if (!mayReach(op, layer.x, layer.y)) continue;
    probe.clearRect(layer.x, layer.y, 1, 1);
    drawOp(probe, op, width, height, images);
    if (probe.getImageData(0, 0, 1, 1).data[3] === 0) continue;
    drawOp(colour, op, width, height, images);
    found.push({ m: op.m, command: kCommands[op.k] ?? op.k, layer: layer.name, x: layer.x, y: layer.y,
      colour: Array.from(colour.getImageData(0, 0, 1, 1).data) });
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

// False when the op's box leaves (x, y) out; text and images are always tried.
function mayReach(op, x, y) {
  switch (op.k) {
    case 'pixel': return op.x === x && op.y === y;
    case 'rect':
    case 'ellipse': return x >= op.x && x < op.x + op.w && y >= op.y && y < op.y + op.h;
    case 'line': return x >= Math.min(op.x, op.x2) && x <= Math.max(op.x, op.x2) &&
      y >= Math.min(op.y, op.y2) && y <= Math.max(op.y, op.y2);
    default: return true;
  }
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
