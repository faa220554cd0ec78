// Draws the screen: one surface per layer (the screen's drawing and each
// sprite), executing the monitor's ops on it, then composes them on #screen.
const kPlaceholderSize = 32;

export class Screen {
  constructor(canvas, overlay, note) {
    this.canvas = canvas;
    this.overlay = overlay;
    this.note = note;
    this.layers = new Map();  // 0: the screen's drawing layer; else a sprite id
    this.images = new Map();  // image id to an ImageBitmap, or null when it cannot be drawn
    this.layers.set(0, surface(640, 480));
  }

  async loadSnapshot(data) {
    const ids = new Set();
    if (data.background) ids.add(data.background.image);
    for (const op of data.screen.ops) if (op.k === 'image') ids.add(op.i);
    for (const s of data.sprites) for (const op of s.layer.ops) if (op.k === 'image') ids.add(op.i);
    await this.loadImages(ids);
    this.layers = new Map();
    const layer = surface(data.screen.width, data.screen.height);
    this.layers.set(0, layer);
    for (const op of data.screen.ops) this.draw(0, op);
    for (const s of data.sprites) {
      this.layers.set(s.id, surface(s.width, s.height));
      for (const op of s.layer.ops) this.draw(s.id, op);
    }
  }

  async applyBatch(data) {
    const ids = new Set();
    for (const e of data.events) {
      if (e.t === 'ops') for (const op of e.ops) if (op.k === 'image') ids.add(op.i);
      if (e.t === 'background' && e.background) ids.add(e.background.image);
    }
    await this.loadImages(ids);
    for (const e of data.events) {
      if (e.t === 'ops') {
        for (const op of e.ops) this.draw(e.layer, op);
      } else if (e.t === 'sprite' && !this.layers.has(e.sprite.id)) {
        this.layers.set(e.sprite.id, surface(e.sprite.width, e.sprite.height));
      } else if (e.t === 'dispose') {
        this.layers.delete(e.id);
      }
    }
  }

  async loadImages(ids) {
    const missing = [...ids].filter((id) => id > 0 && !this.images.has(id));
    await Promise.all(missing.map(async (id) => {
      try {
        const response = await fetch(`/image/${id}`);
        if (!response.ok) throw new Error(`HTTP ${response.status}`);
        this.images.set(id, await createImageBitmap(await response.blob()));
      } catch (error) {
        this.images.set(id, null);
        this.note(`image ${id} cannot be shown (${error.message}); drawn as a placeholder`);
      }
    }));
  }

  draw(id, op) {
    const layer = this.layers.get(id);
    if (!layer) return;
    if (op.k === 'size') {
      this.layers.set(id, resized(layer, op.w, op.h));
      return;
    }
    drawOp(layer.getContext('2d'), op, layer.width, layer.height, this.images);
  }

  // Bottom to top: black (none in an overlay), background, the screen's
  // drawing, then sprites by z and, for equal z, creation order.
  compose(state) {
    const canvas = this.canvas;
    if (canvas.width !== state.width || canvas.height !== state.height) {
      canvas.width = state.width;
      canvas.height = state.height;
    }
    const ctx = canvas.getContext('2d');
    ctx.imageSmoothingEnabled = false;
    ctx.globalAlpha = 1;
    ctx.clearRect(0, 0, canvas.width, canvas.height);
    if (!this.overlay) {
      ctx.fillStyle = '#000';
      ctx.fillRect(0, 0, canvas.width, canvas.height);
    }
    if (state.background) {
      const b = state.background;
      image(ctx, this.images.get(b.image), 0, 0, canvas.width, canvas.height, b.alpha / 255);
    }
    ctx.drawImage(this.layers.get(0), 0, 0);
    const sprites = [...state.sprites.values()].sort((a, b) => a.z - b.z || a.id - b.id);
    for (const s of sprites) {
      const layer = this.layers.get(s.id);
      if (!s.visible || !layer) continue;
      ctx.globalAlpha = s.alpha / 255;
      ctx.drawImage(layer, s.x - s.ox, s.y - s.oy);
    }
    ctx.globalAlpha = 1;
  }

  // A sprite's own surface, for showing it alone.
  surfaceOf(id) {
    return this.layers.get(id);
  }
}

// Executes one op (not a resize) on a surface of `width` by `height`, with
// `images` from image id to bitmap.
export function drawOp(ctx, op, width, height, images) {
  const colour = op.c ? `rgba(${op.c[0]},${op.c[1]},${op.c[2]},${op.c[3] / 255})` : '';
  switch (op.k) {
    case 'pixel':
      fillRect(ctx, colour, op.x, op.y, 1, 1, width, height);
      break;
    case 'line':
      fill(ctx, colour, (path) => line(path, op, width, height));
      break;
    case 'rect':
      if (op.f) fillRect(ctx, colour, op.x, op.y, op.w, op.h, width, height);
      else fill(ctx, colour, (path) => rect(path, op, width, height));
      break;
    case 'ellipse':
      fill(ctx, colour, (path) => ellipse(path, op, width, height));
      break;
    case 'text':
      paint(ctx, colour);
      ctx.font = `${op.s}px "DejaVu Sans", "IPAGothic", sans-serif`;
      ctx.textBaseline = 'top';
      ctx.fillText(op.t, op.x, op.y);
      break;
    case 'image':
      image(ctx, images.get(op.i), op.x, op.y, op.w, op.h, op.o / 255);
      break;
    case 'clear':
      ctx.clearRect(0, 0, width, height);
      break;
  }
}

// Whether an op draws on pixel (x, y) of a surface of `width` by `height`,
// worked out from the same shapes that drawOp fills; null for text and
// images, which only drawing tells.
export function reaches(op, x, y, width, height) {
  if (x < 0 || y < 0 || x >= width || y >= height) return false;
  const probe = {
    hit: false,
    rect(rx, ry, w, h) { if (x >= rx && x < rx + w && y >= ry && y < ry + h) this.hit = true; },
  };
  if (op.c && op.c[3] === 0) return false;
  switch (op.k) {
    case 'pixel': return op.x === x && op.y === y;
    case 'rect': rect(probe, op, width, height); return probe.hit;
    case 'line': line(probe, op, width, height); return probe.hit;
    case 'ellipse': ellipse(probe, op, width, height); return probe.hit;
    default: return null;
  }
}

// An image at its own size (w 0) or stretched, or a placeholder of that size.
function image(ctx, bitmap, x, y, w, h, opacity) {
  ctx.save();
  ctx.globalAlpha = opacity;
  ctx.imageSmoothingEnabled = false;
  if (bitmap) {
    if (w > 0) ctx.drawImage(bitmap, x, y, w, h); else ctx.drawImage(bitmap, x, y);
  } else {
    placeholder(ctx, x, y, w > 0 ? w : kPlaceholderSize, h > 0 ? h : kPlaceholderSize);
  }
  ctx.restore();
}

function surface(width, height) {
  const canvas = document.createElement('canvas');
  canvas.width = width;
  canvas.height = height;
  return canvas;
}

// The screen's layer at a new size, its pixels kept from the top-left corner.
function resized(layer, width, height) {
  const next = surface(width, height);
  next.getContext('2d').drawImage(layer, 0, 0);
  return next;
}

function placeholder(ctx, x, y, w, h) {
  ctx.fillStyle = 'rgba(255,0,255,0.25)';
  ctx.fillRect(x, y, w, h);
  ctx.strokeStyle = '#f0f';
  ctx.lineWidth = 1;
  ctx.strokeRect(x + 0.5, y + 0.5, w - 1, h - 1);
  ctx.beginPath();
  ctx.moveTo(x, y);
  ctx.lineTo(x + w, y + h);
  ctx.moveTo(x + w, y);
  ctx.lineTo(x, y + h);
  ctx.stroke();
}

// Every shape is a union of whole-pixel rectangles, filled once: no pixel is
// blended twice and nothing is anti-aliased.
function fill(ctx, colour, build) {
  const path = new Path2D();
  build(path);
  paint(ctx, colour);
  ctx.fill(path);
}

// Setting fillStyle parses the colour, so it is set only when it changes.
function paint(ctx, colour) {
  if (ctx.colour === colour) return;
  ctx.fillStyle = colour;
  ctx.colour = colour;
}

// One rectangle needs no path: the part of it on the layer, filled.
function fillRect(ctx, colour, x, y, w, h, W, H) {
  const x0 = Math.max(x, 0);
  const y0 = Math.max(y, 0);
  const x1 = Math.min(x + w, W);
  const y1 = Math.min(y + h, H);
  if (x1 <= x0 || y1 <= y0) return;
  paint(ctx, colour);
  ctx.fillRect(x0, y0, x1 - x0, y1 - y0);
}

// Adds the part of a rectangle that lies on a layer of `W` by `H`.
function clipRect(path, x, y, w, h, W, H) {
  const x0 = Math.max(x, 0);
  const y0 = Math.max(y, 0);
  const x1 = Math.min(x + w, W);
  const y1 = Math.min(y + h, H);
  if (x1 > x0 && y1 > y0) path.rect(x0, y0, x1 - x0, y1 - y0);
}

function rect(path, op, W, H) {
  const { x, y, w, h } = op;
  if (op.f || w <= 2 || h <= 2) {
    clipRect(path, x, y, w, h, W, H);
    return;
  }
  clipRect(path, x, y, w, 1, W, H);
  clipRect(path, x, y + h - 1, w, 1, W, H);
  clipRect(path, x, y + 1, 1, h - 2, W, H);
  clipRect(path, x + w - 1, y + 1, 1, h - 2, W, H);
}

// round(i·d / n) for n > 0, halves rounded up; exact for any 32-bit operands.
function roundDiv(i, d, n) {
  if (Math.abs(i * d) < 2 ** 50) return Math.floor((2 * i * d + n) / (2 * n));
  const twice = 2n * BigInt(i) * BigInt(d) + BigInt(n);
  const divisor = 2n * BigInt(n);
  let q = twice / divisor;
  if (twice % divisor !== 0n && twice < 0n) q -= 1n;
  return Number(q);
}

// Both end points included: for each step i along the longer axis, the
// point (x + i·dx/n, y + i·dy/n) rounded. Only steps on the layer are visited.
function line(path, op, W, H) {
  const dx = op.x2 - op.x;
  const dy = op.y2 - op.y;
  const n = Math.max(Math.abs(dx), Math.abs(dy));
  if (n === 0) {
    clipRect(path, op.x, op.y, 1, 1, W, H);
    return;
  }
  // The steps whose coordinate on the longer axis lies on the layer.
  const [start, step, size] = Math.abs(dx) >= Math.abs(dy) ? [op.x, Math.sign(dx), W] : [op.y, Math.sign(dy), H];
  let first = step > 0 ? -start : start - (size - 1);
  let last = step > 0 ? size - 1 - start : start;
  first = Math.max(0, first);
  last = Math.min(n, last);
  for (let i = first; i <= last; i++) {
    const px = op.x + roundDiv(i, dx, n);
    const py = op.y + roundDiv(i, dy, n);
    if (px >= 0 && px < W && py >= 0 && py < H) path.rect(px, py, 1, 1);
  }
}

// The pixels of row `r` whose centres lie inside the ellipse inscribed in
// the box, as [left, right], or null.
function span(op, r) {
  if (r < op.y || r >= op.y + op.h) return null;
  const rx = op.w / 2;
  const ry = op.h / 2;
  const t = (r + 0.5 - (op.y + ry)) / ry;
  if (Math.abs(t) > 1) return null;
  const half = rx * Math.sqrt(1 - t * t);
  const cx = op.x + rx;
  const left = Math.ceil(cx - half - 0.5);
  const right = Math.floor(cx + half - 0.5);
  return left <= right ? [left, right] : null;
}

// Filled: each row's span. Outlined: the pixels of the filled shape that
// touch a pixel outside it, above, below or beside.
function ellipse(path, op, W, H) {
  const top = Math.max(op.y, 0);
  const bottom = Math.min(op.y + op.h, H);
  for (let r = top; r < bottom; r++) {
    const row = span(op, r);
    if (!row) continue;
    const [left, right] = row;
    const up = span(op, r - 1);
    const down = span(op, r + 1);
    if (op.f || !up || !down) {
      clipRect(path, left, r, right - left + 1, 1, W, H);
      continue;
    }
    const innerLeft = Math.max(left + 1, up[0], down[0]);
    const innerRight = Math.min(right - 1, up[1], down[1]);
    if (innerLeft > innerRight) {
      clipRect(path, left, r, right - left + 1, 1, W, H);
    } else {
      clipRect(path, left, r, innerLeft - left, 1, W, H);
      clipRect(path, innerRight + 1, r, right - innerRight, 1, W, H);
    }
  }
}
