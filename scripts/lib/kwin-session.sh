#!/usr/bin/env bash
# Runs a command inside a throwaway KDE Plasma session: its own session bus, a private runtime and
# configuration folder, headless KWin as the Wayland compositor with XWayland for X11 clients,
# the desktop portal with KDE's backend (activated on the bus when first asked), the accessibility
# bus and a private sound server. Everything started here ends with the session. The command sees
# WAYLAND_DISPLAY, DISPLAY (XWayland), XDG_SESSION_TYPE=wayland and XDG_CURRENT_DESKTOP=KDE.
#
# KWin grants its restricted protocols (fake input among them) to every client here
# (KWIN_WAYLAND_NO_PERMISSION_CHECKS), so that tests can press keys through its input pipeline.
# Its global shortcuts, the portal's included, are kept under XDG_CONFIG_HOME, private to the
# session, so that no run inherits what an earlier one bound.
#
# Run as root, the script runs the session and the command as an unprivileged user
# (SAYLOOM_TEST_USER, default sayloom-test), made when missing. That user must be able to read the
# command and what it uses (a build tree readable by all is).
# Usage: kwin-session.sh COMMAND [ARGS...]
set -euo pipefail
self=$(readlink -f "$0")

session="kwin session"
. "$(dirname "$self")/compositor-session.sh"
run_as_test_user_when_root "$@"
[ -n "${SAYLOOM_IN_KWIN_SESSION:-}" ] || run_in_private_bus SAYLOOM_IN_KWIN_SESSION "$@"

. "$(dirname "$self")/session-services.sh"
cleanup() {
    end_bus_services
    for pid in ${pulse_pid:-} ${kwin_pid:-}; do kill "$pid" 2>/dev/null || true; done
    if [ -n "${kwin_pid:-}" ]; then
        for _ in $(seq 1 100); do
            kill -0 "$kwin_pid" 2>/dev/null || break
            sleep 0.05
        done
        kill -9 "$kwin_pid" 2>/dev/null || true
    fi
}
trap cleanup EXIT
started=$(date +%s%N)

export GSETTINGS_BACKEND=memory XDG_CONFIG_HOME=$XDG_RUNTIME_DIR/config
mkdir -p "$XDG_CONFIG_HOME"
export XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=KDE

# The packaged KWin carries a file capability (CAP_SYS_RESOURCE, for its scheduling) that a
# container without it refuses to execute; a copy has none.
kwin_binary=$(command -v kwin_wayland) || {
    echo "kwin session: kwin_wayland (package kwin-wayland) is not installed" >&2
    exit 1
}
cp "$kwin_binary" "$XDG_RUNTIME_DIR/kwin_wayland"

# KWin hands its Wayland display and XWayland's display to the command it runs for the session:
# that one writes them down, then waits (a day at most) for the session to end.
environment_file=$XDG_RUNTIME_DIR/compositor.env
socket=wayland-kwin
(
    unset QT_QPA_PLATFORM
    KWIN_WAYLAND_NO_PERMISSION_CHECKS=1 exec "$XDG_RUNTIME_DIR/kwin_wayland" --virtual \
        --width 1280 --height 720 --socket "$socket" --xwayland --no-lockscreen \
        --exit-with-session "sh -c 'printf \"DISPLAY=%s\\nWAYLAND_DISPLAY=%s\\n\" \"\$DISPLAY\" \"\$WAYLAND_DISPLAY\" >\"$environment_file.new\" && mv \"$environment_file.new\" \"$environment_file\" && exec sleep 86400'"
) >"$XDG_RUNTIME_DIR/kwin.log" 2>&1 &
kwin_pid=$!
for _ in $(seq 1 400); do
    [ -s "$environment_file" ] && break
    kill -0 "$kwin_pid" 2>/dev/null || break
    sleep 0.05
done
if [ ! -s "$environment_file" ]; then
    tail -n 20 "$XDG_RUNTIME_DIR/kwin.log" >&2
    echo "kwin session: kwin did not start" >&2
    exit 1
fi
while IFS='=' read -r name value; do
    export "$name=$value"
done <"$environment_file"
# What the bus activates (the portal and its KDE backend, a Qt 5 client of KWin) runs in this
# session; the backend on Wayland, whatever platform the command's Qt is told to use.
dbus-update-activation-environment DISPLAY WAYLAND_DISPLAY XDG_SESSION_TYPE XDG_CURRENT_DESKTOP \
    XDG_CONFIG_HOME GSETTINGS_BACKEND XDG_RUNTIME_DIR QT_QPA_PLATFORM=wayland >/dev/null 2>&1 ||
    true
for _ in $(seq 1 200); do
    xdpyinfo >/dev/null 2>&1 && break
    sleep 0.05
done
xdpyinfo >/dev/null 2>&1 || {
    tail -n 20 "$XDG_RUNTIME_DIR/kwin.log" >&2
    echo "kwin session: XWayland on $DISPLAY does not answer" >&2
    exit 1
}

start_private_pulseaudio
start_accessibility_bus
[ -n "${SAYLOOM_VERBOSE:-}" ] &&
    echo "kwin session: up in $((($(date +%s%N) - started) / 1000000)) ms" \
        "(WAYLAND_DISPLAY=$WAYLAND_DISPLAY DISPLAY=$DISPLAY)" >&2

status=0
"$@" || status=$?
exit $status
