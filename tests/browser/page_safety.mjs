// What a file may not do to the restore page, in each browser given: a
// name that reads as markup shows as those characters and runs nothing;
// no request leaves the page (the Content-Security-Policy forbids them,
// and a page that tried would show here); the page states its version;
// files dropped on the page do what chosen ones do.
//   node page_safety.mjs RESTORE_HTML VERSION [chromium] [firefox]
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { choose, close, launch, open } from './browsers.mjs';

const [generic, version, ...kinds] = process.argv.slice(2);
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'morsela-safety-'));
const markup = '<img src=x onerror=alert(1)>';
fs.writeFileSync(path.join(work, `${markup}#.3`), 'a piece with no set');
fs.writeFileSync(path.join(work, `${markup}#.0`), `${markup}.txt\0data`);
let failed = 0;

for (const kind of kinds.length ? kinds : ['chromium', 'firefox']) {
  const browser = await launch(kind, work);
  try {
    const requests = [];
    const page = await open(browser, generic, requests);
    const errors = [];
    page.on('pageerror', (error) => errors.push(error.message));
    assert.match(await page.$eval('footer', (f) => f.textContent), new RegExp(`version ${version.replace('.', '\\.')}$`));
    // A lone piece #.3 of a set without a description: refused by the old rules.
    let got = await choose(page, [path.join(work, `${markup}#.3`)]);
    assert.deepEqual(got.lines, ['No Split File Found !']);
    // With a head piece: the list names both as text, no image made, no dialog.
    got = await choose(page, [path.join(work, `${markup}#.3`), path.join(work, `${markup}#.0`)]);
    assert.deepEqual(got.lines, ['File Not Found !']);
    assert.equal(got.save, null);
    const shown = await page.$$eval('#rows li', (items) => items.map((li) => li.textContent));
    assert.ok(shown.length === 0 || shown.every((text) => text.startsWith(markup)), shown.join(', '));
    assert.equal(await page.$$eval('img', (images) => images.length), 0, 'no image from a name');
    assert.deepEqual(page.morselaDialogs, [], 'no script ran from a name');
    assert.deepEqual(errors, []);
    // Files dropped on the page are taken as chosen ones.
    await page.evaluate((name) => {
      const dropped = new DataTransfer();
      dropped.items.add(new File(['a piece with no set'], name));
      document.getElementById('status').className = '';
      document.getElementById('drop').dispatchEvent(new DragEvent('drop', { dataTransfer: dropped, bubbles: true }));
    }, `${markup}#.3`);
    await page.waitForFunction(() => document.getElementById('status').className === 'refused');
    assert.equal(await page.$eval('#status', (s) => s.textContent), 'No Split File Found !');
    // The page cannot reach the network even when asked to.
    const blocked = await page.evaluate(async () => {
      try { await fetch('http://127.0.0.1:9/'); return 'fetched'; } catch (e) { return 'blocked'; }
    });
    assert.equal(blocked, 'blocked');
    assert.deepEqual(requests.filter((url) => !/^(file|blob):/.test(url)), [], 'no request left the page');
    console.log(`${kind}: the markup name shows as text, no request, version ${version}`);
  } catch (error) {
    ++failed;
    console.log(`FAIL ${kind}: ${error.message}`);
  } finally {
    await close(browser);
  }
}
fs.rmSync(work, { recursive: true, force: true });
process.exit(failed ? 1 : 0);
