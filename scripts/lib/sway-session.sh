#!/usr/bin/env bash
# Runs a command inside a throwaway sway session: its own session bus, a private runtime folder,
# headless sway as the Wayland compositor with XWayland for X11 clients, a virtual keyboard on its
# seat, the accessibility bus and a private sound server. Everything started here ends with the
# session. The command sees WAYLAND_DISPLAY, DISPLAY (XWayland), SWAYSOCK (sway's IPC socket),
# XDG_SESSION_TYPE=wayland and XDG_CURRENT_DESKTOP=sway.
#
# Sway refuses to run as root: run as root, the script runs the session and the command as an
# unprivileged user (SAYLOOM_TEST_USER, default sayloom-test), made when missing. That user must be
# able to read the command and what it uses (a build tree readable by all is).
# Usage: sway-session.sh COMMAND [ARGS...]
set -euo pipefail
self=$(readlink -f "$0")

session="sway session"
. "$(dirname "$self")/compositor-session.sh"
run_as_test_user_when_root "$@"
[ -n "${SAYLOOM_IN_SWAY_SESSION:-}" ] || run_in_private_bus SAYLOOM_IN_SWAY_SESSION "$@"

. "$(dirname "$self")/session-services.sh"
cleanup() {
    end_bus_services
    for pid in ${pulse_pid:-} ${keyboard_pid:-}; do kill "$pid" 2>/dev/null || true; done
    if [ -n "${sway_pid:-}" ]; then
        swaymsg exit >/dev/null 2>&1 || true
        for _ in $(seq 1 100); do
            kill -0 "$sway_pid" 2>/dev/null || break
            sleep 0.05
        done
        kill "$sway_pid" 2>/dev/null || true
    fi
}
trap cleanup EXIT
started=$(date +%s%N)

export GSETTINGS_BACKEND=memory
dbus-update-activation-environment GSETTINGS_BACKEND XDG_RUNTIME_DIR >/dev/null 2>&1 || true

# Sway hands its Wayland display, XWayland's display and its IPC socket to the commands it runs:
# the first one writes them down.
environment_file=$XDG_RUNTIME_DIR/compositor.env
config=$XDG_RUNTIME_DIR/sway.conf
cat >"$config" <<CONFIG
xwayland enable
output HEADLESS-1 resolution 1280x720
exec sh -c 'printf "DISPLAY=%s\nWAYLAND_DISPLAY=%s\nSWAYSOCK=%s\n" "\$DISPLAY" "\$WAYLAND_DISPLAY" "\$SWAYSOCK" >"$environment_file.new" && mv "$environment_file.new" "$environment_file"'
CONFIG
WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
    sway -c "$config" >"$XDG_RUNTIME_DIR/sway.log" 2>&1 &
sway_pid=$!
for _ in $(seq 1 300); do
    [ -s "$environment_file" ] && break
    kill -0 "$sway_pid" 2>/dev/null || break
    sleep 0.05
done
if [ ! -s "$environment_file" ]; then
    tail -n 20 "$XDG_RUNTIME_DIR/sway.log" >&2
    echo "sway session: sway did not start" >&2
    exit 1
fi
while IFS='=' read -r name value; do
    export "$name=$value"
done <"$environment_file"
export XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=sway
dbus-update-activation-environment DISPLAY WAYLAND_DISPLAY SWAYSOCK XDG_SESSION_TYPE \
    XDG_CURRENT_DESKTOP >/dev/null 2>&1 || true
# XWayland starts with its first client, and answers once it is up.
for _ in $(seq 1 200); do
    xdpyinfo >/dev/null 2>&1 && break
    sleep 0.05
done
xdpyinfo >/dev/null 2>&1 || {
    tail -n 20 "$XDG_RUNTIME_DIR/sway.log" >&2
    echo "sway session: XWayland on $DISPLAY does not answer" >&2
    exit 1
}

# A keyboard on the seat for the whole session: without one no window gets the keyboard focus
# and the first key typed is lost. This one only waits (a day at most).
wtype -s 86400000 &
keyboard_pid=$!
for _ in $(seq 1 100); do
    swaymsg -t get_inputs 2>/dev/null | grep -q '"type": "keyboard"' && break
    sleep 0.05
done
swaymsg -t get_inputs 2>/dev/null | grep -q '"type": "keyboard"' || {
    echo "sway session: the seat has no keyboard" >&2
    exit 1
}

start_private_pulseaudio
start_accessibility_bus
[ -n "${SAYLOOM_VERBOSE:-}" ] &&
    echo "sway session: up in $((($(date +%s%N) - started) / 1000000)) ms" \
        "(WAYLAND_DISPLAY=$WAYLAND_DISPLAY DISPLAY=$DISPLAY SWAYSOCK=$SWAYSOCK)" >&2

status=0
"$@" || status=$?
exit $status
