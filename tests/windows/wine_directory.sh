#!/usr/bin/env bash
# The Windows library against the test directory under Wine: every native's row of the table
# (wine_gaps.txt says why the others stop), then the differential run, the same calls with the
# same settings on the Linux library, every answer compared.
# usage: wine_directory.sh PREFIX WINDOWS_BUILD LINUX_DRIVER LINUX_LIBRARY WORK_DIR
# WINE names the loader, as for run_under_wine.sh. The directory's environment (dc.sh env) is set.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
prefix=$1 windows=$2 driver=$3 library=$4 work=$5
mkdir -p "$work"
rm -f "$work/wine-answers.txt" "$work/linux-answers.txt"

# Wine's LDAP provider binds with Negotiate, which falls back to NTLM with the path's host as the
# account's domain; a DC takes only its domain's name there (its own host name sends it to
# winbind, which a DC does not run). Both libraries are given the domain's name as the server.
export ORVISTAL_TEST_SERVER=$ORVISTAL_TEST_DOMAIN

status=0
# Wine's LDAP client follows the referrals of the domain's head whatever the search asks for.
LDAPREFERRALS=off bash "$here/run_under_wine.sh" "$prefix" 400 "$windows/tests/windows/orvistal_wine_test.exe" \
  "Z:$windows/src/Orvistal.dll" "Z:$windows/natives.txt" --directory "Z:$here/wine_gaps.txt" \
  "Z:$work/wine-answers.txt" || status=$?
"$driver" "$library" "$work/linux-answers.txt" || status=1
if [ -s "$work/wine-answers.txt" ]; then
  python3 "$here/compare_answers.py" "$work/linux-answers.txt" "$work/wine-answers.txt" "$here/wine_gaps.txt" ||
    status=1
else
  echo "FAIL: the Windows library gave no answers to compare"
  status=1
fi
exit "$status"
