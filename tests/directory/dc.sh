#!/usr/bin/env bash
# Throwaway Samba AD DCs for Orvistal's tests: realm ORVISTAL.TEST, host
# dc1.orvistal.test on 127.0.0.2 and its replica dc2.orvistal.test on 127.0.0.4 (in another
# site), and a second domain ORVISTAL2.TEST on dc3.orvistal2.test, 127.0.0.6. See README.md
# beside this file.
#
#   dc.sh start [dcN]    provision (or restore the cached golden copy), seed, start, wait for LDAPS
#   dc.sh stop [dcN]     stop the DC started by start (by its recorded pid)
#   dc.sh restart [dcN]  stop, then start from a fresh copy of the golden directory
#   dc.sh status [dcN]   exit 0 if running and answering LDAPS with certificate verification
#   dc.sh env      print the export lines clients need (also written to $ORVISTAL_DC_DIR/env.sh)
#   dc.sh kinit    Kerberos ticket for the non-admin bind account into the private ccache
#
# Environment: ORVISTAL_DC_DIR (run state, default /var/tmp/orvistal-dc/run),
# ORVISTAL_DC_CACHE (golden tarballs, default /var/tmp/orvistal-dc/cache),
# ORVISTAL_DC_MAX_RUNTIME (seconds before samba exits by itself, default 21600),
# ORVISTAL_DC_NO_CACHE=1 (always provision from scratch; do not read or write the cache).
# Without dc2 or dc3 a command acts on the first DC. Must run as root (loopback address,
# /etc/hosts, samba).
set -euo pipefail

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
REPO=$(cd "$HERE/../.." && pwd)
. "$HERE/lib/common.sh"

DC_DIR=${ORVISTAL_DC_DIR:-/var/tmp/orvistal-dc/run}
CACHE_DIR=${ORVISTAL_DC_CACHE:-/var/tmp/orvistal-dc/cache}
MAX_RUNTIME=${ORVISTAL_DC_MAX_RUNTIME:-21600}
READY_TIMEOUT=${ORVISTAL_DC_READY_TIMEOUT:-60}

CA_FILE=$DC_DIR/ca.pem
KRB5_FILE=$DC_DIR/krb5.conf
CCACHE=$DC_DIR/krb5cc
ENV_FILE=$DC_DIR/env.sh

log() { printf 'dc.sh: %s\n' "$*" >&2; }
die() { log "error: $*"; exit 1; }
now_ms() { date +%s%3N; }

need_root() { [ "$(id -u)" = 0 ] || die "must run as root"; }

# The DC a command acts on: its samba directory (what its golden tarball holds), pid file,
# address and name.
use_dc() {
  case $1 in
    dc1) DC=dc1 SAMBA_DIR=$DC_DIR/dc PIDFILE=$DC_DIR/samba.pid IP=$DC_IP FQDN=$DC_FQDN ;;
    dc2) DC=dc2 SAMBA_DIR=$DC_DIR/dc2 PIDFILE=$DC_DIR/samba-dc2.pid IP=$DC2_IP FQDN=$DC2_FQDN ;;
    dc3) DC=dc3 SAMBA_DIR=$DC_DIR/dc3 PIDFILE=$DC_DIR/samba-dc3.pid IP=$DC3_IP FQDN=$DC3_FQDN ;;
    *) echo "usage: $0 start|stop|restart|status [dc1|dc2|dc3] | env | kinit" >&2; exit 2 ;;
  esac
  CONF=$SAMBA_DIR/etc/smb.conf
}

# ---------------------------------------------------------------- environment

env_lines() {
  cat <<EOF
export ORVISTAL_DC_DIR='$DC_DIR'
export LDAPTLS_CACERT='$CA_FILE'
export LDAPTLS_REQCERT=demand
export KRB5_CONFIG='$KRB5_FILE'
export KRB5CCNAME='FILE:$CCACHE'
export ORVISTAL_TEST_SERVER=$DC_FQDN
export ORVISTAL_TEST_SERVER_IP=$DC_IP
export ORVISTAL_TEST_SERVER2=$DC2_FQDN
export ORVISTAL_TEST_SERVER2_IP=$DC2_IP
export ORVISTAL_TEST_DOMAIN=$DC_DOMAIN
export ORVISTAL_TEST_REALM=$DC_REALM
export ORVISTAL_TEST_NETBIOS=$DC_NETBIOS
export ORVISTAL_TEST_BASE_DN='$DC_BASE_DN'
export ORVISTAL_TEST_ADMIN_USER='$DC_ADMIN_USER'
export ORVISTAL_TEST_ADMIN_PASSWORD='$DC_ADMIN_PASSWORD'
export ORVISTAL_TEST_BIND_USER='$DC_BIND_USER'
export ORVISTAL_TEST_BIND_PASSWORD='$DC_BIND_PASSWORD'
export ORVISTAL_TEST_BIND_DN='$DC_BIND_DN'
export ORVISTAL_TEST_SITE1=$DC_SITE1
export ORVISTAL_TEST_SITE2=$DC_SITE2
export ORVISTAL_TEST_SITE1_CLIENT_IP=$DC_SITE1_CLIENT_IP
export ORVISTAL_TEST_SITE2_CLIENT_IP=$DC_SITE2_CLIENT_IP
export ORVISTAL_TEST_SERVER3=$DC3_FQDN
export ORVISTAL_TEST_SERVER3_IP=$DC3_IP
export ORVISTAL_TEST_DOMAIN2=$DOM2_DOMAIN
export ORVISTAL_TEST_REALM2=$DOM2_REALM
export ORVISTAL_TEST_NETBIOS2=$DOM2_NETBIOS
export ORVISTAL_TEST_BASE_DN2='$DOM2_BASE_DN'
export ORVISTAL_TEST_ADMIN_USER2='$DOM2_ADMIN_USER'
export ORVISTAL_TEST_BIND_USER2='$DOM2_BIND_USER'
export ORVISTAL_TEST_BIND_DN2='$DOM2_BIND_DN'
EOF
}

write_client_files() {
  mkdir -p "$DC_DIR"
  cp "$SAMBA_DIR/private/custom-tls/ca.pem" "$CA_FILE.tmp" && mv -f "$CA_FILE.tmp" "$CA_FILE"
  chmod 644 "$CA_FILE"
  cat > "$KRB5_FILE.tmp" <<EOF
[libdefaults]
	default_realm = $DC_REALM
	dns_lookup_realm = false
	dns_lookup_kdc = false
	rdns = false
	dns_canonicalize_hostname = false
	forwardable = true
[realms]
	$DC_REALM = {
		kdc = $DC_IP
		admin_server = $DC_IP
		kpasswd_server = $DC_IP
	}
	$DOM2_REALM = {
		kdc = $DC3_IP
		admin_server = $DC3_IP
		kpasswd_server = $DC3_IP
	}
[domain_realm]
	.$DC_DOMAIN = $DC_REALM
	$DC_DOMAIN = $DC_REALM
	.$DOM2_DOMAIN = $DOM2_REALM
	$DOM2_DOMAIN = $DOM2_REALM
EOF
  mv -f "$KRB5_FILE.tmp" "$KRB5_FILE"
  env_lines > "$ENV_FILE.tmp" && mv -f "$ENV_FILE.tmp" "$ENV_FILE"
}

# --------------------------------------------------------------- host set-up

ensure_packages() {
  if ! command -v samba-tool >/dev/null 2>&1 || ! command -v samba >/dev/null 2>&1 \
     || ! command -v ldapsearch >/dev/null 2>&1 || ! command -v kinit >/dev/null 2>&1; then
    log "installing packages (scripts/install-packages.sh)"
    bash "$REPO/scripts/install-packages.sh"
  fi
}

ensure_address() {
  local ip
  for ip in "$DC_IP" "$DC2_IP" "$DC3_IP"; do
    if ! ip -4 addr show dev lo | grep -F "inet $ip/" >/dev/null; then
      ip addr add "$ip/8" dev lo || die "cannot add $ip to lo"
    fi
  done
}

# The domain name maps to the first DC only: a stopped second DC must not slow down
# everyone who looks the domain up. The second domain's name maps to its one DC.
ensure_hosts() {
  # Under with-test-dns.sh the hosts file is the test's own set-up of name resolution.
  [ -z "${ORVISTAL_TEST_DNS_MODE:-}" ] || return 0
  local want1="$DC_IP $DC_FQDN $DC_DOMAIN" want2="$DC2_IP $DC2_FQDN" want3="$DC3_IP $DC3_FQDN $DOM2_DOMAIN"
  grep -qxF "$want1" /etc/hosts && grep -qxF "$want2" /etc/hosts && grep -qxF "$want3" /etc/hosts && return 0
  # Drop any older mapping of our names, then append ours. Rewrite in place
  # (the file may be a bind mount, so no rename).
  local tmp
  tmp=$(mktemp)
  # Lines that also name other hosts keep those names.
  awk -v names="$DC_FQDN $DC_DOMAIN $DC2_FQDN $DC3_FQDN $DOM2_DOMAIN" '
    BEGIN { split(names, list, " "); for (k in list) ours[list[k]] = 1 }
    /^[[:space:]]*(#|$)/ { print; next }
    {
      hit = 0; line = $1; n = 0
      for (i = 2; i <= NF; i++) {
        if ($i ~ /^#/) { for (; i <= NF; i++) line = line " " $i; break }
        if ($i in ours) hit = 1; else { line = line " " $i; n++ }
      }
      if (!hit) print; else if (n > 0) print line
    }' /etc/hosts > "$tmp"
  printf '%s\n%s\n%s\n' "$want1" "$want2" "$want3" >> "$tmp"
  cat "$tmp" > /etc/hosts
  rm -f "$tmp"
}

# ------------------------------------------------------------ process control

recorded_pid() { if [ -s "$PIDFILE" ]; then cat "$PIDFILE"; fi; }

# True if PID is a live (non-zombie) process.
alive() {
  local st
  st=$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null) || return 1
  [ -n "$st" ] && [ "$st" != Z ]
}

# True if PID is alive and is the samba started with our smb.conf: samba
# rewrites its process title, so check the executable and samba's own pid file.
is_our_samba() {
  local pid=$1
  [ -n "$pid" ] && alive "$pid" || return 1
  [ "$(basename "$(readlink "/proc/$pid/exe" 2>/dev/null)")" = samba ] || return 1
  [ "$(cat "$SAMBA_DIR/run/samba.pid" 2>/dev/null)" = "$pid" ] && return 0
  # Before samba has written its pid file: the session we created for it.
  [ "$(ps -o sid= -p "$pid" 2>/dev/null | tr -d ' ')" = "$pid" ]
}

is_running() { is_our_samba "$(recorded_pid)"; }

ldaps_ready() {
  LDAPTLS_CACERT=$CA_FILE LDAPTLS_REQCERT=demand LDAPCONF=/dev/null \
    ldapsearch -x -H "ldaps://$FQDN" -o nettimeout=3 -b '' -s base dnsHostName >/dev/null 2>&1
}

port_in_use() {
  # Someone (another instance?) already listening on our LDAP ports.
  ss -Hltn "( sport = :389 or sport = :636 or sport = :88 )" 2>/dev/null | grep -F "$IP:" >/dev/null
}

# start_samba [samba options...]
start_samba() {
  port_in_use && die "something already listens on $IP (389/636/88); another DC running? ($(ss -Hltnp 'sport = :636' | head -3))"
  mkdir -p "$SAMBA_DIR/run" "$SAMBA_DIR/log"
  rm -f "$SAMBA_DIR"/run/*.pid
  # setsid: own session and process group, so the DC outlives this shell and
  # its terminal; the group id is the recorded pid.
  setsid samba -s "$CONF" -F --no-process-group --maximum-runtime="$MAX_RUNTIME" -d1 "$@" \
    > "$SAMBA_DIR/log/samba.out" 2>&1 < /dev/null 9>&- &
  local pid=$!
  echo "$pid" > "$PIDFILE"
  local t0 deadline
  t0=$(now_ms); deadline=$(( t0 + READY_TIMEOUT * 1000 ))
  while :; do
    if ! alive "$pid"; then
      tail -n 30 "$SAMBA_DIR/log/samba.out" >&2 || true
      rm -f "$PIDFILE"
      die "samba exited during start-up (log $SAMBA_DIR/log/samba.out)"
    fi
    ldaps_ready && break
    if [ "$(now_ms)" -ge "$deadline" ]; then
      tail -n 30 "$SAMBA_DIR/log/samba.out" >&2 || true
      stop_samba || true
      die "LDAPS (with certificate verification) did not answer within ${READY_TIMEOUT}s"
    fi
    sleep 0.1
  done
  log "$DC: samba pid $pid answering ldaps://$FQDN after $(( $(now_ms) - t0 )) ms"
}

stop_samba() {
  local pid
  pid=$(recorded_pid)
  if [ -z "$pid" ]; then return 0; fi
  if ! is_our_samba "$pid"; then
    rm -f "$PIDFILE"
    return 0
  fi
  local t0 i
  t0=$(now_ms)
  kill -TERM "$pid" 2>/dev/null || true
  for i in $(seq 1 150); do            # up to 15 s
    alive "$pid" || break
    sleep 0.1
  done
  if alive "$pid"; then
    log "samba pid $pid ignored SIGTERM; sending SIGKILL to its process group"
    kill -KILL -- "-$pid" 2>/dev/null || kill -KILL "$pid" 2>/dev/null || true
  fi
  # Reap it if it is our child (cold provision path); no-op otherwise.
  wait "$pid" 2>/dev/null || true
  # Workers of our process group (its id is the recorded pid) that outlived
  # the root process.
  for i in $(seq 1 50); do
    pgrep -g "$pid" >/dev/null 2>&1 || break
    if [ "$i" = 20 ]; then kill -KILL -- "-$pid" 2>/dev/null || true; fi
    sleep 0.1
  done
  rm -f "$PIDFILE"
  log "$DC: stopped samba pid $pid in $(( $(now_ms) - t0 )) ms"
}

# ----------------------------------------------------------- golden directory

cache_key() {
  (
    cd "$HERE"
    samba -V
    find lib seed -type f | LC_ALL=C sort | while read -r f; do
      printf '== %s\n' "$f"; cat "$f"
    done
  ) | sha256sum | cut -c1-24
}

# dc1's tarball keeps its old name; dc2's and dc3's are built beside it from the same run.
golden_path() {
  if [ "$2" = dc1 ]; then echo "$CACHE_DIR/golden-$1.tar.gz"; else echo "$CACHE_DIR/golden-$2-$1.tar.gz"; fi
}

# The key of the golden directory a DC directory came from (empty if unknown).
key_of() { cat "$1/.key" 2>/dev/null || true; }

mark_origin() {
  printf '%s\n' "$SAMBA_DIR" > "$SAMBA_DIR/.origin"
  printf '%s\n' "$1" > "$SAMBA_DIR/.key"
}

restore_golden() {
  local tarball=$1
  rm -rf "$SAMBA_DIR"
  mkdir -p "$SAMBA_DIR"
  tar -C "$SAMBA_DIR" -xzf "$tarball"
  # smb.conf is the only file holding absolute paths.
  local old conf
  old=$(cat "$SAMBA_DIR/.origin")
  if [ "$old" != "$SAMBA_DIR" ]; then
    conf=$(cat "$CONF")
    printf '%s\n' "${conf//"$old"/"$SAMBA_DIR"}" > "$CONF"
    printf '%s\n' "$SAMBA_DIR" > "$SAMBA_DIR/.origin"
  fi
}

save_golden() {
  local key=$1 out tmp
  out=$(golden_path "$key" "$DC")
  mkdir -p "$CACHE_DIR"
  tmp=$(mktemp "$CACHE_DIR/.golden.XXXXXX")
  # Leave out run-time leftovers: pid files, sockets, logs.
  tar -C "$SAMBA_DIR" --exclude='./run/*' --exclude='./log/*' --exclude='./msg.sock/*' \
    --exclude='./private/ldapi' --exclude='./private/ldap_priv/ldapi' -czf "$tmp" .
  mv -f "$tmp" "$out"
  # Tarballs of older scripts are useless now.
  find "$CACHE_DIR" -maxdepth 1 -name 'golden-*.tar.gz' ! -name "*-$key.tar.gz" -delete
  log "cached golden directory $out ($(du -k "$out" | cut -f1) KiB)"
}

# Every DC from scratch: dc1 provisioned and seeded, its sites made, dc2 joined to it, then
# dc3 provisioned and seeded. dc1 knows dc2 (its account, its DNS records), dc2 holds all of
# dc1's data and all three have certificates from dc1's CA, so they are cached together.
provision_seed_and_join() {
  local key=$1 t0 t1
  stop_other_dcs
  use_dc dc1
  t0=$(now_ms)
  bash "$HERE/lib/provision.sh" "$SAMBA_DIR"
  mark_origin "$key"
  write_client_files
  log "provisioned in $(( $(now_ms) - t0 )) ms"
  start_samba "--option=server services=$DC_JOIN_SERVICES"
  t1=$(now_ms)
  if ! LDAPTLS_CACERT=$CA_FILE LDAPTLS_REQCERT=demand LDAPCONF=/dev/null \
       bash "$HERE/lib/seed.sh" "$CONF" > "$SAMBA_DIR/log/seed.log" 2>&1; then
    tail -n 40 "$SAMBA_DIR/log/seed.log" >&2
    stop_samba || true
    die "seeding failed (log $SAMBA_DIR/log/seed.log)"
  fi
  log "seeded in $(( $(now_ms) - t1 )) ms"
  t1=$(now_ms)
  if ! bash "$HERE/lib/sites.sh" "$CONF" > "$SAMBA_DIR/log/sites.log" 2>&1; then
    tail -n 40 "$SAMBA_DIR/log/sites.log" >&2
    stop_samba || true
    die "making the sites failed (log $SAMBA_DIR/log/sites.log)"
  fi
  log "sites made in $(( $(now_ms) - t1 )) ms"
  t1=$(now_ms)
  if ! bash "$HERE/lib/join.sh" "$SAMBA_DIR" "$DC_DIR/dc2"; then
    stop_samba || true
    die "joining dc2 failed (logs in $DC_DIR/dc2/log)"
  fi
  log "dc2 joined in $(( $(now_ms) - t1 )) ms"
  stop_samba
  ! port_in_use || die "samba still listening after stop; not caching a live directory"
  use_dc dc2
  mark_origin "$key"
  provision_and_seed_dc3 "$key"
  use_dc dc1
}

provision_and_seed_dc3() {
  local key=$1 ca=$DC_DIR/dc/private/custom-tls t0
  use_dc dc3
  t0=$(now_ms)
  bash "$HERE/lib/provision.sh" "$SAMBA_DIR" dc3 "$ca"
  mark_origin "$key"
  start_samba
  if ! LDAPTLS_CACERT=$ca/ca.pem LDAPTLS_REQCERT=demand LDAPCONF=/dev/null \
       bash "$HERE/lib/seed2.sh" > "$SAMBA_DIR/log/seed.log" 2>&1; then
    tail -n 40 "$SAMBA_DIR/log/seed.log" >&2
    stop_samba || true
    die "seeding dc3 failed (log $SAMBA_DIR/log/seed.log)"
  fi
  stop_samba
  log "dc3 provisioned and seeded in $(( $(now_ms) - t0 )) ms"
}

# Stops dc2 and dc3 if they run from other golden directories than KEY (whatever runs, without KEY).
stop_other_dcs() {
  local dc
  for dc in dc2 dc3; do
    use_dc "$dc"
    if is_running && { [ -z "${1:-}" ] || [ "$(key_of "$SAMBA_DIR")" != "$1" ]; }; then
      log "$dc runs from older data: stopping it"
      stop_samba
    fi
  done
  use_dc dc1
}

# ----------------------------------------------------------------- commands

lock() {
  need_root
  mkdir -p "$DC_DIR"
  exec 9> "$DC_DIR/.lock"
  flock 9
}

# Host set-up under the lock. False if the selected DC already runs and answers; one that
# runs but does not answer is stopped.
prepare_start() {
  lock
  ensure_packages
  ensure_address
  ensure_hosts
  if is_running; then
    write_client_files
    if ldaps_ready; then
      log "$DC already running (pid $(recorded_pid)); env: $ENV_FILE"
      return 1
    fi
    log "$DC running (pid $(recorded_pid)) but not answering; restarting"
    stop_samba
  fi
  port_in_use && die "something else already listens on $IP (389/636/88): another DC (other ORVISTAL_DC_DIR?) is running"
  return 0
}

cmd_start_dc1() {
  local t0 key
  t0=$(now_ms)
  prepare_start || return 0
  key=$(cache_key)
  stop_other_dcs "$key"
  if [ "${ORVISTAL_DC_NO_CACHE:-0}" != 1 ] && [ -f "$(golden_path "$key" dc1)" ] && [ -f "$(golden_path "$key" dc2)" ] \
     && [ -f "$(golden_path "$key" dc3)" ]; then
    restore_golden "$(golden_path "$key" dc1)"
    log "restored golden directory $key in $(( $(now_ms) - t0 )) ms"
  else
    # Provisioning and seeding name the DCs; the test's own name resolution may not.
    [ -z "${ORVISTAL_TEST_DNS_MODE:-}" ] || die "no golden directories for key $key: run 'dc.sh start' outside with-test-dns.sh first"
    log "no golden directories for key $key: provisioning from scratch"
    provision_seed_and_join "$key"
    if [ "${ORVISTAL_DC_NO_CACHE:-0}" != 1 ]; then
      save_golden "$key"
      use_dc dc2; save_golden "$key"; use_dc dc3; save_golden "$key"; use_dc dc1
    fi
  fi
  write_client_files
  start_samba
  log "started in $(( $(now_ms) - t0 )) ms; env: $ENV_FILE"
}

# dc2 and dc3 must come from the same build as the dc1 that runs (dc1's account of dc2, one
# test CA). Exit 3 when they cannot: 'dc.sh restart' (dc1) then builds or restores a matching set.
cmd_start_other() {
  local t0 key dc=$DC
  t0=$(now_ms)
  prepare_start || return 0
  key=$(cache_key)
  use_dc dc1
  if is_running && [ "$(key_of "$SAMBA_DIR")" != "$key" ]; then
    log "error: dc1 runs from older data than $dc would; run 'dc.sh restart' first"
    exit 3
  fi
  use_dc "$dc"
  if [ "${ORVISTAL_DC_NO_CACHE:-0}" != 1 ] && [ -f "$(golden_path "$key" "$dc")" ]; then
    restore_golden "$(golden_path "$key" "$dc")"
    log "restored golden directory $key for $dc in $(( $(now_ms) - t0 )) ms"
  elif [ "${ORVISTAL_DC_NO_CACHE:-0}" = 1 ] && [ "$(key_of "$SAMBA_DIR")" = "$key" ]; then
    log "using $dc as built by the last dc1 start"
  else
    log "error: no $dc built for key $key; run 'dc.sh restart' first"
    exit 3
  fi
  write_client_files
  start_samba
  log "$dc started in $(( $(now_ms) - t0 )) ms"
}

cmd_start() { if [ "$DC" = dc1 ]; then cmd_start_dc1; else cmd_start_other; fi; }

cmd_stop() {
  lock
  if [ -z "$(recorded_pid)" ] || ! is_running; then
    rm -f "$PIDFILE"
    log "not running"
    return 0
  fi
  stop_samba
}

cmd_status() {
  if ! is_running; then
    echo "stopped"
    return 1
  fi
  if ldaps_ready; then
    echo "running pid $(recorded_pid), ldaps://$FQDN answering"
    return 0
  fi
  echo "running pid $(recorded_pid), NOT answering"
  return 1
}

cmd_kinit() {
  [ -f "$KRB5_FILE" ] || die "no $KRB5_FILE; run 'dc.sh start' first"
  KRB5_CONFIG=$KRB5_FILE KRB5CCNAME=FILE:$CCACHE \
    kinit "$DC_BIND_SAM@$DC_REALM" <<< "$DC_BIND_PASSWORD" > /dev/null \
    || die "kinit $DC_BIND_SAM@$DC_REALM failed"
  KRB5_CONFIG=$KRB5_FILE KRB5CCNAME=FILE:$CCACHE klist -s || die "no ticket in $CCACHE after kinit"
  log "ticket for $DC_BIND_SAM@$DC_REALM in FILE:$CCACHE"
}

use_dc "${2:-dc1}"
case "${1:-}" in
  start)   cmd_start ;;
  stop)    cmd_stop ;;
  restart) cmd_stop; cmd_start ;;
  status)  cmd_status ;;
  env)     env_lines ;;
  kinit)   cmd_kinit ;;
  *) use_dc usage ;;
esac
