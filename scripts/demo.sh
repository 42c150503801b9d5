#!/usr/bin/env bash
# The main job on its embedded default: a throwaway demo CA and signer made with openssl, a
# sample document (or the file given as $1) signed attached and detached through the marqen
# tool, both signatures verified, the content extracted again, and a tampered copy refused.
# Everything happens in a temporary folder with its own certificate store.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

build=${MARQEN_DEMO_BUILD:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMARQEN_TESTS=OFF >/dev/null
cmake --build "$build" >/dev/null
marqen="$(pwd)/$build/bin/marqen"
case "$build" in /*) marqen="$build/bin/marqen" ;; esac

input=${1:-}
# A relative name is relative to where the demo was started, before the cd above.
case "$input" in "" | /*) ;; *) input="$OLDPWD/$input" ;; esac
if [ -n "$input" ] && [ ! -r "$input" ]; then
  echo "demo: cannot read $input" >&2
  exit 2
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Never the user's real store: the demo's certificates live and die with the temporary folder.
export MARQEN_CERTSTORE="$work/certstore"
password=demo-password

# Runs a command quietly; on failure shows what it said and stops the demo.
run() {
  if ! "$@" >"$work/last.log" 2>&1; then
    echo "FAILED: $*" >&2
    cat "$work/last.log" >&2
    exit 1
  fi
}
wrote() { echo "   -> wrote $(basename "$1") ($(wc -c <"$1") bytes)"; }

if [ -z "$input" ]; then
  input="$work/purchase-order.txt"
  cat >"$input" <<'TEXT'
Purchase order 2026-1207
Supplier: Example Components Ltd.
Items: 40 x resistor 4.7k, 10 x capacitor 100nF
Total: EUR 18.40
TEXT
  echo "No file given: using the embedded sample document ($(wc -c <"$input") bytes)."
else
  echo "Signing your file $input ($(wc -c <"$input") bytes)."
fi
echo "Working folder (removed at the end): $work"
echo

echo "1. Creating a demo CA with openssl (a self-signed certificate that may sign certificates)"
# The CA outlives its signer: a certificate that ends after its issuer fails the chain's time
# nesting, and made a second apart with equal lifetimes it may.
run openssl req -x509 -newkey rsa:2048 -nodes -days 365 -sha256 \
  -subj "/O=Marqen Demo/CN=Marqen Demo CA" \
  -addext "basicConstraints=critical,CA:TRUE" \
  -addext "keyUsage=critical,keyCertSign,cRLSign" \
  -keyout "$work/ca.key" -out "$work/ca.crt"
wrote "$work/ca.crt"

echo "2. Creating the signer: a key and a certificate request, signed by the demo CA"
run openssl req -new -newkey rsa:2048 -nodes -subj "/O=Marqen Demo/CN=Demo Signer" \
  -keyout "$work/signer.key" -out "$work/signer.csr"
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\n' >"$work/signer.ext"
run openssl x509 -req -in "$work/signer.csr" -CA "$work/ca.crt" -CAkey "$work/ca.key" \
  -CAcreateserial -days 30 -sha256 -extfile "$work/signer.ext" -out "$work/signer.crt"
wrote "$work/signer.crt"

echo "3. Packing the signer's certificate, its key and the CA certificate into a PFX file"
run openssl pkcs12 -export -name "Demo Signer" -inkey "$work/signer.key" \
  -in "$work/signer.crt" -certfile "$work/ca.crt" \
  -passout "pass:$password" -out "$work/signer.pfx"
wrote "$work/signer.pfx"
echo

echo "4. marqen certstore import signer.pfx --password $password"
echo "   (certificate and key into MY, the CA into ROOT of the temporary store)"
"$marqen" certstore import "$work/signer.pfx" --password "$password" | sed 's/^/   /'
echo

echo "5. marqen certstore list --store MY"
"$marqen" certstore list --store MY | tee "$work/my.txt" | sed -e '/^$/d' -e 's/^/   /'
issuer=$(sed -n 's/^  issuer:  //p' "$work/my.txt" | head -n 1)
serial=$(sed -n 's/^  serial:  //p' "$work/my.txt" | head -n 1)
if [ -z "$issuer" ] || [ -z "$serial" ]; then
  echo "the signer certificate is not in MY" >&2
  exit 1
fi
echo
name=$(basename "$input")

echo "6. Signing attached (content inside) with the certificate from MY, found by issuer and serial"
echo "   marqen sign --in $name --issuer \"$issuer\" --serial $serial \\"
echo "               --document-name \"$name\" --comments \"Approved by purchasing\""
"$marqen" sign --in "$input" --issuer "$issuer" --serial "$serial" \
  --document-name "$name" --comments "Approved by purchasing" >"$work/attached.p7m"
wrote "$work/attached.p7m"
echo "   first line of the Base64 message: $(head -n 1 "$work/attached.p7m")"

echo "7. Signing detached (signature only) with the PFX file"
echo "   marqen sign --in $name --pfx signer.pfx --password $password --detached \\"
echo "               --document-name \"$name\" --comments \"Checked by accounts\" --out detached.p7s"
run "$marqen" sign --in "$input" --pfx "$work/signer.pfx" --password "$password" --detached \
  --document-name "$name" --comments "Checked by accounts" --out "$work/detached.p7s"
wrote "$work/detached.p7s"
echo

echo "8. Verifying both signatures"
echo "   marqen verify --in attached.p7m"
"$marqen" verify --in "$work/attached.p7m" | sed 's/^/   -> /'
echo "   marqen verify --in detached.p7s --content $name"
"$marqen" verify --in "$work/detached.p7s" --content "$input" | sed 's/^/   -> /'

echo "9. Extracting the content of the attached message and comparing it with the original"
echo "   marqen content --in attached.p7m --out extracted"
run "$marqen" content --in "$work/attached.p7m" --out "$work/extracted"
if cmp -s "$input" "$work/extracted"; then
  echo "   -> identical to the original ($(wc -c <"$work/extracted") bytes)"
else
  echo "MISMATCH: the extracted content differs from the original." >&2
  exit 1
fi

echo "10. The signed attributes, as openssl reads them from the attached message"
run "$marqen" base64 decode "$work/attached.p7m" "$work/attached.der"
run openssl cms -cmsout -print -inform DER -in "$work/attached.der"
for oid in 1.3.6.1.4.1.311.88.2.1 1.3.6.1.4.1.311.88.2.2; do
  if ! grep -q "object: $oid\|object: undefined ($oid)" "$work/last.log"; then
    echo "openssl does not see attribute $oid in the message" >&2
    exit 1
  fi
done
awk '/signedAttrs:/ { on = 1 } /signatureAlgorithm:/ { on = 0 }
     on && /object:/ { sub(/^ *object: /, ""); print "   -> " $0 }' "$work/last.log" |
  sed -e 's/undefined (1.3.6.1.4.1.311.88.2.1)/document name (1.3.6.1.4.1.311.88.2.1)/' \
    -e 's/undefined (1.3.6.1.4.1.311.88.2.2)/comments (1.3.6.1.4.1.311.88.2.2)/'
echo

echo "11. A tampered copy of the document fails verification against the detached signature"
cp "$input" "$work/tampered"
printf 'Discount: 100%%\n' >>"$work/tampered"
echo "   marqen verify --in detached.p7s --content tampered"
if message=$("$marqen" verify --in "$work/detached.p7s" --content "$work/tampered" 2>&1 >/dev/null); then
  echo "unexpected success: the tampered document verified" >&2
  exit 1
fi
case "$message" in
  "error 1701: "*) echo "   -> $message" ;;
  *)
    echo "unexpected failure: $message" >&2
    exit 1
    ;;
esac
echo
echo "Done: signed attached and detached, both verified, content recovered, tampering detected."
