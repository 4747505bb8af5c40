# Shared set-up of run.sh, test.sh and bench.sh: install what is missing, configure, build.
# Sourced, not run.

PARLEWICK_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
PARLEWICK_BUILD="${PARLEWICK_BUILD_DIR:-$PARLEWICK_ROOT/build}"

# Debian 12 packages the build, the tests, the program and the checks need (usbmuxd lets
# Linux see a real iPhone; desktop-file-utils and appstream check the installed files,
# clang-format the code's layout, clang-tidy its faults; build-essential brings dpkg-dev, which cpack uses).
PARLEWICK_PACKAGES=(
    build-essential cmake pkg-config ccache
    qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools
    qt6-svg-dev qt6-webengine-dev qt6-webengine-dev-tools qt6-pdf-dev libqt6opengl6-dev libgl-dev
    qt6-qpa-plugins libqt6svg6
    libsqlite3-dev sqlite3 libplist-dev libssl-dev
    libimobiledevice-dev libimobiledevice-utils libimobiledevice6
    fonts-noto-color-emoji fonts-dejavu-core unicode-data
    xvfb xauth openssl
    usbmuxd desktop-file-utils appstream clang-format clang-tidy
)

# Only scripts/fuzz.sh needs these (libFuzzer comes with clang); the build and ctest do not.
PARLEWICK_FUZZ_PACKAGES=(clang-14 libclang-rt-14-dev)

# Of the packages named (PARLEWICK_PACKAGES when none are), those not installed.
parlewick_missing_packages() {
    local missing=() p packages=("$@")
    [ ${#packages[@]} -eq 0 ] && packages=("${PARLEWICK_PACKAGES[@]}")
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    echo "${missing[@]}"
}

parlewick_install_deps() {
    local missing
    missing="$(parlewick_missing_packages "$@")"
    [ -z "$missing" ] && return 0
    echo "Installing missing packages: $missing"
    local apt=(apt-get install -y --no-install-recommends $missing)
    if [ "$(id -u)" -eq 0 ]; then
        DEBIAN_FRONTEND=noninteractive apt-get update -qq && DEBIAN_FRONTEND=noninteractive "${apt[@]}"
    elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
        sudo DEBIAN_FRONTEND=noninteractive apt-get update -qq && sudo DEBIAN_FRONTEND=noninteractive "${apt[@]}"
    else
        echo "These packages are missing and I cannot install them without root:" >&2
        echo "  sudo apt-get install -y --no-install-recommends $missing" >&2
        exit 1
    fi
}

# Builds everything, or only the targets given.
parlewick_build() {
    local jobs
    jobs="$(nproc 2>/dev/null || echo 2)"
    # CI builds with warnings as errors (PARLEWICK_WERROR=ON); a build folder keeps its choice.
    if [ ! -f "$PARLEWICK_BUILD/CMakeCache.txt" ]; then
        cmake -S "$PARLEWICK_ROOT" -B "$PARLEWICK_BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DPARLEWICK_WERROR="${PARLEWICK_WERROR:-OFF}" || exit 1
    fi
    cmake --build "$PARLEWICK_BUILD" --parallel "$jobs" ${1:+--target "$@"} || exit 1
}
