// One restore through a set's restore page in headless Chromium, for
// bench/page_bench.sh: the browser started and the page opened first (not
// timed), then the time from the files chosen to the saved file complete on
// disk, and the browser's peak memory while it ran (the proportional set
// size of all its processes together, so that memory they share counts
// once; sampled every 20 ms), that memory before the files were chosen,
// and the processor time all its processes took meanwhile (user and
// system, in seconds: on a shared machine a steadier figure of what the
// browser's work costs than the time it took), and of the seconds the
// time until the page offered the file (the check; the rest is the save).
//   node page_run.mjs PAGE FOLDER DOWNLOADS
// prints: SECONDS PEAK_KIB IDLE_KIB CPU_SECONDS CHECK_SECONDS
import fs from 'node:fs';
import path from 'node:path';
import { close, launch, open, save } from '../tests/browser/browsers.mjs';

const [pageFile, folder, downloads] = process.argv.slice(2);
const files = fs.readdirSync(folder).filter((f) => fs.statSync(path.join(folder, f)).isFile())
  .map((f) => path.join(folder, f));

// `pid` and its descendants.
function tree(pid) {
  const children = new Map();
  for (const entry of fs.readdirSync('/proc')) {
    if (!/^\d+$/.test(entry)) continue;
    try {
      const ppid = Number(fs.readFileSync(`/proc/${entry}/stat`, 'utf8').split(') ')[1].split(' ')[1]);
      if (!children.has(ppid)) children.set(ppid, []);
      children.get(ppid).push(Number(entry));
    } catch (e) { /* gone */ }
  }
  const all = [];
  for (const stack = [pid]; stack.length;) {
    const p = stack.pop();
    all.push(p);
    stack.push(...(children.get(p) || []));
  }
  return all;
}

// The resident memory of `pid` and its descendants, in KiB.
function treeKib(pid) {
  let kib = 0;
  for (const p of tree(pid)) {
    try {
      const rollup = fs.readFileSync(`/proc/${p}/smaps_rollup`, 'utf8');
      kib += Number((rollup.match(/\nPss:\s+(\d+)/) || [0, 0])[1]);
    } catch (e) { /* gone */ }
  }
  return kib;
}

// The processor time `pid` and its descendants have taken, in seconds (and
// that of their threads and of children they waited for).
const ticks = 100;  // USER_HZ on Linux
function treeSeconds(pid) {
  let sum = 0;
  for (const p of tree(pid)) {
    try {
      const fields = fs.readFileSync(`/proc/${p}/stat`, 'utf8').split(') ')[1].split(' ');
      sum += Number(fields[11]) + Number(fields[12]) + Number(fields[13]) + Number(fields[14]);
    } catch (e) { /* gone */ }
  }
  return sum / ticks;
}

const browser = await launch('chromium', downloads);
const page = await open(browser, pageFile);
let peak = 0;
const pid = browser.process().pid;
const idle = treeKib(pid);
const sampler = setInterval(() => { peak = Math.max(peak, treeKib(pid)); }, 20);
const input = await page.$('input[type=file]');
const cpuBefore = treeSeconds(pid);
const start = process.hrtime.bigint();
await input.uploadFile(...files);
await page.waitForFunction(() => document.getElementById('status').className === 'restored',
                           { timeout: 600000, polling: 20 });
const check = Number(process.hrtime.bigint() - start) / 1e9;
await save(page, 600000);
const seconds = Number(process.hrtime.bigint() - start) / 1e9;
const cpu = treeSeconds(pid) - cpuBefore;
clearInterval(sampler);
peak = Math.max(peak, treeKib(pid));
await close(browser);
console.log(`${seconds.toFixed(3)} ${peak} ${idle} ${cpu.toFixed(2)} ${check.toFixed(3)}`);
