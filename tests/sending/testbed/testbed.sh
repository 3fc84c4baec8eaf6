#!/usr/bin/env bash
# Pellora's network test bed: a small LAN made of Linux network namespaces, with Samba's nmbd
# answering as Windows machines would. Needs root (or CAP_NET_ADMIN + CAP_SYS_ADMIN), iproute2,
# Samba's nmbd and nmblookup, and Wireshark's dumpcap/tshark for captures.
#
#   ┌──────────── switch namespace: bridge br0 (tshark captures here) ────────────┐
#   │  veth "snd"                 veth "pc7"                   veth "pc8"         │
#   └─────┬───────────────────────────┬────────────────────────────┬──────────────┘
#     sender ns, eth0            pc7 ns, eth0                 pc8 ns, eth0
#     10.213.7.1/24              10.213.7.7/24, nmbd "PC7"    10.213.7.8/24, nmbd "PC8"
#     (runs the program)         workgroup WORKGROUP          workgroup WORKGROUP
#
# Nothing is added to the host's own network: every interface, the bridge included, lives in a
# namespace of this test bed, and the namespaces carry a random id so that runs never collide.
#
# Commands (DIR is the state folder that "up" prints; it holds the nmbd configurations, logs,
# captures and an "env" file with the names below):
#   testbed.sh check                  exit 0 when a test bed can be made here, else print why and
#                                     exit 77 (the ctest skip code)
#   DIR=$(testbed.sh up)              make the namespaces, start both nmbd, wait until PC7 and PC8
#                                     answer name queries; prints DIR on stdout
#   testbed.sh down DIR               stop nmbd and captures, delete the namespaces and DIR
#   testbed.sh exec DIR ROLE CMD...   run CMD in a namespace: ROLE is sender, pc7, pc8 or switch;
#                                     it sees DIR/ROLE.hosts as /etc/hosts (the sender's knows
#                                     pc7.test.lan = PC7 and the single label hostpc8 = PC8).
#                                     Example, the whole GUI program as the sender:
#                                       testbed.sh exec "$DIR" sender env QT_QPA_PLATFORM=offscreen ./pellora
#                                     (or: source "$DIR/env"; ip netns exec "$TB_NS_SENDER" CMD...)
#   testbed.sh capture-start DIR NAME [ROLE [IFACE]]
#                                     start dumpcap on IFACE of ROLE (default: br0 of the switch,
#                                     which sees every frame), writing DIR/NAME.pcapng; returns
#                                     once the capture runs
#   testbed.sh capture-stop DIR NAME  stop it (the file stays in DIR)
#   testbed.sh decode DIR NAME [FILTER]
#                                     one line per Messenger datagram of the capture, fields
#                                     separated by "|": nbdgm.type, source name, destination name,
#                                     nbdgm source IP, ip.dst, transaction name, mailslot class,
#                                     payload hex. FILTER defaults to the MESSNGR mailslot.
#
# A typical script:
#   DIR=$(tests/sending/testbed/testbed.sh up) || exit
#   trap 'tests/sending/testbed/testbed.sh down "$DIR"' EXIT
#   tests/sending/testbed/testbed.sh capture-start "$DIR" run1
#   tests/sending/testbed/testbed.sh exec "$DIR" sender ./build/pellora ...
#   tests/sending/testbed/testbed.sh capture-stop "$DIR" run1
#   tests/sending/testbed/testbed.sh decode "$DIR" run1
#
# The sender namespace shares the host's files: a program run there reads the host's
# /etc/samba/smb.conf (if any) for its NetBIOS name and workgroup. DIR/sender/smb.conf names the
# sender LINUXBOX in workgroup WORKGROUP for programs that take a configuration path.
set -euo pipefail

SUBNET=10.213.7
die() { echo "testbed: $*" >&2; exit 1; }

role_ns() { # DIR ROLE
  local dir=$1 role=$2
  # shellcheck disable=SC1091
  source "$dir/env"
  case "$role" in
    sender) echo "$TB_NS_SENDER" ;;
    pc7) echo "$TB_NS_PC7" ;;
    pc8) echo "$TB_NS_PC8" ;;
    switch) echo "$TB_NS_SWITCH" ;;
    *) die "unknown role $role (sender, pc7, pc8, switch)" ;;
  esac
}

cmd_check() {
  local why=""
  if [ "$(id -u)" != 0 ]; then why="not running as root"
  elif ! command -v ip >/dev/null; then why="iproute2 (ip) is not installed"
  elif ! command -v nmbd >/dev/null && [ ! -x /usr/sbin/nmbd ]; then why="Samba's nmbd is not installed"
  elif ! command -v nmblookup >/dev/null; then why="Samba's nmblookup is not installed"
  elif ! command -v tshark >/dev/null || ! command -v dumpcap >/dev/null; then why="tshark/dumpcap is not installed"
  else
    local probe="pellora-probe-$$-$RANDOM"
    if ip netns add "$probe" 2>/dev/null; then
      if ! ip -n "$probe" link add br0 type bridge 2>/dev/null; then why="cannot make a bridge in a network namespace"; fi
      ip netns del "$probe" 2>/dev/null || true
    else
      why="cannot create network namespaces here"
    fi
  fi
  if [ -n "$why" ]; then
    echo "SKIP: network test bed unavailable: $why"
    return 77
  fi
  return 0
}

write_nmbd_conf() { # FOLDER NAME
  local d=$1 name=$2
  mkdir -p "$d/lock" "$d/state" "$d/cache" "$d/private" "$d/pid" "$d/log" "$d/ncalrpc" "$d/nmbd"
  cat >"$d/smb.conf" <<CONF
[global]
   netbios name = $name
   workgroup = WORKGROUP
   server role = standalone server
   interfaces = eth0
   bind interfaces only = yes
   disable netbios = no
   local master = no
   domain master = no
   preferred master = no
   os level = 0
   wins support = no
   dns proxy = no
   lock directory = $d/lock
   state directory = $d/state
   cache directory = $d/cache
   private dir = $d/private
   pid directory = $d/pid
   ncalrpc dir = $d/ncalrpc
   # Each nmbd its own packet server socket: by default they all use /run/samba/nmbd, and the
   # second one to start then fails.
   nmbd:socket dir = $d/nmbd
   log file = $d/log/log.%m
   log level = 5
CONF
}

cmd_up() {
  cmd_check >&2 || exit 77
  local id dir
  id=$(od -An -N3 -tx1 /dev/urandom | tr -d ' \n')
  dir=$(mktemp -d "${TMPDIR:-/tmp}/pellora-testbed.$id.XXXX")
  chmod 755 "$dir"
  cat >"$dir/env" <<ENV
TB_ID=$id
TB_DIR=$dir
TB_NS_SWITCH=pellora-$id-sw
TB_NS_SENDER=pellora-$id-snd
TB_NS_PC7=pellora-$id-pc7
TB_NS_PC8=pellora-$id-pc8
TB_BRIDGE=br0
TB_SUBNET=$SUBNET.0/24
TB_BROADCAST=$SUBNET.255
TB_IP_SENDER=$SUBNET.1
TB_IP_PC7=$SUBNET.7
TB_IP_PC8=$SUBNET.8
ENV
  # shellcheck disable=SC1091
  source "$dir/env"
  # From here on, a failure takes everything down again.
  trap 'cmd_down "$dir" >/dev/null 2>&1 || true' ERR
  trap 'cmd_down "$dir" >/dev/null 2>&1 || true; exit 1' INT TERM HUP
  ip netns add "$TB_NS_SWITCH"
  ip -n "$TB_NS_SWITCH" link add br0 type bridge
  ip -n "$TB_NS_SWITCH" link set br0 up
  ip -n "$TB_NS_SWITCH" link set lo up
  local role ns ip
  for role in snd:"$TB_NS_SENDER":"$TB_IP_SENDER" pc7:"$TB_NS_PC7":"$TB_IP_PC7" pc8:"$TB_NS_PC8":"$TB_IP_PC8"; do
    IFS=: read -r port ns ip <<<"$role"
    ip netns add "$ns"
    ip -n "$TB_NS_SWITCH" link add "$port" type veth peer name eth0 netns "$ns"
    ip -n "$TB_NS_SWITCH" link set "$port" master br0 up
    ip -n "$ns" link set lo up
    ip -n "$ns" addr add "$ip/24" broadcast "$TB_BROADCAST" dev eth0
    ip -n "$ns" link set eth0 up
  done
  # The bridge forwards at once (no STP listening delay).
  ip -n "$TB_NS_SWITCH" link set br0 type bridge forward_delay 0 stp_state 0 2>/dev/null || true

  mkdir -p "$dir/sender"
  local r
  for r in sender pc7 pc8 switch; do
    printf '127.0.0.1\tlocalhost\n::1\tlocalhost\n' >"$dir/$r.hosts"
  done
  # Names that only the sender's hosts file knows.
  printf '%s\tpc7.test.lan\n%s\thostpc8\n' "$TB_IP_PC7" "$TB_IP_PC8" >>"$dir/sender.hosts"
  printf '[global]\n   netbios name = LINUXBOX\n   workgroup = WORKGROUP\n' >"$dir/sender/smb.conf"
  write_nmbd_conf "$dir/pc7" PC7
  write_nmbd_conf "$dir/pc8" PC8
  local nmbd
  nmbd=$(command -v nmbd || echo /usr/sbin/nmbd)
  ip netns exec "$TB_NS_PC7" "$nmbd" --foreground --no-process-group -s "$dir/pc7/smb.conf" </dev/null >"$dir/pc7/nmbd.out" 2>&1 &
  echo $! >"$dir/pc7/nmbd.pid"
  ip netns exec "$TB_NS_PC8" "$nmbd" --foreground --no-process-group -s "$dir/pc8/smb.conf" </dev/null >"$dir/pc8/nmbd.out" 2>&1 &
  echo $! >"$dir/pc8/nmbd.pid"

  # Wait until both answer a broadcast name query from the sender.
  local name ok
  for name in PC7 PC8; do
    ok=0
    for _ in $(seq 1 60); do
      if ip netns exec "$TB_NS_SENDER" nmblookup -s "$dir/sender/smb.conf" -B "$TB_BROADCAST" "$name" 2>/dev/null |
         grep -q "$name<00>"; then ok=1; break; fi
      sleep 0.5
    done
    if [ "$ok" != 1 ]; then
      echo "testbed: nmbd did not answer for $name; its log:" >&2
      tail -n 30 "$dir"/pc*/log/log.nmbd "$dir"/pc*/nmbd.out >&2 2>/dev/null || true
      cmd_down "$dir" >/dev/null 2>&1 || true
      exit 1
    fi
  done
  trap - ERR INT TERM HUP
  echo "$dir"
}

kill_pidfile() {
  local f=$1 pid
  [ -f "$f" ] || return 0
  pid=$(cat "$f")
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 1 20); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  fi
  rm -f "$f"
}

cmd_down() {
  local dir=${1:?usage: testbed.sh down DIR}
  [ -f "$dir/env" ] || die "$dir is not a test bed folder"
  # shellcheck disable=SC1091
  source "$dir/env"
  local f
  for f in "$dir"/*.capture.pid "$dir"/pc7/nmbd.pid "$dir"/pc8/nmbd.pid; do kill_pidfile "$f"; done
  local ns pid
  for ns in "$TB_NS_SENDER" "$TB_NS_PC7" "$TB_NS_PC8" "$TB_NS_SWITCH"; do
    if ip netns list | grep -qw "$ns"; then
      # Anything still running in the namespace (started by this test bed) ends with it.
      for pid in $(ip netns pids "$ns" 2>/dev/null); do kill "$pid" 2>/dev/null || true; done
      ip netns del "$ns" 2>/dev/null || true
    fi
  done
  case "$dir" in
    */pellora-testbed.*) rm -rf "$dir" ;;
  esac
}

cmd_exec() {
  local dir=${1:?} role=${2:?}
  shift 2
  local ns
  ns=$(role_ns "$dir" "$role")
  # The namespace's own /etc/hosts, bound in the private mount namespace that "ip netns exec"
  # makes for the command (nothing changes outside it).
  # shellcheck disable=SC2016
  exec ip netns exec "$ns" sh -c 'mount --bind "$0" /etc/hosts && exec "$@"' "$dir/$role.hosts" "$@"
}

cmd_capture_start() {
  local dir=${1:?} name=${2:?} role=${3:-switch} iface=${4:-br0}
  [ "$role" = switch ] || iface=${4:-eth0}
  local ns
  ns=$(role_ns "$dir" "$role")
  local file="$dir/$name.pcapng" log="$dir/$name.capture.log"
  rm -f "$file"
  ip netns exec "$ns" dumpcap -q -i "$iface" -f udp -w "$file" </dev/null >"$log" 2>&1 &
  echo $! >"$dir/$name.capture.pid"
  # dumpcap says "File: ..." once it captures.
  for _ in $(seq 1 100); do
    if grep -q "File:" "$log" 2>/dev/null; then sleep 0.2; return 0; fi
    if ! kill -0 "$(cat "$dir/$name.capture.pid")" 2>/dev/null; then cat "$log" >&2; die "dumpcap ended"; fi
    sleep 0.1
  done
  die "dumpcap did not start: $(cat "$log")"
}

cmd_capture_stop() {
  local dir=${1:?} name=${2:?}
  sleep 0.3 # let the last frames reach the file
  kill_pidfile "$dir/$name.capture.pid"
}

cmd_decode() {
  local dir=${1:?} name=${2:?} filter=${3:-'mailslot.name == "\\MAILSLOT\\MESSNGR"'}
  tshark -r "$dir/$name.pcapng" -Y "$filter" -T fields -E separator='|' \
    -e nbdgm.type -e nbdgm.source_name -e nbdgm.destination_name -e nbdgm.src.ip -e ip.dst \
    -e smb.trans_name -e mailslot.class -e data.data 2>/dev/null
}

case "${1:-}" in
  check) cmd_check ;;
  up) shift; cmd_up "$@" ;;
  down) shift; cmd_down "$@" ;;
  exec) shift; cmd_exec "$@" ;;
  capture-start) shift; cmd_capture_start "$@" ;;
  capture-stop) shift; cmd_capture_stop "$@" ;;
  decode) shift; cmd_decode "$@" ;;
  *) sed -n '2,47p' "$0"; exit 2 ;;
esac
