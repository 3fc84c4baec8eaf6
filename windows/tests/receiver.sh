#!/usr/bin/env bash
# Pellora Receiver for Windows under Wine, on Xvfb with openbox: the folder of the zip package,
# pellora-receiver.exe started from it, and `pellora.exe --send` to the computer "." beside it;
# once in a U.S. English locale (OEM code page 437) and once in a Russian one (866). Checks the
# sender's exit status, the file the receiver saves in %APPDATA%\Orvane\Pellora\Received, byte
# for byte, and the receiver's window title counting the message; then closes the window as a
# user does and checks that the receiver ends; a second receiver started beside the first says
# that the mailslot is taken. Uses WINEPREFIX when set (a prefix of the caller's
# that it may change), otherwise a prefix of its own.
#   receiver.sh ZIP [OUTPUT_DIR]
# OUTPUT_DIR receives the screenshots (default: the current folder).
ZIP=$(realpath "$1")
OUT=$(realpath "${2:-.}")
source "$(dirname "$0")/../../tests/e2e/lib.sh"

for tool in wine wineserver winepath Xvfb openbox xdotool unzip import; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/install-deps --windows)"
done
if [ -z "${WINEPREFIX:-}" ]; then
  export WINEPREFIX=$E2E_TMP/wine
fi
export WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="
e2e_display
E2E_CLEANUPS+=("wineserver -k")
export LC_ALL=en_US.UTF-8 LANG=en_US.UTF-8
wine wineboot --init >/dev/null 2>&1 || fail "wineboot failed"

unzip -q "$ZIP" -d "$E2E_TMP/zip"
FOLDER=$(echo "$E2E_TMP"/zip/Pellora-*-win64)
[ -f "$FOLDER/pellora-receiver.exe" ] && [ -f "$FOLDER/pellora.exe" ] || fail "no pellora-receiver.exe or pellora.exe in $ZIP"

unix_path() { winepath -u "$(wine cmd /c echo "$1" 2>/dev/null | tr -d '\r')" 2>/dev/null; }
APPDATA_DIR=$(unix_path '%APPDATA%')
[ -d "$APPDATA_DIR" ] || fail "no %APPDATA% in the prefix"
RECEIVED=$APPDATA_DIR/Orvane/Pellora/Received

RECEIVER_LOG=$E2E_TMP/receiver.log
receiver_listens() { grep -q 'listening on' "$RECEIVER_LOG" || ! kill -0 "$RECEIVER_PID" 2>/dev/null; }
receiver_window() { e2e_find_window '^Pellora Receiver' || ! kill -0 "$RECEIVER_PID" 2>/dev/null; }
message_files() { compgen -G "$RECEIVED/Message *.TXT" >/dev/null; }
title_is() { [ "$(xdotool getwindowname "$WID" 2>/dev/null | tr -d '\r')" = "$1" ]; }
receiver_ended() { ! kill -0 "$RECEIVER_PID" 2>/dev/null; }

# receive LOCALE MESSAGE DATE_FORMAT: starts the receiver in LOCALE, sends MESSAGE from Ann to
# Bob at "." with the command-line sender in the same locale, and checks the saved file (its
# date line: date(1)'s DATE_FORMAT of the file's name, Windows' short date and long time of
# that locale), the window's title and the receiver's end.
receive() {
  local locale=$1 message=$2 date_format=$3 also=""
  rm -rf "$RECEIVED"
  # A Wine of this locale alone: the previous locale's wineserver and explorer, still ending,
  # could write their locale's regional settings to the registry under the new receiver.
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  LC_ALL=$locale LANG=$locale PELLORA_RECEIVER_NO_BOX=1 wine "$FOLDER/pellora-receiver.exe" >"$RECEIVER_LOG" 2>&1 &
  RECEIVER_PID=$!
  E2E_PIDS+=("$RECEIVER_PID")
  e2e_until 60 receiver_listens || fail "$locale: the receiver did not say where it listens: $(tr -d '\r' <"$RECEIVER_LOG")"
  kill -0 "$RECEIVER_PID" 2>/dev/null || fail "$locale: the receiver ended: $(tr -d '\r' <"$RECEIVER_LOG")"
  grep -qF 'listening on \\.\mailslot\messngr' "$RECEIVER_LOG" || fail "$locale: the receiver says $(tr -d '\r' <"$RECEIVER_LOG")"
  e2e_until 60 receiver_window || fail "$locale: no window titled Pellora Receiver appeared"
  kill -0 "$RECEIVER_PID" 2>/dev/null || fail "$locale: the receiver ended: $(tr -d '\r' <"$RECEIVER_LOG")"
  WID=$E2E_FOUND
  title_is "Pellora Receiver" || fail "$locale: the window is titled $(xdotool getwindowname "$WID")"
  if [ "$locale" = en_US.UTF-8 ]; then
    # A second start finds the mailslot taken, says so and ends; the first one keeps it.
    local second=0
    LC_ALL=$locale LANG=$locale PELLORA_RECEIVER_NO_BOX=1 timeout 60 wine "$FOLDER/pellora-receiver.exe" \
      >"$E2E_TMP/second.log" 2>&1 || second=$?
    [ "$second" = 2 ] && grep -qF 'already holds the Messenger mailslot' "$E2E_TMP/second.log" ||
      fail "a second receiver ended with status $second: $(tr -d '\r' <"$E2E_TMP/second.log")"
    kill -0 "$RECEIVER_PID" 2>/dev/null || fail "the first receiver ended when a second one started"
    also="; a second start said the mailslot is taken (status 2)"
  fi
  # Away from the window, as a user who is not looking: the title counts what arrives unread.
  xdotool windowminimize --sync "$WID" >/dev/null 2>&1 || fail "$locale: the window could not be minimized"

  local status=0
  LC_ALL=$locale LANG=$locale wine "$FOLDER/pellora.exe" --send --from Ann --to Bob --computer . "$message" \
    >"$E2E_TMP/send.log" 2>&1 || status=$?
  [ "$status" = 0 ] || fail "$locale: pellora.exe --send ended with status $status: $(tr -d '\r' <"$E2E_TMP/send.log")"

  e2e_until 30 message_files || fail "$locale: no message file in $RECEIVED: $(ls -la "$RECEIVED" 2>&1); $(tr -d '\r' <"$RECEIVER_LOG")"
  local files=("$RECEIVED"/Message\ *.TXT)
  [ ${#files[@]} = 1 ] || fail "$locale: expected one message file, found: $(ls "$RECEIVED")"
  local name when
  name=$(basename "${files[0]}")
  [[ $name =~ ^Message\ ([0-9]{4}-[0-9]{2}-[0-9]{2})\ ([0-9]{2})-([0-9]{2})-([0-9]{2})\.TXT$ ]] ||
    fail "$locale: message file named $name"
  when="${BASH_REMATCH[1]} ${BASH_REMATCH[2]}:${BASH_REMATCH[3]}:${BASH_REMATCH[4]}"
  # Every byte written out: UTF-8, CR LF after each header line, no line break after the text.
  printf 'From:     Ann\r\nTo:       Bob\r\nComputer: (not known: the system'"'"'s mailslot does not say)\r\nDate:     %s\r\n\r\n%s' \
    "$(LC_ALL=C date -d "$when" +"$date_format")" "$message" >"$E2E_TMP/expected.txt"
  cmp -s "$E2E_TMP/expected.txt" "${files[0]}" ||
    fail "$locale: $name holds $(od -c "${files[0]}"), expected $(od -c "$E2E_TMP/expected.txt")"
  # The date line as a pattern too: a format that went wrong on both sides alike is caught here.
  [[ $(tr -d '\r' <"${files[0]}" | sed -n 's/^Date:     //p') =~ ^[0-9]{1,2}[./][0-9]{1,2}[./][0-9]{4}\ [0-9]{1,2}:[0-9]{2}:[0-9]{2}( [AP]M)?$ ]] ||
    fail "$locale: the date line of $name is $(sed -n 's/^Date:     //p' "${files[0]}")"

  e2e_until 30 title_is "Pellora Receiver (1 unread)" ||
    fail "$locale: the window is titled \"$(xdotool getwindowname "$WID")\", expected \"Pellora Receiver (1 unread)\""
  kill -0 "$RECEIVER_PID" 2>/dev/null || fail "$locale: the receiver ended after the message: $(tr -d '\r' <"$RECEIVER_LOG")"
  xdotool windowactivate "$WID" >/dev/null 2>&1 || true
  e2e_until 30 title_is "Pellora Receiver" || fail "$locale: the title still counts the message once the window is active"
  e2e_activate "$WID"
  import -window root "$OUT/pellora-receiver-windows-${locale%%.*}.png"

  # Closed as a user closes it: the receiver ends by itself, with status 0.
  e2e_key alt+F4
  e2e_until 30 receiver_ended || fail "$locale: the receiver did not end after its window was closed"
  status=0
  wait "$RECEIVER_PID" || status=$?
  [ "$status" = 0 ] || fail "$locale: the receiver ended with status $status: $(tr -d '\r' <"$RECEIVER_LOG")"
  pass "$locale: \"$message\" sent to \".\" (status 0), saved as $name byte for byte, counted in the title; closed, status 0$also"
}

# ü and ß travel as code page 437's 81 and E1, and are saved in UTF-8.
receive en_US.UTF-8 "Hi there, Grüße" '%-m/%-d/%Y %-I:%M:%S %p'
# In code page 866. Wine's Russian long time pads the hour to two digits.
receive ru_RU.UTF-8 "Привет" '%d.%m.%Y %H:%M:%S'
echo "receiver.sh: all passed"
