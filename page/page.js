// The restore page: chooses files, hands them to the worker that runs the
// core, and shows what the core says. Every name is shown as text.
'use strict';
(function () {
  const $ = (id) => document.getElementById(id);
  const input = $('files'), status = $('status'), progress = $('progress'), rows = $('rows');
  const save = $('save'), saving = $('saving');
  let worker = null, ready = null, busy = false, url = null, chosen = [];
  let code = null, wasm = null, helpers = null;
  // Helpers that checksum the pieces side by side before the core's check:
  // the browser hands four readers the files' bytes several times as fast
  // as one (see the README's "Speed and memory"). Each takes a batch of
  // consecutive pieces of up to kHelperBatch bytes at a time.
  const kHelpers = 4;
  const kHelperBatch = 16 << 20;

  function decode(base64) {
    const raw = atob(base64.trim());
    const out = new Uint8Array(raw.length);
    for (let i = 0; i < raw.length; ++i) out[i] = raw.charCodeAt(i);
    return out;
  }

  function say(lines, kind) {
    status.textContent = lines.join('\n');
    status.className = kind || '';
  }

  function list(rowsOfSet) {
    rows.textContent = '';
    for (const [name, state] of rowsOfSet) {
      const li = document.createElement('li');
      li.textContent = state ? name + ' (' + state + ')' : name;
      if (state) li.className = 'bad';
      rows.appendChild(li);
    }
    $('set').hidden = rowsOfSet.length === 0;
  }

  function start() {
    if (ready) return ready;
    code = URL.createObjectURL(new Blob([$('morsela-worker').textContent], { type: 'text/javascript' }));
    wasm = decode($('morsela-wasm').textContent);
    worker = new Worker(code);
    const description = $('morsela-set').textContent.trim();
    const carried = description && description !== 'MORSELA-' + 'SET' ? decode(description) : null;
    let pageName = 'restore.html';
    try { pageName = decodeURIComponent(location.pathname.split('/').pop()) || pageName; } catch (e) { /* kept */ }
    ready = new Promise((resolve) => {
      worker.onmessage = (event) => {
        if (!event.data.ready) return;
        const set = event.data.list;
        if (set && set.name) {
          $('title').textContent = 'Restore ' + set.name;
          document.title = set.name + ' - Morsela restore page';
          // Nothing is chosen yet: the names alone, as a list of what to choose.
          list(set.rows.map(([name]) => [name, '']));
          $('set-title').textContent = 'The pieces to choose';
        }
        resolve();
      };
    });
    worker.postMessage({ wasm, carried, pageName });
    return ready;
  }

  // The helpers, started once; a helper that fails to start is left out.
  function startHelpers() {
    if (helpers) return helpers;
    helpers = Promise.all(Array.from({ length: kHelpers }, () => new Promise((resolve) => {
      try {
        const helper = new Worker(code);
        helper.onmessage = () => resolve(helper);
        helper.onerror = () => resolve(null);
        helper.postMessage({ helper: true, wasm });
      } catch (e) {
        resolve(null);
      }
    }))).then((started) => started.filter((helper) => helper));
    return helpers;
  }

  // The CRC-32C of each chosen file that `order` (the core's) names, by the
  // helpers: [[file, crc], ...]. A file a helper could not read is left out
  // for the core to read and tell.
  async function checksums(order) {
    const batches = [];
    let total = 0, done = 0, next = 0;
    for (const file of order) {
      if (file < 0) continue;
      const size = chosen[file].size;
      const last = batches[batches.length - 1];
      if (last && last.size + size <= kHelperBatch) {
        last.files.push(file);
        last.size += size;
      } else {
        batches.push({ files: [file], size });
      }
      total += size;
    }
    const found = [];
    await Promise.all((await startHelpers()).map((helper) => new Promise((resolve) => {
      let files = chosen;  // sent with a helper's first batch of this choice
      const give = () => {
        if (next === batches.length) return resolve();
        const batch = batches[next++];
        helper.onmessage = (event) => {
          found.push(...event.data.crcs);
          done += batch.size;
          progress.value = total ? done / total : 0;
          give();
        };
        helper.onerror = () => resolve();
        helper.postMessage({ batch: batch.files, files });
        files = undefined;
      };
      give();
    })));
    return found;
  }

  function offer(outcome, rebuilt) {
    let next = 0;
    const parts = outcome.parts.map((part) => part[0] < 0 ? rebuilt[next++] : chosen[part[0]].slice(part[1], part[2]));
    if (url) URL.revokeObjectURL(url);
    url = URL.createObjectURL(new Blob(parts, { type: 'application/octet-stream' }));
    save.href = url;
    save.download = outcome.name;
    save.textContent = 'Save ' + outcome.name;
    saving.hidden = false;
  }

  async function take(files) {
    if (busy || files.length === 0) return;
    busy = true;
    chosen = Array.from(files);
    saving.hidden = true;
    save.removeAttribute('href');
    say(['Checking ' + chosen.length + (chosen.length === 1 ? ' file…' : ' files…')]);
    progress.value = 0;
    progress.hidden = false;
    await start();
    startHelpers();  // while the core looks at the chosen files
    worker.onmessage = (event) => {
      const m = event.data;
      if (m.progress) {
        progress.value = m.progress[1] ? m.progress[0] / m.progress[1] : 0;
      } else if (m.list) {
        $('set-title').textContent = 'The pieces';
        list(m.list.rows);
        // The helpers checksum only for a set the check compares with CRCs
        // and does not refuse before it reads.
        const sums = m.list.described && !m.list.refusal ? checksums(m.list.order) : Promise.resolve([]);
        sums.then((known) => worker.postMessage({ check: true, known }));
      } else if (m.outcome) {
        busy = false;
        progress.hidden = true;
        list(m.outcome.rows);
        if (m.outcome.code === 0) {
          say(m.outcome.status, 'restored');
          offer(m.outcome, m.rebuilt);
        } else {
          say(m.outcome.status, 'refused');
        }
      }
    };
    worker.postMessage({ files: chosen });
  }

  start();
  $('choose').addEventListener('click', () => input.click());
  input.addEventListener('change', () => { take(input.files); input.value = ''; });
  const drop = $('drop');
  drop.addEventListener('dragover', (e) => { e.preventDefault(); drop.classList.add('over'); });
  drop.addEventListener('dragleave', () => drop.classList.remove('over'));
  drop.addEventListener('drop', (e) => {
    e.preventDefault();
    drop.classList.remove('over');
    take(e.dataTransfer.files);
  });
})();
