#!/usr/bin/env bash
# A throwaway certificate authority and a code-signing certificate that it
# issued, made with openssl for one test run (P-256 keys, made at once),
# and Authenticode signatures made with them by osslsigncode, without a
# time stamp:
#   throwaway_signer.sh DIR [FILE...]
# makes DIR/ca.pem (the authority's certificate, for `osslsigncode verify
# -CAfile`) and DIR/signer.pfx (the signer's certificate and key, password
# "throwaway") unless they are there, then signs each FILE in place.
set -euo pipefail
dir=$1
shift
if [ ! -f "$dir/signer.pfx" ]; then
  mkdir -p "$dir"
  (
    cd "$dir"
    key() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1" 2>/dev/null; }
    key ca.key
    key signer.key
    openssl req -x509 -new -key ca.key -out ca.pem -days 30 -subj "/CN=Morsela test authority" \
      -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign 2>/dev/null
    openssl req -new -key signer.key -out signer.csr -subj "/CN=Morsela test publisher" 2>/dev/null
    printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >signer.ext
    openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -set_serial 2 -days 30 -extfile signer.ext \
      -out signer.pem 2>/dev/null
    openssl pkcs12 -export -inkey signer.key -in signer.pem -certfile ca.pem -out signer.pfx -passout pass:throwaway
  )
fi
for file in "$@"; do
  osslsigncode sign -pkcs12 "$dir/signer.pfx" -pass throwaway -in "$file" -out "$file.signed" >/dev/null
  mv "$file.signed" "$file"
done
