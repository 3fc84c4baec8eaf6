# Shared steps of the end-to-end tests: a virtual X display with a window manager, a private
# home folder, the real program, and a user's keyboard and mouse through xdotool.
# Source it; it sets E2E_TMP and cleans up on exit.
set -eEuo pipefail
# A command that fails outside a check ends the test: say which, so that no failure is silent.
trap 'echo "FAIL: ${BASH_SOURCE[0]##*/} line $LINENO: \"$BASH_COMMAND\" ended with status $?" >&2' ERR

E2E_TMP=$(mktemp -d /tmp/pellora-e2e.XXXXXX)
E2E_PIDS=()
E2E_CLEANUPS=()

e2e_cleanup() {
  local status=$?
  for step in "${E2E_CLEANUPS[@]}"; do eval "$step" || true; done
  for pid in "${E2E_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  if [ "$status" -ne 0 ] && [ "$status" -ne 77 ]; then
    echo "--- kept for inspection: $E2E_TMP" >&2
  else
    rm -rf "$E2E_TMP"
  fi
}
trap e2e_cleanup EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

# e2e_until SECONDS COMMAND...: runs COMMAND every 50 ms until it succeeds; false when SECONDS
# pass first. The bounds are generous: on a busy machine a start can take seconds, and a wait
# that ends on readiness costs nothing when the machine is idle.
e2e_until() {
  local deadline=$(($(date +%s%N) + $1 * 1000000000))
  shift
  until "$@"; do
    [ "$(date +%s%N)" -lt "$deadline" ] || return 1
    sleep 0.05
  done
}

# The window that has the focus now is $1.
e2e_is_active() { [ "$(xdotool getactivewindow 2>/dev/null || true)" = "$1" ]; }

# e2e_activate WID: asks the window manager to activate the window and waits until it is.
e2e_activate() {
  xdotool windowactivate "$1" >/dev/null 2>&1 || xdotool windowfocus "$1" >/dev/null 2>&1 || true
  e2e_until 30 e2e_is_active "$1" || fail "window $1 did not become active"
}

# e2e_wait_window TITLE_REGEX: waits for a visible window with that title and prints its id.
e2e_wait_window() {
  e2e_until 30 e2e_find_window "$1" || fail "no window titled $1 appeared"
  echo "$E2E_FOUND"
}
# e2e_find_window TITLE_REGEX: true when a visible window has that title; its id in E2E_FOUND.
e2e_find_window() {
  E2E_FOUND=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 || true)
  [ -n "$E2E_FOUND" ]
}
pass() { echo "PASS: $*"; }

# A tool the test uses that is not there fails it: a test that cannot look has not passed.
need() {
  for tool in "$@"; do command -v "$tool" >/dev/null 2>&1 || fail "$tool is not installed (scripts/install-deps --test)"; done
}

# A home of our own: the program's data, settings and histories land here.
e2e_home() {
  export HOME="$E2E_TMP/home"
  export XDG_DATA_HOME="$HOME/.local/share" XDG_CONFIG_HOME="$HOME/.config" XDG_CACHE_HOME="$HOME/.cache"
  export XDG_RUNTIME_DIR="$E2E_TMP/runtime"
  mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
  unset XDG_CURRENT_DESKTOP
  DATA_DIR="$XDG_DATA_HOME/Orvane/Pellora"
  SETTINGS_FILE="$XDG_CONFIG_HOME/Orvane/Pellora.ini"
}

# Xvfb on a free display, and openbox as the window manager.
e2e_display() {
  need Xvfb openbox xdotool xwininfo xprop import
  local fd_file="$E2E_TMP/display"
  exec 9>"$fd_file"
  # -noreset: a client that connects and leaves (the check below) would otherwise make the server
  # reset, and refuse the window manager while it does.
  Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp -noreset >"$E2E_TMP/xvfb.log" 2>&1 &
  E2E_XVFB=$!
  E2E_PIDS+=("$E2E_XVFB")
  e2e_until 30 test -s "$fd_file" || fail "Xvfb did not start: $(cat "$E2E_TMP/xvfb.log")"
  export DISPLAY=":$(head -n 1 "$fd_file" | tr -dc 0-9)"
  unset QT_QPA_PLATFORM WAYLAND_DISPLAY
  # The server answers a client before the window manager is started against it.
  e2e_until 30 e2e_display_answers || fail "Xvfb on $DISPLAY does not answer: $(e2e_xvfb_state)"
  openbox --sm-disable >"$E2E_TMP/openbox.log" 2>&1 &
  E2E_OPENBOX=$!
  E2E_PIDS+=("$E2E_OPENBOX")
  # Focus and stacking are what these tests look at: without the window manager they mean nothing.
  e2e_until 30 e2e_wm_owns_screen_or_ended ||
    fail "openbox did not take the screen within 30 s: $(cat "$E2E_TMP/openbox.log"); $(e2e_xvfb_state)"
  e2e_wm_owns_screen || fail "openbox ended: $(cat "$E2E_TMP/openbox.log"); $(e2e_xvfb_state)"
}

e2e_display_answers() { xprop -root >/dev/null 2>&1 || ! kill -0 "$E2E_XVFB" 2>/dev/null; }
e2e_xvfb_state() {
  if kill -0 "$E2E_XVFB" 2>/dev/null; then echo "Xvfb runs on $DISPLAY"; else echo "Xvfb ended: $(cat "$E2E_TMP/xvfb.log")"; fi
}
e2e_wm_owns_screen() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
e2e_wm_owns_screen_or_ended() { e2e_wm_owns_screen || ! kill -0 "$E2E_OPENBOX" 2>/dev/null; }

# A D-Bus session bus of our own, as a desktop session has one. Without it, every Qt program
# start launches dbus-launch to look for one (X11 autolaunch), which costs each start tens of
# milliseconds that a user never pays.
e2e_session_bus() {
  command -v dbus-daemon >/dev/null 2>&1 || { echo "no dbus-daemon: the programs run without a session bus" >&2; return 0; }
  local out
  # A socket in the file system, so that programs in the test bed's network namespaces reach it too.
  out=$(dbus-daemon --session --fork --nopidfile --address="unix:path=$E2E_TMP/bus" --print-address=1 --print-pid=1) ||
    fail "dbus-daemon did not start"
  DBUS_SESSION_BUS_ADDRESS=$(echo "$out" | sed -n 1p)
  export DBUS_SESSION_BUS_ADDRESS
  E2E_PIDS+=("$(echo "$out" | sed -n 2p)")
}

# Starts the program (optionally through a prefix command, e.g. "ip netns exec NS") and waits
# for its window. Sets PELLORA_PID and WID.
e2e_start() {
  local log="$E2E_TMP/pellora.log"
  "$@" "$PELLORA" >"$log" 2>&1 &
  PELLORA_PID=$!
  E2E_PIDS+=("$PELLORA_PID")
  e2e_until 30 e2e_window_or_exit || fail "no window titled Pellora appeared"
  kill -0 "$PELLORA_PID" 2>/dev/null || fail "the program ended before showing its window: $(cat "$log")"
  WID=$E2E_FOUND
  e2e_activate "$WID"
}
e2e_window_or_exit() { e2e_find_window '^Pellora$' || ! kill -0 "$PELLORA_PID" 2>/dev/null; }

# Waits for the program to end and checks its exit status.
e2e_wait_exit() {
  local expected=${1:-0}
  e2e_until 30 e2e_ended || fail "the program did not end"
  local status=0
  wait "$PELLORA_PID" || status=$?
  [ "$status" -eq "$expected" ] || fail "the program ended with status $status, expected $expected: $(cat "$E2E_TMP/pellora.log")"
}

e2e_ended() { ! kill -0 "$PELLORA_PID" 2>/dev/null; }

# Types text into the focused control, as a user would.
e2e_type() { xdotool type --delay 15 -- "$1"; }
e2e_key() { xdotool key --delay 40 "$@"; }

# Clicks at a point of the window's client area (pixels).
e2e_click() {
  xdotool mousemove --window "$WID" "$1" "$2" click 1
}

e2e_screenshot() { import -window root "$1"; }
