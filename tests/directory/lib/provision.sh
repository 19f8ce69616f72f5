#!/usr/bin/env bash
# Provisions an empty Samba AD DC for ORVISTAL.TEST into TARGETDIR (which is
# wiped first). Offline: no server is started here. Usage: provision.sh TARGETDIR
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/common.sh"
. "$here/certificates.sh"

T=${1:?usage: provision.sh TARGETDIR}
rm -rf "$T"
mkdir -p "$T/run" "$T/log"
: > "$T/.empty.conf"   # keeps samba-tool from inheriting /etc/samba/smb.conf

dc_options "$T" "$DC_IP"
if ! samba-tool domain provision -s "$T/.empty.conf" --targetdir="$T" \
    --realm="$DC_REALM" --domain="$DC_NETBIOS" --host-name="$DC_HOST" --host-ip="$DC_IP" \
    --server-role=dc --dns-backend=SAMBA_INTERNAL --adminpass="$DC_ADMIN_PASSWORD" \
    "${DC_OPTIONS[@]}" \
    > "$T/log/provision.log" 2>&1; then
  tail -n 30 "$T/log/provision.log" >&2
  echo "provision.sh: samba-tool domain provision failed (log: $T/log/provision.log)" >&2
  exit 1
fi

conf=$T/etc/smb.conf
dc_settle_conf "$conf"

# Without the dnsupdate service nobody registers ldap/dc1.orvistal.test and
# friends; GSSAPI binds need them.
samba_spnupdate -s "$conf" > "$T/log/spnupdate.log" 2>&1 || {
  cat "$T/log/spnupdate.log" >&2; echo "provision.sh: samba_spnupdate failed" >&2; exit 1; }

# Password policy: no age limits (a cached copy must not age out), no domain-wide
# lockout (the lockout account gets its own policy object in the seed).
samba-tool domain passwordsettings set -s "$conf" \
  --min-pwd-age=0 --max-pwd-age=0 \
  --account-lockout-threshold=0 --account-lockout-duration=30 --reset-account-lockout-after=30 \
  > "$T/log/passwordsettings.log" 2>&1 || {
  cat "$T/log/passwordsettings.log" >&2; echo "provision.sh: passwordsettings failed" >&2; exit 1; }

# Own CA and an EC P-256 server certificate for dc1.orvistal.test, orvistal.test, 127.0.0.2.
C=$T/private/custom-tls
mkdir -p "$C"
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes \
  -keyout "$C/ca.key" -out "$C/ca.pem" -days 3650 -subj "/O=Orvistal Test/CN=Orvistal Test CA" \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
  > "$T/log/certs.log" 2>&1 || { cat "$T/log/certs.log" >&2; echo "provision.sh: CA creation failed" >&2; exit 1; }
chmod 600 "$C/ca.key"
server_certificate "$C" "$C" "$DC_FQDN" "$DC_IP" "$T/log/certs.log"
