#!/usr/bin/env bash
# Runs a command inside a throwaway desktop: its own session bus, an X server with a window
# manager, private runtime and home folders. Everything started here ends with the bus.
# Usage: headless-session.sh COMMAND [ARGS...]
set -euo pipefail

if [ -z "${SAYLOOM_IN_HEADLESS_SESSION:-}" ]; then
    runtime=$(mktemp -d /tmp/sayloom-test-runtime.XXXXXX)
    chmod 700 "$runtime"
    trap 'rm -rf "$runtime"' EXIT
    export XDG_RUNTIME_DIR=$runtime
    export SAYLOOM_IN_HEADLESS_SESSION=1
    # dbus-run-session ends the bus (and what it activated) when the command returns.
    dbus-run-session -- "$0" "$@"
    exit $?
fi

. "$(dirname "$0")/session-services.sh"
cleanup() {
    end_bus_services
    for pid in ${pulse_pid:-} ${openbox_pid:-} ${xvfb_pid:-}; do kill "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT

# The X server picks a free display and writes its number to fd 3.
display_file=$XDG_RUNTIME_DIR/display
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$display_file" 2>"$XDG_RUNTIME_DIR/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 1 100); do
    [ -s "$display_file" ] && break
    sleep 0.05
done
[ -s "$display_file" ] || { cat "$XDG_RUNTIME_DIR/xvfb.log" >&2; echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$(cat "$display_file")

openbox --sm-disable >"$XDG_RUNTIME_DIR/openbox.log" 2>&1 &
openbox_pid=$!
dbus-update-activation-environment DISPLAY XDG_RUNTIME_DIR >/dev/null 2>&1 || true

# A Secret Service for the keychain tests: GNOME Keyring with a throwaway login keyring, unlocked
# with a fixed password (in its own home, so that no real keyring is touched). It ends with the
# session bus.
if command -v gnome-keyring-daemon >/dev/null; then
    keyring_home=$XDG_RUNTIME_DIR/keyring-home
    mkdir -p "$keyring_home"
    export SAYLOOM_TEST_KEYRING_PASSWORD=sayloom-test
    printf '%s' "$SAYLOOM_TEST_KEYRING_PASSWORD" |
        HOME=$keyring_home XDG_DATA_HOME=$keyring_home/.local/share \
            gnome-keyring-daemon --unlock --components=secrets \
            >"$XDG_RUNTIME_DIR/keyring.env" 2>"$XDG_RUNTIME_DIR/keyring.log" ||
        cat "$XDG_RUNTIME_DIR/keyring.log" >&2
    # Tests start once it owns its bus name (else the bus would start another one).
    for _ in $(seq 1 100); do
        dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
            org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null |
            grep -q true && break
        sleep 0.05
    done
fi

start_private_pulseaudio
start_accessibility_bus

"$@"
