#!/usr/bin/env bash
# How late nmbd answers a broadcast name query on the test bed: sends COUNT queries for PC7<00>
# from the sender, 50 ms apart, captures on the switch's bridge and prints, from the capture's
# own time stamps, the time from each query to nmbd's answer (median, 90th and 99th percentile,
# the largest) and how many answers came more than 20 ms after their query. Run it beside a load
# of your choice (for example two CPU hogs: for i in 1 2; do (while :; do :; done) & done).
#   nmbd-answer-time.sh [COUNT]     (root; default 300)
set -euo pipefail
count=${1:-300}
here=$(cd "$(dirname "$0")" && pwd)
tb=$here/../tests/sending/testbed/testbed.sh
"$tb" check || exit 77
dir=$("$tb" up)
trap '"$tb" down "$dir"' EXIT
# shellcheck disable=SC1091
source "$dir/env"
"$tb" capture-start "$dir" answers
ip netns exec "$TB_NS_SENDER" python3 - "$TB_BROADCAST" "$count" <<'PY'
import os, socket, struct, sys, time
broadcast, count = sys.argv[1], int(sys.argv[2])
def encode(name, suffix):
    raw = name.upper().ljust(15).encode() + bytes([suffix])
    return bytes([32]) + bytes(b for c in raw for b in (65 + (c >> 4), 65 + (c & 15))) + b"\0"
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
s.bind(("0.0.0.0", 0))
for i in range(count):
    tid = struct.unpack("!H", os.urandom(2))[0]
    s.sendto(struct.pack("!HHHHHH", tid, 0x0110, 1, 0, 0, 0) + encode("PC7", 0) + struct.pack("!HH", 0x20, 1),
             (broadcast, 137))
    time.sleep(0.05)
time.sleep(1)
PY
"$tb" capture-stop "$dir" answers
tshark -r "$dir/answers.pcapng" -Y 'nbns' -T fields -e frame.time_epoch -e nbns.id -e nbns.flags.response \
       -e ip.src 2>/dev/null | python3 -c '
import sys
sent, late = {}, []
for line in sys.stdin:
    t, tid, response, src = line.split("\t")
    if response.strip() in ("0", "False"):
        sent.setdefault(tid, float(t))
    elif tid in sent:
        late.append((float(t) - sent.pop(tid)) * 1000)
late.sort()
n = len(late)
if not n:
    sys.exit("no answers in the capture")
pick = lambda q: late[min(n - 1, int(q * n))]
print("answers %d, median %.2f ms, p90 %.2f ms, p99 %.2f ms, largest %.2f ms, later than 20 ms: %d" %
      (n, pick(0.5), pick(0.9), pick(0.99), late[-1], sum(1 for x in late if x > 20)))
'
