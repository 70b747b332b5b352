// A set's own restore page, as the split wrote it, restores the set byte
// for byte: every file of the folder chosen, the outcome read, the file
// saved and compared, in each browser given; no request leaves the page.
//   node own_page.mjs FOLDER PAGE_NAME EXPECTED_FILE [chromium] [firefox]
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { choose, close, launch, open, save } from './browsers.mjs';

const [folder, pageName, expected, ...kinds] = process.argv.slice(2);
const files = fs.readdirSync(folder).map((f) => path.join(folder, f));
let failed = 0;
for (const kind of kinds.length ? kinds : ['chromium', 'firefox']) {
  const downloads = fs.mkdtempSync(path.join(os.tmpdir(), 'morsela-own-'));
  const browser = await launch(kind, downloads);
  try {
    const requests = [];
    const page = await open(browser, path.join(folder, pageName), requests);
    const got = await choose(page, files);
    assert.ok(got.restored, got.lines.join(' / '));
    const saved = await save(page);
    assert.ok(fs.readFileSync(saved).equals(fs.readFileSync(expected)), 'the saved file is the source');
    assert.deepEqual(requests.filter((url) => !/^(file|blob):/.test(url)), []);
    console.log(`${kind}: ${got.lines.join(' / ')} (${got.save})`);
  } catch (error) {
    ++failed;
    console.log(`FAIL ${kind}: ${error.message}`);
  } finally {
    await close(browser);
    fs.rmSync(downloads, { recursive: true, force: true });
  }
}
process.exit(failed ? 1 : 0);
