// One restore through a set's restore page in headless Chromium, for
// bench/page_bench.sh: the browser started and the page opened first (not
// timed), then the time from the files chosen to the saved file complete on
// disk, and the browser's peak memory while it ran (the proportional set
// size of all its processes together, so that memory they share counts
// once; sampled every 20 ms), and that memory before the files were chosen.
//   node page_run.mjs PAGE FOLDER DOWNLOADS
// prints: SECONDS PEAK_KIB IDLE_KIB
import fs from 'node:fs';
import path from 'node:path';
import { close, launch, open, save } from '../tests/browser/browsers.mjs';

const [pageFile, folder, downloads] = process.argv.slice(2);
const files = fs.readdirSync(folder).filter((f) => fs.statSync(path.join(folder, f)).isFile())
  .map((f) => path.join(folder, f));

// The resident memory of `pid` and its descendants, in KiB.
function treeKib(pid) {
  const children = new Map();
  for (const entry of fs.readdirSync('/proc')) {
    if (!/^\d+$/.test(entry)) continue;
    try {
      const ppid = Number(fs.readFileSync(`/proc/${entry}/stat`, 'utf8').split(') ')[1].split(' ')[1]);
      if (!children.has(ppid)) children.set(ppid, []);
      children.get(ppid).push(Number(entry));
    } catch (e) { /* gone */ }
  }
  let kib = 0;
  for (const stack = [pid]; stack.length;) {
    const p = stack.pop();
    try {
      const rollup = fs.readFileSync(`/proc/${p}/smaps_rollup`, 'utf8');
      kib += Number((rollup.match(/\nPss:\s+(\d+)/) || [0, 0])[1]);
    } catch (e) { /* gone */ }
    stack.push(...(children.get(p) || []));
  }
  return kib;
}

const browser = await launch('chromium', downloads);
const page = await open(browser, pageFile);
let peak = 0;
const pid = browser.process().pid;
const idle = treeKib(pid);
const sampler = setInterval(() => { peak = Math.max(peak, treeKib(pid)); }, 20);
const input = await page.$('input[type=file]');
const start = process.hrtime.bigint();
await input.uploadFile(...files);
await page.waitForFunction(() => document.getElementById('status').className === 'restored',
                           { timeout: 600000, polling: 20 });
await save(page, 600000);
const seconds = Number(process.hrtime.bigint() - start) / 1e9;
clearInterval(sampler);
peak = Math.max(peak, treeKib(pid));
await close(browser);
console.log(`${seconds.toFixed(3)} ${peak} ${idle}`);
