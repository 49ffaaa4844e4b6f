#!/bin/sh
# Runs a command inside the GNOME Wayland test session it was started from, or else inside a new
# one (wayland-session.sh). A second compositor on the session's bus would get none of its names:
# remote desktop keys would go to the first one's windows.
# Usage: within-wayland-session.sh COMMAND [ARGS...]
if [ -n "${SAYLOOM_IN_WAYLAND_SESSION:-}" ] && [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec "$@"
fi
exec "$(dirname "$(readlink -f "$0")")/wayland-session.sh" "$@"
