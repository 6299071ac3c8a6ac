#!/bin/sh
# Adds to a token made by make-test-token.sh a key that asks for the PIN again
# for every signature (CKA_ALWAYS_AUTHENTICATE), as some signature cards do,
# with a certificate that the test CA issues for it.
#
# Usage: add-reauthenticating-key.sh <token dir> <ca-cert.pem> <ca-key.pem>
#
#   <token dir>   the folder make-test-token.sh made (its softhsm2.conf, its
#                 module-path); the token's PIN must be the default, 1234.
#
# The key is EC P-256, made on the token (sensitive, never extractable); its
# certificate, CN=Titular Firma Reiterada, O=Tulva Pruebas, lies on the token
# beside it under the label "Titular Firma Reiterada", and in
# <token dir>/pem/reauthenticating.pem.
set -eu

if [ $# -ne 3 ]; then
    sed -n '2,14p' "$0" >&2
    exit 2
fi
dir=$(cd "$1" && pwd)
ca_cert="$2"
ca_key="$3"
SOFTHSM2_CONF="$dir/softhsm2.conf"
export SOFTHSM2_CONF
module=$(cat "$dir/module-path")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
id=5a5a
label="Titular Firma Reiterada"
tool() {
    pkcs11-tool --module "$module" --login --pin 1234 "$@" >"$work/tool.log" 2>&1 ||
        { cat "$work/tool.log" >&2; exit 1; }
}

tool --keypairgen --key-type EC:prime256v1 --id "$id" --label "$label" --sensitive --always-auth
tool --read-object --type pubkey --id "$id" --output-file "$work/public.der"
openssl pkey -pubin -inform DER -in "$work/public.der" -out "$work/public.pem"

# A request signed by a throw-away key carries the subject; the CA binds the
# token's public key to it instead.
cat >"$work/client.cnf" <<CNF
[ client ]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = clientAuth
CNF
openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout "$work/throwaway.key" \
    -subj "/O=Tulva Pruebas/CN=$label" -out "$work/request.csr" 2>/dev/null
openssl x509 -req -in "$work/request.csr" -CA "$ca_cert" -CAkey "$ca_key" -force_pubkey "$work/public.pem" \
    -set_serial 0x5a5a01 -days 3650 -extfile "$work/client.cnf" -extensions client \
    -out "$dir/pem/reauthenticating.pem" 2>/dev/null
openssl x509 -in "$dir/pem/reauthenticating.pem" -outform DER -out "$work/certificate.der"
tool --write-object "$work/certificate.der" --type cert --id "$id" --label "$label"
