#!/usr/bin/env bash
# The real program under Xvfb and openbox, used as a person would: its window, typing, Tab,
# the settings dialog, Escape; what it stores; and a screenshot of it.
#   window.sh PELLORA_BINARY [SCREENSHOT_OUT]
PELLORA=$1
SHOT_OUT=${2:-}
source "$(dirname "$0")/lib.sh"
e2e_home
e2e_display

e2e_start
# The window: title, fixed client size, centred.
geometry=$(xwininfo -id "$WID")
width=$(awk '/Width:/ {print $2}' <<<"$geometry")
height=$(awk '/Height:/ {print $2}' <<<"$geometry")
[ "$width" = 385 ] && [ "$height" = 325 ] || fail "client area is ${width}x${height}, expected 385x325"
x=$(awk '/Absolute upper-left X:/ {print $4}' <<<"$geometry")
[ "$x" -gt 200 ] && [ "$x" -lt 450 ] || fail "window not centred (x=$x)"
[ -d "$DATA_DIR" ] || fail "data folder $DATA_DIR not created"
pass "window shown, 385x325, data folder created"

# The caret starts in the message; Tab goes on from the message to the option button.
e2e_type "never sent"
e2e_click 100 24      # sender field
e2e_type "Ann"
e2e_key Tab Tab        # over H! to the recipient
e2e_type "Bob"
e2e_key Tab Tab
e2e_type "PC7"
sleep 0.3
[ -n "$SHOT_OUT" ] && import -frame -window "$WID" "$E2E_TMP/shot.png"

# Shift+Escape does nothing; Escape closes and stores.
e2e_key shift+Escape
sleep 0.3
kill -0 "$PELLORA_PID" 2>/dev/null || fail "Shift+Escape closed the window"
e2e_key Escape
e2e_wait_exit 0
grep -q '^From=Ann$' "$SETTINGS_FILE" || fail "sender not stored: $(cat "$SETTINGS_FILE")"
grep -q '^To=Bob$' "$SETTINGS_FILE" || fail "recipient not stored"
grep -q '^Machine=PC7$' "$SETTINGS_FILE" || fail "computer not stored"
grep -q 'never sent' "$SETTINGS_FILE" && fail "the message text was stored"
[ -z "$(ls -A "$DATA_DIR"/*.TXT 2>/dev/null)" ] || fail "a local copy was written without sending"
pass "Escape closed the window and stored the names, not the message"

# The next start shows the names again; the settings dialog switches the prefix.
e2e_start
e2e_click 218 302     # S!
dialog=$(e2e_wait_window '^Settings$')
e2e_activate "$dialog"
e2e_key space Return
e2e_until 30 e2e_is_active "$WID" || fail "the main window did not get the focus back from the settings dialog"
e2e_key Escape
e2e_wait_exit 0
grep -q '^Temp%20File%20Prefix=true$' "$SETTINGS_FILE" || fail "prefix not stored: $(cat "$SETTINGS_FILE")"
pass "settings dialog switched the prefix; stored at exit"

if [ -n "$SHOT_OUT" ]; then
  cp "$E2E_TMP/shot.png" "$SHOT_OUT"
  echo "screenshot: $SHOT_OUT"
fi
echo "window.sh: all passed"
