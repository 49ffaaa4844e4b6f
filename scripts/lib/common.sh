# Shared by scripts/run and scripts/test: package sets, installation, configure and build.
# Sourced, not run.

# Debian 12 packages, by purpose.
SAYLOOM_BUILD_PACKAGES=(
    cmake ninja-build g++ pkg-config ca-certificates libssl-dev
    # the manual page, made from `sayloom --help`
    help2man
    # the browser for sign-in, and the registration as the handler of Sayloom's links
    xdg-utils
    qt6-base-dev qt6-svg-dev qcoro-qt6-dev libicu-dev libsystemd-dev
    libopus-dev libsamplerate0-dev
    # the microphone (PulseAudio or PipeWire's Pulse server) and audio files for prepare/record
    libpulse-dev libsndfile1-dev
    # the Secret Service keychain
    libsecret-1-dev
    # text insertion: the accessibility bus, XTest, XInput 2, X-Resource; CLD2 for the casing
    libatspi2.0-dev libx11-dev libxtst-dev libxi-dev libxres-dev libcld2-dev
)
SAYLOOM_TEST_PACKAGES=(
    libgtest-dev libgmock-dev googletest libbenchmark-dev
    libogg-dev libopusfile-dev vorbis-tools
    # a private sound server with a null sink as the microphone, and paplay/pactl to drive it
    pulseaudio pulseaudio-utils espeak-ng
    xvfb xauth openbox dbus dbus-x11 x11-utils
    # a Secret Service for the keychain tests, and a hand for its unlock prompt
    gnome-keyring libsecret-tools xdotool
    # text insertion: the accessibility bus, a GTK test application, the clipboard from outside
    at-spi2-core libgtk-3-dev xclip
)

log_step() { [ -n "${SAYLOOM_VERBOSE:-}" ] && echo "== $*" >&2 || true; }

# Runs a command quietly; on failure shows its output and stops.
quietly() {
    local output
    if ! output=$("$@" 2>&1); then
        printf '%s\n' "$output" >&2
        echo "failed: $*" >&2
        return 1
    fi
}

# Installs the packages that are not there yet (apt-get update only when something is missing).
install_packages() {
    local missing=()
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing packages: ${missing[*]}. Run this script as root (or with sudo)." >&2
        return 1
    fi
    log_step "installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    quietly apt-get update -q
    quietly apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# configure_and_build BUILD_DIR [CMAKE_ARGS...]
configure_and_build() {
    local build_dir=$1
    shift
    log_step "configuring $build_dir"
    quietly cmake -S "$SAYLOOM_ROOT" -B "$build_dir" -G Ninja "$@"
    log_step "building $build_dir"
    quietly cmake --build "$build_dir" --parallel "$(nproc)"
}
