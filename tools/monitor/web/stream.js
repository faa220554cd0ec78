// Receives the monitor's stream: one snapshot on joining, then batches; and
// fetches the state at a point of the timeline. Ops arrive as arrays and are
// handed on as objects ({k, m, x, y, ...}).
export function openStream(handlers) {
  const source = new EventSource('/events');
  source.addEventListener('open', () => handlers.status('live'));
  source.addEventListener('snapshot', (event) => {
    handlers.snapshot(unpackSnapshot(JSON.parse(event.data)));
  });
  source.addEventListener('batch', (event) => {
    handlers.batch(unpackBatch(JSON.parse(event.data)));
  });
  source.addEventListener('error', () => {
    handlers.status(source.readyState === EventSource.CLOSED
      ? 'refused by the monitor (too many live views open?)'
      : 'reconnecting');
  });
  return source;
}

// The state at a point of the timeline: the answer to /seek?message=N, with
// a snapshot, or, asked `from` an earlier point the page shows, with a batch
// of the changes from there (unless they are too many).
export async function fetchPoint(message, from = null) {
  const response = await fetch(`/seek?message=${message}${from === null ? '' : `&from=${from}`}`);
  if (!response.ok) throw new Error(`${response.status}: ${(await response.text()).trim()}`);
  const data = await response.json();
  if (data.snapshot) unpackSnapshot(data.snapshot); else unpackBatch(data.batch);
  return data;
}

function unpackBatch(data) {
  for (const e of data.events) if (e.t === 'ops') e.ops = e.ops.map(unpackOp);
  return data;
}

function unpackSnapshot(data) {
  data.screen.ops = data.screen.ops.map(unpackOp);
  for (const s of data.sprites) s.layer.ops = s.layer.ops.map(unpackOp);
  return data;
}

// [kind, message, fields in a fixed order per kind, then r, g, b, a for drawing ops].
function unpackOp(a) {
  const [k, m] = a;
  switch (k) {
    case 'pixel': return { k, m, x: a[2], y: a[3], c: a.slice(4, 8) };
    case 'line': return { k, m, x: a[2], y: a[3], x2: a[4], y2: a[5], c: a.slice(6, 10) };
    case 'rect':
    case 'ellipse': return { k, m, x: a[2], y: a[3], w: a[4], h: a[5], f: a[6] === 1, c: a.slice(7, 11) };
    case 'text': return { k, m, x: a[2], y: a[3], s: a[4], t: a[5], c: a.slice(6, 10) };
    case 'image': return { k, m, x: a[2], y: a[3], w: a[4], h: a[5], i: a[6], o: a[7] };
    case 'size': return { k, m, w: a[2], h: a[3] };
    default: return { k, m };
  }
}
