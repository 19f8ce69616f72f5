# shellcheck shell=bash disable=SC2034
# Names and credentials of the throwaway test directory. Sourced by dc.sh, the
# provisioning and seeding scripts and check.sh. Part of the golden cache key:
# changing anything here forces a fresh provision.

DC_REALM=ORVISTAL.TEST
DC_DOMAIN=orvistal.test
DC_NETBIOS=ORVISTAL
DC_HOST=dc1
DC_FQDN=dc1.orvistal.test
DC_IP=127.0.0.2
DC_BASE_DN=DC=orvistal,DC=test
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
