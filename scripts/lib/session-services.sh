# The services every throwaway test session offers besides its display: a private PulseAudio server
# and the accessibility bus, and the end of what the session bus activated. Sourced by the session scripts, inside the session's bus and with its
# private XDG_RUNTIME_DIR; not run.

# start_private_pulseaudio: a private PulseAudio server whose default microphone is the monitor of
# a null sink named "mic": `paplay -d mic FILE` then speaks into the default microphone. Server and
# clients use only the session's runtime folder (no user configuration, cookie or state, never a
# spawned server); pulse_pid is the server, for the session to end it. Where it cannot start,
# SAYLOOM_PULSEAUDIO_UNAVAILABLE says why and the audio integration tests report themselves
# skipped (or fail, under CI).
start_private_pulseaudio() {
    local pulse_home=$XDG_RUNTIME_DIR/pulse-home
    mkdir -p "$pulse_home"
    printf 'autospawn = no\n' >"$pulse_home/client.conf"
    export PULSE_RUNTIME_PATH=$XDG_RUNTIME_DIR/pulse PULSE_STATE_PATH=$pulse_home \
        PULSE_CONFIG_PATH=$pulse_home PULSE_CLIENTCONFIG=$pulse_home/client.conf \
        PULSE_COOKIE=$pulse_home/cookie PULSE_SERVER=unix:$XDG_RUNTIME_DIR/pulse/native
    unset PULSE_SINK PULSE_SOURCE
    if ! command -v pulseaudio >/dev/null || ! command -v pactl >/dev/null; then
        export SAYLOOM_PULSEAUDIO_UNAVAILABLE="pulseaudio or pactl is not installed"
        return 0
    fi
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
        echo "test session: $SAYLOOM_PULSEAUDIO_UNAVAILABLE" >&2
    fi
}

# start_accessibility_bus: the accessibility bus (text insertion tests), started and waited for so
# that applications started by the tests find it. Desktop settings stay in memory, so that turning
# the bus's IsEnabled status on writes no dconf database outside this session.
start_accessibility_bus() {
    export GSETTINGS_BACKEND=memory
    dbus-update-activation-environment GSETTINGS_BACKEND >/dev/null 2>&1 || true
    dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress \
        >/dev/null 2>&1 || echo "test session: the accessibility bus did not start" >&2
}

# What the bus activated for the session does not all end with the bus (the desktop portal and its
# KDE backend outlive it): ends every process that holds a name on the session bus, but this one.
# For the session's clean-up, before the bus goes.
end_bus_services() {
    local names name pid
    names=$(dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.ListNames 2>/dev/null |
        sed -n 's/^ *string "\([^:][^"]*\)"$/\1/p') || true
    for name in $names; do
        [ "$name" = org.freedesktop.DBus ] && continue
        pid=$(dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
            org.freedesktop.DBus.GetConnectionUnixProcessID "string:$name" 2>/dev/null |
            sed -n 's/^ *uint32 //p') || true
        if [ -n "$pid" ] && [ "$pid" != $$ ]; then kill "$pid" 2>/dev/null || true; fi
    done
}
