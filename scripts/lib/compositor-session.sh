# Sourced by the scripts that run a command inside a throwaway Wayland session of their own
# (wayland-session.sh, sway-session.sh, kwin-session.sh): leaving root, and the private runtime folder and session
# bus the compositor starts in. The caller sets `session` (its name in messages) and `self` (its
# own path) first.

# The variables of an enclosing session (the X11 test session, another Wayland test session, a
# developer's desktop) must not lead the command to the wrong display, bus, compositor or sound
# server.
forget_enclosing_session() {
    unset DISPLAY XAUTHORITY WAYLAND_DISPLAY SWAYSOCK I3SOCK DBUS_SESSION_BUS_ADDRESS \
        AT_SPI_BUS_ADDRESS XDG_SESSION_TYPE XDG_CURRENT_DESKTOP XDG_SESSION_DESKTOP \
        GSETTINGS_BACKEND SAYLOOM_IN_HEADLESS_SESSION SAYLOOM_IN_WAYLAND_SESSION \
        SAYLOOM_IN_SWAY_SESSION SAYLOOM_IN_KWIN_SESSION SAYLOOM_PULSEAUDIO_UNAVAILABLE \
        SAYLOOM_TEST_KEYRING_PASSWORD
    for name in $(compgen -e); do
        case $name in PULSE_* | WLR_*) unset "$name" ;; esac
    done
}

# Compositors refuse or misbehave as root: run as root, the script runs itself again as an
# unprivileged user (SAYLOOM_TEST_USER, default sayloom-test), made when missing, in a fresh
# environment that keeps only what says how to run and what to report.
run_as_test_user_when_root() {
    [ "$(id -u)" -eq 0 ] || return 0
    local user home name keep=()
    user=${SAYLOOM_TEST_USER:-sayloom-test}
    if ! id "$user" >/dev/null 2>&1; then
        useradd --create-home --user-group --shell /bin/sh "$user" ||
            { echo "$session: cannot create the user $user" >&2; exit 1; }
    fi
    home=$(getent passwd "$user" | cut -d: -f6)
    for name in $(compgen -e); do
        case $name in
            PATH | LANG | LANGUAGE | LC_* | TZ | TERM | CI | TMPDIR | QT_QPA_PLATFORM | GTEST_* | \
                ASAN_OPTIONS | UBSAN_OPTIONS | SAYLOOM_VERBOSE)
                keep+=("$name=${!name}") ;;
        esac
    done
    exec setpriv --reuid="$user" --regid="$user" --init-groups \
        env -i HOME="$home" USER="$user" LOGNAME="$user" "${keep[@]}" "$self" "$@"
}

# Runs the script again inside a private runtime folder and a session bus of its own, with
# `marker` set so that the second run goes on to start the compositor, and exits with the
# command's status. dbus-run-session ends the bus (and what it activated) when the command
# returns.
run_in_private_bus() {
    local marker=$1
    shift
    forget_enclosing_session
    # A folder the user cannot enter (root's own, after the switch) is no place to run in.
    cd . 2>/dev/null || cd /
    if [ $# -gt 0 ] && [[ $1 == */* ]] && [ ! -x "$1" ]; then
        echo "$session: $(id -un) cannot run $1 (make the build tree readable by all)" >&2
        exit 1
    fi
    runtime=$(mktemp -d "/tmp/sayloom-${session%% *}-runtime.XXXXXX")
    chmod 700 "$runtime"
    trap 'rm -rf "$runtime"' EXIT
    export XDG_RUNTIME_DIR=$runtime
    export "$marker=1"
    local status=0
    dbus-run-session -- "$self" "$@" || status=$?
    exit $status
}
