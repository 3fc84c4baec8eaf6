#!/usr/bin/env bash
# The command line's figures, run by scripts/bench inside the sender's namespace of the network
# test bed (tests/sending/testbed), with no display and a home of its own:
#   - a send to PC7, a NetBIOS name nmbd answers, beside `nmblookup PC7`: whole processes in
#     alternating pairs (A B, B A, ...), the median of the ratios Pellora / nmblookup;
#   - a send to PC7's address (no name to resolve) beside a QCoreApplication that starts and
#     exits, alternating in the same way: the medians of each.
# Prints RESULT lines; a run that fails is counted and left out.
#   cli-bench.sh PELLORA CORE_APP SMB_CONF ADDRESS PAIRS RUNS
set -uo pipefail
pellora=$1 core=$2 conf=$3 address=$4 pairs=$5 runs=$6

# ms COMMAND...: runs it, prints its wall time in milliseconds (empty when it failed).
ms() {
  local start=$EPOCHREALTIME
  "$@" >/dev/null 2>&1 </dev/null || return 0
  local end=$EPOCHREALTIME
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f\n", (b - a) * 1000 }'
}
median() { sort -g | awk '{ v[NR] = $1 } END { if (NR) print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }
send_name() { "$pellora" --send --from Bench --to Ops --computer PC7 Hi; }
send_address() { "$pellora" --send --from Bench --to Ops --computer "$address" Hi; }
lookup() { nmblookup -s "$conf" PC7; }

failures=0
: >"$HOME/ratios" && : >"$HOME/name" && : >"$HOME/lookup"
for i in $(seq "$pairs"); do
  if [ $((i % 2)) = 1 ]; then a=$(ms send_name); b=$(ms lookup); else b=$(ms lookup); a=$(ms send_name); fi
  if [ -z "$a" ] || [ -z "$b" ]; then failures=$((failures + 1)); continue; fi
  echo "$a" >>"$HOME/name"
  echo "$b" >>"$HOME/lookup"
  awk -v a="$a" -v b="$b" 'BEGIN { printf "%.5f\n", a / b }' >>"$HOME/ratios"
done
echo "RESULT cli_pairs $(wc -l <"$HOME/ratios")"
echo "RESULT cli_pair_ratio $(median <"$HOME/ratios")"
echo "RESULT cli_name_ms $(median <"$HOME/name")"
echo "RESULT cli_nmblookup_ms $(median <"$HOME/lookup")"

: >"$HOME/address" && : >"$HOME/core"
for i in $(seq "$runs"); do
  if [ $((i % 2)) = 1 ]; then a=$(ms send_address); b=$(ms "$core"); else b=$(ms "$core"); a=$(ms send_address); fi
  if [ -z "$a" ] || [ -z "$b" ]; then failures=$((failures + 1)); continue; fi
  echo "$a" >>"$HOME/address"
  echo "$b" >>"$HOME/core"
done
echo "RESULT cli_address_runs $(wc -l <"$HOME/address")"
echo "RESULT cli_address_ms $(median <"$HOME/address")"
echo "RESULT cli_core_ms $(median <"$HOME/core")"
echo "RESULT cli_failures $failures"
