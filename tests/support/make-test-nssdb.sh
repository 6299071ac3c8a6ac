#!/bin/sh
# Builds a fresh NSS certificate database for tests, the benchmark and the demo.
#
# Usage: make-test-nssdb.sh [--password PW] [--extra N] <dir> [<ca-cert.pem> <ca-key.pem>]
#
#   <dir>            directory of the new database (created; must not hold one yet).
#                    Open it as "sql:<dir>" (or set CTO_NSS_DATABASE=<dir>).
#   <ca-cert.pem>    the CA that issues the client certificates, with its key
#   <ca-key.pem>     (PEM). A TLS server that trusts this CA accepts them. Without
#                    these two, the script makes its own CA in <dir>/pem/.
#   --password PW    protect the database (its private keys) with PW; without it
#                    the database has an empty password and never asks.
#   --extra N        add N more end-entity certificates ("Extra 001" ...), without
#                    private keys, after the five below (for the benchmark).
#
# The database holds, in this order (the order NSS's store gives them back):
#   1. CN=Cliente Prueba, O=Tulva Pruebas    end entity, EXPIRED, with private key
#   2. CN=Autoridad Intermedia Prueba        CA (basic constraints CA:TRUE), issued
#                                            by the CA, no private key
#   3. CN=Cliente Prueba, O=Tulva Pruebas    end entity, valid, with private key
#                                            (same subject, so same nickname, as 1)
#   4. CN=Peña Muñoz, O=Tulva Pruebas        end entity, valid, with private key,
#                                            issued by the intermediate (2)
#   5. O=Organismo Sin Clave, emailAddress=sinclave@example.org
#                                            no common name, no extensions, no key
#   6.. the --extra certificates.
# Each certificate is also left as PEM in <dir>/pem/NN-name.pem (and the keys of
# 1, 3 and 4 as NN-name.key), so tests can compare what the store hands over.
# Client keys are EC P-256; end-entity certificates carry extendedKeyUsage clientAuth.
set -eu

password=""
extra=0
while [ $# -gt 0 ]; do
    case "$1" in
        --password) password="$2"; shift 2 ;;
        --extra) extra="$2"; shift 2 ;;
        --) shift; break ;;
        -*) echo "make-test-nssdb.sh: unknown option $1" >&2; exit 2 ;;
        *) break ;;
    esac
done
if [ $# -ne 1 ] && [ $# -ne 3 ]; then
    sed -n '2,14p' "$0" >&2
    exit 2
fi

dir="$1"
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
if [ -e "$dir/cert9.db" ]; then
    echo "make-test-nssdb.sh: $dir already holds a database" >&2
    exit 1
fi
pem="$dir/pem"
work="$dir/pem/work"
mkdir -p "$pem" "$work/new"
db="sql:$dir"

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
email_in_dn = yes
preserve = yes
[ anything ]
countryName = optional
organizationName = optional
organizationalUnitName = optional
commonName = optional
emailAddress = optional
[ client ]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = clientAuth
[ intermediate ]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
[ none ]
EOF
: >"$work/index.txt"
echo 1000 >"$work/serial"

newkey() { # file
    openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1" 2>/dev/null
}

# issue <out.pem> <key> <subject> <extensions section> <issuer cert> <issuer key> [expired]
issue() {
    openssl req -new -utf8 -key "$2" -subj "$3" -out "$work/req.csr"
    if [ "${7:-}" = expired ]; then
        dates="-startdate 20200101000000Z -enddate 20210101000000Z"
    else
        dates="-days 3650"
    fi
    # shellcheck disable=SC2086
    openssl ca -batch -utf8 -notext -config "$work/ca.cnf" -extensions "$4" \
        -cert "$5" -keyfile "$6" $dates -in "$work/req.csr" -out "$1" 2>/dev/null
}

# import-with-key <cert.pem> <key> <nickname>: through PKCS#12, as a user would.
import_with_key() {
    openssl pkcs12 -export -in "$1" -inkey "$2" -name "$3" -passout pass:fixture \
        -out "$work/import.p12"
    pk12util -i "$work/import.p12" -d "$db" -k "$work/dbpass" -W fixture >/dev/null
}

import_without_key() { # <cert.pem> <nickname>
    certutil -A -d "$db" -n "$2" -t ",," -a -i "$1"
}

if [ $# -eq 3 ]; then
    ca_cert="$2"
    ca_key="$3"
else
    ca_cert="$pem/ca.pem"
    ca_key="$pem/ca.key"
    newkey "$ca_key"
    openssl req -new -x509 -key "$ca_key" -subj "/CN=Prueba CA Raiz" -days 3650 \
        -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
        -out "$ca_cert"
fi

printf '%s\n' "$password" >"$work/dbpass"
if [ -n "$password" ]; then
    certutil -N -d "$db" -f "$work/dbpass"
else
    certutil -N -d "$db" --empty-password
fi

# Issued in another order than they are added, so that serial numbers, names
# and dates all disagree with the store's order.
newkey "$work/sinclave.key"
issue "$pem/05-sin-clave.pem" "$work/sinclave.key" "/O=Organismo Sin Clave/emailAddress=sinclave@example.org" \
    none "$ca_cert" "$ca_key"
newkey "$pem/03-cliente.key"
issue "$pem/03-cliente.pem" "$pem/03-cliente.key" "/O=Tulva Pruebas/CN=Cliente Prueba" \
    client "$ca_cert" "$ca_key"
newkey "$work/intermedia.key"
issue "$pem/02-intermedia.pem" "$work/intermedia.key" "/CN=Autoridad Intermedia Prueba" \
    intermediate "$ca_cert" "$ca_key"
newkey "$pem/04-pena.key"
issue "$pem/04-pena.pem" "$pem/04-pena.key" "/O=Tulva Pruebas/CN=Peña Muñoz" \
    client "$pem/02-intermedia.pem" "$work/intermedia.key"
newkey "$pem/01-cliente-caducado.key"
issue "$pem/01-cliente-caducado.pem" "$pem/01-cliente-caducado.key" "/O=Tulva Pruebas/CN=Cliente Prueba" \
    client "$ca_cert" "$ca_key" expired

import_with_key "$pem/01-cliente-caducado.pem" "$pem/01-cliente-caducado.key" "Cliente Prueba"
import_without_key "$pem/02-intermedia.pem" "Autoridad Intermedia Prueba"
import_with_key "$pem/03-cliente.pem" "$pem/03-cliente.key" "Cliente Prueba"
import_with_key "$pem/04-pena.pem" "$pem/04-pena.key" "Peña Muñoz"
import_without_key "$pem/05-sin-clave.pem" "Organismo Sin Clave"

i=1
while [ "$i" -le "$extra" ]; do
    name=$(printf 'Extra %03d' "$i")
    issue "$work/extra.pem" "$work/sinclave.key" "/O=Tulva Pruebas/CN=$name" client "$ca_cert" "$ca_key"
    import_without_key "$work/extra.pem" "$name"
    i=$((i + 1))
done

rm -rf "$work"
