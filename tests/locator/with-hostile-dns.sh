#!/usr/bin/env bash
# Runs a command on a machine whose only DNS server is a hostile one on loopback (dnsmasq), in a
# private mount namespace: the machine's own resolver stays as it is for every other process.
# The server names controllers outside the domain it is asked about, answers one domain with 300
# controllers (far more than a UDP answer holds), and can be silenced mid-run: the command finds
# its pid in ORVISTAL_HOSTILE_DNS_PID. Run as root.
#
#   with-hostile-dns.sh COMMAND [ARGS...]
set -euo pipefail
[ $# -gt 0 ] || { echo "with-hostile-dns.sh: no command" >&2; exit 2; }
[ "$(id -u)" = 0 ] || { echo "with-hostile-dns.sh: must run as root (mount namespace)" >&2; exit 1; }
if [ "${ORVISTAL_HOSTILE_DNS_NAMESPACE:-}" != "$$" ]; then
  export ORVISTAL_HOSTILE_DNS_NAMESPACE=$$
  exec unshare --mount --propagation private bash "${BASH_SOURCE[0]}" "$@"
fi
unset ORVISTAL_HOSTILE_DNS_NAMESPACE

files=$(mktemp -d /tmp/orvistal-hostile-dns.XXXXXX)
address=127.0.0.30
dnsmasq_pid=
cleanup() {
  [ -n "$dnsmasq_pid" ] && kill "$dnsmasq_pid" 2>/dev/null || true
  rm -rf "$files"
}
trap cleanup EXIT

{
  printf 'port=53\nlisten-address=%s\nbind-interfaces\nno-resolv\nno-hosts\n' "$address"
  # Answered from these lines only: any other name of these zones does not exist.
  printf 'local=/hostile.test/\nlocal=/big.test/\n'
  printf 'srv-host=_ldap._tcp.dc._msdcs.hostile.test,dc7.hostile.test,389,0,100\n'
  printf 'srv-host=_ldap._tcp.dc._msdcs.hostile.test,evil.example.net,389,0,100\n'
  printf 'srv-host=_ldap._tcp.dc._msdcs.hostile.test,hostile.test.example.net,636,0,100\n'
  printf 'srv-host=_ldap._tcp.hostile.test,dc1.orvistal.test,389,0,100\n'
  for i in $(seq 1 300); do printf 'srv-host=_ldap._tcp.dc._msdcs.big.test,dc%d.big.test,389,0,100\n' "$i"; done
} > "$files/dnsmasq.conf"
dnsmasq --keep-in-foreground --conf-file="$files/dnsmasq.conf" &
dnsmasq_pid=$!
for _ in $(seq 1 50); do
  ss -lun 2>/dev/null | grep -q "$address:53 " && break
  sleep 0.1
done
ss -lun | grep -q "$address:53 " || { echo "with-hostile-dns.sh: dnsmasq did not start" >&2; exit 1; }

printf 'nameserver %s\noptions timeout:1 attempts:1\n' "$address" > "$files/resolv.conf"
mount --bind "$files/resolv.conf" /etc/resolv.conf
printf '[libdefaults]\n\tdefault_realm = ORVISTAL.TEST\n\tdns_lookup_kdc = false\n' > "$files/krb5.conf"
unset LDAPURI LDAPHOST LDAPBASE LDAPRC
export LDAPCONF=/dev/null KRB5_CONFIG=$files/krb5.conf ORVISTAL_HOSTILE_DNS_PID=$dnsmasq_pid
status=0
"$@" || status=$?
exit "$status"
