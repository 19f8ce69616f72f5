#!/usr/bin/python3
"""Differential test of our AccessCheckByTypeResultList against Samba's se_access_check.

Generates descriptors (SDDL) and tokens from a fixed seed, runs every case through our oracle
program and through samba.security.access_check, and compares the outcome: granted, denied or
privilege-not-held, and the granted mask whenever access is granted.

Only descriptors without object entries are generated (Samba's plain check treats a denying
object entry as a plain deny and ignores allowing ones, where Windows matches them against the
object type list), and only tokens whose groups are all enabled (Samba tokens carry no group
attributes). Where Samba knowingly answers differently from Windows, the generator stays out of
the way instead of excusing the answer afterwards:

  * OWNER RIGHTS (S-1-3-4) entries: Samba applies them after the walk, so an OWNER RIGHTS allow
    overrides an earlier explicit deny; Windows takes them in order. Cases with such entries put
    them first in the DACL, where both orders agree, and never ask for MAXIMUM_ALLOWED (Samba's
    maximum pre-pass ignores them).
  * MAXIMUM_ALLOWED: Samba's pre-pass ignores entry order and lets a deny remove the owner's
    implicit READ_CONTROL/WRITE_DAC, and it gives a null DACL only the owner's rights; Windows
    honours order, grants the owner's rights before the walk and gives a null DACL the generic
    "all" mapping. Those cases use DACLs with all denies first, no deny of READ_CONTROL or
    WRITE_DAC, and a DACL that is not null.
  * ACCESS_SYSTEM_SECURITY with a null DACL: Samba grants before checking the privilege; Windows
    checks the privilege first. Not generated.
  * A DACL that is absent (not merely null): Samba denies, Windows grants everything. Null DACLs
    are generated as "D:NO_ACCESS_CONTROL" instead.

Samba reports a denial as an exception (its granted slot then holds the denied bits, which it
does not return to Python), and reports an empty grant as success with mask 0; both are read as
ACCESS_DENIED, which is what Windows reports.
"""

import argparse
import random
import subprocess
import sys

from samba import NTSTATUSError
from samba import security as samba_security
from samba.dcerpc import security

DOMAIN = "S-1-5-21-1000-2000-3000"
USER = DOMAIN + "-1105"
OTHER_USER = DOMAIN + "-1106"
GROUP_A = DOMAIN + "-1200"
GROUP_B = DOMAIN + "-1201"
WORLD = "S-1-1-0"
AUTHENTICATED = "S-1-5-11"
ADMINISTRATORS = "S-1-5-32-544"
SYSTEM = "S-1-5-18"
OWNER_RIGHTS = "S-1-3-4"

ACE_SIDS = [USER, OTHER_USER, GROUP_A, GROUP_B, WORLD, AUTHENTICATED, ADMINISTRATORS, SYSTEM]
OPTIONAL_GROUPS = [GROUP_A, GROUP_B, WORLD, AUTHENTICATED, ADMINISTRATORS]
OWNERS = [USER, OTHER_USER, GROUP_A, ADMINISTRATORS]
ACE_FLAGS = ["", "", "", "CI", "OI", "ID", "CIID", "IO", "CIIO"]

RIGHTS = [0x1, 0x2, 0x4, 0x8, 0x10, 0x20, 0x40, 0x80, 0x100,
          0x10000, 0x20000, 0x40000, 0x80000, 0x100000]
READ_CONTROL = 0x20000
WRITE_DAC = 0x40000
ACCESS_SYSTEM_SECURITY = 0x01000000
MAXIMUM_ALLOWED = 0x02000000
SE_SECURITY = 8
SE_TAKE_OWNERSHIP = 9

STATUS_ACCESS_DENIED = 0xC0000022
STATUS_PRIVILEGE_NOT_HELD = 0xC0000061
ERROR_ACCESS_DENIED = 5
ERROR_PRIVILEGE_NOT_HELD = 1314


def random_mask(rng, low=1, high=5, exclude=0):
    pool = [r for r in RIGHTS if not r & exclude]
    mask = 0
    for right in rng.sample(pool, rng.randint(low, min(high, len(pool)))):
        mask |= right
    return mask


def make_case(rng, index):
    maximum = rng.random() < 0.3
    owner_rights = not maximum and rng.random() < 0.15
    token = [USER] + [sid for sid in OPTIONAL_GROUPS if rng.random() < 0.5]
    privileges = [p for p in (SE_SECURITY, SE_TAKE_OWNERSHIP) if rng.random() < 0.15]
    owner = rng.choice(OWNERS)

    shape = rng.random()
    null_dacl = not maximum and shape < 0.05
    empty_dacl = 0.05 <= shape < 0.10
    aces = []
    if not null_dacl and not empty_dacl:
        for _ in range(rng.randint(1, 6)):
            kind = "D" if rng.random() < 0.35 else "A"
            exclude = READ_CONTROL | WRITE_DAC if maximum and kind == "D" else 0
            aces.append((kind, rng.choice(ACE_FLAGS), random_mask(rng, 1, 6, exclude), rng.choice(ACE_SIDS)))
        if maximum:
            aces.sort(key=lambda ace: 0 if ace[0] == "D" else 1)
        if owner_rights:
            for _ in range(rng.randint(1, 2)):
                kind = "D" if rng.random() < 0.4 else "A"
                aces.insert(0, (kind, rng.choice(["", "", "IO"]), random_mask(rng, 1, 4), OWNER_RIGHTS))

    sddl = "O:%sG:%s" % (owner, ADMINISTRATORS)
    if null_dacl:
        sddl += "D:NO_ACCESS_CONTROL"
    else:
        sddl += "D:" + "".join("(%s;%s;0x%x;;;%s)" % ace for ace in aces)

    desired = MAXIMUM_ALLOWED | (random_mask(rng, 0, 2) if rng.random() < 0.3 else 0) if maximum \
        else random_mask(rng, 1, 5)
    if not null_dacl and rng.random() < 0.1:
        desired |= ACCESS_SYSTEM_SECURITY
    return {"id": "c%05d" % index, "sddl": sddl, "null_dacl": null_dacl, "token": token,
            "privileges": privileges, "desired": desired}


def run_oracle(oracle, cases):
    lines = []
    for case in cases:
        privileges = ",".join(str(p) for p in case["privileges"]) or "-"
        lines.append("\t".join([case["id"], case["sddl"], ",".join(case["token"]), privileges,
                                "%x" % case["desired"]]))
    completed = subprocess.run([oracle], input="\n".join(lines) + "\n", capture_output=True, text=True,
                               check=False)
    if completed.returncode != 0:
        sys.exit("oracle failed (%d): %s" % (completed.returncode, completed.stdout[-2000:]))
    results = {}
    for line in completed.stdout.splitlines():
        fields = line.split("\t")
        if len(fields) != 5 or fields[1] != "1":
            sys.exit("oracle could not run a case: " + line)
        results[fields[0]] = (int(fields[3]), int(fields[4], 16))
    return results


def samba_outcome(case, domain):
    text = case["sddl"]
    if case["null_dacl"]:
        text = text.replace("D:NO_ACCESS_CONTROL", "")
    descriptor = security.descriptor.from_sddl(text, domain)
    if case["null_dacl"]:
        descriptor.type |= security.SEC_DESC_DACL_PRESENT
    token = security.token()
    token.num_sids = len(case["token"])
    token.sids = [security.dom_sid(sid) for sid in case["token"]]
    for luid in case["privileges"]:
        token.set_privilege(security.SEC_PRIV_SECURITY if luid == SE_SECURITY else security.SEC_PRIV_TAKE_OWNERSHIP)
    try:
        granted = samba_security.access_check(descriptor, token, case["desired"])
    except NTSTATUSError as error:
        status = error.args[0] & 0xFFFFFFFF
        if status == STATUS_ACCESS_DENIED:
            return (ERROR_ACCESS_DENIED, 0)
        if status == STATUS_PRIVILEGE_NOT_HELD:
            return (ERROR_PRIVILEGE_NOT_HELD, 0)
        raise
    if granted == 0:
        return (ERROR_ACCESS_DENIED, 0)
    return (0, granted)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--oracle", required=True)
    parser.add_argument("--cases", type=int, default=4000)
    parser.add_argument("--seed", type=int, default=20240611)
    args = parser.parse_args()

    rng = random.Random(args.seed)
    cases = [make_case(rng, i) for i in range(args.cases)]
    ours = run_oracle(args.oracle, cases)
    domain = security.dom_sid(DOMAIN)

    tally = {"granted": 0, "denied": 0, "privilege not held": 0}
    maximum_cases = 0
    disagreements = []
    for case in cases:
        theirs = samba_outcome(case, domain)
        mine = ours[case["id"]]
        if case["desired"] & MAXIMUM_ALLOWED:
            maximum_cases += 1
        agree = mine[0] == theirs[0] and (mine[0] != 0 or mine[1] == theirs[1])
        if agree:
            tally[{0: "granted", ERROR_ACCESS_DENIED: "denied"}.get(mine[0], "privilege not held")] += 1
        else:
            disagreements.append((case, mine, theirs))

    print("cases: %d (MAXIMUM_ALLOWED: %d), seed %d" % (len(cases), maximum_cases, args.seed))
    print("agree: %d (%s)" % (len(cases) - len(disagreements),
                              ", ".join("%s %d" % item for item in tally.items())))
    print("disagree: %d" % len(disagreements))
    for case, mine, theirs in disagreements[:15]:
        print("  %s %s token=%s privileges=%s desired=0x%x: ours status %d granted 0x%x, samba status %d granted 0x%x"
              % (case["id"], case["sddl"], ",".join(case["token"]), case["privileges"], case["desired"],
                 mine[0], mine[1], theirs[0], theirs[1]))
    return 1 if disagreements else 0


if __name__ == "__main__":
    sys.exit(main())
