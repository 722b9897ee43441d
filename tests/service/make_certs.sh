#!/usr/bin/env bash
# Makes throwaway TLS certificates for the local maker service in DIR (created if needed):
#   ca.crt/ca.key                        a test CA (the one a test trust bundle adds)
#   localhost.crt/localhost.key          server cert for localhost and 127.0.0.1, signed by ca
#   wrong-host.crt/wrong-host.key        server cert for wrong-host.invalid only, signed by ca
#   untrusted-ca.crt/untrusted-ca.key    a second CA that nobody trusts
#   untrusted.crt/untrusted.key          server cert for localhost, signed by the untrusted CA
# Valid for two days; made at run time and never kept.
set -euo pipefail

if [ $# -ne 1 ]; then
    echo "usage: $0 DIR" >&2
    exit 2
fi

dir=$1
mkdir -p "$dir"
cd "$dir"

new_key() {
    openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1" 2>/dev/null
}

make_ca() { # name subject
    new_key "$1.key"
    openssl req -x509 -new -key "$1.key" -sha256 -days 2 -subj "/CN=$2" \
        -addext "basicConstraints=critical,CA:TRUE" \
        -addext "keyUsage=critical,keyCertSign,cRLSign" \
        -out "$1.crt" 2>/dev/null
}

make_server() { # name ca subjectAltName
    new_key "$1.key"
    openssl req -new -key "$1.key" -subj "/CN=$1" -out "$1.csr" 2>/dev/null
    printf '%s\n' \
        "basicConstraints=critical,CA:FALSE" \
        "keyUsage=critical,digitalSignature" \
        "extendedKeyUsage=serverAuth" \
        "subjectAltName=$3" >"$1.ext"
    openssl x509 -req -in "$1.csr" -CA "$2.crt" -CAkey "$2.key" -CAcreateserial -sha256 -days 2 \
        -extfile "$1.ext" -out "$1.crt" 2>/dev/null
    rm -f "$1.csr" "$1.ext"
}

make_ca ca "ZorvaManager Test CA"
make_server localhost ca "DNS:localhost,IP:127.0.0.1"
make_server wrong-host ca "DNS:wrong-host.invalid"
make_ca untrusted-ca "ZorvaManager Untrusted Test CA"
make_server untrusted untrusted-ca "DNS:localhost,IP:127.0.0.1"
rm -f ./*.srl
chmod 600 ./*.key
