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

# The variables of an enclosing session (the X11 test session, a developer's desktop) must not
# lead the command to the wrong display, bus or sound server.
forget_enclosing_session() {
    unset DISPLAY XAUTHORITY WAYLAND_DISPLAY SWAYSOCK DBUS_SESSION_BUS_ADDRESS AT_SPI_BUS_ADDRESS \
        XDG_SESSION_TYPE XDG_CURRENT_DESKTOP XDG_SESSION_DESKTOP GSETTINGS_BACKEND \
        SAYLOOM_IN_HEADLESS_SESSION SAYLOOM_PULSEAUDIO_UNAVAILABLE SAYLOOM_TEST_KEYRING_PASSWORD
    for name in $(compgen -e); do
        case $name in PULSE_*) unset "$name" ;; esac
    done
}

if [ "$(id -u)" -eq 0 ]; then
    user=${SAYLOOM_TEST_USER:-sayloom-test}
    if ! id "$user" >/dev/null 2>&1; then
        useradd --create-home --user-group --shell /bin/sh "$user" ||
            { echo "wayland session: cannot create the user $user" >&2; exit 1; }
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

if [ -z "${SAYLOOM_IN_WAYLAND_SESSION:-}" ]; then
    forget_enclosing_session
    # A folder the user cannot enter (root's own, after the switch) is no place to run in.
    cd . 2>/dev/null || cd /
    if [ $# -gt 0 ] && [[ $1 == */* ]] && [ ! -x "$1" ]; then
        echo "wayland session: $(id -un) cannot run $1 (make the build tree readable by all)" >&2
        exit 1
    fi
    runtime=$(mktemp -d /tmp/sayloom-wayland-runtime.XXXXXX)
    chmod 700 "$runtime"
    trap 'rm -rf "$runtime"' EXIT
    export XDG_RUNTIME_DIR=$runtime
    export SAYLOOM_IN_WAYLAND_SESSION=1
    # dbus-run-session ends the bus (and what it activated) when the command returns.
    status=0
    dbus-run-session -- "$self" "$@" || status=$?
    exit $status
fi

cleanup() {
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

. "$(dirname "$self")/session-services.sh"
start_private_pulseaudio
start_accessibility_bus
[ -n "${SAYLOOM_VERBOSE:-}" ] &&
    echo "wayland session: up in $((($(date +%s%N) - started) / 1000000)) ms" \
        "(WAYLAND_DISPLAY=$WAYLAND_DISPLAY DISPLAY=$DISPLAY)" >&2

status=0
"$@" || status=$?
exit $status
