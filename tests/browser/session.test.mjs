// A recorded session replayed into the view shows the same pixels as the live
// view did at the same message.
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { test as base, expect } from '@playwright/test';
import { startMonitor, send, openView, allPixels, expectSamePixels } from './helpers.mjs';

const scene = `SetResolution 200 150
SetColor 255 0 0 180
DrawRect 10 10 120 80 1
CreateSprite "s" 30 30
SetEditSprite "s"
SetColor 0 255 0 255
DrawEllipse 0 0 30 30 1
SetBound 100 70
SetAlpha 128
SetEncodingShiftJIS
DrawString 5 5 "\\x83\\x65\\x83\\x58\\x83\\x67" 16
DrawImage "images/logo.png" 150 100
`;

base('the view of a replayed session equals the live view, pixel for pixel', async ({ page }) => {
  const folder = mkdtempSync(join(tmpdir(), 'vesprine-session-'));
  const session = join(folder, 'scene.session');
  const live = await startMonitor(['--record', session]);
  let replayed;
  try {
    await openView(page, live.url, 0);
    const n = send(scene);
    await openView(page, live.url, n);
    const seen = await allPixels(page);
    expect(seen.some((value, i) => i % 4 !== 3 && value !== 0)).toBe(true);
    const lines = live.lines();
    await live.stop();
    replayed = await startMonitor(['--replay', session]);
    await openView(page, replayed.url, n);
    await expectSamePixels(page, seen);
    expect(replayed.lines()).toEqual(lines);
  } finally {
    await live.stop();
    if (replayed) await replayed.stop();
    rmSync(folder, { recursive: true, force: true });
  }
});
