#!/usr/bin/env bash
# Computer texts of every odd kind, and a rogue node that answers wrongly, on the network test
# bed (tests/sending/testbed/testbed.sh). Each row opens the mailslot with the real transport
# (the driver prints "open ok <ms> ..." or "open failed <ms> ...") and asserts the outcome and
# its time bound: a single-label name fails within 1 s, a dotted name or an address within 2.5 s.
# Exits 77 with a SKIP line where no test bed can be made.
#   bad-computer.sh MAILSLOT_DRIVER ROGUE_NODE
set -uo pipefail
driver=${1:?usage: bad-computer.sh MAILSLOT_DRIVER ROGUE_NODE}
rogue=${2:?usage: bad-computer.sh MAILSLOT_DRIVER ROGUE_NODE}
here=$(cd "$(dirname "$0")" && pwd)

# shellcheck disable=SC1091
source "$here/../sending/testbed/testbed-up.sh"
rogue_pid=
stop_rogue() {
  if [ -n "$rogue_pid" ]; then kill "$rogue_pid" 2>/dev/null; wait "$rogue_pid" 2>/dev/null; rogue_pid=; fi
}
trap 'stop_rogue; "$tb" down "$dir"' EXIT
trap 'exit 1' INT TERM HUP

# The rogue lives on the switch's bridge with an address of its own, beside PC7 and PC8; the
# sender's hosts file knows it as rogue.test.lan. ROGUE_OTHER_IP is a second address of the
# rogue's, which nobody asks.
ROGUE_IP=${TB_SUBNET%.0/24}.9
ROGUE_OTHER_IP=${TB_SUBNET%.0/24}.10
ip -n "$TB_NS_SWITCH" addr add "$ROGUE_IP/24" broadcast "$TB_BROADCAST" dev br0
ip -n "$TB_NS_SWITCH" addr add "$ROGUE_OTHER_IP/24" broadcast "$TB_BROADCAST" dev br0
printf '%s\trogue.test.lan\n' "$ROGUE_IP" >>"$dir/sender.hosts"
printf '224.0.0.1\tmulticast.test.lan\n' >>"$dir/sender.hosts"
printf '0.0.0.0\tzero.test.lan zerohost\n240.0.0.1\treserved.test.lan\n' >>"$dir/sender.hosts"

failures=0
rows=0
# row NAME COMPUTER WANT(ok|failed) BOUND_MS [PATTERN]
row() {
  local name=$1 computer=$2 want=$3 bound=$4 pattern=${5:-}
  local out got ms
  rows=$((rows + 1))
  out=$(timeout 20 "$tb" exec "$dir" sender "$driver" --smb-conf "$dir/sender/smb.conf" --computer "$computer" 2>&1 |
        grep '^open' | head -n 1)
  got=$(echo "$out" | awk '{print $2}')
  ms=$(echo "$out" | awk '{print $3}')
  if [ "$got" != "$want" ]; then
    echo "FAIL: $name: [$computer] gave [$out], want open $want"; failures=$((failures + 1)); return
  fi
  if [ -z "$ms" ] || [ "$ms" -gt "$bound" ]; then
    echo "FAIL: $name: [$computer] took ${ms:-?} ms, bound $bound ms"; failures=$((failures + 1)); return
  fi
  if [ -n "$pattern" ] && [[ "$out" != *$pattern* ]]; then
    echo "FAIL: $name: [$out] lacks [$pattern]"; failures=$((failures + 1)); return
  fi
  echo "PASS: $name: $out"
}

# --- computer texts ---------------------------------------------------------------------------
row "NetBIOS name"              PC7                 ok     1000 "PC7<00> at $TB_IP_PC7"
row "lower case"                pc7                 ok     1000 "PC7<00> at $TB_IP_PC7"
row "trailing blank"            "PC7 "              ok     1000 "PC7<00> at $TB_IP_PC7"
row "unknown name"              NOSUCHPC            failed 1000
row "workgroup"                 "*"                 ok     1000 "WORKGROUP<00>"
row "address with an answer"    "$TB_IP_PC7"        ok     2500 "PC7<00> at $TB_IP_PC7 (node status)"
row "address without an answer" "${TB_SUBNET%.0/24}.99" failed 2500
row "DNS name"                  pc7.test.lan        ok     2500 "PC7<00> at $TB_IP_PC7"
row "unknown DNS name"          nohost.test.lan     failed 2500
row "16 characters"             ABCDEFGHIJKLMNOP    failed 1000
row "20 characters"             ABCDEFGHIJKLMNOPQRST failed 1000
row "backslash"                 'PC7\x'             failed 1000
row "backslashes only"          "\\\\"              failed 1000
row "blank inside"              "PC 7"              failed 1000
row "one blank"                 " "                 failed 1000
row "dot dot"                   ".."                failed 2500
row "non-ASCII letters"         "PCÄÖ"              failed 1000
row "emoji"                     "PC😀"              failed 1000
# Broadcast and multicast addresses are refused before anything is sent: at once.
row "local broadcast address"   "$TB_BROADCAST"     failed 200
row "limited broadcast address" 255.255.255.255     failed 200
row "multicast address"         224.0.0.1           failed 200
row "multicast address, last"   239.255.255.250     failed 200
# An address is taken only as four decimal numbers without leading zeros: a short, hexadecimal
# or zero-padded form never reaches the system resolver (which reads 10.213.007.010 as octal,
# PC8's 10.213.7.8), and is refused at once with the reason.
row "multicast, short form"     224.1               failed 200 "224.1 is not an address this program takes"
row "multicast, hexadecimal"    0xe0000001          failed 200 "is not an address this program takes"
prefix=${TB_SUBNET%.0/24}
row "zero-padded address (octal: PC8)" "${prefix%.*}.$(printf '%03d' "${prefix##*.}").010" failed 200 \
    "is not an address this program takes: write an address as four numbers from 0 to 255 without leading zeros"
# The same addresses reached through the system resolver, from a hosts file entry. Refused once
# resolved; nothing goes to them.
row "host name of a multicast address" multicast.test.lan failed 2500 "broadcast or multicast"
row "host name of 0.0.0.0"      zero.test.lan       failed 2500 "no message can go to"
row "host name of 240.0.0.1"    reserved.test.lan   failed 2500 "no message can go to"
row "single-label host name of 0.0.0.0" zerohost    failed 1000

# conflict_row COMPUTER PATTERN: like row COMPUTER failed 1000 PATTERN, asked up to three times.
conflict_row() {
  local computer=$1 pattern=$2 out try
  rows=$((rows + 1))
  for try in 1 2 3; do
    out=$(timeout 20 "$tb" exec "$dir" sender "$driver" --smb-conf "$dir/sender/smb.conf" --computer "$computer" 2>&1 |
          grep '^open' | head -n 1)
    if [[ "$out" == "open failed "* ]] && [[ "$out" == *"$pattern"* ]] && [ "$(awk '{print $3}' <<<"$out")" -le 1000 ]; then
      echo "PASS: $computer answered twice (try $try): $out"; return
    fi
    echo "try $try: $out"
  done
  echo "FAIL: $computer answered twice: no conflict found in three tries"; failures=$((failures + 1))
}

# --- message sizes: a mailslot datagram carries at most 424 bytes ("Ann", "Bob", three 0x00) ---
size_row() { # MESSAGE_BYTES WANT(ok|failed)
  local out
  rows=$((rows + 1))
  out=$(timeout 20 "$tb" exec "$dir" sender "$driver" --smb-conf "$dir/sender/smb.conf" --computer PC7 \
        --from Ann --to Bob --message-bytes "$1" 2>&1 | grep '^write' | head -n 1)
  if [[ "$out" == "write $2"* ]]; then echo "PASS: message of $1 bytes: $out"
  else echo "FAIL: message of $1 bytes: [$out], want write $2"; failures=$((failures + 1)); fi
}
size_row 415 ok
size_row 416 failed
size_row 65536 failed

# --- a rogue node -----------------------------------------------------------------------------
# start_rogue MODE ANSWER_ADDRESS [NAMESPACE]: the rogue answers in MODE, naming ANSWER_ADDRESS in
# its name query answers; it runs on the switch unless NAMESPACE says otherwise. Each run logs to
# a file of its own ($rogue_log); the rows start once the rogue says it listens. The bound is
# only there against a rogue that hangs: a loaded machine may take seconds to start it.
rogue_runs=0
rogue_log=
start_rogue() {
  rogue_runs=$((rogue_runs + 1))
  rogue_log=$dir/rogue-$rogue_runs-$1.log
  ip netns exec "${3:-$TB_NS_SWITCH}" "$rogue" "$1" "$2" 100 "$ROGUE_OTHER_IP" >"$rogue_log" 2>&1 &
  rogue_pid=$!
  local deadline=$((SECONDS + 60))
  until grep -q '^ready' "$rogue_log"; do
    if ! kill -0 "$rogue_pid" 2>/dev/null || [ "$SECONDS" -ge "$deadline" ]; then
      grep -q '^ready' "$rogue_log" && return 0
      echo "FAIL: the rogue node ($1) did not start: $(cat "$rogue_log")"; failures=$((failures + 1))
      stop_rogue
      return 1
    fi
    sleep 0.05
  done
}

# rogue_rows MODE: the rogue answers in MODE; a name query (ROGUE), a node status (its address)
# and a dotted name (system resolver, then node status).
rogue_rows() {
  local mode=$1 log
  start_rogue "$mode" "$ROGUE_IP" || return
  log=$rogue_log
  if [ "$mode" = good ] || [ "$mode" = oversized ]; then
    # Answers of several kilobytes are read whole: the one unique name ends the name table.
    row "rogue $mode: name query"  ROGUE          ok 1000 "ROGUE<00> at $ROGUE_IP"
    row "rogue $mode: node status" "$ROGUE_IP"    ok 2500 "ROGUE<00> at $ROGUE_IP (node status)"
    if [ "$mode" = good ]; then
      # The rogue answers for PC7 too: no guess. When PC7's nmbd answers more than 20 ms after
      # the rogue, the rogue wins (the limit in docs/security.md); on a loaded machine that is
      # about one query in twenty, so the row asks up to three times and wants the conflict
      # found once.
      conflict_row PC7 "Two computers answer to the name PC7: "
      # The hosts file wins over any answer.
      row "rogue $mode: hosts file wins" hostpc8  ok 1000 "HOSTPC8<00> at $TB_IP_PC8 (system resolver)"
    fi
  elif [ "$mode" = elsewhere ]; then
    # An answer counts only from port 137; a node status answer only from the address asked.
    row "rogue $mode: name query"  ROGUE          failed 1000
    row "rogue $mode: node status" "$ROGUE_IP"    failed 2500
    row "rogue $mode: dotted name" rogue.test.lan ok 2500 "(system resolver, first label)"
  else
    row "rogue $mode: name query"  ROGUE          failed 1000
    row "rogue $mode: node status" "$ROGUE_IP"    failed 2500
    # Without a node status the dotted name still goes to its address, named by its first label.
    row "rogue $mode: dotted name" rogue.test.lan ok 2500 "(system resolver, first label)"
  fi
  stop_rogue
  # The rows above prove something only if the rogue saw the requests.
  if grep -q 'request .* name-query' "$log" && grep -q 'request .* node-status' "$log"; then
    echo "PASS: rogue $mode answered $(grep -c '^request' "$log") requests"
  else
    echo "FAIL: rogue $mode saw no request: $(head -n 5 "$log")"; failures=$((failures + 1))
  fi
  if [ "$mode" = flood ]; then grep '^flooded' "$log" | head -n 3; fi
}
for mode in good elsewhere wrong-id wrong-name truncated oversized flood; do rogue_rows "$mode"; done

# A name query answer that sends us to this machine, to nowhere or to everyone is ignored as if
# it had not come.
for answer in 127.0.0.1 127.1.2.3 0.1.2.3 224.0.0.251 240.0.0.1 255.255.255.255 "$TB_BROADCAST"; do
  start_rogue good "$answer" || continue
  row "rogue names $answer" ROGUE failed 1000
  stop_rogue
  grep -q 'request .* name-query' "$rogue_log" ||
    { echo "FAIL: rogue naming $answer saw no request"; failures=$((failures + 1)); }
done

# No answer counts from this machine's own address: the rogue in the sender's namespace.
start_rogue good "$TB_IP_PC8" "$TB_NS_SENDER" &&
  row "rogue on this machine" NOBODY failed 1000
stop_rogue
grep -q 'request .* name-query' "$rogue_log" ||
  { echo "FAIL: the rogue on this machine saw no request"; failures=$((failures + 1)); }

# The 15-byte limit holds for the bytes sent: fifteen "ß" are thirty "S" upper-cased, and are
# refused rather than cut to a name that someone (here the rogue, which answers any name) owns.
start_rogue good "$ROGUE_IP" &&
  row "fifteen sharp s" "ßßßßßßßßßßßßßßß" failed 1000 &&
  row "fifteen letters, rogue answering" "ABCDEFGHIJKLMNO" ok 1000 "ABCDEFGHIJKLMNO<00> at $ROGUE_IP"
stop_rogue

# A name typed as the computer goes to one computer only. The rogue answers every name as a
# group whose member is PC7: alone (a name nobody else owns), the name is refused, not sent to the
# subnet's broadcast address; beside PC7's own nmbd, a message to PC7 is refused as well, or, when
# nmbd's answer came first and the rogue's more than 20 ms later, goes to PC7 alone. Never a group
# datagram.
if start_rogue group "$TB_IP_PC7"; then
  row "rogue's group answer alone" PC9 failed 1000 \
      "PC9 is a group name; to send to every computer of the workgroup use *."
  rows=$((rows + 1))
  out=$(timeout 20 "$tb" exec "$dir" sender "$driver" --smb-conf "$dir/sender/smb.conf" --computer PC7 2>&1 |
        grep '^open' | head -n 1)
  if [[ "$out" == *"open failed "*"PC7 is a group name; to send to every computer of the workgroup use *."* ]] ||
     [[ "$out" == *"open ok "*"PC7<00> at $TB_IP_PC7 (name query answered by $TB_IP_PC7)"* ]]; then
    echo "PASS: rogue's group answer beside PC7: $out"
  else
    echo "FAIL: rogue's group answer beside PC7: [$out]"; failures=$((failures + 1))
  fi
  stop_rogue
  grep -q 'request .* name-query' "$rogue_log" ||
    { echo "FAIL: the rogue answering as a group saw no request"; failures=$((failures + 1)); }
fi

echo "$rows rows, $failures failures"
[ "$failures" = 0 ] || exit 1
echo PASS
