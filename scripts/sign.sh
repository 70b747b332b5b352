#!/usr/bin/env bash
# Signs a file of the release in place, as scripts/package.sh does:
# Authenticode with osslsigncode, SHA-256, no time stamp, with the
# certificate and key in the PKCS#12 file MORSELA_SIGN_PFX and its password
# MORSELA_SIGN_PASSWORD (handed over through a pipe, not the command line).
#   sign.sh FILE TITLE
set -euo pipefail
file=$1 title=$2
osslsigncode sign -pkcs12 "$MORSELA_SIGN_PFX" -readpass <(printf '%s' "$MORSELA_SIGN_PASSWORD") -h sha256 \
  -n "$title" -in "$file" -out "$file.signed" >/dev/null
mv "$file.signed" "$file"
