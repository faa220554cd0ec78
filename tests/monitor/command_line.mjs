// Every mistake on vesprine-monitor's command line, and every file it cannot
// read or write, gets one line on standard error saying what was wrong, and
// exit status 2.
// Run by CTest: node --test command_line.mjs, with MONITOR, RUN and SESSION
// (a recorded demo) set; one case serves the pipe.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawn, spawnSync } from 'node:child_process';
import { mkdtempSync, writeFileSync, readFileSync, copyFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

const monitor = process.env.MONITOR;
const runner = (process.env.RUN || '').split(' ').filter(Boolean);
const windows = monitor.endsWith('.exe');
const demo = process.env.SESSION;
const work = mkdtempSync(join(tmpdir(), 'vesprine-command-line-'));
process.on('exit', () => rmSync(work, { recursive: true, force: true }));
const path = (name) => join(work, name);
writeFileSync(path('empty.vses'), '');
const missing = path('missing.vses');
const nowhere = '/vesprine-nowhere/nodir/a.png';
// A recording that must not be emptied by a command that fails.
const keep = path('keep.vses');
copyFileSync(demo, keep);
writeFileSync(path('run.bat'), '@echo %*\r\n');

const cases = [
  [['--exprot', 'x.png'], /^--exprot: unknown option; did you mean --export\?/],
  [['--fps', '0'], /^--fps: 0 is not in 1\.\.1000/],
  [['--fps', 'abc'], /^--fps: 'abc' is not a whole number/],
  [['--count', 'abc'], /^--count: 'abc' is not a whole number/],
  [['--at', '-3'], /^--at: -3 is not in 0\.\./],
  [['--view', '--listen', '19104'], /^--listen: '19104' is not ADDR:PORT/],
  [['--view', '--listen', '127.0.0.1:99999'], /^--listen: port 99999 is not in 0\.\.65535/],
  [['--view', '--listen', '[::1]'], /^--listen: '\[::1\]' is not ADDR:PORT/],
  [['--view', '--listen', 'nowhere.example:0'], /^--listen: not an IP address: nowhere\.example/],
  [['--compare', 'A'], /^--compare needs two session files, A and B/],
  [['--compare', 'A', 'B', '--compare', 'C'], /^--compare needs two session files, A and B/],
  [['--replay', demo, '--export', 'a.png', '--from', '5', '--to', '3'], /^--from 5 is past --to 3/],
  [['--replay', demo, '--export', 'a.png', '--at', '3', '--to', '5'], /^--(at|to) excludes --(at|to)/],
  [['--export', 'a.png'], /^--export requires --replay/],
  [['--final'], /^--final requires --compare/],
  [['--at', '3'], /^--at needs --export or --compare/],
  [['stray'], /^stray: unexpected argument/],
  [['--replay', demo, '--', 'program'], /^-- PROGRAM .*excludes --replay/],
  [['--replay', missing], /^cannot read .*missing\.vses: No such file or directory/],
  [['--replay', work], /^cannot read .*: it is a folder/],
  [['--replay', path('empty.vses')], /^cannot read .*empty\.vses: it is empty/],
  [['--replay', demo, '--export', nowhere], /^cannot write \/vesprine-nowhere\/nodir\/a\.png: the folder \/vesprine-nowhere\/nodir does not exist/],
  [['--compare', demo, demo, '--diff', nowhere], /^cannot write \/vesprine-nowhere\/nodir\/a\.png: the folder/],
  [['--replay', missing, '--export', path('a.png')], /^cannot read .*missing\.vses: No such file or directory/],
  [['--compare', demo, path('empty.vses')], /^cannot read .*empty\.vses: it is empty/],
  [['--record', keep, '--', path('no-such-program')], /^cannot run .*no-such-program: /],
  [['--replay', keep, '--record', keep], /^--record .*keep\.vses is the session --replay reads/],
  [['--replay', path('empty.vses'), '--record', keep], /^cannot read .*empty\.vses: it is empty/],
  // cmd.exe would read & in the arguments as a command of its own.
  ...(windows ? [path('run.bat'), path('RUN.Cmd. ')] : []).map((batch) =>
    [['--record', keep, '--', batch, '&', 'echo', 'ran'], /^cannot run .*: batch files run through cmd\.exe/]),
];

const command = (args) => (windows ? [...runner, monitor, ...args] : [monitor, ...args]);

// Runs each of `cases`: one line on standard error, status 2, nothing on standard output.
function saysOneLine(cases) {
  for (const [args, expected] of cases) {
    const full = command(args);
    const result = spawnSync(full[0], full.slice(1), { encoding: 'utf8', timeout: 60_000, killSignal: 'SIGKILL' });
    const lines = result.stderr.replace(/\r/g, '').split('\n').filter(Boolean);
    const said = `${args.join(' ')}: status ${result.status}, said\n${result.stderr}`;
    assert.equal(result.status, 2, said);
    assert.equal(lines.length, 1, said);
    assert.match(lines[0].replace(/^vesprine-monitor: /, ''), expected, said);
    assert.equal(result.stdout, '', said);
  }
  assert.ok(readFileSync(keep).equals(readFileSync(demo)), 'a command that failed emptied the recording');
}

test('each mistake: one line saying what was wrong, status 2', () => saysOneLine(cases));

test('the name served by another monitor: said, and the recording left as it was', async () => {
  copyFileSync(demo, keep);
  const [program, ...rest] = command([]);
  const other = spawn(program, rest, { stdio: ['ignore', 'ignore', 'pipe'] });
  try {
    let said = '';
    other.stderr.on('data', (data) => { said += data; });
    const end = Date.now() + 60_000;
    while (!/serving VesprinePipe/.test(said)) {
      assert.ok(Date.now() < end, `the other monitor did not start: ${said}`);
      await new Promise((resolve) => setTimeout(resolve, 50));
    }
    const served = /^VesprinePipe is already served by another process/;
    saysOneLine([[['--record', keep], served], [['--record', keep, '--', path('no-such-program')], served]]);
  } finally {
    other.kill('SIGKILL');
  }
});
