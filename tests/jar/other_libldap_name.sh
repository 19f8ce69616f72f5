#!/usr/bin/env bash
# The jar on a system whose libldap is named libldap.so.2 (OpenLDAP 2.6 and later) rather than
# Debian 12's libldap-2.5.so.0: in a private mount namespace an empty file stands over
# libldap-2.5.so.0, and a directory on LD_LIBRARY_PATH holds the library only as libldap.so.2.
# A fresh JVM runs the README's example from the jar; wInit must return 0, and the dynamic
# loader's own log must show that libldap.so.2 was the one loaded.
# usage: other_libldap_name.sh JAR JAVA WORK   (as root; exits 77, skipped, when it cannot unshare)
set -euo pipefail
jar=$1 java=$2 work=$3
here=$(cd "$(dirname "$0")" && pwd)
if ! unshare -m true 2>/dev/null; then
  echo "SKIP: no private mount namespace (needs root)"; exit 77
fi
real=$(readlink -f "$(ldconfig -p | awk '/libldap-2\.5\.so\.0 .*x86-64/ {print $NF; exit}')")
[ -f "$real" ] || { echo "FAIL: no libldap-2.5.so.0 on this system to hide"; exit 1; }
rm -rf "$work"
mkdir -p "$work/lib" "$work/log"
cp "$real" "$work/lib/libldap.so.2"
: > "$work/empty"
unshare -m --propagation private bash -c '
  set -euo pipefail
  mount --bind "$1/empty" "$2"
  [ ! -s "$2" ] || { echo "FAIL: libldap-2.5.so.0 is not hidden"; exit 1; }
  export ORVISTAL_JAR_LIBRARY_PATH=$1/lib LD_DEBUG=libs LD_DEBUG_OUTPUT=$1/log/ld
  bash "$3/load_from_jar.sh" fresh "$4" "$5" "$1/cache"
' _ "$work" "$real" "$here" "$jar" "$java"
if ! grep -qs "calling init: $work/lib/libldap.so.2" "$work"/log/ld.*; then
  echo "FAIL: the loader's log shows no libldap.so.2 from $work/lib"; exit 1
fi
echo "OK: loaded with libldap.so.2 alone"
