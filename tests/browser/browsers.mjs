// Debian's Chromium and Firefox ESR, headless, through puppeteer-core (which
// downloads no browser), and the restore page driven as a recipient would:
// files chosen through its one file input, the outcome read from its
// status, the file saved through its Save link into a folder of our own.
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import puppeteer from 'puppeteer-core';

export const kinds = {
  chromium: {
    browser: 'chrome',
    executablePath: process.env.MORSELA_CHROMIUM || '/usr/bin/chromium',
  },
  firefox: {
    browser: 'firefox',
    executablePath: process.env.MORSELA_FIREFOX || '/usr/lib/firefox-esr/firefox-esr',
  },
};

// Starts `kind` with its downloads going to `downloads`.
export async function launch(kind, downloads) {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'morsela-browser-'));
  const options = { headless: true, executablePath: kinds[kind].executablePath, browser: kinds[kind].browser };
  if (kind === 'chromium') {
    // As root Chromium needs --no-sandbox; on a closed network it must not
    // look for updates, sync or components.
    options.args = ['--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update',
                    '--disable-sync', '--no-first-run', '--disable-quic', '--disable-dev-shm-usage',
                    `--user-data-dir=${profile}`];
  } else {
    options.extraPrefsFirefox = {
      'browser.download.dir': downloads,
      'browser.download.folderList': 2,
      'browser.download.useDownloadDir': true,
      'browser.download.always_ask_before_handling_new_types': false,
      'browser.helperApps.neverAsk.saveToDisk': 'application/octet-stream',
      'browser.download.start_downloads_in_tmp_dir': false,
      'browser.download.alwaysOpenPanel': false,
      'browser.download.panel.shown': true,
    };
    options.userDataDir = profile;
  }
  const browser = await puppeteer.launch(options);
  browser.morselaKind = kind;
  browser.morselaDownloads = downloads;
  browser.morselaProfile = profile;
  return browser;
}

export async function close(browser) {
  await browser.close();
  fs.rmSync(browser.morselaProfile, { recursive: true, force: true });
}

// Opens `pageFile` in a new tab with its downloads going to the browser's
// folder; `requests` collects every request the tab makes.
export async function open(browser, pageFile, requests = []) {
  const page = await browser.newPage();
  page.on('request', (request) => requests.push(request.url()));
  if (browser.morselaKind === 'chromium') {
    const session = await page.createCDPSession();
    await session.send('Browser.setDownloadBehavior',
                       { behavior: 'allow', downloadPath: browser.morselaDownloads, eventsEnabled: true });
  }
  const dialogs = [];
  page.on('dialog', async (dialog) => { dialogs.push(dialog.message()); await dialog.dismiss(); });
  page.morselaDialogs = dialogs;
  await page.goto('file://' + pageFile);
  return page;
}

// Chooses `files` through the page's file input and waits for the outcome:
// { restored, lines, save } with the status's lines and the Save link's
// text when one is offered.
export async function choose(page, files, timeout = 60000) {
  const input = await page.$('input[type=file]');
  await input.uploadFile(...files);
  await page.waitForFunction(() => /restored|refused/.test(document.getElementById('status').className),
                             { timeout });
  return page.evaluate(() => {
    const status = document.getElementById('status');
    const save = document.getElementById('save');
    return {
      restored: status.className === 'restored',
      lines: status.textContent.split('\n'),
      save: document.getElementById('saving').hidden ? null : save.textContent,
      saveName: save.getAttribute('download'),
    };
  });
}

// Clicks Save and waits for the file to be whole in the downloads folder,
// which must be empty before; its path. The browser may change the name
// (Chromium drops a leading dot), so the file is whichever one comes.
export async function save(page, timeout = 120000) {
  const folder = page.browser().morselaDownloads;
  await page.click('#save');
  const end = Date.now() + timeout;
  for (;;) {
    // Chromium writes "<name>.crdownload" and Firefox "<name>.part" until done.
    const names = fs.readdirSync(folder);
    const pending = names.some((f) => /\.(crdownload|part)$/.test(f));
    if (names.length === 1 && !pending) return path.join(folder, names[0]);
    if (Date.now() > end) throw new Error('no download came');
    await new Promise((resolve) => setTimeout(resolve, 20));
  }
}
