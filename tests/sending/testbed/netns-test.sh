#!/usr/bin/env bash
# End-to-end test of the Linux mailslot transport on a real (namespaced) network: see
# testbed.sh. Run by ctest as sending_netns with the driver program as its argument; exits 77
# (ctest's SKIP_RETURN_CODE) with a SKIP line where a test bed cannot be made.
set -uo pipefail
driver=${1:?usage: netns-test.sh PATH-TO-pellora_mailslot_driver}
here=$(cd "$(dirname "$0")" && pwd)

# shellcheck disable=SC1091
source "$here/testbed-up.sh"
trap '"$tb" down "$dir"' EXIT
trap 'exit 1' INT TERM HUP

failures=0
pass() { echo "PASS: $*"; }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
drive() { "$tb" exec "$dir" sender "$driver" --smb-conf "$dir/sender/smb.conf" "$@"; }
expect_eq() { # WHAT GOT WANT
  if [ "$2" = "$3" ]; then pass "$1"; else fail "$1: got [$2], want [$3]"; fi
}

payload_hex=416e6e00426f6200486900 # Ann 00 Bob 00 Hi 00

# 1. PC7 by broadcast name query, then the datagram as tshark decodes it on the bridge.
"$tb" capture-start "$dir" unique
out=$(drive --computer PC7 --from Ann --to Bob --message Hi)
rc=$?
"$tb" capture-stop "$dir" unique
echo "$out"
expect_eq "PC7: delivered" "$rc" 0
case "$out" in
  *"open ok"*"PC7<00> at $TB_IP_PC7 (name query answered by $TB_IP_PC7)"*) pass "PC7 resolved by a NetBIOS name query" ;;
  *) fail "PC7 not resolved by a name query: $out" ;;
esac
frames=$("$tb" decode "$dir" unique)
echo "$frames"
expect_eq "one Messenger datagram on the wire" "$(printf '%s\n' "$frames" | grep -c .)" 1
IFS='|' read -r type src dst srcip ipdst trans class data <<<"$frames"
expect_eq "Direct_unique" "$type" 16
expect_eq "source name" "$src" "LINUXBOX<00>"
expect_eq "destination name" "$dst" "PC7<00>"
expect_eq "source IP in the header" "$srcip" "$TB_IP_SENDER"
expect_eq "sent to PC7's address" "$ipdst" "$TB_IP_PC7"
expect_eq "transaction name" "$trans" '\MAILSLOT\MESSNGR'
expect_eq "mailslot class" "$class" 2
expect_eq "payload bytes" "$data" "$payload_hex"
expect_eq "UDP source port" "$(tshark -r "$dir/unique.pcapng" -Y nbdgm -T fields -e udp.srcport 2>/dev/null | sort -u)" 138
expect_eq "no malformed frame" "$(tshark -r "$dir/unique.pcapng" -Y _ws.malformed 2>/dev/null | grep -c .)" 0

# 2. An unknown name fails the open within 1 s.
start=$(now_ms)
out=$(drive --computer NOSUCHPC)
rc=$?
elapsed=$(( $(now_ms) - start ))
echo "$out (process: $elapsed ms)"
expect_eq "unknown name: open fails" "$rc" 1
opened_ms=$(sed -n 's/^open failed \([0-9]*\) .*/\1/p' <<<"$out")
if [ -n "$opened_ms" ] && [ "$opened_ms" -lt 1000 ]; then pass "unknown name fails in $opened_ms ms (< 1000)"
else fail "unknown name took ${opened_ms:-?} ms"; fi

# 3. "*" reaches both namespaces: a Direct_group datagram to WORKGROUP<00> on the broadcast
#    address, seen on the wire of PC7 and of PC8 and logged by both nmbd.
"$tb" capture-start "$dir" star-pc7 pc7
"$tb" capture-start "$dir" star-pc8 pc8
out=$(drive --computer '*' --from Ann --to Bob --message Hi)
rc=$?
"$tb" capture-stop "$dir" star-pc7
"$tb" capture-stop "$dir" star-pc8
echo "$out"
expect_eq "*: delivered" "$rc" 0
want="17|LINUXBOX<00>|WORKGROUP<00>|$TB_IP_SENDER|$TB_BROADCAST|\\MAILSLOT\\MESSNGR|2|$payload_hex"
for pc in pc7 pc8; do
  got=$("$tb" decode "$dir" "star-$pc")
  expect_eq "*: datagram at $pc" "$got" "$want"
  if grep -q 'datagram from LINUXBOX<00> to WORKGROUP<00> .*for \\MAILSLOT\\MESSNGR .*len=11' "$dir/$pc"/log/log.nmbd; then
    pass "*: nmbd of $pc received it"
  else
    fail "*: nmbd of $pc did not log the datagram"
  fi
done

# 3b. A name whose answer carries the G bit (nmbd's WORKGROUP<00>): a typed name goes to one
#     computer only, so it is refused with the reason, and nothing is sent; "*" is the broadcast.
"$tb" capture-start "$dir" group
out=$(drive --computer WORKGROUP)
rc=$?
"$tb" capture-stop "$dir" group
echo "$out"
expect_eq "group answer: refused" "$rc" 1
expect_eq "group answer: the reason" "$(sed -n 's/^open failed [0-9]* //p' <<<"$out")" \
  "WORKGROUP is a group name; to send to every computer of the workgroup use *."
expect_eq "group answer: no datagram" "$("$tb" decode "$dir" group)" ""

# 4. An IPv4 literal: the destination name comes from a node status reply.
"$tb" capture-start "$dir" literal
out=$(drive --computer "$TB_IP_PC8")
rc=$?
"$tb" capture-stop "$dir" literal
echo "$out"
expect_eq "literal: delivered" "$rc" 0
expect_eq "literal: destination from node status" "$("$tb" decode "$dir" literal | cut -d'|' -f3,5)" "PC8<00>|$TB_IP_PC8"

# 5. The size limit on the wire: 424 data bytes leave, 425 are refused and nothing is sent.
"$tb" capture-start "$dir" size
out424=$(drive --computer PC7 --message-bytes 415) # Ann 00 Bob 00 + 415 + 00 = 424
rc424=$?
out425=$(drive --computer PC7 --message-bytes 416)
rc425=$?
"$tb" capture-stop "$dir" size
echo "$out424"
echo "$out425"
expect_eq "424 bytes: sent" "$rc424" 0
expect_eq "425 bytes: refused" "$rc425" 2
expect_eq "425 bytes: reason" "$(tail -n 1 <<<"$out425")" "write failed The message has 425 bytes; at most 424 fit."
expect_eq "only the 424-byte datagram on the wire" \
  "$("$tb" decode "$dir" size | awk -F'|' '{ print length($8) / 2 }')" 424

# 6. The system resolver: a hosts-file name does not wait for the broadcast timeout; a dotted
#    name gets its NetBIOS name from a node status reply; an unknown dotted name fails in 2.5 s.
out=$(drive --computer hostpc8)
rc=$?
echo "$out"
expect_eq "hosts file: delivered" "$rc" 0
ms=$(sed -n 's/^open ok \([0-9]*\) .*/\1/p' <<<"$out")
case "$out" in
  *"HOSTPC8<00> at $TB_IP_PC8 (system resolver)"*) pass "hosts file: resolved by the system resolver" ;;
  *) fail "hosts file: $out" ;;
esac
if [ -n "$ms" ] && [ "$ms" -lt 250 ]; then pass "hosts file: no broadcast wait ($ms ms)"; else fail "hosts file took ${ms:-?} ms"; fi
out=$(drive --computer pc7.test.lan)
rc=$?
echo "$out"
expect_eq "dotted name: delivered" "$rc" 0
case "$out" in
  *"PC7<00> at $TB_IP_PC7 (system resolver, node status)"*) pass "dotted name: NetBIOS name from node status" ;;
  *) fail "dotted name: $out" ;;
esac
out=$(drive --computer nosuch.test.lan)
rc=$?
echo "$out"
expect_eq "unknown dotted name: open fails" "$rc" 1
ms=$(sed -n 's/^open failed \([0-9]*\) .*/\1/p' <<<"$out")
if [ -n "$ms" ] && [ "$ms" -lt 2500 ]; then pass "unknown dotted name fails in $ms ms (< 2500)"; else fail "unknown dotted name took ${ms:-?} ms"; fi

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
