# Shared by the scripts: package sets, installation, configure and build, the Debian package.
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
    # text insertion: the accessibility bus, XTest, XInput 2, X-Resource, XFixes (clipboard
    # changes); CLD2 for the casing
    libatspi2.0-dev libx11-dev libxtst-dev libxi-dev libxres-dev libxfixes-dev libcld2-dev
    # the hotkey from the kernel's input devices: events and capabilities, devices coming and
    # going, and the session's keyboard layout (from the X server, else the XKB defaults)
    libevdev-dev libudev-dev libxkbcommon-dev libxkbcommon-x11-dev
    # paste, typing and the clipboard in sway and KDE: the Wayland client library, wayland-scanner
    # and KDE's protocol definitions
    libwayland-dev plasma-wayland-protocols
)
SAYLOOM_TEST_PACKAGES=(
    libgtest-dev libgmock-dev googletest libbenchmark-dev
    libogg-dev libopusfile-dev vorbis-tools
    # a private sound server with a null sink as the microphone, and paplay/pactl to drive it
    pulseaudio pulseaudio-utils espeak-ng
    xvfb xauth openbox dbus dbus-x11 x11-utils
    # a Secret Service for the keychain tests, and a hand for its unlock prompt
    gnome-keyring libsecret-tools xdotool
    # text insertion: the accessibility bus, a GTK test application, the clipboard from outside,
    # a terminal to type into
    at-spi2-core libgtk-3-dev xclip xterm
    # mock input devices (a fake /sys, /dev/input and udev events) for the evdev key monitor
    umockdev libumockdev-dev
    # a GNOME Wayland session: headless mutter with XWayland, and a keyboard for its seat through
    # mutter's remote desktop interface (PyGObject), and setxkbmap to change XWayland's layout
    mutter xwayland python3-gi x11-xkb-utils
    # a sway session: headless sway with XWayland, wtype's virtual keyboards for its seat, and
    # wl-copy/wl-paste for its clipboard
    sway wtype wl-clipboard
    # a KDE Plasma session: headless KWin with XWayland, and the desktop portal with KDE's backend
    # (a Qt 5 Wayland client)
    kwin-wayland xdg-desktop-portal xdg-desktop-portal-kde qtwayland5
)

# scripts/fuzz: libFuzzer and the sanitizers come with Debian's clang 14.
SAYLOOM_FUZZ_PACKAGES=(clang-14 libclang-rt-14-dev)
# The Debian package: CPack's DEB generator computes the dependencies with dpkg-shlibdeps (dpkg-dev),
# which needs `file`; the checks run lintian and the desktop entry and AppStream validators.
SAYLOOM_PACKAGE_PACKAGES=(dpkg-dev file)
SAYLOOM_PACKAGE_CHECK_PACKAGES=(lintian desktop-file-utils appstream)
# The installation test: a clean Debian root.
SAYLOOM_INSTALL_TEST_PACKAGES=(debootstrap debian-archive-keyring)

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
# Compiles through ccache where it is installed; builds BUILD_TARGET when set, else everything.
configure_and_build() {
    local build_dir=$1
    shift
    local launcher=()
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    log_step "configuring $build_dir"
    quietly cmake -S "$SAYLOOM_ROOT" -B "$build_dir" -G Ninja "${launcher[@]}" "$@"
    log_step "building $build_dir"
    quietly cmake --build "$build_dir" --parallel "$(nproc)" ${BUILD_TARGET:+--target "$BUILD_TARGET"}
}

# debian_build_flags VARIABLE: Debian's hardened flags (CXXFLAGS, CPPFLAGS, LDFLAGS) as its own
# packages are built, less the optimisation and debugging information (set by the build type).
# Asked from the source folder: the flags map it to "." in file names, and must not change (and
# rebuild everything) with the folder a script was started from.
debian_build_flags() {
    (cd "$SAYLOOM_ROOT" && DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1") |
        tr ' ' '\n' | grep -vxE -e '-O2|-g' | paste -sd ' '
}

# set_package_build_options: sets PACKAGE_BUILD_OPTIONS to the configuration the Debian package is
# built with: Debian's hardened flags and -O2, without debugging information (the package is
# stripped, and it makes the compiler a third slower), installed under /usr. The normal test build
# uses it too, so that CI packages what it tested.
set_package_build_options() {
    local cxxflags ldflags
    cxxflags="$(debian_build_flags CXXFLAGS) $(debian_build_flags CPPFLAGS)" || return 1
    ldflags=$(debian_build_flags LDFLAGS) || return 1
    PACKAGE_BUILD_OPTIONS=(-DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG"
        -DCMAKE_INSTALL_PREFIX=/usr
        "-DCMAKE_CXX_FLAGS=$cxxflags" "-DCMAKE_EXE_LINKER_FLAGS=$ldflags")
}

# build_package: builds the Debian package and prints the path of the .deb. In its own build
# folder without tests by default; SAYLOOM_PACKAGE_BUILD_DIR=build packages the normal test build
# instead, which then only needs cpack.
build_package() {
    local build_dir=${SAYLOOM_PACKAGE_BUILD_DIR:-$SAYLOOM_ROOT/build-package}
    local options=()
    [ -z "${SAYLOOM_PACKAGE_BUILD_DIR:-}" ] &&
        options=(-DSAYLOOM_BUILD_TESTS=OFF -DSAYLOOM_BUILD_BENCHMARKS=OFF)
    set_package_build_options || return 1
    configure_and_build "$build_dir" "${PACKAGE_BUILD_OPTIONS[@]}" "${options[@]}" || return 1
    log_step "packaging"
    rm -f "$build_dir"/sayloom_*.deb
    (cd "$build_dir" && quietly cpack -G DEB) || return 1
    local packages=("$build_dir"/sayloom_*.deb)
    [ -f "${packages[0]}" ] || { echo "cpack made no sayloom_*.deb in $build_dir" >&2; return 1; }
    printf '%s\n' "${packages[0]}"
}
