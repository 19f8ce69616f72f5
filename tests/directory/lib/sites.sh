#!/usr/bin/env bash
# The first domain's two sites, on the running first DC before the second one joins (the join
# copies them): the site Branch, a subnet per site for the client addresses, and the per-site
# SRV records Samba publishes for no loopback DC (dc1 in the first site, dc2 in Branch). The
# records go into dc1's zones; the join copies them into dc2's. Usage: sites.sh SMB_CONF
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/common.sh"

CONF=${1:?usage: sites.sh SMB_CONF}
admin=(-U "$DC_NETBIOS\\Administrator%$DC_ADMIN_PASSWORD")

samba-tool sites create "$DC_SITE2" -s "$CONF"
samba-tool sites subnet create "$DC_DEFAULT_CLIENT_IP/32" "$DC_SITE1" -s "$CONF"
samba-tool sites subnet create "$DC_SITE1_CLIENT_IP/32" "$DC_SITE1" -s "$CONF"
samba-tool sites subnet create "$DC_SITE2_CLIENT_IP/32" "$DC_SITE2" -s "$CONF"

# srv_record ZONE NAME TARGET PORT: added unless provisioning already put the same one there.
srv_record() {
  local zone=$1 name=$2 target=$3 port=$4
  if samba-tool dns query "$DC_FQDN" "$zone" "$name" SRV "${admin[@]}" 2>/dev/null \
       | grep -F "$target" >/dev/null; then
    return 0
  fi
  samba-tool dns add "$DC_FQDN" "$zone" "$name" SRV "$target $port 0 100" "${admin[@]}"
}
for site_dc in "$DC_SITE1 $DC_FQDN" "$DC_SITE2 $DC2_FQDN"; do
  read -r site target <<< "$site_dc"
  srv_record "_msdcs.$DC_DOMAIN" "_ldap._tcp.$site._sites.dc" "$target" 389
  srv_record "_msdcs.$DC_DOMAIN" "_kerberos._tcp.$site._sites.dc" "$target" 88
  srv_record "$DC_DOMAIN" "_ldap._tcp.$site._sites" "$target" 389
  srv_record "$DC_DOMAIN" "_kerberos._tcp.$site._sites" "$target" 88
done
