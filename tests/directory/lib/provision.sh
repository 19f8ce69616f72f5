#!/usr/bin/env bash
# Provisions an empty Samba AD DC for ORVISTAL.TEST into TARGETDIR (which is
# wiped first). Offline: no server is started here. Usage: provision.sh TARGETDIR
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/common.sh"

T=${1:?usage: provision.sh TARGETDIR}
rm -rf "$T"
mkdir -p "$T/run" "$T/log"
: > "$T/.empty.conf"   # keeps samba-tool from inheriting /etc/samba/smb.conf

if ! samba-tool domain provision -s "$T/.empty.conf" --targetdir="$T" \
    --realm="$DC_REALM" --domain="$DC_NETBIOS" --host-name="$DC_HOST" --host-ip="$DC_IP" \
    --server-role=dc --dns-backend=NONE --adminpass="$DC_ADMIN_PASSWORD" \
    --option="interfaces=$DC_IP" --option="bind interfaces only=yes" \
    --option="server services=ldap kdc" \
    --option="pid directory=$T/run" --option="ncalrpc dir=$T/run/ncalrpc" \
    --option="winbindd socket directory=$T/run/winbindd" \
    --option="ntp signd socket directory=$T/run/ntp_signd" \
    --option="log file=$T/log/log.samba" --option="log level=1" \
    --option="ldap server require strong auth=allow_sasl_over_tls" \
    --option="dsdb:schema update allowed=true" \
    --option="tls enabled=yes" \
    --option="tls keyfile=custom-tls/server.key" \
    --option="tls certfile=custom-tls/server.pem" \
    --option="tls cafile=custom-tls/ca.pem" \
    > "$T/log/provision.log" 2>&1; then
  tail -n 30 "$T/log/provision.log" >&2
  echo "provision.sh: samba-tool domain provision failed (log: $T/log/provision.log)" >&2
  exit 1
fi

conf=$T/etc/smb.conf
# samba-tool drops this option when given on its command line; add it by hand.
# 0 = a replaced password stops working at once (default: 60 more minutes).
sed -i 's/^\[global\]$/[global]\n\told password allowed period = 0/' "$conf"
grep -q '^[[:space:]]*old password allowed period = 0' "$conf" || {
  echo "provision.sh: could not set 'old password allowed period' in $conf" >&2; exit 1; }

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
{
  openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes \
    -keyout "$C/ca.key" -out "$C/ca.pem" -days 3650 -subj "/O=Orvistal Test/CN=Orvistal Test CA" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign"
  openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes \
    -keyout "$C/server.key" -out "$C/server.csr" -subj "/O=Orvistal Test/CN=$DC_FQDN"
  cat > "$C/server.ext" <<EXT
subjectAltName=DNS:$DC_FQDN,DNS:$DC_DOMAIN,IP:$DC_IP
extendedKeyUsage=serverAuth
keyUsage=critical,digitalSignature,keyEncipherment
basicConstraints=critical,CA:FALSE
EXT
  openssl x509 -req -in "$C/server.csr" -CA "$C/ca.pem" -CAkey "$C/ca.key" -CAcreateserial \
    -out "$C/server.pem" -days 3650 -extfile "$C/server.ext"
} > "$T/log/certs.log" 2>&1 || { cat "$T/log/certs.log" >&2; echo "provision.sh: certificate creation failed" >&2; exit 1; }
chmod 600 "$C/ca.key" "$C/server.key"
openssl verify -CAfile "$C/ca.pem" "$C/server.pem" >/dev/null
