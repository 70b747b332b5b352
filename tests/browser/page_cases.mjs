// The restore's case tables through the restore page in real browsers,
// held to the restore program's outcome. The native tests export the cases
// (MORSELA_CASE_EXPORT, see tests/support/case_export.h); each case's files
// are all chosen at once through the page's file input, as a recipient who
// chooses the whole folder would. A case whose folder holds the set's own
// page (B.restore.html) opens that page, filled from the real template;
// else the generic restore.html.
//   node page_cases.mjs RESTORE_HTML CASES_DIR [chromium|firefox|firefox-key]...
// firefox-key runs one case of each test in Firefox.
import assert from 'node:assert/strict';
import crypto from 'node:crypto';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { choose, close, launch, open, save } from './browsers.mjs';
import { fillPage, descriptionOf } from './page_file.mjs';

const [generic, casesDir, ...runs] = process.argv.slice(2);
const template = fs.readFileSync(generic, 'utf8');
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'morsela-cases-'));
const hash = (file) => crypto.createHash('sha256').update(fs.readFileSync(file)).digest('hex');

// The manifest bytes at the end of a restore program's file, in base64;
// null when it carries none.
function programManifest(file) {
  const bytes = fs.readFileSync(file);
  if (bytes.length < 32 || bytes.subarray(bytes.length - 8).toString('latin1') !== 'MORSELA\x1a') return null;
  const at = Number(bytes.readBigUInt64LE(bytes.length - 32)), size = Number(bytes.readBigUInt64LE(bytes.length - 24));
  return bytes.subarray(at, at + size).toString('base64');
}

const sameName = (a, b) => a.toLowerCase() === b.toLowerCase();
const baseOf = (name) => (name.indexOf('.') < 0 ? '' : name.slice(0, name.indexOf('.')));

// Why a case cannot be put to the page; null when it can. The restore
// program restores the set of the name it was started under; the page, the
// set of the files chosen. Where the folder offers another way in (another
// program or page) or the program was started from no file, the two answer
// different questions.
function unfit(expected, files, caseDir) {
  if (!files.some((f) => sameName(f, expected.program))) return 'the program was started from no file';
  // A program that carries no footer is, to the page as to the window, a
  // file like any other: the restore program alone keeps its own name.
  const footer = fs.readFileSync(path.join(caseDir, 'files', expected.program)).subarray(-8).toString('latin1');
  if (footer !== 'MORSELA\x1a' && expected.first === 'Invalid File Name !') return 'the program is no restore program';
  const base = baseOf(expected.program);
  const other = files.find((f) => (/\.exe$/i.test(f) && !sameName(f, expected.program)) ||
                                  (/\.restore\.html$/i.test(f) && !sameName(f, base + '.restore.html')));
  return other ? `another way in: ${other}` : null;
}

// The page a case opens: the set's own when the folder holds it and it
// describes the set the restore program does, else the generic one.
function pageOf(caseDir, files, expected) {
  const own = files.find((f) => sameName(f, baseOf(expected.program) + '.restore.html'));
  if (!own) return generic;
  const description = descriptionOf(fs.readFileSync(path.join(caseDir, 'files', own), 'utf8'));
  if (!description || description !== programManifest(path.join(caseDir, 'files', expected.program))) return generic;
  const dir = fs.mkdtempSync(path.join(work, 'page-'));
  fs.writeFileSync(path.join(dir, own), fillPage(template, description));
  return path.join(dir, own);
}

async function runCase(browser, name) {
  const caseDir = path.join(casesDir, name);
  const expected = JSON.parse(fs.readFileSync(path.join(caseDir, 'case.json'), 'utf8'));
  // The restore program first, then the rest, as a recipient might.
  const files = fs.readdirSync(path.join(caseDir, 'files')).sort()
    .sort((a, b) => (sameName(b, expected.program) ? 1 : 0) - (sameName(a, expected.program) ? 1 : 0));
  const why = unfit(expected, files, caseDir);
  if (why) return why;
  const requests = [];
  const page = await open(browser, pageOf(caseDir, files, expected), requests);
  try {
    const got = await choose(page, files.map((f) => path.join(caseDir, 'files', f)));
    if (expected.code === 0) {
      assert.ok(got.restored, `restored, not refused: ${got.lines.join(' / ')}`);
      assert.equal(got.saveName, expected.restored);
      assert.ok(got.save.startsWith('Save'));
      const saved = await save(page);
      assert.equal(hash(saved), hash(path.join(caseDir, 'expected.bin')), 'the saved bytes');
      fs.rmSync(saved);
    } else {
      assert.ok(!got.restored, 'refused');
      assert.equal(got.save, null, 'nothing offered after a refusal');
      assert.equal(got.lines[0], expected.first);
      assert.equal(got.lines.slice(1).join('\n'), expected.second);
    }
    assert.deepEqual(requests.filter((url) => !url.startsWith('file:') && !url.startsWith('blob:')), [],
                     'no request leaves the page');
    assert.deepEqual(page.morselaDialogs, []);
    return null;
  } finally {
    await page.close();
  }
}

let failed = 0, passed = 0, skipped = 0;
const names = fs.readdirSync(casesDir).filter((n) => fs.existsSync(path.join(casesDir, n, 'case.json'))).sort();
for (const run of runs) {
  const kind = run.startsWith('firefox') ? 'firefox' : 'chromium';
  // One case of each test for the key run.
  const seen = new Set();
  const chosen = run.endsWith('-key')
    ? names.filter((n) => { const test = n.slice(4); if (seen.has(test)) return false; seen.add(test); return true; })
    : names;
  const downloads = fs.mkdtempSync(path.join(work, 'downloads-'));
  const browser = await launch(kind, downloads);
  const started = Date.now();
  try {
    for (const name of chosen) {
      try {
        const why = await runCase(browser, name);
        if (why) {
          ++skipped;
          console.log(`skip ${run} ${name}: ${why}`);
        } else {
          ++passed;
        }
      } catch (error) {
        ++failed;
        console.log(`FAIL ${run} ${name}: ${error.message.split('\n').slice(0, 6).join('\n  ')}`);
      }
    }
  } finally {
    await close(browser);
  }
  console.log(`${run}: ${chosen.length} cases in ${((Date.now() - started) / 1000).toFixed(1)} s`);
}
fs.rmSync(work, { recursive: true, force: true });
console.log(`${passed} passed, ${failed} failed, ${skipped} skipped`);
process.exit(failed || passed === 0 ? 1 : 0);
