// The timeline bar, and the page's two states: live (showing the latest
// frame) or paused at a point (a message number), asked of the monitor
// through `seek(n)` and `resume()`. The point is in the page's address
// (#message=N), so a link opens the view paused there.
export class Timeline {
  constructor({ seek, resume }) {
    this.ask = seek;
    this.backToLive = resume;
    this.paused = false;
    this.point = 0;   // paused: the message asked for, then the one shown
    this.asked = 0;   // the message of the last seek: answers to earlier ones move nothing
    this.first = 0;   // the earliest message the monitor still holds
    this.live = 0;    // messages drawn
    this.received = 0;  // messages received: more while the monitor's drawing lags
    this.scrub = document.getElementById('scrub');
    document.getElementById('pause').addEventListener('click', () => {
      if (this.paused) this.resume(); else this.seek(this.live);
    });
    document.getElementById('back').addEventListener('click', () => this.seek(this.point - 1));
    document.getElementById('forward').addEventListener('click', () => this.seek(this.point + 1));
    this.scrub.addEventListener('input', () => this.seek(Number(this.scrub.value)));
    // The address as changed, not as it is now: an answer may have rewritten
    // it before this event runs. An address without a point (going back to
    // where the view was opened live) is live.
    window.addEventListener('hashchange', (event) => {
      const hash = new URL(event.newURL).hash;
      const n = pointInAddress(hash);
      if (n !== null && (!this.paused || n !== this.point)) this.seek(n);
      if (hash === '' && this.paused) this.resume();
    });
    document.addEventListener('keydown', (event) => {
      if (!this.paused || event.target instanceof HTMLInputElement) return;
      if (event.key === 'ArrowLeft') this.seek(this.point - 1);
      if (event.key === 'ArrowRight') this.seek(this.point + 1);
    });
    document.getElementById('around').addEventListener('click', (event) => {
      const item = event.target.closest('li');
      if (item) this.seek(Number(item.dataset.message));
    });
    const n = pointInAddress(location.hash);
    if (n !== null) this.seek(n);
    this.render();
  }

  // Pauses at message `n` (0: before the first).
  seek(n) {
    this.paused = true;
    this.point = Math.max(0, Math.round(n));
    this.asked = this.point;
    history.replaceState(null, '', `#message=${this.point}`);
    this.ask(this.point);
    this.render();
  }

  resume() {
    this.paused = false;
    history.replaceState(null, '', location.pathname + location.search);
    document.getElementById('around').replaceChildren();
    this.backToLive();
    this.render();
  }

  // A state from the monitor: live, or the point it was asked for.
  stated(data) {
    this.received = Math.max(this.received, data.received);
    if (!data.point) {
      this.live = Math.max(this.live, data.messages);
    } else if (this.paused && data.point.asked === this.asked) {
      this.point = data.point.message;
      this.first = data.point.first;
      this.live = Math.max(this.live, data.point.last);
      history.replaceState(null, '', `#message=${this.point}`);
      this.showAround(data.point.around);
    }
    this.render();
  }

  // Messages received while paused.
  counted(messages, received, first) {
    this.live = messages;
    this.received = received;
    this.first = first;
    this.render();
  }

  render() {
    document.getElementById('timeline').dataset.state = this.paused ? 'paused' : 'live';
    document.getElementById('pause').textContent = this.paused ? 'Resume' : 'Pause';
    document.getElementById('around-note').hidden = this.paused;
    this.scrub.min = String(this.first);
    this.scrub.max = String(this.live);
    if (document.activeElement !== this.scrub || !this.paused) this.scrub.value = String(this.paused ? this.point : this.live);
    document.getElementById('position').textContent = this.paused
      ? `message ${this.point} of ${this.live}, paused${this.first > 0 ? `; earlier than ${this.first} dropped` : ''}`
      : `live: message ${this.live}${this.received > this.live ? `, ${this.received - this.live} more received, drawing` : ''}`;
  }

  showAround(lines) {
    const items = lines.map((line) => {
      const item = document.createElement('li');
      item.dataset.message = String(line.message);
      item.textContent = `${line.message}  ${line.line}`;
      if (line.message === this.point) item.className = 'selected';
      return item;
    });
    document.getElementById('around').replaceChildren(...items);
  }
}

function pointInAddress(hash) {
  const match = /^#message=(\d{1,15})$/.exec(hash);
  return match ? Number(match[1]) : null;
}
