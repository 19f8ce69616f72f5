#!/usr/bin/env bash
# Provisions an empty Samba AD DC into TARGETDIR (which is wiped first). Offline: no server is
# started here.
#   provision.sh TARGETDIR                 dc1 of ORVISTAL.TEST, with a new test CA
#   provision.sh TARGETDIR dc3 CA_DIR      dc3 of ORVISTAL2.TEST, certificate from CA_DIR's CA
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/common.sh"
. "$here/certificates.sh"

T=${1:?usage: provision.sh TARGETDIR [dc3 CA_DIR]}
dc=${2:-dc1}
case $dc in
  dc1) realm=$DC_REALM domain=$DC_DOMAIN netbios=$DC_NETBIOS host=$DC_HOST fqdn=$DC_FQDN ip=$DC_IP
       forwarder=$DC3_IP ;;
  dc3) realm=$DOM2_REALM domain=$DOM2_DOMAIN netbios=$DOM2_NETBIOS host=$DC3_HOST fqdn=$DC3_FQDN ip=$DC3_IP
       forwarder= ca_dir=${3:?usage: provision.sh TARGETDIR dc3 CA_DIR} ;;
  *) echo "usage: provision.sh TARGETDIR [dc3 CA_DIR]" >&2; exit 2 ;;
esac
rm -rf "$T"
mkdir -p "$T/run" "$T/log"
: > "$T/.empty.conf"   # keeps samba-tool from inheriting /etc/samba/smb.conf

dc_options "$T" "$ip"
if ! samba-tool domain provision -s "$T/.empty.conf" --targetdir="$T" \
    --realm="$realm" --domain="$netbios" --host-name="$host" --host-ip="$ip" \
    --server-role=dc --dns-backend=SAMBA_INTERNAL --adminpass="$DC_ADMIN_PASSWORD" \
    "${DC_OPTIONS[@]}" \
    > "$T/log/provision.log" 2>&1; then
  tail -n 30 "$T/log/provision.log" >&2
  echo "provision.sh: samba-tool domain provision failed (log: $T/log/provision.log)" >&2
  exit 1
fi

conf=$T/etc/smb.conf
dc_settle_conf "$conf" "$forwarder"

# Without the dnsupdate service nobody registers ldap/<fqdn> and friends; GSSAPI binds need them.
samba_spnupdate -s "$conf" > "$T/log/spnupdate.log" 2>&1 || {
  cat "$T/log/spnupdate.log" >&2; echo "provision.sh: samba_spnupdate failed" >&2; exit 1; }

# Password policy: no age limits (a cached copy must not age out), no domain-wide
# lockout (the lockout account gets its own policy object in the seed).
samba-tool domain passwordsettings set -s "$conf" \
  --min-pwd-age=0 --max-pwd-age=0 \
  --account-lockout-threshold=0 --account-lockout-duration=30 --reset-account-lockout-after=30 \
  > "$T/log/passwordsettings.log" 2>&1 || {
  cat "$T/log/passwordsettings.log" >&2; echo "provision.sh: passwordsettings failed" >&2; exit 1; }

# One test CA for every DC, so that one CA file verifies them all: dc1 makes it, the others
# get certificates from it (its key stays with dc1). EC P-256 throughout.
C=$T/private/custom-tls
mkdir -p "$C"
if [ "$dc" = dc1 ]; then
  openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes \
    -keyout "$C/ca.key" -out "$C/ca.pem" -days 3650 -subj "/O=Orvistal Test/CN=Orvistal Test CA" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
    > "$T/log/certs.log" 2>&1 || { cat "$T/log/certs.log" >&2; echo "provision.sh: CA creation failed" >&2; exit 1; }
  chmod 600 "$C/ca.key"
  ca_dir=$C
else
  cp "$ca_dir/ca.pem" "$C/ca.pem"
fi
server_certificate "$ca_dir" "$C" "$fqdn" "$ip" "$T/log/certs.log" "$domain"
