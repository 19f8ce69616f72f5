# shellcheck shell=bash
# An EC P-256 server certificate from the test CA: the DC's own name, the domain name (an AD
# domain name resolves to its DCs) and the DC's address. DOMAIN defaults to the first domain.
#   server_certificate CA_DIR OUT_DIR FQDN IP LOG [DOMAIN]   -> OUT_DIR/server.{key,pem}
server_certificate() {
  local ca=$1 out=$2 fqdn=$3 ip=$4 log=$5 domain=${6:-$DC_DOMAIN}
  mkdir -p "$out"
  {
    openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes \
      -keyout "$out/server.key" -out "$out/server.csr" -subj "/O=Orvistal Test/CN=$fqdn"
    cat > "$out/server.ext" <<EXT
subjectAltName=DNS:$fqdn,DNS:$domain,IP:$ip
extendedKeyUsage=serverAuth
keyUsage=critical,digitalSignature,keyEncipherment
basicConstraints=critical,CA:FALSE
EXT
    openssl x509 -req -in "$out/server.csr" -CA "$ca/ca.pem" -CAkey "$ca/ca.key" -CAcreateserial \
      -out "$out/server.pem" -days 3650 -extfile "$out/server.ext"
  } >> "$log" 2>&1 || { cat "$log" >&2; echo "server_certificate: $fqdn failed" >&2; return 1; }
  chmod 600 "$out/server.key"
  openssl verify -CAfile "$ca/ca.pem" "$out/server.pem" >/dev/null
}
