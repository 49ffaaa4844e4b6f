#!/usr/bin/env bash
# Runs a command inside a throwaway GNOME Wayland session: its own session bus, a private runtime
# folder, headless mutter as the Wayland compositor with XWayland for X11 clients, the
# accessibility bus and a private sound server. Everything started here ends with the session.
# The command sees WAYLAND_DISPLAY, DISPLAY (XWayland) with its XAUTHORITY, XDG_SESSION_TYPE=wayland
# and XDG_CURRENT_DESKTOP=GNOME. The session comes up in about half a second on an idle machine
# (a second under load), and ends in another half second.
#
# Compositors refuse or misbehave as root: run as root, the script runs the session and the command
# as an unprivileged user (SAYLOOM_TEST_USER, default sayloom-test), made when missing. That user
# must be able to read the command and what it uses (a build tree readable by all is).
# Usage: wayland-session.sh COMMAND [ARGS...]
set -euo pipefail
self=$(readlink -f "$0")

session="wayland session"
. "$(dirname "$self")/compositor-session.sh"
run_as_test_user_when_root "$@"
[ -n "${SAYLOOM_IN_WAYLAND_SESSION:-}" ] || run_in_private_bus SAYLOOM_IN_WAYLAND_SESSION "$@"

. "$(dirname "$self")/session-services.sh"
cleanup() {
    end_bus_services
    for pid in ${pulse_pid:-} ${keyboard_pid:-} ${holder_pid:-}; do kill "$pid" 2>/dev/null || true; done
    # The compositor ends with its child (the holder) and takes XWayland with it.
    if [ -n "${mutter_pid:-}" ]; then
        for _ in $(seq 1 100); do
            kill -0 "$mutter_pid" 2>/dev/null || break
            sleep 0.05
        done
        kill "$mutter_pid" 2>/dev/null || true
    fi
}
trap cleanup EXIT
started=$(date +%s%N)

# Desktop settings stay in memory for the compositor and everything after it.
export GSETTINGS_BACKEND=memory
dbus-update-activation-environment GSETTINGS_BACKEND XDG_RUNTIME_DIR >/dev/null 2>&1 || true

# mutter starts XWayland on a free display and hands that display (with its authority file) to the
# command it runs. That command is a holder that writes its environment down and then waits: the
# compositor lives as long as the holder does.
environment_file=$XDG_RUNTIME_DIR/compositor.env
mutter --headless --wayland --virtual-monitor 1280x720 --wayland-display=wayland-sayloom \
    -- sh -c 'echo $$ >"$1.pid"
              printf "DISPLAY=%s\nXAUTHORITY=%s\nWAYLAND_DISPLAY=%s\n" \
                  "$DISPLAY" "$XAUTHORITY" "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" >"$1.new"
              mv "$1.new" "$1"
              exec sleep infinity' holder "$environment_file" \
    >"$XDG_RUNTIME_DIR/mutter.log" 2>&1 &
mutter_pid=$!
for _ in $(seq 1 300); do
    [ -s "$environment_file" ] && break
    kill -0 "$mutter_pid" 2>/dev/null || break
    sleep 0.05
done
if [ ! -s "$environment_file" ]; then
    tail -n 20 "$XDG_RUNTIME_DIR/mutter.log" >&2
    echo "wayland session: mutter did not start" >&2
    exit 1
fi
holder_pid=$(cat "$environment_file.pid")
while IFS='=' read -r name value; do
    export "$name=$value"
done <"$environment_file"
export XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=GNOME
dbus-update-activation-environment DISPLAY XAUTHORITY WAYLAND_DISPLAY XDG_SESSION_TYPE \
    XDG_CURRENT_DESKTOP >/dev/null 2>&1 || true
# XWayland answers once it is up.
for _ in $(seq 1 200); do
    xdpyinfo >/dev/null 2>&1 && break
    sleep 0.05
done
xdpyinfo >/dev/null 2>&1 || {
    tail -n 20 "$XDG_RUNTIME_DIR/mutter.log" >&2
    echo "wayland session: XWayland on $DISPLAY does not answer" >&2
    exit 1
}

# A keyboard on the seat: without one no window gets the keyboard focus.
keyboard_file=$XDG_RUNTIME_DIR/keyboard
: >"$keyboard_file"
python3 "$(dirname "$self")/mutter-keyboard.py" >"$keyboard_file" 2>&1 &
keyboard_pid=$!
for _ in $(seq 1 200); do
    grep -qx ready "$keyboard_file" && break
    kill -0 "$keyboard_pid" 2>/dev/null || break
    sleep 0.05
done
grep -qx ready "$keyboard_file" || {
    cat "$keyboard_file" >&2
    echo "wayland session: the seat has no keyboard" >&2
    exit 1
}

start_private_pulseaudio
start_accessibility_bus
[ -n "${SAYLOOM_VERBOSE:-}" ] &&
    echo "wayland session: up in $((($(date +%s%N) - started) / 1000000)) ms" \
        "(WAYLAND_DISPLAY=$WAYLAND_DISPLAY DISPLAY=$DISPLAY)" >&2

status=0
"$@" || status=$?
exit $status
