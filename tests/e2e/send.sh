#!/usr/bin/env bash
# A whole send as a user makes it: the real program under Xvfb and openbox, running in the
# sender's namespace of the network test bed, driven with the keyboard and mouse. Checks the
# datagram on the wire (tshark), the local copy, the histories and settings, and the exit.
# Then the send key: F5 chosen with the option button, kept across a restart, and used.
#   send.sh PELLORA_BINARY
PELLORA=$1
source "$(dirname "$0")/lib.sh"
tb="$(cd "$(dirname "$0")/../sending/testbed" && pwd)/testbed.sh"
"$tb" check || exit $?
need tshark
e2e_home
e2e_display

TB_DIR=$("$tb" up) || fail "the network test bed did not come up"
E2E_CLEANUPS+=("\"$tb\" down \"$TB_DIR\"")
source "$TB_DIR/env"
payload_hex=416e6e00426f6200486900 # Ann 00 Bob 00 Hi 00

expect_frame() { # CAPTURE
  local frames
  frames=$("$tb" decode "$TB_DIR" "$1")
  [ "$(printf '%s\n' "$frames" | grep -c .)" = 1 ] || fail "expected one Messenger datagram, got: $frames"
  IFS='|' read -r type src dst srcip ipdst trans class data <<<"$frames"
  [ "$type" = 16 ] || fail "datagram type $type, expected 16 (Direct_unique)"
  [ "$dst" = "PC7<00>" ] || fail "destination $dst, expected PC7<00>"
  [ "$ipdst" = "$TB_IP_PC7" ] || fail "sent to $ipdst, expected $TB_IP_PC7"
  [ "$trans" = '\MAILSLOT\MESSNGR' ] || fail "transaction name $trans"
  [ "$class" = 2 ] || fail "mailslot class $class, expected 2"
  [ "$data" = "$payload_hex" ] || fail "payload $data, expected $payload_hex"
}

# 1. Type the four fields, click Send.
"$tb" capture-start "$TB_DIR" click
e2e_start "$tb" exec "$TB_DIR" sender
e2e_click 100 24      # sender field
e2e_type "Ann"
e2e_key Tab Tab
e2e_type "Bob"
e2e_key Tab Tab
e2e_type "PC7"
e2e_click 150 150     # message field
e2e_type "Hi"
e2e_click 326 302     # Send
e2e_wait_exit 0
"$tb" capture-stop "$TB_DIR" click
expect_frame click
pass "a click on Send delivered Ann/Bob/Hi to PC7<00> as one Direct_unique datagram"

copies=("$DATA_DIR"/Message\ *.TXT)
[ ${#copies[@]} = 1 ] && [ -f "${copies[0]}" ] || fail "expected one local copy, found: $(ls "$DATA_DIR")"
head -c 48 "${copies[0]}" | od -c | grep -q '\\r  \\n' || fail "local copy lines do not end with CR LF"
grep -q '^From:     Ann' "${copies[0]}" && grep -q '^To:       Bob' "${copies[0]}" &&
  grep -q '^Computer: PC7' "${copies[0]}" || fail "local copy header wrong: $(cat "${copies[0]}")"
[ "$(tail -c 2 "${copies[0]}")" = "Hi" ] || fail "local copy does not end with the message"
for list in From:Ann To:Bob Computer:PC7; do
  file="$DATA_DIR/${list%%:*} History.DAT"
  grep -qx "${list#*:}" "$file" || fail "$file does not hold ${list#*:}"
done
grep -q '^Machine=PC7$' "$SETTINGS_FILE" || fail "computer not stored"
pass "local copy, histories and settings written; the program ended with status 0"

# 1b. The same message from the command line, with no display: the same bytes on the wire.
"$tb" capture-start "$TB_DIR" cli
"$tb" exec "$TB_DIR" sender env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
  "$PELLORA" --send --from Ann --to Bob --computer PC7 Hi >"$E2E_TMP/cli.log" 2>&1 ||
  fail "the command-line send ended with status $?: $(cat "$E2E_TMP/cli.log")"
"$tb" capture-stop "$TB_DIR" cli
expect_frame cli
[ "$("$tb" decode "$TB_DIR" cli)" = "$("$tb" decode "$TB_DIR" click)" ] ||
  fail "the command line sent $("$tb" decode "$TB_DIR" cli), the window $("$tb" decode "$TB_DIR" click)"
pass "the command line put the window's bytes on the wire"

# 2. Choose F5 with the option button, close, start again, type a message and press F5.
e2e_start "$tb" exec "$TB_DIR" sender
e2e_click 40 302      # option button: Ctrl+Enter -> Enter
e2e_click 40 302      # Enter -> F5
e2e_key Escape
e2e_wait_exit 0
grep -q '^Send%20Hotkey%20Option=2$' "$SETTINGS_FILE" || fail "send key option not stored: $(cat "$SETTINGS_FILE")"
rm -f "$DATA_DIR"/Message\ *.TXT

"$tb" capture-start "$TB_DIR" f5
e2e_start "$tb" exec "$TB_DIR" sender
e2e_type "Hi"          # the caret starts in the message; the names came back from the settings
e2e_key F5
e2e_wait_exit 0
"$tb" capture-stop "$TB_DIR" f5
expect_frame f5
copies=("$DATA_DIR"/Message\ *.TXT)
[ -f "${copies[0]}" ] || fail "no local copy after the F5 send"
grep -q '^Send%20Hotkey%20Option=2$' "$SETTINGS_FILE" || fail "send key option lost"
pass "F5 chosen, kept across a restart, and sent the message"
echo "send.sh: all passed"
