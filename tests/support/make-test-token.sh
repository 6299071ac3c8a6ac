#!/bin/sh
# Builds a SoftHSM2 token that stands in for a smart card, for tests, the
# benchmark and the demo. Its keys are made on the token and can never leave it.
#
# Usage: make-test-token.sh [--label L] [--pin PIN] [--without-pss] [--register-in DBDIR]
#                           <dir> <ca-cert.pem> <ca-key.pem>
#
#   <dir>              folder of the token (created; must not hold one yet). It gets
#                      <dir>/softhsm2.conf: point SOFTHSM2_CONF at it before any
#                      program (ours, modutil, certutil, p11-kit) loads SoftHSM.
#   <ca-cert.pem>      the CA that issues the token's certificates, with its key
#   <ca-key.pem>       (PEM); a TLS server that trusts this CA accepts them.
#   --label L          the token's label (default "Tarjeta CTO").
#   --pin PIN          the user PIN (default 1234); the SO PIN is 87654321.
#   --without-pss      SoftHSM offers no RSA-PSS mechanism on this token, like
#                      a card that only signs with PKCS #1 v1.5.
#   --register-in DIR  also register SoftHSM in the NSS database sql:DIR (its
#                      pkcs11.txt), as modutil or a browser's "Security Devices"
#                      does. The database must exist.
#
# The token holds, made in this order, three key pairs generated on the token
# (CKA_TOKEN, CKA_PRIVATE, CKA_SENSITIVE true, CKA_EXTRACTABLE false) with their
# certificates (extendedKeyUsage clientAuth, nicknames as below):
#   "Titular Tarjeta RSA"   CN=Titular Tarjeta RSA, O=Tulva Pruebas    RSA 2048
#   "Titular Tarjeta EC"    CN=Titular Tarjeta EC, O=Tulva Pruebas     EC P-256
#   "Titular Tarjeta P384"  CN=Titular Tarjeta P384, O=Tulva Pruebas   EC P-384
# The certificates are also left as <dir>/pem/rsa.pem, ec256.pem, ec384.pem.
# <dir>/module-path holds the path of the SoftHSM module that was used.
set -eu

label="Tarjeta CTO"
pin=1234
without_pss=false
register_in=""
while [ $# -gt 0 ]; do
    case "$1" in
        --label) label="$2"; shift 2 ;;
        --pin) pin="$2"; shift 2 ;;
        --without-pss) without_pss=true; shift ;;
        --register-in) register_in="$2"; shift 2 ;;
        --) shift; break ;;
        -*) echo "make-test-token.sh: unknown option $1" >&2; exit 2 ;;
        *) break ;;
    esac
done
if [ $# -ne 3 ]; then
    sed -n '2,20p' "$0" >&2
    exit 2
fi

module=""
for candidate in /usr/lib/softhsm/libsofthsm2.so /usr/lib/*/softhsm/libsofthsm2.so; do
    if [ -f "$candidate" ]; then
        module="$candidate"
        break
    fi
done
if [ -z "$module" ]; then
    echo "make-test-token.sh: SoftHSM2 is not installed (Debian package softhsm2)" >&2
    exit 1
fi

dir="$1"
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
ca_cert=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
ca_key=$(cd "$(dirname "$3")" && pwd)/$(basename "$3")
if [ -e "$dir/softhsm2.conf" ]; then
    echo "make-test-token.sh: $dir already holds a token" >&2
    exit 1
fi
pem="$dir/pem"
work="$dir/work"
mkdir -p "$dir/tokens" "$pem" "$work/new"
printf '%s\n' "$module" >"$dir/module-path"

{
    echo "directories.tokendir = $dir/tokens"
    echo "objectstore.backend = file"
    echo "log.level = ERROR"
    echo "slots.removable = false"
    if $without_pss; then
        # SoftHSM 2.6 drops the first name of a "-" list: it leads with one it does not know.
        echo "slots.mechanisms = -CKM_FIRST_IGNORED,CKM_RSA_PKCS_PSS,CKM_SHA1_RSA_PKCS_PSS,CKM_SHA224_RSA_PKCS_PSS,CKM_SHA256_RSA_PKCS_PSS,CKM_SHA384_RSA_PKCS_PSS,CKM_SHA512_RSA_PKCS_PSS"
    else
        echo "slots.mechanisms = ALL"
    fi
} >"$dir/softhsm2.conf"
SOFTHSM2_CONF="$dir/softhsm2.conf"
export SOFTHSM2_CONF

softhsm2-util --init-token --free --label "$label" --so-pin 87654321 --pin "$pin" >/dev/null

# NSS makes the keys on the token, through a scratch database that knows the module.
scratch="sql:$work/nssdb"
mkdir -p "$work/nssdb"
certutil -N -d "$scratch" --empty-password
modutil -dbdir "$scratch" -add "SoftHSM" -libfile "$module" -force >/dev/null
printf '%s\n' "$pin" >"$work/pin"

cat >"$work/ca.cnf" <<EOF
[ ca ]
default_ca = testca
[ testca ]
database = $work/index.txt
new_certs_dir = $work/new
serial = $work/serial
default_md = sha256
policy = anything
unique_subject = no
preserve = yes
[ anything ]
organizationName = optional
commonName = optional
[ client ]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = clientAuth
EOF
: >"$work/index.txt"
echo 2000 >"$work/serial"

# on_token <nickname> <pem name> <certutil key options...>
on_token() {
    nickname="$1"
    file="$2"
    shift 2
    if ! certutil -R -d "$scratch" -h "$label" -f "$work/pin" -z "$work/pin" "$@" \
        --keyAttrFlags token,private,sensitive,unextractable \
        -s "CN=$nickname,O=Tulva Pruebas" -a -o "$work/req.csr" >"$work/certutil.log" 2>&1 </dev/null; then
        cat "$work/certutil.log" >&2
        exit 1
    fi
    openssl ca -batch -utf8 -notext -config "$work/ca.cnf" -extensions client \
        -cert "$ca_cert" -keyfile "$ca_key" -days 3650 -in "$work/req.csr" -out "$pem/$file" 2>/dev/null
    certutil -A -d "$scratch" -h "$label" -f "$work/pin" -n "$nickname" -t ",," -a -i "$pem/$file"
}

on_token "Titular Tarjeta RSA" rsa.pem -k rsa -g 2048
on_token "Titular Tarjeta EC" ec256.pem -k ec -q nistp256
on_token "Titular Tarjeta P384" ec384.pem -k ec -q secp384r1

if [ -n "$register_in" ]; then
    modutil -dbdir "sql:$register_in" -add "SoftHSM" -libfile "$module" -force >/dev/null
fi

rm -rf "$work"
