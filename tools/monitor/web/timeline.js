// The timeline: pauses the view, steps and scrubs to any message, and lists
// the messages around the point. The point is in the page's address
// (#message=N), so a link opens the view paused there.
import { fetchPoint } from './stream.js';

export class Timeline {
  // `show(data)` shows a point (the answer to /seek) and returns when it is
  // drawn; `shown()` is the point the page shows, from which the changes
  // alone will do, or null; `resume()` goes back to live; `note(text)`
  // reports a failure.
  constructor({ show, shown, resume, note }) {
    this.showPoint = show;
    this.shown = shown;
    this.onResume = resume;
    this.note = note;
    this.paused = false;
    this.point = 0;     // the message shown while paused
    this.first = 0;     // the earliest message the monitor still holds
    this.live = 0;      // messages received
    this.wanted = null; // the next point to fetch
    this.busy = false;
    this.root = document.getElementById('timeline');
    this.scrub = document.getElementById('scrub');
    document.getElementById('pause').addEventListener('click', () => {
      if (this.paused) this.resume(); else this.seek(this.live);
    });
    document.getElementById('back').addEventListener('click', () => this.seek(this.point - 1));
    document.getElementById('forward').addEventListener('click', () => this.seek(this.point + 1));
    this.scrub.addEventListener('input', () => this.seek(Number(this.scrub.value)));
    window.addEventListener('hashchange', () => {
      const n = pointInAddress();
      if (n !== null) this.seek(n);
    });
    document.addEventListener('keydown', (event) => {
      if (!this.paused || event.target instanceof HTMLInputElement) return;
      if (event.key === 'ArrowLeft') this.seek(this.point - 1);
      if (event.key === 'ArrowRight') this.seek(this.point + 1);
    });
    document.getElementById('around').addEventListener('click', (event) => {
      const item = event.target.closest('li');
      if (item) this.seek(Number(item.dataset.m));
    });
  }

  // Opens at the point in the address, if there is one.
  start() {
    const n = pointInAddress();
    if (n !== null) this.seek(n);
    this.render();
  }

  // Goes to message `n` (0: before the first), pausing the view. While one
  // point is fetched, only the last one asked for waits: scrubbing never
  // queues up requests.
  seek(n) {
    this.paused = true;
    this.wanted = Math.max(0, Math.round(n));
    this.render();
    if (!this.busy) this.fetchWanted();
  }

  async fetchWanted() {
    this.busy = true;
    while (this.wanted !== null && this.paused) {
      const n = this.wanted;
      this.wanted = null;
      try {
        const from = this.shown();
        const data = await fetchPoint(n, from !== null && from < n ? from : null);
        if (!this.paused) break;
        this.point = data.message;
        this.first = data.first;
        this.live = Math.max(this.live, data.last);
        history.replaceState(null, '', `#message=${data.message}`);
        await this.showPoint(data);
        this.showAround(data.around);
      } catch (error) {
        this.note(`cannot show message ${n}: ${error.message}`);
      }
      this.render();
    }
    this.busy = false;
  }

  resume() {
    this.paused = false;
    this.wanted = null;
    history.replaceState(null, '', location.pathname + location.search);
    document.getElementById('around').replaceChildren();
    this.onResume();
    this.render();
  }

  // The count of messages received, from the live stream.
  counted(messages) {
    this.live = messages;
    this.render();
  }

  render() {
    this.root.dataset.state = this.paused ? 'paused' : 'live';
    document.getElementById('pause').textContent = this.paused ? 'Resume' : 'Pause';
    document.getElementById('around-note').hidden = this.paused;
    this.scrub.min = String(this.first);
    this.scrub.max = String(this.live);
    const at = this.paused ? this.wanted ?? this.point : this.live;
    if (document.activeElement !== this.scrub || !this.paused) this.scrub.value = String(at);
    document.getElementById('position').textContent = this.paused
      ? `message ${at} of ${this.live}, paused${this.first > 0 ? `; earlier than ${this.first} dropped` : ''}`
      : `live: message ${this.live}`;
  }

  showAround(lines) {
    const items = lines.map((line) => {
      const item = document.createElement('li');
      item.dataset.m = String(line.m);
      item.textContent = `${line.m}  ${line.line}`;
      if (line.m === this.point) item.className = 'selected';
      return item;
    });
    document.getElementById('around').replaceChildren(...items);
  }
}

function pointInAddress() {
  const match = /^#message=(\d{1,15})$/.exec(location.hash);
  return match ? Number(match[1]) : null;
}
