// Receives the monitor's stream: one snapshot on joining, then batches.
export function openStream(handlers) {
  const source = new EventSource('/events');
  source.addEventListener('open', () => handlers.status('live'));
  source.addEventListener('snapshot', (event) => handlers.snapshot(JSON.parse(event.data)));
  source.addEventListener('batch', (event) => handlers.batch(JSON.parse(event.data)));
  source.addEventListener('error', () => {
    handlers.status(source.readyState === EventSource.CLOSED
      ? 'refused by the monitor (too many live views open?)'
      : 'reconnecting');
  });
  return source;
}
