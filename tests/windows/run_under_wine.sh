#!/usr/bin/env bash
# Runs a Windows program under Wine without a display or dialogs, in the given prefix, and gives
# up after the given number of seconds. WINE names the loader (default: wine; the 64-bit one for
# 64-bit programs).
# usage: run_under_wine.sh PREFIX SECONDS PROGRAM [ARGUMENTS...]
set -euo pipefail
prefix=$1 limit=$2
shift 2
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$prefix"
status=0
timeout --kill-after=10 "$limit" "${WINE:-wine}" "$@" < /dev/null || status=$?
# The prefix's server lingers briefly after its last program; wait for it so no state is left busy.
timeout 30 wineserver -w || true
[ "$status" -ne 124 ] || echo "FAIL: the Windows program did not finish within $limit seconds"
exit "$status"
