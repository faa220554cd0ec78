// Looks closer at the point shown: a pixel's history (from /pixel), and
// where a chosen sprite lies, with its surface alone (from /sprite).

// The history of screen pixel (x, y) right after message `message`.
export async function pixelHistory(x, y, message) {
  const response = await fetch(`/pixel?x=${x}&y=${y}&message=${message}`);
  if (!response.ok) throw new Error(`${response.status}: ${(await response.text()).trim()}`);
  return response.json();
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

// A sprite's surface alone, at its own size, right after message `message`.
export function showSurface(image, sprite, message) {
  image.hidden = !sprite;
  if (!sprite) {
    image.removeAttribute('src');
    return;
  }
  const source = `/sprite?id=${sprite.id}&message=${message}`;
  if (image.getAttribute('src') !== source) image.src = source;
}
