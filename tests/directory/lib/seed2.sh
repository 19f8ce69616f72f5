#!/usr/bin/env bash
# Seeds the second domain's freshly provisioned, running DC: the bind account (the same name
# and password as in the first domain), one user and one group, below OU=Orvistal.
# Usage: seed2.sh   (LDAPTLS_CACERT must name the test CA)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/common.sh"

[ -n "${LDAPTLS_CACERT:-}" ] || { echo "seed2.sh: LDAPTLS_CACERT not set" >&2; exit 1; }
O=$DOM2_ORG_DN
ldapmodify -a -x -H "ldaps://$DC3_FQDN" -D "$DOM2_ADMIN_USER" -w "$DC_ADMIN_PASSWORD" <<EOF2
dn: $O
objectClass: organizationalUnit
ou: Orvistal
description: Root of Orvistal's test data in the second domain

dn: OU=Service,$O
objectClass: organizationalUnit
ou: Service

dn: $DOM2_BIND_DN
objectClass: user
cn: Orvistal Bind
sAMAccountName: $DC_BIND_SAM
userPrincipalName: $DOM2_BIND_USER
displayName: Orvistal Bind
description: Non-admin account the tests bind with
userAccountControl: 66048
unicodePwd:: $(dc_pwd_b64 "$DC_BIND_PASSWORD")

dn: CN=Yara Second,$O
objectClass: user
cn: Yara Second
sAMAccountName: yara
userPrincipalName: yara@$DOM2_DOMAIN
givenName: Yara
sn: Second
displayName: Yara Second
mail: yara@$DOM2_DOMAIN
description: User of the second domain
userAccountControl: 512
unicodePwd:: $(dc_pwd_b64 Yara.Pw.1234)

dn: CN=g-second,$O
objectClass: group
cn: g-second
sAMAccountName: g-second
description: Global security group of the second domain
groupType: -2147483646
member: CN=Yara Second,$O
EOF2
