#!/usr/bin/env bash
# The test run's directory fixture: starts the directory unless it is already running, and at
# the end stops only a directory that this run started, so a developer's running directory
# survives a test run.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
marker=${ORVISTAL_DC_DIR:-/var/tmp/orvistal-dc/run}/.started-by-test-run
case ${1:-} in
  start)
    if bash "$here/dc.sh" status >/dev/null 2>&1; then
      echo "fixture: directory already running; it is left running afterwards"
      rm -f "$marker"
    else
      bash "$here/dc.sh" start
      touch "$marker"
    fi
    # Calls made with an empty bind account use the bind account's Kerberos ticket.
    bash "$here/dc.sh" kinit ;;
  stop)
    if [ -f "$marker" ]; then
      rm -f "$marker"
      bash "$here/dc.sh" stop
    else
      echo "fixture: directory was not started by this run; left running"
    fi ;;
  *) echo "usage: fixture.sh start|stop" >&2; exit 2 ;;
esac
