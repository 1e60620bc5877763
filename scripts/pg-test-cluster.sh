#!/usr/bin/env bash
# A private PostgreSQL cluster for a test run, reachable only through a unix socket in DIR.
#   pg-test-cluster.sh start DIR   creates and starts it (again: just reprints the connection)
#   pg-test-cluster.sh stop DIR    stops it and removes DIR
# "start" writes DIR/conn.env (PGHOST=DIR, PGPORT=PORT) and prints the same lines; the
# superuser is "postgres", authentication is trust (but for the members of tf_password_users).
# initdb and postgres refuse to run as root, so as root they run as the postgres user.
set -euo pipefail

prog=${0##*/}

die() {
  echo "$prog: $*" >&2
  exit 1
}

usage() {
  echo "usage: $prog start DIR | stop DIR" >&2
  exit 2
}

[ $# -eq 2 ] || usage
cmd=$1
dir=$2
[ -n "$dir" ] || usage

# The newest installed major version.
bindir=""
for d in /usr/lib/postgresql/*/bin; do
  if [ -x "$d/initdb" ] && [ -x "$d/pg_ctl" ] && [ -x "$d/pg_isready" ]; then
    if [ -z "$bindir" ] || [ "${d//[!0-9]/}" -gt "${bindir//[!0-9]/}" ]; then bindir=$d; fi
  fi
done
[ -n "$bindir" ] || die "no PostgreSQL server found under /usr/lib/postgresql/*/bin (package postgresql)"

runas=()
if [ "$(id -u)" -eq 0 ]; then
  id -u postgres >/dev/null 2>&1 || die "running as root but there is no 'postgres' user to run the server as"
  command -v runuser >/dev/null 2>&1 || die "running as root but runuser is missing"
  runas=(runuser -u postgres --)
fi

pg() { "${runas[@]}" "$@"; }

# Absolute, so that the socket directory in conn.env holds wherever the caller is.
case $dir in
  /*) ;;
  *) dir=$PWD/$dir ;;
esac
dir=${dir%/}
[ -n "$dir" ] || die "refusing to use / as the cluster directory"
data=$dir/data

# The postmaster of the pid file, if that process still lives. A killed postmaster can
# linger as a zombie when nothing reaps orphans (containers), and a zombie still passes
# kill -0 and "pg_ctl status": it must count as gone, or start and stop would wait on it.
postmaster_pid() {
  local pid state
  [ -f "$data/postmaster.pid" ] || return 1
  pid=$(head -n 1 "$data/postmaster.pid")
  [[ $pid =~ ^[0-9]+$ ]] || return 1
  state=$(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null) || return 1
  [ -n "$state" ] && [ "$state" != Z ] || return 1
  echo "$pid"
}

# Running means answering on the socket of conn.env.
running() {
  local port
  [ -f "$dir/conn.env" ] || return 1
  port=$(sed -n 's/^PGPORT=//p' "$dir/conn.env")
  [ -n "$port" ] || return 1
  "$bindir/pg_isready" -q -h "$dir" -p "$port" -U postgres -d postgres
}

# The socket of a port is DIR/.s.PGSQL.PORT, so any port is free for a new DIR; one
# left behind by a killed server in a reused DIR is skipped, since its lock file may
# name a process that still seems alive.
port_taken() {
  [ -e "$dir/.s.PGSQL.$1" ] || [ -e "$dir/.s.PGSQL.$1.lock" ]
}

# Every role is trusted, except the members of tf_password_users: the tests that carry a password through
# the program log in as one of those, and a password cut short on the way is refused.
hba_line='local all +tf_password_users scram-sha-256'
check_passwords() {
  local hba=$data/pg_hba.conf
  grep -qxF "$hba_line" "$hba" && return 0
  pg sh -c 'f=$1; line=$2; { echo "$line"; cat "$f"; } >"$f.new" && mv "$f.new" "$f"' sh "$hba" "$hba_line"
  return 1
}

start() {
  if running; then
    check_passwords || pg "$bindir/pg_ctl" -D "$data" reload >/dev/null
    cat "$dir/conn.env"
    return
  fi
  local pid
  if pid=$(postmaster_pid); then
    die "a server (PID $pid) holds $data but does not answer; run '$prog stop $dir' first"
  fi
  # A socket path longer than the kernel's sun_path (107 bytes) cannot be bound.
  [ ${#dir} -le 90 ] || die "directory path too long for a unix socket: $dir"

  mkdir -p "$dir"
  if [ ${#runas[@]} -gt 0 ]; then
    chown postgres: "$dir"
    # The postgres user has to reach DIR through its parents (e.g. a 0700 home of root).
    pg test -w "$dir" || die "the postgres user cannot write to $dir (check the permissions of its parents)"
  fi

  if [ ! -f "$data/PG_VERSION" ]; then
    rm -rf "$data"
    pg "$bindir/initdb" -D "$data" -A trust -U postgres -E UTF8 --locale=C.UTF-8 >"$dir/initdb.log" 2>&1 ||
      die "initdb failed, see $dir/initdb.log: $(tail -n 3 "$dir/initdb.log")"
  fi
  check_passwords || true
  # The pid file of a dead server would make the new one refuse to start.
  rm -f "$data/postmaster.pid"

  local port=54321
  while port_taken "$port"; do
    port=$((port + 1))
    [ $port -lt 54521 ] || die "no free port found in $dir from 54321 on"
  done

  pg "$bindir/pg_ctl" -D "$data" -l "$dir/log" -w -t 60 \
    -o "-p $port -k $dir -c listen_addresses='' -c fsync=off -c synchronous_commit=off -c full_page_writes=off" \
    start >/dev/null ||
    die "the server did not start, see $dir/log: $(tail -n 5 "$dir/log" 2>/dev/null)"

  printf 'PGHOST=%s\nPGPORT=%s\n' "$dir" "$port" >"$dir/conn.env"
  cat "$dir/conn.env"
}

# DIR is removed whole: make sure it holds nothing but what start put there, so that a
# mistyped path (a home or source directory) is never wiped.
ours() {
  local f
  for f in "$dir"/* "$dir"/.[!.]*; do
    [ -e "$f" ] || continue
    case ${f##*/} in
      data | log | conn.env | initdb.log | .s.PGSQL.*) ;;
      *) return 1 ;;
    esac
  done
}

stop() {
  [ -e "$dir" ] || return 0
  [ -d "$dir" ] || die "$dir is not a directory"
  ours || die "$dir holds files that are not of a test cluster; not removing it"
  if postmaster_pid >/dev/null; then
    pg "$bindir/pg_ctl" -D "$data" -m immediate -t 30 stop >/dev/null 2>&1 || true
  fi
  local pid
  if pid=$(postmaster_pid); then
    die "the server (PID $pid) of $data did not stop; not removing $dir"
  fi
  rm -rf "$dir"
}

case $cmd in
  start) start ;;
  stop) stop ;;
  *) usage ;;
esac
