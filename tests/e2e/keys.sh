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
# Closes the box with a key, then checks that no second box comes up in its place: once the box
# is gone and the window manager has given the main window the focus back, a second box would
# already be on its way; the test looks for one for a second more.
close_box_once() { # TITLE_REGEX KEY WHAT
  local box
  box=$(e2e_wait_window "$1")
  e2e_activate "$box"
  e2e_key "$2"
  e2e_until 30 e2e_is_active "$WID" || fail "$3: the main window did not get the focus back"
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
other=$(e2e_wait_window '^other$')
e2e_activate "$other"
e2e_activate "$WID"
e2e_type "by"
e2e_key Escape
e2e_wait_exit 0
grep -q '^From=Anne$' "$SETTINGS_FILE" || fail "typing after the failed send did not reach the sender: $(cat "$SETTINGS_FILE")"
grep -q '^To=Bobby$' "$SETTINGS_FILE" || fail "coming back selected the recipient again: $(cat "$SETTINGS_FILE")"
pass "coming back to the window keeps the name being edited"
echo "keys.sh: all passed"
