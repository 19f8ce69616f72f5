#!/usr/bin/env bash
# Compares a built library's export table with the list of implemented natives; a Windows
# library must also import nothing but system DLLs (the compiler's runtime is linked in).
# usage: check_exports.sh linux|windows|windows64 LIBRARY NATIVES_LIST
set -euo pipefail
kind=$1 library=$2 list=$3
expected=$(mktemp) actual=$(mktemp)
trap 'rm -f "$expected" "$actual"' EXIT
system_dlls='^(kernel32|msvcrt|advapi32|activeds|ole32|oleaut32|netapi32|user32|ws2_32|secur32)\.dll$'
case $kind in
  linux)
    awk '{print $1}' "$list" | sort > "$expected"
    nm -D --defined-only "$library" | awk '{print $3}' | sort > "$actual" ;;
  windows|windows64)
    objdump=i686-w64-mingw32-objdump
    [ "$kind" = windows ] || objdump=x86_64-w64-mingw32-objdump
    awk '{print $2}' "$list" | sort > "$expected"
    "$objdump" -p "$library" |
      awk '/^\[Ordinal\/Name Pointer\] Table/ {on=1; next} on && /^\t\[/ {print $NF; next} on && !/^\t/ {on=0}' |
      sort > "$actual"
    foreign=$("$objdump" -p "$library" | awk '/DLL Name:/ {print tolower($3)}' | grep -Ev "$system_dlls" || true)
    if [ -n "$foreign" ]; then
      echo "FAIL: $library imports DLLs that are not part of Windows:" $foreign >&2
      exit 1
    fi ;;
  *) echo "unknown kind $kind" >&2; exit 2 ;;
esac
if ! diff -u "$expected" "$actual"; then
  echo "FAIL: $kind export table of $library differs from the implemented natives" >&2
  exit 1
fi
echo "OK: $(wc -l < "$actual") exports of $library match"
