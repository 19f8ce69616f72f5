#!/usr/bin/env bash
# Quick self-check of the running test directory; `check.sh dc2` checks the second DC and the
# ways with-test-dns.sh offers the DCs instead. Uses the environment of `dc.sh env` (evaluated
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

if [ "${1:-}" = dc2 ]; then
  DC2=$ORVISTAL_TEST_SERVER2
  if q "$tmp/root2" "${simple[@]}" -H "ldaps://$DC2" -b "$ALICE" -s base sAMAccountName \
     && grep -qx 'sAMAccountName: alice' "$tmp/root2"; then
    ok "$ORVISTAL_TEST_BIND_USER binds over verified LDAPS to $DC2 and reads alice"
  else
    fail "bind + read alice on ldaps://$DC2: $(cat "$tmp/root2.err")"
  fi
  dns=$HERE/with-test-dns.sh
  before=$(sha256sum /etc/resolv.conf /etc/hosts)
  # ticket MODE: a Kerberos ticket for the bind account with only what the mode offers.
  ticket() {
    bash "$dns" "$1" bash -c 'KRB5CCNAME=FILE:$0 timeout 20 kinit "orvbind@$ORVISTAL_TEST_REALM" <<< "$ORVISTAL_TEST_BIND_PASSWORD"' \
      "$tmp/cc-$1" > "$tmp/kinit-$1" 2>&1
  }
  addresses=$(bash "$dns" srv getent ahostsv4 "$ORVISTAL_TEST_DOMAIN" | awk '{print $1}' | sort -u | tr '\n' ' ')
  if [ "$addresses" = "$ORVISTAL_TEST_SERVER_IP $ORVISTAL_TEST_SERVER2_IP " ]; then
    ok "srv: the DCs' DNS resolves the domain to both DCs"
  else
    fail "srv: the domain resolves to '$addresses'"
  fi
  if ticket srv; then ok "srv: Kerberos finds a KDC through the SRV records"; else fail "srv: kinit: $(cat "$tmp/kinit-srv")"; fi
  if ticket kerberos; then ok "kerberos: kinit through krb5.conf's kdc entries"; else fail "kerberos: kinit: $(cat "$tmp/kinit-kerberos")"; fi
  if ticket none; then fail "none: kinit found a KDC"; else ok "none: no KDC to be found"; fi
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
