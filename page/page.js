// The restore page: chooses files, hands them to the worker that runs the
// core, and shows what the core says. Every name is shown as text.
'use strict';
(function () {
  const $ = (id) => document.getElementById(id);
  const input = $('files'), status = $('status'), progress = $('progress'), rows = $('rows');
  const save = $('save'), saving = $('saving');
  let worker = null, ready = null, busy = false, url = null, chosen = [];

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
    const code = new Blob([$('morsela-worker').textContent], { type: 'text/javascript' });
    worker = new Worker(URL.createObjectURL(code));
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
    worker.postMessage({ wasm: decode($('morsela-wasm').textContent), carried, pageName });
    return ready;
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
    worker.onmessage = (event) => {
      const m = event.data;
      if (m.progress) {
        progress.value = m.progress[1] ? m.progress[0] / m.progress[1] : 0;
      } else if (m.list) {
        $('set-title').textContent = 'The pieces';
        list(m.list.rows);
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
