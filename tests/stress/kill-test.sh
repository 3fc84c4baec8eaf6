#!/usr/bin/env bash
# Kills the program's saving code with SIGKILL at random moments, many times over, and checks
# after each kill that every file holds the old or the new content and reads as the next run
# would read it. Then: temporary files that no running instance holds are removed at the next
# start, and two instances saving at the same moment leave readable files.
#   kill-test.sh SAVE_LOOP [KILLS] [SECONDS]     (defaults: 200 kills within 40 seconds)
# The kills need a file system where many files can be written quickly; the test works in
# $TMPDIR (default /tmp).
set -euo pipefail

driver=${1:?usage: kill-test.sh SAVE_LOOP [KILLS] [SECONDS]}
kills=${2:-200}
budget=${3:-40}

work=$(mktemp -d "${TMPDIR:-/tmp}/pellora-kill.XXXXXX")
trap 'rm -rf "$work"' EXIT
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
export XDG_CACHE_HOME=$work/home/.cache XDG_RUNTIME_DIR=$work/run QT_QPA_PLATFORM=offscreen
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
data=$XDG_DATA_HOME/Orvane/Pellora
config=$XDG_CONFIG_HOME/Orvane

fail() { echo "FAIL: $*"; exit 1; }

check() { # [--tags A,B]
  local out
  if ! out=$(timeout 30 "$driver" check "$@" 2>&1); then
    echo "$out"
    return 1
  fi
}

# --- SIGKILL at random moments --------------------------------------------------------------
out=$(timeout $((budget + 60)) "$driver" kill-loop "$kills" "$budget" 2>&1) || { echo "$out" | tail -n 20; fail "kill loop"; }
echo "$out" | tail -n 1
read -r done_kills during_save <<<"$(echo "$out" | sed -n 's/^killed \([0-9]*\) times.* \([0-9]*\) of them while saving$/\1 \2/p')"
[ "${done_kills:-0}" -ge 50 ] || fail "only ${done_kills:-0} kills within ${budget}s"
[ "${during_save:-0}" -ge 25 ] || fail "only ${during_save:-0} kills landed while saving"

# --- what the kills left behind --------------------------------------------------------------
left=$(find "$data" "$config" -name '.pellora-*.tmp' | wc -l)
echo "temporary files left by the kills: $left"
# Everything else in the folders is a file the program reads, or Qt's lock of the settings file
# (with the locks Qt takes while it removes a stale one: ".lock.rmlock", ".lock.rmlock.rmlock").
# Qt's save files link their unnamed temporary file under "<name>.XXXXXX" just before renaming
# it; a kill between the two leaves that name behind, which no reader looks at.
strays=$(find "$data" "$config" -type f ! -name '*.TXT' ! -name '* History.DAT' ! -name 'Pellora.ini' \
           ! -name 'Pellora.ini.lock' ! -name 'Pellora.ini.lock.rmlock*' ! -name '.pellora-*.tmp' \
           ! -name '* History.DAT.??????' ! -name 'Pellora.ini.??????')
[ -z "$strays" ] || fail "unexpected files: $strays"

# A temporary file of the writer that no running instance holds is left by a run that ended
# while writing, however fresh it is: the next start removes it. One that an instance holds (a
# lock on it, taken before the first byte is written) stays, as does a file that is not ours.
mkdir -p "$data"
for i in 1 2 3; do head -c 1000 /dev/zero >"$data/.pellora-00000000000$i.tmp"; done
head -c 10 /dev/zero >"$data/.pellora-fffffffffff0.tmp"
head -c 10 /dev/zero >"$data/.pellora-fffffffffff1.tmp"
echo keep >"$data/.pellora-notours.tmp"
ready=$work/held
flock "$data/.pellora-fffffffffff1.tmp" sh -c ": >'$ready'; sleep 60" &
holder=$!
for _ in $(seq 100); do [ -e "$ready" ] && break; sleep 0.1; done
[ -e "$ready" ] || fail "the lock on a temporary file was not taken"
timeout 30 "$driver" save after 1 >/dev/null 2>&1 || fail "the run after the kills did not save (stale lock?)"
check || fail "the run after the kills left files that do not hold"
left=$(find "$data" -name '.pellora-*.tmp' -printf '%f\n' | sort | tr '\n' ' ')
kill "$holder" 2>/dev/null || true
wait "$holder" 2>/dev/null || true
[ "$left" = ".pellora-fffffffffff1.tmp .pellora-notours.tmp " ] ||
  fail "after the next start the temporary files are: $left"

# --- two instances closing at the same moment ------------------------------------------------
rm -rf "$data" "$config"
go=$work/go
"$driver" save alpha 10 --no-copy --start-file "$go" >"$work/a.log" 2>&1 &
a=$!
"$driver" save beta 10 --no-copy --start-file "$go" >"$work/b.log" 2>&1 &
b=$!
sleep 1
touch "$go"
sa=0 sb=0
wait "$a" || sa=$?
wait "$b" || sb=$?
if [ "$sa" != 0 ] || [ "$sb" != 0 ]; then
  cat "$work/a.log" "$work/b.log"
  fail "an instance failed ($sa, $sb)"
fi
check --tags alpha,beta || fail "two instances left files that do not hold"
echo "two instances saved 10 times each at the same moments; files hold"
echo PASS
