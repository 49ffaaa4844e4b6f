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

# The variables of an enclosing session (the X11 test session, a developer's desktop) must not
# lead the command to the wrong display, bus, compositor or sound server.
forget_enclosing_session() {
    unset DISPLAY XAUTHORITY WAYLAND_DISPLAY SWAYSOCK I3SOCK DBUS_SESSION_BUS_ADDRESS \
        AT_SPI_BUS_ADDRESS XDG_SESSION_TYPE XDG_CURRENT_DESKTOP XDG_SESSION_DESKTOP \
        GSETTINGS_BACKEND SAYLOOM_IN_HEADLESS_SESSION SAYLOOM_IN_WAYLAND_SESSION \
        SAYLOOM_PULSEAUDIO_UNAVAILABLE SAYLOOM_TEST_KEYRING_PASSWORD
    for name in $(compgen -e); do
        case $name in PULSE_* | WLR_*) unset "$name" ;; esac
    done
}

if [ "$(id -u)" -eq 0 ]; then
    user=${SAYLOOM_TEST_USER:-sayloom-test}
    if ! id "$user" >/dev/null 2>&1; then
        useradd --create-home --user-group --shell /bin/sh "$user" ||
            { echo "sway session: cannot create the user $user" >&2; exit 1; }
    fi
    home=$(getent passwd "$user" | cut -d: -f6)
    # A fresh environment: only what says how to run and what to report.
    keep=()
    for name in $(compgen -e); do
        case $name in
            PATH | LANG | LANGUAGE | LC_* | TZ | TERM | CI | TMPDIR | QT_QPA_PLATFORM | GTEST_* | \
                ASAN_OPTIONS | UBSAN_OPTIONS | SAYLOOM_VERBOSE)
                keep+=("$name=${!name}") ;;
        esac
    done
    exec setpriv --reuid="$user" --regid="$user" --init-groups \
        env -i HOME="$home" USER="$user" LOGNAME="$user" "${keep[@]}" "$self" "$@"
fi

if [ -z "${SAYLOOM_IN_SWAY_SESSION:-}" ]; then
    forget_enclosing_session
    # A folder the user cannot enter (root's own, after the switch) is no place to run in.
    cd . 2>/dev/null || cd /
    if [ $# -gt 0 ] && [[ $1 == */* ]] && [ ! -x "$1" ]; then
        echo "sway session: $(id -un) cannot run $1 (make the build tree readable by all)" >&2
        exit 1
    fi
    runtime=$(mktemp -d /tmp/sayloom-sway-runtime.XXXXXX)
    chmod 700 "$runtime"
    trap 'rm -rf "$runtime"' EXIT
    export XDG_RUNTIME_DIR=$runtime
    export SAYLOOM_IN_SWAY_SESSION=1
    # dbus-run-session ends the bus (and what it activated) when the command returns.
    status=0
    dbus-run-session -- "$self" "$@" || status=$?
    exit $status
fi

cleanup() {
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

. "$(dirname "$self")/session-services.sh"
start_private_pulseaudio
start_accessibility_bus
[ -n "${SAYLOOM_VERBOSE:-}" ] &&
    echo "sway session: up in $((($(date +%s%N) - started) / 1000000)) ms" \
        "(WAYLAND_DISPLAY=$WAYLAND_DISPLAY DISPLAY=$DISPLAY SWAYSOCK=$SWAYSOCK)" >&2

status=0
"$@" || status=$?
exit $status
