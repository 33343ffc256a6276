# Shared steps of the start and test commands. Sourced, not run.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
JOBS="${JOBS:-$(nproc)}"

PACKAGES="g++ cmake ninja-build pkg-config libenet-dev libmozjs-102-dev liblua5.3-dev libwebsockets-dev \
libcurl4-openssl-dev libssl-dev zlib1g-dev libcrypt-dev libpugixml-dev libgtest-dev libbenchmark-dev \
clang libclang-rt-14-dev python3"

install_deps() {
    local missing=()
    for p in $PACKAGES; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
}

# configure_build <dir> [extra cmake args...]
configure_build() {
    local dir="$1"; shift
    local launcher=()
    command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    cmake -S "$ROOT" -B "$ROOT/$dir" -G Ninja "${launcher[@]}" "$@" >/dev/null
    cmake --build "$ROOT/$dir" -j "$JOBS"
}
