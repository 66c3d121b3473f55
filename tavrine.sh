#!/usr/bin/env bash
# TAVRINE build, test and demonstration driver.
#
#   ./tavrine.sh test [--fuzz-seconds N] [--no-fuzz]   build everything and run the whole suite
#   ./tavrine.sh run                                   run the system on the built-in sample configuration
#   ./tavrine.sh build                                 build the trees only
#   ./tavrine.sh bench                                 fax codec speed against libtiff's on the ITU charts,
#                                                      text pages against Ghostscript's fax device
#
# Each command installs what is missing on a Debian 12 machine (as root) first.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
BUILD=${TAVRINE_BUILD:-$ROOT/build}
JOBS=${TAVRINE_JOBS:-$(nproc)}
FUZZ_SECONDS=${TAVRINE_FUZZ_SECONDS:-20}
RUN_FUZZ=1

log() { printf '== %s\n' "$*" >&2; }
die() { printf 'tavrine.sh: %s\n' "$*" >&2; exit 1; }

# ---------------------------------------------------------------- set-up
PACKAGES=(cmake ninja-build g++ clang libclang-rt-14-dev ccache python3
          mingw-w64 gcc-mingw-w64-i686-posix g++-mingw-w64-i686-posix binutils-mingw-w64-i686
          wine wine32:i386 xvfb googletest libtiff-tools netpbm ghostscript
          libfreetype-dev fonts-dejavu-core fonts-courier-prime tesseract-ocr tesseract-ocr-eng
          efax libtiff-dev libbenchmark-dev)

install_missing() {
    local missing=() p
    for p in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    [ "$(id -u)" -eq 0 ] || die "missing packages (${missing[*]}); run as root to install them"
    log "installing: ${missing[*]}"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
    fi
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

launcher_args() {
    if command -v ccache >/dev/null; then
        echo "-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
    fi
}

# ---------------------------------------------------------------- builds
build_tree() { # name, extra cmake args...
    local name=$1; shift
    local dir=$BUILD/$name
    if [ ! -f "$dir/build.ninja" ]; then
        # shellcheck disable=SC2046
        cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug $(launcher_args) "$@" >/dev/null
    fi
    log "building $name"
    cmake --build "$dir" -j "$JOBS"
}

build_native() { build_tree native -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ -DTAVRINE_SANITIZE=ON; }
build_fuzz()   { build_tree fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DTAVRINE_FUZZ=ON \
                    -DTAVRINE_FUZZ_SECONDS="$FUZZ_SECONDS"; }
build_win()    { build_tree win -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release; }

# ---------------------------------------------------------------- Wine and X
XVFB_PID=
WINE_STARTED=
cleanup() {
    if [ -n "$WINE_STARTED" ]; then
        wineserver -k >/dev/null 2>&1 || true
        WINE_STARTED=
    fi
    if [ -n "$XVFB_PID" ]; then
        kill "$XVFB_PID" >/dev/null 2>&1 || true
        wait "$XVFB_PID" 2>/dev/null || true
        XVFB_PID=
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

start_display() {
    local n=90
    while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    export DISPLAY=":$n"
    local i
    for i in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && return 0; sleep 0.1; done
    die "Xvfb did not start"
}

# A prefix of our own under the build folder, booted once, with a persistent
# wineserver so that ctest does not wait on pipes inherited by Wine's services.
start_wine() {
    export WINEPREFIX=$BUILD/wineprefix WINEARCH=win32 WINEDEBUG=-all
    # No debugger on a crash: a crashed test fails at once instead of hanging.
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d"
    mkdir -p "$WINEPREFIX"
    # A server already running for this prefix (a run left behind) is taken over.
    wineserver -p </dev/null >/dev/null 2>&1 || true
    WINE_STARTED=1
    wine wineboot -i </dev/null >/dev/null 2>&1
    # The desktop process, started now with its output to /dev/null: started
    # on demand by the first dialog test it would inherit that test's pipes
    # and hold ctest for the ten seconds it lingers after the last window.
    if [ -n "${DISPLAY:-}" ]; then
        wine explorer.exe /desktop </dev/null >/dev/null 2>&1 &
    fi
}

# ---------------------------------------------------------------- commands
cmd_build() {
    install_missing
    build_native
    build_win
    [ "$RUN_FUZZ" = 1 ] && build_fuzz
    return 0
}

cmd_test() {
    cmd_build
    local failed=0
    log "native tests (ASan/UBSan)"
    ctest --test-dir "$BUILD/native" --output-on-failure -j "$JOBS" || failed=1
    if [ "$RUN_FUZZ" = 1 ]; then
        log "fuzz targets, ${FUZZ_SECONDS}s each"
        ctest --test-dir "$BUILD/fuzz" -L fuzz --output-on-failure -j "$JOBS" || failed=1
    fi
    log "Windows tests under Wine"
    start_display
    start_wine
    ctest --test-dir "$BUILD/win" --output-on-failure -j "$JOBS" || failed=1
    cleanup
    [ "$failed" = 0 ] || die "some tests failed"
    log "all tests passed"
}

cmd_run() {
    RUN_FUZZ=0
    install_missing
    build_native    # the modem line simulator is a native program
    build_win
    start_display
    start_wine
    "$ROOT/tests/e2e/sample_run.sh" "$ROOT" "$BUILD"
}

# One line per ITU chart and operation: "itu4 decode ours=0.61ms libtiff=1.75ms ratio=2.87".
cmd_bench() {
    install_missing
    build_native
    local charts=${TAVRINE_ITU_CHARTS:-$ROOT/../shared/testdata/itu-charts}
    [ -x "$BUILD/native/tools/mhbench/mhbench" ] || die "mhbench was not built (Google Benchmark or libtiff headers missing)"
    "$BUILD/native/tools/mhbench/mhbench" "$charts"
    # "text-page fine ours=1.50ms gs=3.50ms ratio=2.3": the converter against Ghostscript's tiffg3.
    [ -x "$BUILD/native/tools/convbench/convbench" ] || die "convbench was not built"
    "$BUILD/native/tools/convbench/convbench"
}

main() {
    local cmd=${1:-}; shift || true
    while [ $# -gt 0 ]; do
        case $1 in
            --fuzz-seconds) FUZZ_SECONDS=$2; shift 2 ;;
            --no-fuzz) RUN_FUZZ=0; shift ;;
            *) die "unknown option $1" ;;
        esac
    done
    case $cmd in
        test) cmd_test ;;
        run) cmd_run ;;
        build) cmd_build ;;
        bench) cmd_bench ;;
        *) die "usage: ./tavrine.sh test|run|build|bench [--fuzz-seconds N] [--no-fuzz]" ;;
    esac
}

main "$@"
