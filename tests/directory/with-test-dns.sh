#!/usr/bin/env bash
# Runs a command on a machine set up one way of finding the test domain's DCs, in a private
# mount namespace: the machine's own resolver, hosts file and ldap.conf stay as they are for
# every other process. Run as root.
#
#   with-test-dns.sh MODE COMMAND [ARGS...]
#
#   srv        the first domain's DNS servers answer (SRV and address records; the second
#              domain's through their forwarder to its DC); the hosts file names no test host;
#              Kerberos finds its KDCs through DNS
#   kerberos   krb5.conf names each realm's KDCs (dc1 and dc2, dc3); DNS answers nothing; the DC
#              names resolve, the domain names do not
#   addresses  each domain name resolves to its DCs; DNS answers nothing; no KDC in krb5.conf
#   none       nothing leads to a DC: DNS answers nothing, no KDC, no domain name resolves
#
# In every mode ldap.conf names no URI, LDAPURI and friends are unset, and KRB5_CONFIG names
# the mode's Kerberos configuration. ORVISTAL_TEST_DNS_MODE tells the command the mode.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/lib/common.sh"

mode=${1:-}
case $mode in
  srv | kerberos | addresses | none) ;;
  *) echo "usage: with-test-dns.sh srv|kerberos|addresses|none COMMAND [ARGS...]" >&2; exit 2 ;;
esac
shift
[ $# -gt 0 ] || { echo "with-test-dns.sh: no command" >&2; exit 2; }
[ "$(id -u)" = 0 ] || { echo "with-test-dns.sh: must run as root (mount namespace)" >&2; exit 1; }

if [ "${ORVISTAL_TEST_DNS_NAMESPACE:-}" != "$$" ]; then
  # exec keeps the pid, so the marker names the process that is inside the namespace.
  export ORVISTAL_TEST_DNS_NAMESPACE=$$
  exec unshare --mount --propagation private bash "${BASH_SOURCE[0]}" "$mode" "$@"
fi
unset ORVISTAL_TEST_DNS_NAMESPACE

files=$(mktemp -d /tmp/orvistal-test-dns.XXXXXX)
trap 'rm -rf "$files"' EXIT

# Nothing listens on this address: lookups fail at once instead of timing out.
nowhere=127.0.0.9
{
  if [ "$mode" = srv ]; then
    printf 'nameserver %s\nnameserver %s\n' "$DC_IP" "$DC2_IP"
  else
    printf 'nameserver %s\n' "$nowhere"
  fi
  echo 'options timeout:1 attempts:1'
} > "$files/resolv.conf"

# The machine's hosts file without any test name, then the mode's own lines.
awk -v names="$DC_FQDN $DC_DOMAIN $DC2_FQDN $DC3_FQDN $DOM2_DOMAIN" '
  BEGIN { split(names, list, " "); for (k in list) ours[list[k]] = 1 }
  { for (i = 2; i <= NF && $i !~ /^#/; i++) if ($i in ours) next; print }' /etc/hosts \
  > "$files/hosts"
case $mode in
  kerberos | none) printf '%s %s\n' "$DC_IP" "$DC_FQDN" "$DC2_IP" "$DC2_FQDN" "$DC3_IP" "$DC3_FQDN" >> "$files/hosts" ;;
  addresses) printf '%s %s %s\n' "$DC_IP" "$DC_FQDN" "$DC_DOMAIN" "$DC2_IP" "$DC2_FQDN" "$DC_DOMAIN" \
               "$DC3_IP" "$DC3_FQDN" "$DOM2_DOMAIN" >> "$files/hosts" ;;
esac

{
  printf '[libdefaults]\n\tdefault_realm = %s\n\tdns_lookup_realm = false\n' "$DC_REALM"
  printf '\tdns_lookup_kdc = %s\n' "$([ "$mode" = srv ] && echo true || echo false)"
  printf '\trdns = false\n\tdns_canonicalize_hostname = false\n'
  if [ "$mode" = kerberos ]; then
    printf '[realms]\n\t%s = {\n\t\tkdc = %s\n\t\tkdc = %s\n\t\tadmin_server = %s\n\t}\n' \
      "$DC_REALM" "$DC_FQDN" "$DC2_FQDN" "$DC_FQDN"
    printf '\t%s = {\n\t\tkdc = %s\n\t\tadmin_server = %s\n\t}\n' "$DOM2_REALM" "$DC3_FQDN" "$DC3_FQDN"
  fi
  printf '[domain_realm]\n'
  printf '\t.%s = %s\n\t%s = %s\n' "$DC_DOMAIN" "$DC_REALM" "$DC_DOMAIN" "$DC_REALM" \
    "$DOM2_DOMAIN" "$DOM2_REALM" "$DOM2_DOMAIN" "$DOM2_REALM"
} > "$files/krb5.conf"

mount --bind "$files/resolv.conf" /etc/resolv.conf
mount --bind "$files/hosts" /etc/hosts
if [ -f /etc/ldap/ldap.conf ]; then
  grep -viE '^[[:space:]]*(URI|HOST|BASE)([[:space:]]|$)' /etc/ldap/ldap.conf > "$files/ldap.conf" || true
  mount --bind "$files/ldap.conf" /etc/ldap/ldap.conf
fi

unset LDAPURI LDAPHOST LDAPBASE LDAPRC
export LDAPCONF=/dev/null
export KRB5_CONFIG=$files/krb5.conf
export ORVISTAL_TEST_DNS_MODE=$mode
status=0
"$@" || status=$?
exit "$status"
