// A monitor started through helpers.mjs ends with the process that started
// it, however that process ends (killed with SIGKILL, SIGTERM, or exiting
// without stopping it), and leaves the pipe name free for the next monitor.
// MONITOR, IMAGES and RUN as for the browser tests: node orphans.mjs
import { spawn } from 'node:child_process';
import { existsSync, mkdtempSync, readdirSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';
import { startMonitor } from './helpers.mjs';

const budget = 150_000;
const folder = mkdtempSync(join(tmpdir(), 'vesprine-orphans-'));
const started = [];  // pids of monitors the children started, killed at the end whatever happens

// Ends the run: kills whatever the checks left behind, says why it failed.
function finish(failure) {
  for (const pid of started) {
    try { process.kill(pid, 'SIGKILL'); } catch {}
  }
  rmSync(folder, { recursive: true, force: true });
  if (failure) console.error(`FAIL: ${failure}`);
  process.exit(failure ? 1 : 0);
}
setTimeout(() => finish(`not done within ${budget / 1000} s`), budget);

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// Whether process `pid` still runs (a zombie has ended).
function running(pid) {
  try {
    return !/^\d+ \(.*\) Z/.test(readFileSync(`/proc/${pid}/stat`, 'utf8'));
  } catch {
    return false;
  }
}

// The pids of processes whose command line names `marker`.
function namedBy(marker) {
  return readdirSync('/proc').filter((entry) => /^\d+$/.test(entry)).filter((pid) => {
    try {
      return readFileSync(`/proc/${pid}/cmdline`, 'utf8').includes(marker) && running(Number(pid));
    } catch {
      return false;
    }
  });
}

// Runs a node process that starts a monitor through helpers.mjs and then
// ends the way `how` says; returns the monitor's pid once it serves.
async function orphan(how, marker) {
  const helpers = pathToFileURL(join(import.meta.dirname, 'helpers.mjs')).href;
  const code = `
    const { startMonitor } = await import(${JSON.stringify(helpers)});
    const monitor = await startMonitor(['--record', ${JSON.stringify(marker)}]);
    process.stdout.write(monitor.pid + '\\n');
    if (${JSON.stringify(how)} === 'exit') process.exit(0);
    setInterval(() => {}, 1000);`;
  // The child's own temporary folders go in ours, which is removed at the end.
  const child = spawn(process.execPath, ['--input-type=module', '-e', code],
    { stdio: ['ignore', 'pipe', 'inherit'], env: { ...process.env, TMPDIR: folder } });
  let out = '';
  child.stdout.on('data', (data) => { out += data; });
  const exited = new Promise((resolve) => child.on('exit', resolve));
  while (!out.includes('\n')) {
    if (child.exitCode !== null && !out.includes('\n')) throw new Error(`the child ended before its monitor served`);
    await sleep(20);
  }
  const pid = Number(out.trim());
  started.push(pid);
  if (how !== 'exit') child.kill(how);
  await exited;
  return pid;
}

for (const how of ['SIGKILL', 'SIGTERM', 'exit']) {
  const marker = join(folder, `${how}.session`);
  let pid;
  try {
    pid = await orphan(how, marker);
  } catch (error) {
    finish(`${how}: ${error.message}`);
  }
  // Gone within a few seconds, and nothing else started for it either.
  for (let i = 0; i < 250 && (running(pid) || namedBy(marker).length > 0); ++i) await sleep(20);
  if (running(pid)) finish(`${how}: the monitor (pid ${pid}) still runs 5 s after the process that started it ended`);
  const left = namedBy(marker);
  if (left.length > 0) {
    started.push(...left.map(Number));
    finish(`${how}: processes ${left.join(', ')} of the monitor still run 5 s after the process that started it ended`);
  }
  // The pipe name is free: the next monitor serves it.
  let next;
  try {
    next = await startMonitor();
  } catch (error) {
    finish(`${how}: the next monitor could not serve: ${error.message}`);
  }
  await next.stop();
  console.log(`${how}: the monitor ended with the process that started it; the next one served`);
}
finish(existsSync(folder) ? '' : 'the work folder went missing');
