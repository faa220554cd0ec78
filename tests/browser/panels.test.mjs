// The panels beside the screen: whenever #screen names a message, the
// sprites and the log show that message too; and the log's filters sit on
// one line in an ordinary window.
import { test, expect, send, openView, showsMessage, shownWithin } from './helpers.mjs';

// A sprite moved and a log line written, step by step, and what the panels
// must show after each message: the sprite's bound and the newest log line.
const lines = ['CreateSprite "s" 4 4'];
const expected = [{ bound: null, log: null }, { bound: '0, 0', log: null }];
const steps = [];
for (let i = 1; i <= 200; i++) {
  steps.push(['SetEditSprite "s"', `SetBound ${i} 0`, `LogI "step ${i}"`]);
  const { log } = expected.at(-1);
  expected.push({ bound: expected.at(-1).bound, log }, { bound: `${i}, 0`, log }, { bound: `${i}, 0`, log: `step ${i}` });
}
const script = (part) => part.flat().join('\n') + '\n';

// Records, at the end of each task that changes #screen's data-message, the
// message it names and what the panels show then.
function recordPanels(page) {
  return page.addInitScript(() => {
    window.seen = [];
    document.addEventListener('DOMContentLoaded', () => {
      const screen = document.getElementById('screen');
      new MutationObserver(() => {
        const row = document.querySelector('#sprites tbody tr');
        window.seen.push({
          message: Number(screen.dataset.message),
          bound: row ? row.cells[2].textContent : null,
          log: document.querySelector('#log li')?.lastChild.textContent ?? null,
        });
      }).observe(screen, { attributeFilter: ['data-message'] });
    });
  });
}

async function expectPanelsAgree(page, least) {
  const seen = await page.evaluate(() => window.seen);
  expect(seen.length, JSON.stringify(seen)).toBeGreaterThanOrEqual(least);
  for (const { message, bound, log } of seen) {
    expect({ message, bound, log }).toEqual({ message, ...expected[message] });
  }
}

test('the panels show the message #screen names, at once: seeking', async ({ page, monitor }) => {
  const n = send(script([lines, ...steps]));
  await openView(page, monitor.url, n);
  // Opened at a point, as a link or a headless screenshot opens it; then sought.
  await page.goto('about:blank');
  await recordPanels(page);
  await openView(page, monitor.url, 20, '#message=20');
  for (const point of [7, 400, 3, n, 1]) {
    await page.evaluate((m) => { location.hash = `#message=${m}`; }, point);
    await expect(page.locator('#screen')).toHaveAttribute('data-message', String(point), shownWithin);
  }
  await expectPanelsAgree(page, 6);
});

test('the panels show the message #screen names, at once: live drawing', async ({ page, monitor }) => {
  await recordPanels(page);
  await openView(page, monitor.url, 0);
  // In batches, each shown before the next is sent: frames a few milliseconds
  // apart. Each batch is a client of its own, and the monitor keeps no order
  // between clients whose messages it has not read yet.
  let n = send(script([lines]));
  await showsMessage(page, n);
  for (let i = 0; i < steps.length; i += 10) {
    n += send(script(steps.slice(i, i + 10)));
    await showsMessage(page, n);
  }
  await expectPanelsAgree(page, 20);
});

test('the log\'s filters lie on one line, none over another, in a window 1280 pixels wide', async ({ page, monitor }) => {
  await page.setViewportSize({ width: 1280, height: 800 });
  await openView(page, monitor.url, 0);
  const boxes = await page.locator('#filters label').evaluateAll((labels) =>
    labels.map((label) => label.getBoundingClientRect().toJSON()));
  const panel = await page.locator('#panels').evaluate((element) => element.getBoundingClientRect().toJSON());
  expect(boxes.length).toBe(7);
  for (const [i, box] of boxes.entries()) {
    expect(box.right, `filter ${i} inside the panel`).toBeLessThanOrEqual(panel.right);
    for (const [j, other] of boxes.entries()) {
      if (j <= i) continue;
      expect(box.top < other.bottom && other.top < box.bottom, `filters ${i} and ${j} share a row`).toBe(true);
      expect(box.right <= other.left || other.right <= box.left, `filters ${i} and ${j} overlap`).toBe(true);
    }
  }
});
