# shellcheck shell=bash disable=SC2034
# Names, credentials and smb.conf settings of the throwaway test directory. Sourced by dc.sh, the
# provisioning and seeding scripts and check.sh. Part of the golden cache key:
# changing anything here forces a fresh provision.

DC_REALM=ORVISTAL.TEST
DC_DOMAIN=orvistal.test
DC_NETBIOS=ORVISTAL
DC_HOST=dc1
DC_FQDN=dc1.orvistal.test
DC_IP=127.0.0.2
DC_BASE_DN=DC=orvistal,DC=test
# The second DC, a replica of the first: the same domain and data on its own address.
DC2_HOST=dc2
DC2_FQDN=dc2.orvistal.test
DC2_IP=127.0.0.4
# What the first DC runs. While the second one joins it also runs the services a join talks
# to (the replication and DNS administration interfaces, the DC locator ping).
DC_SERVICES="ldap kdc dns"
DC_JOIN_SERVICES="ldap kdc dns rpc cldap"
DC_ORG_DN=OU=Orvistal,DC=orvistal,DC=test

DC_ADMIN_USER=Administrator@orvistal.test
DC_ADMIN_PASSWORD=Orvistal.Admin.Pw1
DC_BIND_SAM=orvbind
DC_BIND_USER=orvbind@orvistal.test
DC_BIND_DN="CN=Orvistal Bind,OU=Service,$DC_ORG_DN"
DC_BIND_PASSWORD=Orvistal.Bind.Pw1

# Password as an LDIF unicodePwd value: the text in double quotes, UTF-16LE, base64.
dc_pwd_b64() { printf '"%s"' "$1" | iconv -f UTF-8 -t UTF-16LE | base64 -w0; }
# Any UTF-8 text as an LDIF base64 value.
dc_b64() { printf '%s' "$1" | base64 -w0; }

# The smb.conf settings every test DC gets, for TARGETDIR on address IP: its own address and
# run-time directories (two DCs on one machine), LDAP and Kerberos only, simple binds over TLS
# and Kerberos over TLS without a SASL layer, schema changes, and a certificate from the test
# CA (paths relative to the private directory).   dc_options TARGETDIR IP  -> DC_OPTIONS
dc_options() {
  local T=$1 ip=$2
  DC_OPTIONS=(
    --option="interfaces=$ip" --option="bind interfaces only=yes"
    --option="server services=$DC_SERVICES"
    --option="pid directory=$T/run" --option="ncalrpc dir=$T/run/ncalrpc"
    --option="winbindd socket directory=$T/run/winbindd"
    --option="ntp signd socket directory=$T/run/ntp_signd"
    --option="log file=$T/log/log.samba" --option="log level=1"
    --option="ldap server require strong auth=allow_sasl_over_tls"
    --option="dsdb:schema update allowed=true"
    --option="tls enabled=yes"
    --option="tls keyfile=custom-tls/server.key"
    --option="tls certfile=custom-tls/server.pem"
    --option="tls cafile=custom-tls/ca.pem"
  )
}

# smb.conf as samba-tool leaves it, put right: the machine's resolver, which it copies as the
# DNS forwarder, goes (the test DNS answers for its own zones only and never sends a test's
# lookups off the machine); the old password's grace period, which it drops from its command
# line, goes in as 0 (a replaced password stops working at once, not 60 minutes later).
dc_settle_conf() {
  local conf=$1
  sed -i '/^[[:space:]]*dns forwarder[[:space:]]*=/d' "$conf"
  sed -i 's/^\[global\]$/[global]\n\told password allowed period = 0/' "$conf"
  grep -q '^[[:space:]]*old password allowed period = 0' "$conf" || {
    echo "could not set 'old password allowed period' in $conf" >&2; return 1; }
}
