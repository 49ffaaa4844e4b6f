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

cleanup() {
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

# A private PulseAudio server whose default microphone is the monitor of a null sink named "mic":
# `paplay -d mic FILE` then speaks into the default microphone. Server and clients use only the
# session's runtime folder (no user configuration, cookie or state, never a spawned server), and the
# server ends with the session. Where it cannot start, SAYLOOM_PULSEAUDIO_UNAVAILABLE says why and
# the audio integration tests report themselves skipped (or fail, under CI).
pulse_home=$XDG_RUNTIME_DIR/pulse-home
mkdir -p "$pulse_home"
printf 'autospawn = no\n' >"$pulse_home/client.conf"
export PULSE_RUNTIME_PATH=$XDG_RUNTIME_DIR/pulse PULSE_STATE_PATH=$pulse_home \
    PULSE_CONFIG_PATH=$pulse_home PULSE_CLIENTCONFIG=$pulse_home/client.conf \
    PULSE_COOKIE=$pulse_home/cookie PULSE_SERVER=unix:$XDG_RUNTIME_DIR/pulse/native
unset PULSE_SINK PULSE_SOURCE
if ! command -v pulseaudio >/dev/null || ! command -v pactl >/dev/null; then
    export SAYLOOM_PULSEAUDIO_UNAVAILABLE="pulseaudio or pactl is not installed"
else
    HOME=$pulse_home XDG_CONFIG_HOME=$pulse_home PULSE_CONFIG=/dev/null \
        pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
        -L "module-native-protocol-unix auth-anonymous=1" -L "module-null-sink sink_name=mic" \
        >"$XDG_RUNTIME_DIR/pulseaudio.log" 2>&1 &
    pulse_pid=$!
    for _ in $(seq 1 100); do
        pactl info >/dev/null 2>&1 && break
        kill -0 "$pulse_pid" 2>/dev/null || break
        sleep 0.05
    done
    if pactl set-default-source mic.monitor >/dev/null 2>&1; then
        unset SAYLOOM_PULSEAUDIO_UNAVAILABLE
    else
        export SAYLOOM_PULSEAUDIO_UNAVAILABLE="the PulseAudio server did not start: $(tail -n 3 "$XDG_RUNTIME_DIR/pulseaudio.log" | tr '\n' ' ')"
        echo "headless session: $SAYLOOM_PULSEAUDIO_UNAVAILABLE" >&2
    fi
fi

# Accessibility bus (text insertion tests). Desktop settings stay in memory, so that turning the
# bus's IsEnabled status on writes no dconf database outside this session; the bus is then
# started and waited for, so that applications started by the tests find it.
export GSETTINGS_BACKEND=memory
dbus-update-activation-environment GSETTINGS_BACKEND >/dev/null 2>&1 || true
dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress \
    >/dev/null 2>&1 || echo "headless session: the accessibility bus did not start" >&2

"$@"
