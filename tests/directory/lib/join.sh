#!/usr/bin/env bash
# Joins the second DC to the running first one as a replica of the same domain in the second
# site, and not a Global Catalog, into TARGETDIR (wiped first). Offline for the new DC: it is
# not started here. The first DC must run the join services (DC_JOIN_SERVICES). Usage: join.sh DC1_TARGETDIR TARGETDIR
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/common.sh"
. "$here/certificates.sh"

DC1=${1:?usage: join.sh DC1_TARGETDIR TARGETDIR}
T=${2:?usage: join.sh DC1_TARGETDIR TARGETDIR}
rm -rf "$T"
mkdir -p "$T/run" "$T/log"
: > "$T/.empty.conf"
admin=(-U "$DC_NETBIOS\\Administrator%$DC_ADMIN_PASSWORD")

# The second DC's DNS records, in the first DC's zones before the join copies them: the DC
# locator's SRV records and the domain name's own address. Without the dnsupdate service
# nobody else registers them.
dns_add() {
  samba-tool dns add "$DC_FQDN" "$@" "${admin[@]}" >> "$T/log/dns.log" 2>&1 || {
    cat "$T/log/dns.log" >&2; echo "join.sh: samba-tool dns add $* failed" >&2; exit 1; }
}
dns_add "$DC_DOMAIN" @ A "$DC2_IP"
for name in _ldap._tcp _kerberos._tcp _kerberos._udp; do
  port=389; [[ $name == _kerberos* ]] && port=88
  dns_add "$DC_DOMAIN" "$name" SRV "$DC2_FQDN $port 0 100"
done
dns_add "_msdcs.$DC_DOMAIN" _ldap._tcp.dc SRV "$DC2_FQDN 389 0 100"
dns_add "_msdcs.$DC_DOMAIN" _kerberos._tcp.dc SRV "$DC2_FQDN 88 0 100"

dc_options "$T" "$DC2_IP"
if ! samba-tool domain join "$DC_DOMAIN" DC -s "$T/.empty.conf" --targetdir="$T" \
    -W "$DC_NETBIOS" "${admin[@]}" --server="$DC_FQDN" --dns-backend=SAMBA_INTERNAL --site="$DC_SITE2" \
    --option="netbios name=${DC2_HOST^^}" --option="realm=$DC_REALM" --option="workgroup=$DC_NETBIOS" \
    "${DC_OPTIONS[@]}" \
    > "$T/log/join.log" 2>&1; then
  tail -n 30 "$T/log/join.log" >&2
  echo "join.sh: samba-tool domain join failed (log: $T/log/join.log)" >&2
  exit 1
fi

conf=$T/etc/smb.conf
# Not a Global Catalog: the NTDS Settings' options lose bit 1 (IS_GC) in dc1's copy of the
# configuration, which goes to dc2's below.
ntds="CN=NTDS Settings,CN=${DC2_HOST^^},CN=Servers,CN=$DC_SITE2,CN=Sites,$DC_CONFIG_DN"
ldap_admin() {
  local tool=$1; shift
  LDAPTLS_CACERT=$DC1/private/custom-tls/ca.pem LDAPTLS_REQCERT=demand LDAPCONF=/dev/null \
    "$tool" -x -H "ldaps://$DC_FQDN" -D "$DC_ADMIN_USER" -w "$DC_ADMIN_PASSWORD" "$@"
}
options=$(ldap_admin ldapsearch -LLL -b "$ntds" -s base options | sed -n 's/^options: //p')
[ -n "$options" ] || { echo "join.sh: no options on $ntds" >&2; exit 1; }
ldap_admin ldapmodify > "$T/log/gc.log" <<LDIF
dn: $ntds
changetype: modify
replace: options
options: $(( options & ~1 ))
-
LDIF
# The join replaces the records of the new DC's own name with its non-loopback addresses
# (none here): its name goes in afterwards, and into the new DC's copy straight from the first.
dns_add "$DC_DOMAIN" "$DC2_HOST" A "$DC2_IP"
for nc in "DC=DomainDnsZones,$DC_BASE_DN" "$DC_CONFIG_DN"; do
  samba-tool drs replicate "$DC2_FQDN" "$DC_FQDN" "$nc" --local -s "$conf" "${admin[@]}" \
    >> "$T/log/replicate.log" 2>&1 || { cat "$T/log/replicate.log" >&2; echo "join.sh: replicating $nc failed" >&2; exit 1; }
done
dc_settle_conf "$conf" "$DC3_IP"
grep -q '^[[:space:]]*tls certfile = custom-tls/server.pem' "$conf" || {
  echo "join.sh: the join did not keep the TLS settings in $conf" >&2; exit 1; }

# The same test CA as the first DC; its key stays with the first DC.
C=$T/private/custom-tls
mkdir -p "$C"
cp "$DC1/private/custom-tls/ca.pem" "$C/ca.pem"
server_certificate "$DC1/private/custom-tls" "$C" "$DC2_FQDN" "$DC2_IP" "$T/log/certs.log"

samba_spnupdate -s "$conf" > "$T/log/spnupdate.log" 2>&1 || {
  cat "$T/log/spnupdate.log" >&2; echo "join.sh: samba_spnupdate failed" >&2; exit 1; }
# The two DCs do not replicate, and a Kerberos client may ask either KDC for a ticket to the
# other's directory service: the first DC's copy needs the second's ldap/ name too.
samba-tool spn add "ldap/$DC2_FQDN" 'DC2$' -H "ldap://$DC_FQDN" "${admin[@]}" > "$T/log/spn.log" 2>&1 || {
  cat "$T/log/spn.log" >&2; echo "join.sh: adding the second DC's name to the first's copy failed" >&2; exit 1; }
