// The restore page's worker: runs the WebAssembly core, which reads the
// chosen files synchronously through FileReaderSync.
'use strict';
let core = null;
let files = [];
const reader = new FileReaderSync();
const utf8 = new TextEncoder();
const text = new TextDecoder();
let lastProgress = 0;
// Reading ahead: the browser reads a few large slices far faster than many
// small ones, so the pieces the check reads next (in `order`, from the
// core) are read together, up to this many bytes, and kept until the next
// batch.
const kBatch = 32 << 20;
let order = [], placeOf = new Map(), batch = new Map();

function readAhead(file) {
  const from = placeOf.get(file);
  const chosen = [];
  let bytes = 0;
  for (let k = from; k < order.length && order[k] >= 0; ++k) {
    const f = files[order[k]];
    if (chosen.length && bytes + f.size > kBatch) break;
    chosen.push(order[k]);
    bytes += f.size;
  }
  const buffer = reader.readAsArrayBuffer(new Blob(chosen.map((f) => files[f])));
  batch = new Map();
  let at = 0;
  for (const f of chosen) {
    batch.set(f, { buffer, at, size: files[f].size });
    at += files[f].size;
  }
}

function bytes(ptr, size) { return new Uint8Array(core.memory.buffer, ptr, size); }

function put(string) {
  const encoded = utf8.encode(string);
  const ptr = core.page_alloc(Math.max(1, encoded.length));
  bytes(ptr, encoded.length).set(encoded);
  return [ptr, encoded.length];
}

function result(ptr) { return JSON.parse(text.decode(bytes(ptr, core.page_result_size()).slice())); }

const imports = {
  morsela: {
    read(file, offset, ptr, size) {
      try {
        if (!batch.has(file) && offset === 0 && placeOf.has(file)) readAhead(file);
        const kept = batch.get(file);
        if (kept && offset + size <= kept.size) {
          bytes(ptr, size).set(new Uint8Array(kept.buffer, kept.at + offset, size));
          return size;
        }
        const chunk = reader.readAsArrayBuffer(files[file].slice(offset, offset + size));
        bytes(ptr, chunk.byteLength).set(new Uint8Array(chunk));
        return chunk.byteLength;
      } catch (e) {
        return -1;
      }
    },
    progress(done, total) {
      const now = Date.now();
      if (now - lastProgress < 100) return;
      lastProgress = now;
      postMessage({ progress: [done, total] });
    },
  },
  // The C library's few calls to the system, which the core never needs.
  wasi_snapshot_preview1: {
    fd_close() { return 8; },
    fd_seek() { return 8; },
    fd_write() { return 8; },
    proc_exit() { throw new Error('exit'); },
  },
};

onmessage = async (event) => {
  const m = event.data;
  if (m.wasm) {
    const { instance } = await WebAssembly.instantiate(m.wasm, imports);
    core = instance.exports;
    core._initialize();
    if (m.carried) {
      const [p, n] = [core.page_alloc(m.carried.length), m.carried.length];
      bytes(p, n).set(m.carried);
      const [q, k] = put(m.pageName);
      core.page_carry(p, n, q, k);
      core.page_free(p);
      core.page_free(q);
    }
    // A page that carries its set shows it before anything is chosen:
    // its name, and every piece the recipient is to choose.
    core.page_clear();
    postMessage({ ready: true, list: m.carried ? result(core.page_choose()) : null });
    return;
  }
  if (m.files) {
    files = m.files;
    core.page_clear();
    for (const file of files) {
      const [p, n] = put(file.name);
      core.page_add(p, n, file.size);
      core.page_free(p);
    }
    const list = result(core.page_choose());
    order = list.order;
    placeOf = new Map(order.map((file, k) => [file, k]).filter(([file]) => file >= 0));
    batch = new Map();
    postMessage({ list });
    const outcome = result(core.page_check());
    // The rebuilt bytes go along; the chosen files' bytes the page has.
    const rebuilt = outcome.parts.filter((part) => part[0] < 0)
      .map((part) => bytes(core.page_rebuilt(part[1], part[2]), part[2]).slice().buffer);
    batch = new Map();
    postMessage({ outcome, rebuilt }, rebuilt);
  }
};
