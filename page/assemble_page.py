#!/usr/bin/env python3
"""Assembles the restore page: one self-contained HTML file.

    assemble_page.py PAGE_DIR CORE.wasm VERSION OUTPUT.html

The style, the script, the worker's script and the WebAssembly core (in
base64) go inline; the Content-Security-Policy allows the one script by its
hash and nothing from the network. The set's description keeps its
placeholder: the split fills it in (docs/format.md).
"""
import base64
import hashlib
import sys


def main():
    page_dir, wasm_path, version, out_path = sys.argv[1:5]
    read = lambda name: open(f"{page_dir}/{name}", encoding="utf-8").read()
    script = read("page.js")
    worker = read("worker.js")
    for text in (script, worker):
        if "</script" in text.lower():
            sys.exit("assemble_page: a script may not hold </script")
    digest = base64.b64encode(hashlib.sha256(script.encode("utf-8")).digest()).decode()
    csp = ("default-src 'none'; "
           f"script-src 'sha256-{digest}' 'wasm-unsafe-eval'; "
           "worker-src blob:; style-src 'unsafe-inline'; img-src data:; "
           "form-action 'none'; base-uri 'none'")
    wasm = base64.b64encode(open(wasm_path, "rb").read()).decode()
    page = read("page.html")
    for key, value in (("@CSP@", csp), ("@CSS@", read("page.css")), ("@VERSION@", version),
                       ("@WASM@", wasm), ("@WORKER@", worker), ("@SCRIPT@", script)):
        if page.count(key) != 1:
            sys.exit(f"assemble_page: {key} must appear once in page.html")
        page = page.replace(key, value)
    with open(out_path, "w", encoding="utf-8", newline="\n") as out:
        out.write(page)


if __name__ == "__main__":
    main()
