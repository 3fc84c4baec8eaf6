#!/usr/bin/env bash
# The real program under Xvfb and openbox, where a message box takes the focus and the window
# gets it back only when the window manager activates it again: each key press is handled
# once, the focus comes back to where it was after a send that fails, and coming back from
# another application does not select a name field again.
#   keys.sh PELLORA_BINARY
PELLORA=$1
source "$(dirname "$0")/lib.sh"
e2e_home
e2e_display
need xmessage

# The visible windows whose title matches, one id a line.
windows() { xdotool search --onlyvisible --name "$1" 2>/dev/null || true; }
wait_window() { # TITLE_REGEX: waits for one and prints its id
  local id=""
  for _ in $(seq 100); do id=$(windows "$1" | head -n 1); [ -n "$id" ] && break; sleep 0.05; done
  [ -n "$id" ] || fail "no window titled $1 appeared"
  echo "$id"
}
# Closes the box with a key, then checks that no second box comes up in its place.
close_box_once() { # TITLE_REGEX KEY WHAT
  local box
  box=$(wait_window "$1")
  xdotool windowactivate --sync "$box" >/dev/null 2>&1 || true
  sleep 0.2
  e2e_key "$2"
  sleep 1
  [ -z "$(windows "$1")" ] || fail "$3: a second box came up after the first was closed with $2"
}

e2e_start
# 1. Shift+F1 in the message field: one about box, closed by Enter, then Space.
e2e_key shift+F1
close_box_once '^About' Return "Shift+F1"
e2e_key shift+F1
close_box_once '^About' space "Shift+F1"
pass "Shift+F1 shows the about box once"

# 2. F5 chosen; a send with empty fields shows one message; the focus comes back to the field.
e2e_click 40 302 # option button: Ctrl+Enter -> Enter
e2e_click 40 302 # Enter -> F5
e2e_click 100 24 # sender field
e2e_type "Ann"
e2e_key F5
close_box_once '^Kestrine - Pellora$' Return "F5 with empty fields"
e2e_type "e"
e2e_key Return # would click the settings button if the focus had gone there
sleep 0.5
[ -z "$(windows '^Settings$')" ] || fail "Enter after the failed send opened the settings dialog"
pass "a failed F5 send shows its message once and gives the focus back to the sender field"

# 3. Leave the window for another application and come back: the recipient keeps its caret.
e2e_click 100 56 # recipient field
e2e_type "Bob"
xmessage -name other -title other "another application" >/dev/null 2>&1 &
E2E_PIDS+=($!)
other=$(wait_window '^other$')
xdotool windowactivate --sync "$other" >/dev/null 2>&1 || true
sleep 0.3
xdotool windowactivate --sync "$WID" >/dev/null 2>&1 || true
sleep 0.3
e2e_type "by"
e2e_key Escape
e2e_wait_exit 0
grep -q '^From=Anne$' "$SETTINGS_FILE" || fail "typing after the failed send did not reach the sender: $(cat "$SETTINGS_FILE")"
grep -q '^To=Bobby$' "$SETTINGS_FILE" || fail "coming back selected the recipient again: $(cat "$SETTINGS_FILE")"
pass "coming back to the window keeps the name being edited"
echo "keys.sh: all passed"
