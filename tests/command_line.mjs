// Every mistake on vesprine-monitor's command line, and every file it cannot
// read or write, gets one line on standard error saying what was wrong, and
// exit status 2.
// Run by CTest: node --test command_line.mjs, with MONITOR, RUN and SESSION
// (a recorded demo) set; one case serves the pipe.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { mkdtempSync, writeFileSync, rmSync } from 'node:fs';
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

const cases = [
  [['--exprot', 'x.png'], /^--exprot: unknown option; did you mean --export\?/],
  [['--fps', '0'], /^--fps: 0 is not in 1\.\.1000/],
  [['--fps', 'abc'], /^--fps: 'abc' is not a whole number/],
  [['--count', 'abc'], /^--count: 'abc' is not a whole number/],
  [['--at', '-3'], /^--at: -3 is not in 0\.\./],
  [['--view', '--listen', '19104'], /^--listen: '19104' is not ADDR:PORT/],
  [['--view', '--listen', '127.0.0.1:99999'], /^--listen: port 99999 is not in 0\.\.65535/],
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
  [['--record', path('r.vses'), '--', path('no-such-program')], /^cannot run .*no-such-program: /],
];

test('each mistake: one line saying what was wrong, status 2', () => {
  for (const [args, expected] of cases) {
    const full = windows ? [...runner, monitor, ...args] : [monitor, ...args];
    const result = spawnSync(full[0], full.slice(1), { encoding: 'utf8', timeout: 60_000, killSignal: 'SIGKILL' });
    const lines = result.stderr.replace(/\r/g, '').split('\n').filter(Boolean);
    const said = `${args.join(' ')}: status ${result.status}, said\n${result.stderr}`;
    assert.equal(result.status, 2, said);
    assert.equal(lines.length, 1, said);
    assert.match(lines[0].replace(/^vesprine-monitor: /, ''), expected, said);
    assert.equal(result.stdout, '', said);
  }
});
