#!/usr/bin/env bash
# The test run's directory fixture: starts a DC (dc1 unless dc2 or dc3 is named) unless it is already
# running, and at the end stops only a DC that this run started, so a developer's running
# directory survives a test run.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
dc=${2:-dc1}
marker=${ORVISTAL_DC_DIR:-/var/tmp/orvistal-dc/run}/.started-by-test-run
[ "$dc" = dc1 ] || marker=$marker-$dc
case ${1:-} in
  start)
    if bash "$here/dc.sh" status "$dc" >/dev/null 2>&1; then
      echo "fixture: $dc already running; it is left running afterwards"
      rm -f "$marker"
    else
      status=0
      bash "$here/dc.sh" start "$dc" || status=$?
      if [ "$status" = 3 ]; then
        # dc2 and dc3 come from the same build as dc1: a dc1 from older scripts is started afresh.
        bash "$here/dc.sh" restart
        status=0
        bash "$here/dc.sh" start "$dc" || status=$?
      fi
      [ "$status" = 0 ] || exit "$status"
      touch "$marker"
    fi
    # Calls made with an empty bind account use the bind account's Kerberos ticket.
    if [ "$dc" = dc1 ]; then bash "$here/dc.sh" kinit; fi ;;
  stop)
    if [ -f "$marker" ]; then
      rm -f "$marker"
      bash "$here/dc.sh" stop "$dc"
    else
      echo "fixture: $dc was not started by this run; left running"
    fi ;;
  *) echo "usage: fixture.sh start|stop [dc1|dc2|dc3]" >&2; exit 2 ;;
esac
