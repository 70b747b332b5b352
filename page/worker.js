// The restore page's workers, one script in two roles. The core's worker
// runs the WebAssembly core, which reads the chosen files synchronously
// through FileReaderSync. A few helpers, each with an instance of the same
// module, checksum the pieces side by side before the check (the browser
// hands several readers their bytes faster than one); the core's check
// then compares their CRCs with the set's description and reads only what
// else it needs (the name header, what a rebuild takes).
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
let order = [], placeOf = new Map(), batch = new Map(), known = new Set();

function readAhead(file) {
  const from = placeOf.get(file);
  const chosen = [];
  let bytes = 0;
  for (let k = from; k < order.length && order[k] >= 0; ++k) {
    const f = files[order[k]];
    if (chosen.length && (bytes + f.size > kBatch || known.has(order[k]))) break;
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

// A helper's work: the CRC-32C of each chosen file of `batch` (their
// places, consecutive pieces), read as one stream into a buffer of the
// helper's own, used again for every read: a reader that brings its own
// buffer spares the browser a new one for each read, which costs it more
// than the bytes (FileReaderSync where a browser's files give no such
// stream). [[file, crc], ...], without the files the browser could not
// read whole: the core reads those itself and says so.
const kChunk = 4 << 20;
let chunk = 0, buffer = null;
async function checksums(batch) {
  const found = [];
  let k = 0, crc = 0;
  let left = batch.length ? files[batch[0]].size : 0;  // of file k, still to come
  // The files whose every byte was taken go to `found`.
  const complete = () => {
    while (k < batch.length && left === 0) {
      found.push([batch[k], crc]);
      crc = 0;
      if (++k < batch.length) left = files[batch[k]].size;
    }
  };
  complete();  // files of no bytes
  const take = (view) => {
    for (let at = 0; at < view.length && k < batch.length;) {
      const n = Math.min(left, view.length - at, kChunk);
      bytes(chunk, n).set(view.subarray(at, at + n));
      crc = core.page_crc32c(crc, chunk, n);
      at += n;
      left -= n;
      complete();
    }
  };
  const blob = new Blob(batch.map((f) => files[f]));
  try {
    let stream = null;
    try {
      stream = blob.stream().getReader({ mode: 'byob' });
    } catch (e) {
      take(new Uint8Array(reader.readAsArrayBuffer(blob)));
    }
    while (stream) {
      const { done, value } = await stream.read(new Uint8Array(buffer));
      if (value) buffer = value.buffer;
      if (done) break;
      take(value);
    }
  } catch (e) {
    buffer = new ArrayBuffer(kChunk);  // taken by the read that failed
  }
  return found;
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
  if (m.helper) {
    const { instance } = await WebAssembly.instantiate(m.wasm, imports);
    core = instance.exports;
    core._initialize();
    chunk = core.page_alloc(kChunk);
    buffer = new ArrayBuffer(kChunk);
    // Every batch is answered, with what was found: the page waits for it.
    onmessage = async (work) => {
      if (work.data.files) files = work.data.files;
      let crcs = [];
      try {
        crcs = await checksums(work.data.batch);
      } catch (e) { /* the core reads them itself */ }
      postMessage({ crcs });
    };
    postMessage({ ready: true });
    return;
  }
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
    known = new Set();
    postMessage({ list });
    return;
  }
  if (m.check) {
    for (const [file, crc] of m.known) {
      core.page_know_crc32c(file, crc);
      known.add(file);
    }
    const outcome = result(core.page_check());
    // The rebuilt bytes go along; the chosen files' bytes the page has.
    const rebuilt = outcome.parts.filter((part) => part[0] < 0)
      .map((part) => bytes(core.page_rebuilt(part[1], part[2]), part[2]).slice().buffer);
    batch = new Map();
    postMessage({ outcome, rebuilt }, rebuilt);
  }
};
