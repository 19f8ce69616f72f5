#!/usr/bin/env bash
# Quick self-check of the running test directory; `check.sh dc2` checks the second DC and the
# ways with-test-dns.sh offers the DCs instead, `check.sh sites` the two sites and the Global
# Catalog (dc1 and dc2 running), `check.sh dc3` the second domain. Uses the environment of `dc.sh env` (evaluated
# here if ORVISTAL_TEST_SERVER is not set). Certificate verification stays ON throughout.
# Exits non-zero if any check fails.
set -uo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

if [ -z "${ORVISTAL_TEST_SERVER:-}" ]; then
  eval "$("$HERE/dc.sh" env)"
fi
export LDAPTLS_REQCERT=demand          # never relaxed here, whatever ldap.conf says

SERVER=$ORVISTAL_TEST_SERVER
BASE=$ORVISTAL_TEST_BASE_DN
ALICE="CN=Alice Liddell,OU=People,OU=Orvistal,$BASE"
SMITH="CN=Smith\\, Jo,OU=People,OU=Orvistal,$BASE"
failures=0
ok()   { printf 'ok    %s\n' "$*"; }
fail() { printf 'FAIL  %s\n' "$*"; failures=$((failures + 1)); }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# q OUTFILE ARGS... : ldapsearch with a hard time limit; returns its exit code
q() {
  local out=$1; shift
  timeout 30 ldapsearch -o nettimeout=5 -o ldif-wrap=no -LLL "$@" > "$out" 2> "$out.err"
}
simple=(-x -D "$ORVISTAL_TEST_BIND_USER" -w "$ORVISTAL_TEST_BIND_PASSWORD")

finish() {
  if [ "$failures" -gt 0 ]; then
    echo "check.sh: $failures check(s) FAILED"
    exit 1
  fi
  echo "check.sh: all checks passed"
  exit 0
}

dns=$HERE/with-test-dns.sh
# ticket MODE PRINCIPAL: a Kerberos ticket for PRINCIPAL (bind password) with only what the mode offers.
ticket() {
  bash "$dns" "$1" bash -c 'KRB5CCNAME=FILE:$0 timeout 20 kinit "$1" <<< "$ORVISTAL_TEST_BIND_PASSWORD"' \
    "$tmp/cc-$1" "$2" > "$tmp/kinit-$1" 2>&1
}
# srv DNS_SERVER NAME: the targets and ports of NAME's SRV records as that server gives them, sorted.
srv() {
  /usr/bin/python3 - "$@" <<'PY'
import sys, dns.message, dns.query
answer = dns.query.udp(dns.message.make_query(sys.argv[2], "SRV"), sys.argv[1], timeout=3)
print(" ".join(sorted("%s:%d" % (r.target.to_text(True), r.port) for rrset in answer.answer for r in rrset)))
PY
}

if [ "${1:-}" = sites ]; then
  D=$ORVISTAL_TEST_DOMAIN S1=$ORVISTAL_TEST_SITE1 S2=$ORVISTAL_TEST_SITE2
  DC1=$ORVISTAL_TEST_SERVER DC2=$ORVISTAL_TEST_SERVER2
  # site_ping DC_IP [SOURCE] EXPECTED: the DC's and the client's site as the netlogon ping answers.
  site_ping() {
    local dc=$1 want=${*: -1} from=the\ default\ address got
    [ $# = 2 ] || from=$2
    got=$(/usr/bin/python3 "$HERE/netlogon_ping.py" "$dc" "$D" "${@:2:$#-2}" 2>&1)
    if echo "$got" | grep -oE 'DcSiteName=[^ ]* ClientSiteName=[^ ]*' | grep -qxF "$want"; then
      ok "netlogon ping to $dc from $from: $want"
    else
      fail "netlogon ping to $dc from $from: wanted $want, got $got"
    fi
  }
  for dc_site in "$ORVISTAL_TEST_SERVER_IP $S1" "$ORVISTAL_TEST_SERVER2_IP $S2"; do
    read -r ip site <<< "$dc_site"
    site_ping "$ip" "DcSiteName=$site ClientSiteName=$S1"
    site_ping "$ip" "$ORVISTAL_TEST_SITE1_CLIENT_IP" "DcSiteName=$site ClientSiteName=$S1"
    site_ping "$ip" "$ORVISTAL_TEST_SITE2_CLIENT_IP" "DcSiteName=$site ClientSiteName=$S2"
  done
  # Each DC's DNS holds its own copy of the zones: both must give the same answers.
  for server in "$ORVISTAL_TEST_SERVER_IP" "$ORVISTAL_TEST_SERVER2_IP"; do
    for want in "_ldap._tcp.$S1._sites.dc._msdcs.$D $DC1:389" "_ldap._tcp.$S2._sites.dc._msdcs.$D $DC2:389" \
                "_kerberos._tcp.$S2._sites.dc._msdcs.$D $DC2:88" "_ldap._tcp.$S2._sites.$D $DC2:389" \
                "_gc._tcp.$D $DC1:3268" "_ldap._tcp.gc._msdcs.$D $DC1:3268" "_gc._tcp.$S2._sites.$D "; do
      read -r name targets <<< "$want"
      got=$(srv "$server" "$name" 2>&1)
      if [ "$got" = "${targets:-}" ]; then ok "DNS $server: $name -> ${targets:-nothing}"
      else fail "DNS $server: $name -> '$got', wanted '${targets:-}'"; fi
    done
  done
  for dc_gc in "$DC1 TRUE" "$DC2 FALSE"; do
    read -r dc want <<< "$dc_gc"
    if q "$tmp/gc" -x -H "ldaps://$dc" -b '' -s base isGlobalCatalogReady \
       && grep -qx "isGlobalCatalogReady: $want" "$tmp/gc"; then
      ok "$dc: isGlobalCatalogReady $want"
    else
      fail "$dc: isGlobalCatalogReady: $(cat "$tmp/gc" "$tmp/gc.err")"
    fi
  done
  finish
fi

if [ "${1:-}" = dc3 ]; then
  DC3=$ORVISTAL_TEST_SERVER3 D2=$ORVISTAL_TEST_DOMAIN2
  YARA="CN=Yara Second,OU=Orvistal,$ORVISTAL_TEST_BASE_DN2"
  if q "$tmp/yara" -x -D "$ORVISTAL_TEST_BIND_USER2" -w "$ORVISTAL_TEST_BIND_PASSWORD" -H "ldaps://$DC3" \
       -b "OU=Orvistal,$ORVISTAL_TEST_BASE_DN2" '(memberOf=CN=g-second,OU=Orvistal,'"$ORVISTAL_TEST_BASE_DN2"')' sAMAccountName \
     && grep -qx "dn: $YARA" "$tmp/yara" && grep -qx 'sAMAccountName: yara' "$tmp/yara"; then
    ok "$ORVISTAL_TEST_BIND_USER2 binds over verified LDAPS to $DC3 and finds yara in g-second"
  else
    fail "bind + search on ldaps://$DC3: $(cat "$tmp/yara" "$tmp/yara.err")"
  fi
  got=$(srv "$ORVISTAL_TEST_SERVER_IP" "_ldap._tcp.dc._msdcs.$D2" 2>&1)
  if [ "$got" = "$DC3:389" ]; then ok "the first domain's DNS forwards $D2's SRV records"
  else fail "_ldap._tcp.dc._msdcs.$D2 at $ORVISTAL_TEST_SERVER_IP: '$got'"; fi
  addresses=$(bash "$dns" srv getent ahostsv4 "$D2" | awk '{print $1}' | sort -u | tr '\n' ' ')
  if [ "$addresses" = "$ORVISTAL_TEST_SERVER3_IP " ]; then
    ok "srv: $D2 resolves to dc3"
  else
    fail "srv: $D2 resolves to '$addresses'"
  fi
  if ticket srv "orvbind@$ORVISTAL_TEST_REALM2"; then ok "srv: Kerberos finds $ORVISTAL_TEST_REALM2's KDC through SRV records"
  else fail "srv: kinit orvbind@$ORVISTAL_TEST_REALM2: $(cat "$tmp/kinit-srv")"; fi
  if ticket kerberos "orvbind@$ORVISTAL_TEST_REALM2"; then ok "kerberos: kinit in $ORVISTAL_TEST_REALM2 through krb5.conf"
  else fail "kerberos: kinit orvbind@$ORVISTAL_TEST_REALM2: $(cat "$tmp/kinit-kerberos")"; fi
  finish
fi

if [ "${1:-}" = dc2 ]; then
  DC2=$ORVISTAL_TEST_SERVER2
  if q "$tmp/root2" "${simple[@]}" -H "ldaps://$DC2" -b "$ALICE" -s base sAMAccountName \
     && grep -qx 'sAMAccountName: alice' "$tmp/root2"; then
    ok "$ORVISTAL_TEST_BIND_USER binds over verified LDAPS to $DC2 and reads alice"
  else
    fail "bind + read alice on ldaps://$DC2: $(cat "$tmp/root2.err")"
  fi
  before=$(sha256sum /etc/resolv.conf /etc/hosts)
  addresses=$(bash "$dns" srv getent ahostsv4 "$ORVISTAL_TEST_DOMAIN" | awk '{print $1}' | sort -u | tr '\n' ' ')
  if [ "$addresses" = "$ORVISTAL_TEST_SERVER_IP $ORVISTAL_TEST_SERVER2_IP " ]; then
    ok "srv: the DCs' DNS resolves the domain to both DCs"
  else
    fail "srv: the domain resolves to '$addresses'"
  fi
  principal=orvbind@$ORVISTAL_TEST_REALM
  if ticket srv "$principal"; then ok "srv: Kerberos finds a KDC through the SRV records"; else fail "srv: kinit: $(cat "$tmp/kinit-srv")"; fi
  if ticket kerberos "$principal"; then ok "kerberos: kinit through krb5.conf's kdc entries"; else fail "kerberos: kinit: $(cat "$tmp/kinit-kerberos")"; fi
  if ticket none "$principal"; then fail "none: kinit found a KDC"; else ok "none: no KDC to be found"; fi
  if bash "$dns" none getent hosts "$ORVISTAL_TEST_DOMAIN" > /dev/null; then
    fail "none: the domain name resolves"
  else
    ok "none: the domain name does not resolve"
  fi
  if bash "$dns" none bash -c '[ -z "${LDAPURI:-}" ] && ! grep -qiE "^[[:space:]]*uri" /etc/ldap/ldap.conf 2>/dev/null'; then
    ok "none: no URI in the environment or ldap.conf"
  else
    fail "none: a URI is left for libldap"
  fi
  if [ "$(sha256sum /etc/resolv.conf /etc/hosts)" = "$before" ]; then
    ok "the machine's resolv.conf and hosts file are untouched"
  else
    fail "the machine's resolv.conf or hosts file changed"
  fi
  finish
fi

# 0. environment
if [ -r "${LDAPTLS_CACERT:-}" ] && openssl x509 -in "$LDAPTLS_CACERT" -noout 2>/dev/null; then
  ok "LDAPTLS_CACERT is a readable certificate ($LDAPTLS_CACERT)"
else
  fail "LDAPTLS_CACERT (${LDAPTLS_CACERT:-unset}) is not a readable certificate"
fi

# 1. LDAPS answers with certificate verification
if q "$tmp/root" -x -H "ldaps://$SERVER" -b '' -s base dnsHostName \
   && grep -qi "^dnsHostName: $SERVER\$" "$tmp/root"; then
  ok "ldaps://$SERVER rootDSE with verified certificate"
else
  fail "ldaps://$SERVER rootDSE with verified certificate: $(cat "$tmp/root.err")"
fi

# 2. ...and verification is really on: a foreign CA must make the same search fail
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 1 \
  -subj "/CN=Unrelated CA" -keyout "$tmp/other.key" -out "$tmp/other.pem" >/dev/null 2>&1
if LDAPTLS_CACERT=$tmp/other.pem q "$tmp/neg" -x -H "ldaps://$SERVER" -b '' -s base dnsHostName; then
  fail "ldaps://$SERVER accepted with an unrelated CA: certificate verification is not in effect"
else
  ok "ldaps://$SERVER refused with an unrelated CA (verification in effect)"
fi

# 3. the bind account binds over LDAPS and reads seeded users
if q "$tmp/alice" "${simple[@]}" -H "ldaps://$SERVER" -b "$ALICE" -s base sAMAccountName userPrincipalName \
   && grep -qx 'sAMAccountName: alice' "$tmp/alice" \
   && grep -qx "userPrincipalName: alice@$ORVISTAL_TEST_DOMAIN" "$tmp/alice"; then
  ok "$ORVISTAL_TEST_BIND_USER binds over LDAPS and reads alice"
else
  fail "$ORVISTAL_TEST_BIND_USER bind + read alice over LDAPS: $(cat "$tmp/alice.err")"
fi
if q "$tmp/smith" "${simple[@]}" -H "ldaps://$SERVER" -b "$SMITH" -s base sAMAccountName \
   && grep -qx 'sAMAccountName: jsmith' "$tmp/smith"; then
  ok "reads the user whose CN holds a comma"
else
  fail "read $SMITH: $(cat "$tmp/smith.err")"
fi

# 4. StartTLS on 389 (verified) works too
if q "$tmp/stls" "${simple[@]}" -ZZ -H "ldap://$SERVER" -b "$ALICE" -s base sAMAccountName \
   && grep -qx 'sAMAccountName: alice' "$tmp/stls"; then
  ok "StartTLS bind + read on ldap://$SERVER"
else
  fail "StartTLS bind + read: $(cat "$tmp/stls.err")"
fi

# 5. a plain ldap:// simple bind is refused (strongerAuthRequired = 8)
q "$tmp/plain" "${simple[@]}" -H "ldap://$SERVER" -b "$ALICE" -s base sAMAccountName
rc=$?
if [ "$rc" = 8 ] && ! grep -q '^dn:' "$tmp/plain"; then
  ok "plain ldap:// simple bind refused (rc 8: $(grep -o 'Transport encryption required' "$tmp/plain.err" || echo 'strong auth required'))"
else
  fail "plain ldap:// simple bind: expected rc 8, got $rc: $(cat "$tmp/plain.err")"
fi

# 6. a wrong password is refused over LDAPS (invalidCredentials = 49)
q "$tmp/wrong" -x -D "$ORVISTAL_TEST_BIND_USER" -w 'Not.The.Password1' -H "ldaps://$SERVER" -b '' -s base
rc=$?
if [ "$rc" = 49 ]; then ok "wrong password refused (rc 49)"; else fail "wrong password: expected rc 49, got $rc: $(cat "$tmp/wrong.err")"; fi

# 7. Kerberos: ticket for the bind account, then GSSAPI binds
if "$HERE/dc.sh" kinit 2> "$tmp/kinit.err"; then
  ok "dc.sh kinit"
  if q "$tmp/gss" -Y GSSAPI -H "ldap://$SERVER" -b "$ALICE" -s base sAMAccountName \
     && grep -qx 'sAMAccountName: alice' "$tmp/gss" \
     && grep -q "^SASL username: $ORVISTAL_TEST_BIND_USER\$\|^SASL username: orvbind@$ORVISTAL_TEST_REALM\$" "$tmp/gss.err" \
     && grep -q '^SASL SSF: [1-9]' "$tmp/gss.err"; then
    ok "GSSAPI bind (sealed) on ldap://$SERVER as orvbind, reads alice"
  else
    fail "GSSAPI bind on ldap://$SERVER: $(cat "$tmp/gss.err")"
  fi
  if q "$tmp/gsst" -Y GSSAPI -O maxssf=0 -H "ldaps://$SERVER" -b "$ALICE" -s base sAMAccountName \
     && grep -qx 'sAMAccountName: alice' "$tmp/gsst"; then
    ok "GSSAPI bind over LDAPS (no SASL layer) reads alice"
  else
    fail "GSSAPI bind over LDAPS: $(cat "$tmp/gsst.err")"
  fi
else
  fail "dc.sh kinit: $(cat "$tmp/kinit.err")"
fi

# 8. seed spot checks: bulk OU size, nesting, schema extension
if q "$tmp/bulk" "${simple[@]}" -H "ldaps://$SERVER" -E pr=1000/noprompt -b "OU=Bulk,OU=Orvistal,$BASE" -s one '(objectClass=user)' 1.1 \
   && [ "$(grep -c '^dn:' "$tmp/bulk")" = 300 ]; then
  ok "OU=Bulk holds 300 users"
else
  fail "OU=Bulk: expected 300 users, got $(grep -c '^dn:' "$tmp/bulk" 2>/dev/null) $(cat "$tmp/bulk.err")"
fi
if q "$tmp/nest" "${simple[@]}" -H "ldaps://$SERVER" -b "OU=Groups,OU=Orvistal,$BASE" -s one \
     "(member:1.2.840.113556.1.4.1941:=$ALICE)" cn \
   && grep -qx 'cn: g-all' "$tmp/nest" && grep -qx 'cn: g-staff' "$tmp/nest" && grep -qx 'cn: g-devs' "$tmp/nest"; then
  ok "alice is transitively in g-devs, g-staff, g-all"
else
  fail "nested groups of alice: $(tr '\n' ' ' < "$tmp/nest") $(cat "$tmp/nest.err")"
fi
if q "$tmp/ext" "${simple[@]}" -H "ldaps://$SERVER" -b "$ALICE" -s base orvistalCounter orvistalNumbers \
   && grep -qx 'orvistalCounter: 9007199254740993' "$tmp/ext" \
   && [ "$(grep -c '^orvistalNumbers: ' "$tmp/ext")" = 3 ]; then
  ok "schema extension values on alice"
else
  fail "schema extension values on alice: $(tr '\n' ' ' < "$tmp/ext") $(cat "$tmp/ext.err")"
fi

finish
