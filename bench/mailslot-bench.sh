#!/usr/bin/env bash
# Runs the mailslot benchmark on the network test bed (tests/sending/testbed/testbed.sh): needs
# root, Samba's nmbd and nmblookup. Usage: bench/mailslot-bench.sh [BUILD_DIR] [bench options...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
shift || true
bench=$build/bench/pellora_bench_mailslot
[ -x "$bench" ] || { echo "build $bench first" >&2; exit 1; }
tb=$root/tests/sending/testbed/testbed.sh
"$tb" check || exit 0
dir=$("$tb" up)
trap '"$tb" down "$dir"' EXIT
"$tb" exec "$dir" sender "$bench" --smb-conf "$dir/sender/smb.conf" --computer PC7 --unknown NOSUCHPC "$@"
