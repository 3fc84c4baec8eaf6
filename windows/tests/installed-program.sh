#!/usr/bin/env bash
# The Windows program as a user gets it, under Wine on Xvfb with openbox: installed silently
# with its installer, started from where the installer put it, and used with the keyboard and
# mouse through xdotool; once in a U.S. English locale (OEM code page 437) and once in a
# Russian one (866). Messages go to the computer "." and are received by
# `pellora-windows-tests --serve-messenger`. Uses WINEPREFIX when set (a prefix of the caller's
# that it may change), otherwise a prefix of its own.
#   installed-program.sh INSTALLER WINDOWS_TESTS_EXE [OUTPUT_DIR]
# OUTPUT_DIR receives the screenshots (default: the current folder).
INSTALLER=$(realpath "$1")
READER=$(realpath "$2")
OUT=$(realpath "${3:-.}")
source "$(dirname "$0")/../../tests/e2e/lib.sh"

for tool in wine wineserver winepath Xvfb openbox xdotool xwininfo xclip setxkbmap import; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/install-deps --windows)"
done
if [ -z "${WINEPREFIX:-}" ]; then
  export WINEPREFIX=$E2E_TMP/wine
  E2E_CLEANUPS+=("wineserver -k")
fi
export WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="
e2e_display
E2E_CLEANUPS+=("wineserver -k")
export LC_ALL=en_US.UTF-8 LANG=en_US.UTF-8
wine wineboot --init >/dev/null 2>&1 || fail "wineboot failed"

# A Windows folder of the prefix as a Unix path.
unix_path() { winepath -u "$(wine cmd /c echo "$1" 2>/dev/null | tr -d '\r')" 2>/dev/null; }
APPDATA_DIR=$(unix_path '%APPDATA%')
LOCAL_DIR=$(unix_path '%LOCALAPPDATA%')
[ -d "$APPDATA_DIR" ] && [ -d "$LOCAL_DIR" ] || fail "no %APPDATA% or %LOCALAPPDATA% in the prefix"
DATA_DIR=$APPDATA_DIR/Orvane/Pellora
PROGRAM=$LOCAL_DIR/Programs/Pellora/pellora.exe
reg_value() { # KEY NAME: the value's data, empty when there is none
  wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | awk -v n="$2" '$1 == n { $1 = ""; $2 = ""; sub(/^  /, ""); print }'
}

# --- 1. The installer, silently -------------------------------------------------------------------
wine "$INSTALLER" /S || fail "the installer failed (status $?)"
wineserver -w
[ -f "$PROGRAM" ] || fail "no pellora.exe in %LOCALAPPDATA%\\Programs\\Pellora: $(ls "$LOCAL_DIR/Programs" 2>&1)"
for f in Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll platforms/qwindows.dll styles/qwindowsvistastyle.dll Uninstall.exe; do
  [ -f "$(dirname "$PROGRAM")/$f" ] || fail "the installer did not install $f"
done
[ -f "$APPDATA_DIR/Microsoft/Windows/Start Menu/Programs/Pellora.lnk" ] || fail "no Start-menu shortcut Pellora"
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Pellora'
[ "$(reg_value "$uninstall_key" DisplayVersion)" = 1.2.0.14 ] || fail "no uninstall entry with the version 1.2.0.14"
pass "installed silently for the current user: program, Qt, plugins, Start-menu shortcut, uninstall entry"

# Starts the installed program and waits for its window. Sets PELLORA_PID and WID.
start_program() {
  wine "$PROGRAM" >"$E2E_TMP/pellora.log" 2>&1 &
  PELLORA_PID=$!
  E2E_PIDS+=("$PELLORA_PID")
  WID=""
  for _ in $(seq 600); do
    WID=$(xdotool search --onlyvisible --name '^Pellora$' 2>/dev/null | head -n 1 || true)
    [ -n "$WID" ] && break
    kill -0 "$PELLORA_PID" 2>/dev/null || fail "the program ended before showing its window: $(cat "$E2E_TMP/pellora.log")"
    sleep 0.05
  done
  [ -n "$WID" ] || fail "no window titled Pellora appeared"
  xdotool windowactivate --sync "$WID" >/dev/null 2>&1 || xdotool windowfocus --sync "$WID"
  sleep 0.5
}
windows() { xdotool search --onlyvisible --name "$1" 2>/dev/null || true; }
wait_window() { # TITLE_REGEX: waits for one and prints its id
  local id=""
  for _ in $(seq 200); do id=$(windows "$1" | head -n 1); [ -n "$id" ] && break; sleep 0.05; done
  [ -n "$id" ] || fail "no window titled $1 appeared"
  echo "$id"
}
# Replaces the text of the field at (X, Y) of the window.
set_field() { e2e_click "$1" "$2"; e2e_key ctrl+a; e2e_type "$3"; }

# --- 2. The window --------------------------------------------------------------------------------
start_program
geometry=$(xwininfo -id "$WID")
width=$(awk '/Width:/ {print $2}' <<<"$geometry")
height=$(awk '/Height:/ {print $2}' <<<"$geometry")
[ "$width" = 385 ] && [ "$height" = 325 ] || fail "client area is ${width}x${height}, expected 385x325"
[ -d "$DATA_DIR" ] || fail "the data folder %APPDATA%\\Orvane\\Pellora was not made"
import -window root "$OUT/pellora-windows.png"
pass "window titled Pellora, client area 385x325, data folder made; screenshot $OUT/pellora-windows.png"

# --- 3. Keys: Shift+F1 shows the about box once; Escape closes and stores the names ----------------
e2e_key shift+F1
box=$(wait_window '^About')
xdotool windowactivate --sync "$box" >/dev/null 2>&1 || true
sleep 0.3
e2e_key Return
sleep 1
[ -z "$(windows '^About')" ] || fail "Shift+F1: a second about box came up after the first was closed"
pass "Shift+F1 showed the about box once"

xdotool windowactivate --sync "$WID" >/dev/null 2>&1 || true
set_field 100 24 "Ann"
set_field 100 56 "Bob"
set_field 100 84 "."
e2e_click 150 150
e2e_type "never sent"
e2e_key Escape
e2e_wait_exit 0
settings='HKCU\Software\Orvane\Pellora'
[ "$(reg_value "$settings" From)" = Ann ] && [ "$(reg_value "$settings" To)" = Bob ] &&
  [ "$(reg_value "$settings" Machine)" = . ] || fail "the names were not stored: $(wine reg query "$settings" 2>&1 | tr -d '\r')"
pass "Escape closed the window and stored the names"

# --- 4. Sends to ".": the names come back at the next start; exact bytes in the OEM code page -----
# send_to_dot LOCALE LAYOUT MESSAGE EXPECTED_HEX DATE_FORMAT: starts the program in LOCALE with
# the message receiver running, types MESSAGE on a LAYOUT keyboard and clicks Send; checks the bytes received, the one
# local copy and its date line (DATE_FORMAT: date(1)'s format of the Windows short date and
# long time of that locale).
send_to_dot() {
  local locale=$1 layout=$2 message=$3 expected=$4 date_format=$5 reader_log=$E2E_TMP/reader.log received
  received=$(winepath -w "$E2E_TMP/received.txt")
  rm -f "$E2E_TMP/received.txt" "$DATA_DIR"/Message\ *.TXT
  LC_ALL=$locale LANG=$locale wine "$READER" --serve-messenger 60 "$received" >"$reader_log" 2>&1 &
  local reader=$!
  E2E_PIDS+=("$reader")
  for _ in $(seq 400); do grep -q serving "$reader_log" && break; sleep 0.05; done
  grep -q serving "$reader_log" || fail "the message receiver did not start: $(cat "$reader_log")"
  # A keyboard with the message's letters: Wine reads the keyboard map when the program starts,
  # and misses the keys that xdotool maps on the fly for letters the map lacks.
  setxkbmap "$layout"
  LC_ALL=$locale LANG=$locale start_program
  # The caret starts in the message; the names came back from the last start.
  e2e_type "$message"
  e2e_click 326 302   # Send
  e2e_wait_exit 0
  setxkbmap us
  wait "$reader" || fail "$locale: no message arrived: $(tr -d '\r' <"$reader_log")"
  [ "$(cat "$E2E_TMP/received.txt")" = "$expected" ] ||
    fail "$locale: received $(cat "$E2E_TMP/received.txt"), expected $expected (one message)"
  local copies=("$DATA_DIR"/Message\ *.TXT)
  [ ${#copies[@]} = 1 ] && [ -f "${copies[0]}" ] || fail "$locale: expected one local copy, found: $(ls "$DATA_DIR")"
  local name stamp when date_line
  name=$(basename "${copies[0]}")
  [[ $name =~ ^Message\ ([0-9]{4}-[0-9]{2}-[0-9]{2})\ ([0-9]{2})-([0-9]{2})-([0-9]{2})\.TXT$ ]] ||
    fail "$locale: local copy named $name"
  when="${BASH_REMATCH[1]} ${BASH_REMATCH[2]}:${BASH_REMATCH[3]}:${BASH_REMATCH[4]}"
  date_line=$(tr -d '\r' <"${copies[0]}" | sed -n 's/^Date:     //p')
  [ "$date_line" = "$(LC_ALL=C date -d "$when" +"$date_format")" ] ||
    fail "$locale: date line '$date_line' for $when, expected $(LC_ALL=C date -d "$when" +"$date_format")"
  pass "$locale: sent to \".\": received $expected; one local copy $name, dated $date_line"
}
# Ann 00 Bob 00 Grüße 00, ü and ß in code page 437.
send_to_dot en_US.UTF-8 de "Grüße" "41 6E 6E 00 42 6F 62 00 47 72 81 E1 65 00" '%-m/%-d/%Y %-I:%M:%S %p'
# Ann 00 Bob 00 Привет 00 in code page 866. Wine's Russian long time pads the hour to two digits ("00:16:50"): the program prints the
# system's format, so the expected one is Wine's.
send_to_dot ru_RU.UTF-8 ru "Привет" "41 6E 6E 00 42 6F 62 00 8F E0 A8 A2 A5 E2 00" '%d.%m.%Y %H:%M:%S'

# --- 5. An unknown computer: the path and "Can't open mailslot."; the window stays --------------
start_program
set_field 100 84 "nosuchpc"
e2e_click 150 150
e2e_type "Hi"
e2e_click 326 302
box=$(wait_window '^Kestrine - Pellora$')
xdotool windowactivate --sync "$box" >/dev/null 2>&1 || true
sleep 0.3
# A Windows message box copies its title and text with Ctrl+C.
e2e_key ctrl+c
sleep 0.5
copied=$(xclip -selection clipboard -o 2>/dev/null | tr -d '\r' || true)
grep -qF '\\nosuchpc\mailslot\messngr' <<<"$copied" && grep -qF "Can't open mailslot." <<<"$copied" ||
  fail "the box after a send to an unknown computer says: $copied"
import -window root "$OUT/pellora-windows-unknown-computer.png"
e2e_key Return
sleep 1
kill -0 "$PELLORA_PID" 2>/dev/null || fail "the program ended after the failed send"
[ -n "$(windows '^Pellora$')" ] || fail "the window is gone after the failed send"
e2e_key Escape
e2e_wait_exit 0
pass "an unknown computer: the box gave the path and \"Can't open mailslot.\"; the window stayed"

# --- 6. The uninstaller, silently -----------------------------------------------------------------
wine "$(dirname "$PROGRAM")/Uninstall.exe" /S || fail "the uninstaller failed"
wineserver -w
[ ! -e "$PROGRAM" ] && [ ! -e "$APPDATA_DIR/Microsoft/Windows/Start Menu/Programs/Pellora.lnk" ] ||
  fail "the uninstaller left $(ls "$(dirname "$PROGRAM")" 2>&1)"
[ -z "$(reg_value "$uninstall_key" DisplayVersion)" ] || fail "the uninstall entry is still there"
[ -d "$DATA_DIR" ] || fail "the uninstaller removed the user's messages"
pass "uninstalled silently; the saved messages stay"
echo "installed-program.sh: all passed"
