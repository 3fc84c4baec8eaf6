#!/usr/bin/env bash
# The command line as a script runs it: the built program with no display at all, a home of its
# own, and a network of its own (only loopback, in a namespace made here) where a stand-in for
# the receiving computer takes the datagrams. One row a case: its exit status, its one line on
# the standard error, what went on the wire, what it left in the data folder.
#   cli.sh PELLORA_BINARY DATAGRAM_SINK
# Needs network and mount namespaces (root, or user namespaces); else exits 77 with a SKIP line.
set -uo pipefail
PELLORA=${1:?usage: cli.sh PELLORA_BINARY DATAGRAM_SINK}
SINK=${2:?usage: cli.sh PELLORA_BINARY DATAGRAM_SINK}

if [ "${PELLORA_CLI_NS:-}" != 1 ]; then
  ns=(unshare -n -m --propagation private)
  [ "$(id -u)" = 0 ] || ns=(unshare -r -n -m --propagation private)
  if ! "${ns[@]}" true 2>/dev/null; then echo "SKIP: cannot make network and mount namespaces here"; exit 77; fi
  exec env PELLORA_CLI_NS=1 "${ns[@]}" bash "$0" "$@"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/pellora-cli.XXXXXX")
sink_pid=
cleanup() {
  [ -n "$sink_pid" ] && kill "$sink_pid" 2>/dev/null
  umount "$work/ro" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
pass() { echo "PASS: $*"; }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect_eq() { # WHAT GOT WANT
  if [ "$2" = "$3" ]; then pass "$1"; else fail "$1: got [$2], want [$3]"; fi
}

ip link set lo up || { echo "FAIL: no loopback in the namespace"; exit 1; }

# No display of any kind, and a home of our own.
unset QT_QPA_PLATFORM DISPLAY WAYLAND_DISPLAY XDG_CURRENT_DESKTOP DBUS_SESSION_BUS_ADDRESS
export LC_ALL=C.UTF-8 LANG=C.UTF-8
use_home() { # FOLDER
  export HOME=$1 XDG_DATA_HOME=$1/.local/share XDG_CONFIG_HOME=$1/.config XDG_RUNTIME_DIR=$1/runtime
  mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
  DATA=$XDG_DATA_HOME/Orvane/Pellora
  INI=$XDG_CONFIG_HOME/Orvane/Pellora.ini
}
use_home "$work/home"
# The window's stored fields, which a send from the command line leaves as they are.
mkdir -p "$XDG_CONFIG_HOME/Orvane"
printf '[General]\nFrom=Earlier\nTo=Someone\nMachine=PC9\n' >"$INI"
chmod 600 "$INI"
ini_before=$(od -An -tx1 "$INI")

mkdir "$work/wire"
"$SINK" "$work/wire" "$work/listening" &
sink_pid=$!
for _ in $(seq 200); do [ -e "$work/listening" ] && break; kill -0 "$sink_pid" 2>/dev/null || break; sleep 0.05; done
[ -e "$work/listening" ] || { echo "FAIL: the datagram stand-in does not listen"; exit 1; }

datagrams() { find "$work/wire" -type f ! -name '*.part' | wc -l; }
# The last datagram, as hex.
last_datagram() { cat "$work/wire/$(datagrams)" 2>/dev/null; }
hex() { printf '%s' "$1" | od -An -v -tx1 | tr -d ' \n'; }

# run STDIN ARGS...: runs the program; STDIN is a file, or - for none given (the terminal's, here
# /dev/null). Sets status, out, err.
run() {
  local input=$1
  shift
  [ "$input" = - ] && input=/dev/null
  out=$("$PELLORA" "$@" <"$input" 2>"$work/stderr")
  status=$?
  err=$(cat "$work/stderr")
}

# row NAME STATUS STDERR-LINE STDIN ARGS...: a case that sends nothing; STDERR-LINE is the whole
# standard error (one line), or a pattern when it starts with "~".
row_nothing_sent() {
  local name=$1 want_status=$2 want_err=$3 input=$4
  shift 4
  local before
  before=$(datagrams)
  run "$input" "$@"
  expect_eq "$name: status" "$status" "$want_status"
  if [ "${want_err:0:1}" = "~" ]; then
    if [[ "$err" == "${want_err:1}"* ]] && [ "$(printf '%s\n' "$err" | wc -l)" = 1 ]; then
      pass "$name: one line on the standard error"
    else
      fail "$name: got [$err], want one line starting with [${want_err:1}]"
    fi
  else
    expect_eq "$name: one line on the standard error" "$err" "$want_err"
  fi
  expect_eq "$name: nothing on the wire" "$(datagrams)" "$before"
}

printf 'Hi\xff\n' >"$work/not-utf8"
: >"$work/empty"
usage=" (pellora --help shows the usage)"

# Arguments and input that are refused before anything is done: status 64, no data folder made.
row_nothing_sent "unknown option" 64 "pellora: unknown option --bogus$usage" - \
  --send --from Ann --to Bob --computer localhost --bogus Hi
row_nothing_sent "unknown option without --send, no display" 64 "pellora: unknown option --bogus$usage" - \
  --from Ann --bogus
row_nothing_sent "missing value" 64 "pellora: --computer needs a name$usage" - --send --from Ann --to Bob --computer
row_nothing_sent "argument not UTF-8" 64 "pellora: an argument is not UTF-8 text" - \
  --send --from Ann --to Bob --computer localhost $'Gr\xfc\xdf'
row_nothing_sent "standard input not UTF-8" 64 "pellora: the standard input is not UTF-8 text" "$work/not-utf8" \
  --send --from Ann --to Bob --computer localhost
expect_eq "refused arguments: no data folder made" "$(ls "$XDG_DATA_HOME")" ""

# The input check: status 1, nothing recorded.
row_nothing_sent "empty sender" 1 "The nature don't like emptiness." - --send --from '' --to Bob --computer localhost Hi
row_nothing_sent "no sender given" 1 "The nature don't like emptiness." - --send --to Bob --computer localhost Hi
row_nothing_sent "empty standard input" 1 "The nature don't like emptiness." "$work/empty" \
  --send --from Ann --to Bob --computer localhost
expect_eq "input refused: no history written" "$(ls "$DATA" 2>/dev/null | grep -c History)" 0

# Not delivered: status 2, the box's text on one line (its reason, when the delivery gives one,
# after it), the names recorded.
row_nothing_sent "computer name refused" 2 '~\\a:b\mailslot\messngr: Can'"'"'t open mailslot.' - \
  --send --from Ann --to Bob --computer 'a:b' Hi
row_nothing_sent "425 bytes" 2 \
  "\\\\localhost\\mailslot\\messngr: Can't write to mailslot. The message has 425 bytes; at most 424 fit." - \
  --send --from Ann --to Bob --computer localhost "$(printf 'x%.0s' $(seq 416))"
expect_eq "not delivered: the computer is in its history" "$(sed -n 2p "$DATA/Computer History.DAT")" "localhost"
expect_eq "not delivered: no local copy" "$(ls "$DATA" | grep -c '^Message')" 0

# row_delivered NAME STDIN PAYLOAD COPY-END ARGS...: status 0, nothing on the standard error, one
# datagram whose Messenger data (its last bytes) are PAYLOAD, and a local copy ending with
# COPY-END (the message after the header's empty line).
row_delivered() {
  local name=$1 input=$2 payload=$3 copy_end=$4
  shift 4
  local before
  before=$(datagrams)
  rm -f "$DATA"/Message\ *.TXT
  run "$input" "$@"
  expect_eq "$name: status" "$status" 0
  expect_eq "$name: nothing on the standard error" "$err" ""
  expect_eq "$name: one datagram" "$(datagrams)" $((before + 1))
  local wire
  wire=$(last_datagram)
  expect_eq "$name: the bytes on the wire" "${wire: -${#payload}}" "$payload"
  local copies=("$DATA"/Message\ *.TXT)
  expect_eq "$name: one local copy" "${#copies[@]}" 1
  local got_end
  got_end=$(od -An -v -tx1 "${copies[0]}" | tr -d ' \n')
  expect_eq "$name: the local copy ends with the message" "${got_end: -${#copy_end}}" "$copy_end"
}

printf 'Hi\r\nthere\r\n' >"$work/crlf"
printf 'Hi\nthere\n' >"$work/lf"
printf 'Hi\rthere' >"$work/cr"
printf '\xef\xbb\xbfGr\xc3\xbc\xc3\x9f' >"$work/bom"
ann_bob=$(hex 'Ann')00$(hex 'Bob')00

row_delivered "words" - "${ann_bob}$(hex 'Hi there')00" "0d0a0d0a$(hex 'Hi there')" \
  --send --from Ann --to Bob --computer localhost Hi there
row_delivered "standard input with CR LF" "$work/crlf" "${ann_bob}$(hex $'Hi\r\nthere\r\n')00" \
  "0d0a0d0a$(hex $'Hi\r\nthere\r\n')" --send --from Ann --to Bob --computer localhost
row_delivered "standard input with LF and a final line break" "$work/lf" "${ann_bob}$(hex $'Hi\r\nthere\r\n')00" \
  "0d0a0d0a$(hex $'Hi\r\nthere\r\n')" --send --from Ann --to Bob --computer localhost
row_delivered "standard input with a lone CR" "$work/cr" "${ann_bob}$(hex $'Hi\r\nthere')00" \
  "0d0a0d0a$(hex $'Hi\r\nthere')" --send --from Ann --to Bob --computer localhost
# Code page 437 on the wire (u-umlaut 0x81, sharp s 0xE1), UTF-8 in the copy; the mark dropped.
row_delivered "standard input in UTF-8 with a byte order mark" "$work/bom" "${ann_bob}477281e100" \
  "0d0a0d0a4772c3bcc39f" --send --from Ann --to Bob --computer localhost
row_delivered "-- before a word that starts with -" - "${ann_bob}$(hex '-5 degrees')00" "0d0a0d0a$(hex '-5 degrees')" \
  --send --from Ann --to Bob --computer localhost -- -5 degrees

expect_eq "delivered: the sender's history" "$(sed -n 2p "$DATA/From History.DAT")" "Ann"
expect_eq "delivered: the recipient's history" "$(sed -n 2p "$DATA/To History.DAT")" "Bob"
expect_eq "the window's stored fields are as they were" "$(od -An -tx1 "$INI")" "$ini_before"

# A data folder that cannot be made: the start-up box's text on one line, status 2, nothing sent.
use_home "$work/blocked"
touch "$XDG_DATA_HOME/Orvane"
row_nothing_sent "no data folder" 2 "$XDG_DATA_HOME/Orvane/Pellora: Can't create or open data folder." - \
  --send --from Ann --to Bob --computer localhost Hi
use_home "$work/home"

# Delivered, the local copy not written: status 3, the Retry box's text and the reason on one
# line, never a question. A data folder on a read-only mount, whose histories already hold the
# names (so that they need no write), and a settings folder already made.
use_home "$work/ro"
mkdir -p "$DATA" "$XDG_CONFIG_HOME/Orvane"
chmod -R go-rwx "$work/ro"
for list in From:Ann To:Bob Computer:localhost; do
  printf 'PelloraHistory 1\n%s\n' "${list#*:}" >"$DATA/${list%%:*} History.DAT"
  chmod 600 "$DATA/${list%%:*} History.DAT"
done
if mount --bind "$work/ro" "$work/ro" && mount -o remount,bind,ro "$work/ro" && ! touch "$DATA/probe" 2>/dev/null; then
  before=$(datagrams)
  run - --send --from Ann --to Bob --computer localhost Hi
  expect_eq "copy not saved: status" "$status" 3
  case "$err" in
    "$DATA/Message "*".TXT: Can't write file. Local copy of this message was not saved. "?*) pass "copy not saved: the box's text and the reason on one line" ;;
    *) fail "copy not saved: standard error [$err]" ;;
  esac
  expect_eq "copy not saved: one line" "$(printf '%s\n' "$err" | wc -l)" 1
  expect_eq "copy not saved: delivered" "$(datagrams)" $((before + 1))
else
  fail "copy not saved: the read-only mount could not be made"
fi
use_home "$work/home"

# Help and version, on the standard output.
run - --help
expect_eq "--help: status" "$status" 0
expect_eq "--help: usage" "$(head -n 1 <<<"$out")" "Usage: pellora --send --from NAME --to NAME --computer NAME [--] [TEXT...]"
case "$out" in *"joined with single blanks"*) pass "--help: says how words are joined" ;; *) fail "--help: $out" ;; esac
run - --version
expect_eq "--version" "$status $out" "0 Kestrine - Pellora 1.02.0014"

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
