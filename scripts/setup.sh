#!/usr/bin/env bash
# Installs everything the build, the tests and the run command need on a fresh
# Debian machine (run as root). Quick when everything is already there.
set -euo pipefail

packages=(
  cmake ninja-build g++ googletest libgtest-dev
  g++-mingw-w64-x86-64-posix g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
  wine wine64 xvfb xdotool x11-utils imagemagick python3 time bc locales
  # Signing the release, and the throwaway signatures of the tests.
  osslsigncode openssl
  # The restore page: the core compiled to WebAssembly, and the browsers
  # its tests drive.
  clang lld wasi-libc libc++-dev-wasm32 libclang-rt-dev-wasm32
  chromium firefox-esr
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# Node.js and npm from Debian unless some other package gives them.
command -v node >/dev/null || missing+=(nodejs)
command -v npm >/dev/null || missing+=(npm)

if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: these packages are missing and installing them needs root: ${missing[*]}" >&2
    exit 1
  fi
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Wine takes a user's legacy code page from the Unix locale it starts in:
# the tests of names from older sets need a French and a Russian one.
for wanted in fr_FR.UTF-8 ru_RU.UTF-8; do
  if ! locale -a 2>/dev/null | grep -qi "^${wanted%.UTF-8}.utf8$"; then
    if [ "$(id -u)" -ne 0 ]; then
      echo "setup: the locale $wanted is missing and generating it needs root" >&2
      exit 1
    fi
    sed -i "s/^# *\($wanted UTF-8\)/\1/" /etc/locale.gen
    locale-gen >/dev/null
  fi
done

# The browser tests' driver (puppeteer-core, no browser of its own), as the
# committed lock file pins it.
browser_tests=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/tests/browser
if [ ! -d "$browser_tests/node_modules" ] || [ "$browser_tests/package-lock.json" -nt "$browser_tests/node_modules" ]; then
  (cd "$browser_tests" && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
  touch "$browser_tests/node_modules"
fi
