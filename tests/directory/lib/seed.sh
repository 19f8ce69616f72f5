#!/usr/bin/env bash
# Seeds the freshly provisioned, running DC with the test data set described in
# README.md. Usage: seed.sh SMB_CONF   (LDAPTLS_CACERT must name the DC's CA)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/common.sh"

CONF=${1:?usage: seed.sh SMB_CONF}
[ -n "${LDAPTLS_CACERT:-}" ] || { echo "seed.sh: LDAPTLS_CACERT not set" >&2; exit 1; }
URI=ldaps://$DC_FQDN
O=$DC_ORG_DN
P=OU=People,$O
G=OU=Groups,$O
M=OU=Machines,$O
D=OU=Delegated,$O

step() { printf '== %s\n' "$*"; }
lmod() { ldapmodify -x -H "$URI" -D "$DC_ADMIN_USER" -w "$DC_ADMIN_PASSWORD" "$@"; }
# shellcheck disable=SC2120
ladd() { ldapmodify -a -x -H "$URI" -D "$DC_ADMIN_USER" -w "$DC_ADMIN_PASSWORD" "$@"; }
lget() {  # lget DN ATTR -> first value (plain text attributes only)
  ldapsearch -x -LLL -o ldif-wrap=no -H "$URI" -D "$DC_ADMIN_USER" -w "$DC_ADMIN_PASSWORD" \
    -b "$1" -s base '(objectClass=*)' "$2" | sed -n "s/^$2: //p" | head -n1
}
sid_of() {  # sid_of SAMACCOUNTNAME -> S-1-5-21-...
  samba-tool user show "$1" -s "$CONF" --attributes=objectSid | sed -n 's/^objectSid: //p'
}
pw() { dc_pwd_b64 "$1"; }
uac_normal=512 uac_disabled=514 uac_dont_expire=66048

step "schema extension"
lmod -f "$here/../seed/schema.ldif"

step "organizational units"
ladd <<EOF
dn: $O
objectClass: organizationalUnit
ou: Orvistal
description: Root of Orvistal's test data

dn: $P
objectClass: organizationalUnit
ou: People

dn: OU=Staff,$P
objectClass: organizationalUnit
ou: Staff

dn: OU=Engineering,OU=Staff,$P
objectClass: organizationalUnit
ou: Engineering

dn: $G
objectClass: organizationalUnit
ou: Groups

dn: $M
objectClass: organizationalUnit
ou: Machines

dn: OU=Bulk,$O
objectClass: organizationalUnit
ou: Bulk

dn: OU=Service,$O
objectClass: organizationalUnit
ou: Service

dn: $D
objectClass: organizationalUnit
ou: Delegated
EOF

step "users"
ladd <<EOF
dn: $DC_BIND_DN
objectClass: user
cn: Orvistal Bind
sAMAccountName: $DC_BIND_SAM
userPrincipalName: $DC_BIND_USER
displayName: Orvistal Bind
description: Non-admin account the tests bind with
userAccountControl: $uac_dont_expire
unicodePwd:: $(pw "$DC_BIND_PASSWORD")

dn: CN=Bob Builder,$P
objectClass: user
cn: Bob Builder
sAMAccountName: bob
givenName: Bob
sn: Builder
accountExpires: 159516576000000000
userAccountControl: $uac_normal
unicodePwd:: $(pw Bob.Pw.12345)

dn: CN=Alice Liddell,$P
objectClass: user
cn: Alice Liddell
sAMAccountName: alice
userPrincipalName: alice@$DC_DOMAIN
givenName: Alice
sn: Liddell
initials: A
displayName: Alice Liddell
mail: alice@$DC_DOMAIN
title: Engineer
department: Engineering
company: Orvistal
description: Seeded user with values of many kinds
employeeID: E-1001
telephoneNumber: +1 555 0100
otherTelephone: +1 555 0101
otherTelephone: +1 555 0102
otherTelephone: +1 555 0103
wWWHomePage: https://alice.orvistal.test/
url: https://alice.orvistal.test/one
url: https://alice.orvistal.test/two
countryCode: 276
manager: CN=Bob Builder,$P
accountExpires: 9223372036854775807
orvistalCounter: 9007199254740993
orvistalNumbers: 7
orvistalNumbers: -42
orvistalNumbers: 2147483647
orvistalTags: alpha
orvistalTags:: $(dc_b64 'βeta')
orvistalTags: gamma delta
orvistalFlag: TRUE
orvistalWhen: 20240229123456.0Z
userAccountControl: $uac_normal
unicodePwd:: $(pw Alice.Pw.123)

dn: CN=Smith\, Jo,$P
objectClass: user
cn: Smith, Jo
sAMAccountName: jsmith
userPrincipalName: jo.smith@$DC_DOMAIN
givenName: Jo
sn: Smith
displayName: Jo Smith
mail: jo.smith@$DC_DOMAIN
userAccountControl: $uac_normal
unicodePwd:: $(pw Smith.Pw.123)

dn:: $(dc_b64 "CN=Zoë Çelik,$P")
objectClass: user
cn:: $(dc_b64 'Zoë Çelik')
sAMAccountName: zoe
userPrincipalName: zoe@$DC_DOMAIN
givenName:: $(dc_b64 'Zoë')
sn:: $(dc_b64 'Çelik')
displayName:: $(dc_b64 'Zoë Çelik')
mail: zoe@$DC_DOMAIN
userAccountControl: $uac_normal
unicodePwd:: $(pw Zoe.Pw.1234)

dn: CN=Dora Disabled,$P
objectClass: user
cn: Dora Disabled
sAMAccountName: dora
userPrincipalName: dora@$DC_DOMAIN
userAccountControl: $uac_disabled
unicodePwd:: $(pw Dora.Pw.123)

dn: CN=Exp Ired,$P
objectClass: user
cn: Exp Ired
sAMAccountName: expired
userPrincipalName: expired@$DC_DOMAIN
accountExpires: 133000000000000000
userAccountControl: $uac_normal
unicodePwd:: $(pw Expired.Pw.123)

dn: CN=Lock Smith,$P
objectClass: user
cn: Lock Smith
sAMAccountName: locky
userPrincipalName: locky@$DC_DOMAIN
description: Lockout tests only: 3 wrong passwords lock this account for 30 minutes
userAccountControl: $uac_normal
unicodePwd:: $(pw Locky.Pw.123)

dn: CN=Erin Example,$P
objectClass: user
cn: Erin Example
sAMAccountName: erin
userPrincipalName: erin@$DC_DOMAIN
givenName: Erin
sn: Example
displayName: Erin Example
mail: erin@$DC_DOMAIN
userAccountControl: $uac_dont_expire
unicodePwd:: $(pw Erin.Pw.1234)

dn: CN=Carol NoPw,$P
objectClass: user
cn: Carol NoPw
sAMAccountName: carol
description: Created without a password

dn: CN=Mustchange User,$P
objectClass: user
cn: Mustchange User
sAMAccountName: mustchange
userPrincipalName: mustchange@$DC_DOMAIN
userAccountControl: $uac_normal
unicodePwd:: $(pw Must.Change.Pw1)

dn: CN=Change Me,$P
objectClass: user
cn: Change Me
sAMAccountName: chpw
userPrincipalName: chpw@$DC_DOMAIN
description: Password-change tests may change this password
userAccountControl: $uac_normal
unicodePwd:: $(pw Change.Pw.123)

dn: CN=Pat Primary,$P
objectClass: user
cn: Pat Primary
sAMAccountName: patp
userPrincipalName: patp@$DC_DOMAIN
userAccountControl: $uac_normal
unicodePwd:: $(pw Pat.Pw.1234)

dn: CN=Deep Diver,OU=Engineering,OU=Staff,$P
objectClass: user
cn: Deep Diver
sAMAccountName: ddiver
userPrincipalName: ddiver@$DC_DOMAIN
displayName: Deep Diver
mail: ddiver@$DC_DOMAIN
userAccountControl: $uac_normal
unicodePwd:: $(pw Deep.Pw.123)

dn: CN=Wanda Writable,$D
objectClass: user
cn: Wanda Writable
sAMAccountName: wanda
userPrincipalName: wanda@$DC_DOMAIN
userAccountControl: $uac_normal
unicodePwd:: $(pw Wanda.Pw.123)

dn: CN=Dennis Denied,$D
objectClass: user
cn: Dennis Denied
sAMAccountName: dennis
userPrincipalName: dennis@$DC_DOMAIN
userAccountControl: $uac_normal
unicodePwd:: $(pw Dennis.Pw.123)

dn: CN=deleted-user,$P
objectClass: user
cn: deleted-user
sAMAccountName: deleted-user
userPrincipalName: deleted-user@$DC_DOMAIN
userAccountControl: $uac_normal
unicodePwd:: $(pw Deleted.Pw.123)

dn: CN=Ext Contact,$P
objectClass: contact
cn: Ext Contact
displayName: External Contact
mail: ext.contact@example.org
EOF

step "must-change user: pwdLastSet 0"
lmod <<EOF
dn: CN=Mustchange User,$P
changetype: modify
replace: pwdLastSet
pwdLastSet: 0
-
EOF

step "computer"
ladd <<EOF
dn: CN=WS01,$M
objectClass: computer
cn: WS01
sAMAccountName: WS01\$
dNSHostName: ws01.$DC_DOMAIN
description: Seeded workstation account
userAccountControl: 4096
EOF

step "bulk users"
{
  for i in $(seq 1 300); do
    n=$(printf 'bulk%04d' "$i")
    printf 'dn: CN=%s,OU=Bulk,%s\nobjectClass: user\ncn: %s\nsAMAccountName: %s\ndescription: bulk user %d\n\n' \
      "$n" "$O" "$n" "$n" "$i"
  done
} | ladd > /dev/null

step "groups"
{
  cat <<EOF
dn: CN=g-devs,$G
objectClass: group
cn: g-devs
sAMAccountName: g-devs
description: Global security group (A), member of g-staff
groupType: -2147483646
member: CN=Alice Liddell,$P
member: CN=Deep Diver,OU=Engineering,OU=Staff,$P

dn: CN=g-staff,$G
objectClass: group
cn: g-staff
sAMAccountName: g-staff
description: Global security group (B), member of g-all
groupType: -2147483646
member: CN=g-devs,$G
member: CN=Bob Builder,$P

dn: CN=g-all,$G
objectClass: group
cn: g-all
sAMAccountName: g-all
description: Universal security group (C)
groupType: -2147483640
member: CN=g-staff,$G

dn: CN=g-local,$G
objectClass: group
cn: g-local
sAMAccountName: g-local
description: Domain-local security group
groupType: -2147483644
member: CN=Smith\, Jo,$P
member: CN=g-all,$G

dn: CN=g-dist,$G
objectClass: group
cn: g-dist
sAMAccountName: g-dist
description: Global distribution group
groupType: 2
mail: g-dist@$DC_DOMAIN
member: CN=Alice Liddell,$P

dn: CN=g-primary,$G
objectClass: group
cn: g-primary
sAMAccountName: g-primary
description: Primary group of patp
groupType: -2147483646
member: CN=Pat Primary,$P

dn: CN=g-machines,$G
objectClass: group
cn: g-machines
sAMAccountName: g-machines
description: Holds the computer WS01
groupType: -2147483646
member: CN=WS01,$M

dn: CN=g-empty,$G
objectClass: group
cn: g-empty
sAMAccountName: g-empty
description: No members
groupType: -2147483646

dn: CN=g-big,$G
objectClass: group
cn: g-big
sAMAccountName: g-big
description: Global security group holding the 300 bulk users
groupType: -2147483646
EOF
  for i in $(seq 1 300); do printf 'member: CN=bulk%04d,OU=Bulk,%s\n' "$i" "$O"; done
  echo
} | ladd

step "primary group of patp"
rid=$(lget "CN=g-primary,$G" primaryGroupToken)
[ -n "$rid" ] || { echo "seed.sh: no primaryGroupToken for g-primary" >&2; exit 1; }
lmod <<EOF
dn: CN=Pat Primary,$P
changetype: modify
replace: primaryGroupID
primaryGroupID: $rid
-
EOF

step "lockout policy for locky only"
samba-tool domain passwordsettings pso create orvistal-lockout 10 -s "$CONF" \
  --complexity=on --min-pwd-length=7 --history-length=24 --min-pwd-age=0 --max-pwd-age=0 \
  --account-lockout-threshold=3 --account-lockout-duration=30 --reset-account-lockout-after=30
samba-tool domain passwordsettings pso apply orvistal-lockout locky -s "$CONF"

step "access control: orvbind may write OU=Delegated, but not Dennis"
bind_sid=$(sid_of "$DC_BIND_SAM")
[[ $bind_sid == S-1-5-21-* ]] || { echo "seed.sh: cannot read the SID of $DC_BIND_SAM" >&2; exit 1; }
samba-tool dsacl set -s "$CONF" --objectdn="$D" --sddl="(A;CI;RPWP;;;$bind_sid)"
samba-tool dsacl set -s "$CONF" --objectdn="CN=Dennis Denied,$D" --sddl="(D;;WP;;;$bind_sid)"

step "tombstone"
ldapdelete -x -H "$URI" -D "$DC_ADMIN_USER" -w "$DC_ADMIN_PASSWORD" "CN=deleted-user,$P"

step "done"
