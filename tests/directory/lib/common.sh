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
# Two sites: dc1 in the first one, dc2 in Branch. A client's site comes from the subnet holding
# the address its datagram leaves from: the machine's default source address towards the DCs
# (127.0.0.1) and one more address per site that a test can bind its socket to.
DC_SITE1=Default-First-Site-Name
DC_SITE2=Branch
DC_DEFAULT_CLIENT_IP=127.0.0.1
DC_SITE1_CLIENT_IP=127.0.0.26
DC_SITE2_CLIENT_IP=127.0.0.25
DC_CONFIG_DN=CN=Configuration,DC=orvistal,DC=test
# The second domain, a forest of its own on its own DC. Its DNS is where the first domain's DNS
# servers send every name outside their own zones.
DOM2_REALM=ORVISTAL2.TEST
DOM2_DOMAIN=orvistal2.test
DOM2_NETBIOS=ORVISTAL2
DOM2_BASE_DN=DC=orvistal2,DC=test
DOM2_ORG_DN=OU=Orvistal,DC=orvistal2,DC=test
DC3_HOST=dc3
DC3_FQDN=dc3.orvistal2.test
DC3_IP=127.0.0.6
# What every DC runs: LDAP, Kerberos, DNS and the DC locator's ping (CLDAP), which tells a
# client its site. While the second DC joins, the first also runs the replication and DNS
# administration interfaces the join talks to.
DC_SERVICES="ldap kdc dns cldap"
DC_JOIN_SERVICES="ldap kdc dns cldap rpc"
DC_ORG_DN=OU=Orvistal,DC=orvistal,DC=test

DC_ADMIN_USER=Administrator@orvistal.test
DC_ADMIN_PASSWORD=Orvistal.Admin.Pw1
DC_BIND_SAM=orvbind
DC_BIND_USER=orvbind@orvistal.test
DC_BIND_DN="CN=Orvistal Bind,OU=Service,$DC_ORG_DN"
DC_BIND_PASSWORD=Orvistal.Bind.Pw1
# No trust can be made between the two domains here: the bind account exists in both, with
# the same name and password.
DOM2_ADMIN_USER=Administrator@orvistal2.test
DOM2_BIND_USER=orvbind@orvistal2.test
DOM2_BIND_DN="CN=Orvistal Bind,OU=Service,$DOM2_ORG_DN"

# Password as an LDIF unicodePwd value: the text in double quotes, UTF-16LE, base64.
dc_pwd_b64() { printf '"%s"' "$1" | iconv -f UTF-8 -t UTF-16LE | base64 -w0; }
# Any UTF-8 text as an LDIF base64 value.
dc_b64() { printf '%s' "$1" | base64 -w0; }

# The smb.conf settings every test DC gets, for TARGETDIR on address IP: its own address and
# run-time directories (several DCs on one machine), the services above, simple binds over TLS
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
# DNS forwarder, goes (the test DNS never sends a test's lookups off the machine); the first
# domain's DCs forward instead to the second domain's DNS, which forwards nowhere (two Samba
# servers forwarding to each other bounce a name neither holds between them: tens of
# thousands of datagrams for one lookup). The old password's grace period, which samba-tool
# drops from its command line, goes in as 0 (a replaced password stops working at once, not
# 60 minutes later).   dc_settle_conf SMB_CONF [FORWARDER]
dc_settle_conf() {
  local conf=$1 forwarder=${2:-}
  sed -i '/^[[:space:]]*dns forwarder[[:space:]]*=/d' "$conf"
  sed -i 's/^\[global\]$/[global]\n\told password allowed period = 0/' "$conf"
  if [ -n "$forwarder" ]; then
    sed -i "s/^\\[global\\]\$/[global]\\n\\tdns forwarder = $forwarder/" "$conf"
  fi
  grep -q '^[[:space:]]*old password allowed period = 0' "$conf" || {
    echo "could not set 'old password allowed period' in $conf" >&2; return 1; }
}
