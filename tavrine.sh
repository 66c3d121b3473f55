#!/usr/bin/env bash
# TAVRINE build, test and demonstration driver.
#
#   ./tavrine.sh test [--fuzz-seconds N] [--no-fuzz]   build everything and run the whole suite
#                                                      (Windows tests under every Wine this machine runs)
#   ./tavrine.sh run                                   run the system on the built-in sample configuration
#   ./tavrine.sh shots                                 screenshots of the client's windows into build/shots
#   ./tavrine.sh build                                 build the trees only
#   ./tavrine.sh ctest 32|64 [ctest args]              ctest on one Windows tree under its Wine
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

BASE_PATH=$PATH

log() { printf '== %s\n' "$*" >&2; }
die() { printf 'tavrine.sh: %s\n' "$*" >&2; exit 1; }

# ---------------------------------------------------------------- set-up
PACKAGES=(cmake ninja-build g++ clang libclang-rt-14-dev ccache python3
          mingw-w64 gcc-mingw-w64-i686-posix g++-mingw-w64-i686-posix binutils-mingw-w64-i686
          gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
          wine wine32:i386 wine64 xvfb googletest libtiff-tools netpbm ghostscript
          libfreetype-dev fonts-dejavu-core fonts-courier-prime tesseract-ocr tesseract-ocr-eng
          efax libtiff-dev libbenchmark-dev xdotool x11-apps x11-utils imagemagick)

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
# Every call configures (cheap on a configured tree), so options given now,
# such as --fuzz-seconds, reach a tree made earlier too.
build_tree() { # name, extra cmake args...
    local name=$1; shift
    local dir=$BUILD/$name
    # shellcheck disable=SC2046
    cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug $(launcher_args) "$@" >/dev/null
    log "building $name"
    cmake --build "$dir" -j "$JOBS"
}

build_native() { build_tree native -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ -DTAVRINE_SANITIZE=ON; }
build_fuzz()   { build_tree fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DTAVRINE_FUZZ=ON \
                    -DTAVRINE_FUZZ_SECONDS="$FUZZ_SECONDS"; }
# The Windows trees: "win" (32-bit, the programs the system ships) and
# "win64" (the same sources as 64-bit programs). Their tests run native
# helpers (the modem line simulator, the fax page decoder) from the native
# tree, and Windows programs through the Wine of their own architecture.
win_tree() { [ "$1" = 32 ] && echo win || echo win64; }
build_win() { # 32|64
    local arch=$1 toolchain
    [ "$arch" = 32 ] && toolchain=mingw-i686 || toolchain=mingw-x86_64
    make_wine_bin "$arch"
    build_tree "$(win_tree "$arch")" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/$toolchain.cmake" -DCMAKE_BUILD_TYPE=Release \
        -DTAVRINE_NATIVE_DIR="$BUILD/native" -DTAVRINE_WINE="$BUILD/wine$arch/bin/wine"
}

# ---------------------------------------------------------------- Wine and X
# Wine comes in two halves: the 32-bit loader runs 32-bit programs, the
# 64-bit one 64-bit programs. Each gets a folder build/wine32 or build/wine64
# with its own prefix and small scripts named wine, wineserver, winepath and
# wineboot that start that half; they go first in PATH while its tests run,
# so that nothing that calls "wine" by name reaches the other half.
wine_loader() { # 32|64: the loader and server programs, "loader server"
    local d
    for d in /usr/lib/wine /usr/lib/x86_64-linux-gnu/wine /usr/lib/i386-linux-gnu/wine; do
        if [ "$1" = 32 ] && [ -x "$d/wine" ] && [ -x "$d/wineserver32" ]; then
            echo "$d/wine $d/wineserver32"; return 0
        fi
        if [ "$1" = 64 ] && [ -x "$d/wine64" ] && [ -x "$d/wineserver64" ]; then
            echo "$d/wine64 $d/wineserver64"; return 0
        fi
    done
    return 1
}

make_wine_bin() { # 32|64
    local arch=$1 bin=$BUILD/wine$1/bin loader server
    read -r loader server <<<"$(wine_loader "$arch" || echo "missing missing")"
    mkdir -p "$bin"
    # A symbolic link would not do: the loader finds its libraries by its own name.
    printf '#!/bin/sh\nWINELOADER=%s\nexport WINELOADER\nexec %s "$@"\n' "$loader" "$loader" >"$bin/wine"
    printf '#!/bin/sh\nexec %s "$@"\n' "$server" >"$bin/wineserver"
    printf '#!/bin/sh\nexec "%s/wine" winepath.exe "$@"\n' "$bin" >"$bin/winepath"
    printf '#!/bin/sh\nexec "%s/wine" wineboot.exe "$@"\n' "$bin" >"$bin/wineboot"
    chmod +x "$bin/wine" "$bin/wineserver" "$bin/winepath" "$bin/wineboot"
}

# Whether this machine executes 32-bit x86 programs at all: some kernels
# cannot, and there 32-bit Wine fails with "Exec format error". The probe is
# a minimal 32-bit Linux program that exits with 42.
can_run_32bit() {
    [ "${TAVRINE_NO_WINE32:-0}" = 1 ] && return 1
    local probe=$BUILD/probe-i386
    mkdir -p "$BUILD"
    # ELF header (52 bytes), one loadable segment (32 bytes), then the code:
    # xor ebx,ebx; mov bl,42; xor eax,eax; inc eax; int 0x80 (exit 42).
    printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'\
'\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00'\
'\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00'\
'\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08'\
'\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00'\
'\x31\xdb\xb3\x2a\x31\xc0\x40\xcd\x80' >"$probe"
    chmod +x "$probe"
    local rc=0
    "$probe" 2>/dev/null || rc=$?
    [ "$rc" = 42 ] && wine_loader 32 >/dev/null
}

XVFB_PID=
WINE_RUNNING=()   # architectures whose persistent wineserver we started
stop_wine() { # 32|64
    local arch=$1
    WINEPREFIX=$BUILD/wine$arch/prefix "$BUILD/wine$arch/bin/wineserver" -k >/dev/null 2>&1 || true
    local a rest=()
    for a in "${WINE_RUNNING[@]}"; do [ "$a" = "$arch" ] || rest+=("$a"); done
    WINE_RUNNING=("${rest[@]}")
}
cleanup() {
    local a
    for a in "${WINE_RUNNING[@]}"; do stop_wine "$a"; done
    if [ -n "$XVFB_PID" ]; then
        kill "$XVFB_PID" >/dev/null 2>&1 || true
        wait "$XVFB_PID" 2>/dev/null || true
        XVFB_PID=
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

start_display() {
    [ -n "$XVFB_PID" ] && return 0
    local n=90
    while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    export DISPLAY=":$n"
    local i
    for i in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && return 0; sleep 0.1; done
    die "Xvfb did not start"
}

# Makes one architecture's Wine the current one: its scripts first in PATH,
# its prefix under build/wine32 or build/wine64, booted once, with a
# persistent wineserver so that ctest does not wait on pipes inherited by
# Wine's services.
start_wine() { # 32|64
    local arch=$1
    make_wine_bin "$arch"
    export PATH="$BUILD/wine$arch/bin:$BASE_PATH"
    export WINEPREFIX=$BUILD/wine$arch/prefix WINEDEBUG=-all
    export TAVRINE_WINE="$BUILD/wine$arch/bin/wine"
    # A prefix made by one architecture cannot serve the other.
    if [ "$arch" = 32 ]; then export WINEARCH=win32; else unset WINEARCH; fi
    # No debugger on a crash: a crashed test fails at once instead of hanging.
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        # A new prefix: boot creates it (the 64-bit boot's complaint about
        # the missing 32-bit rundll32 is harmless), then its server stops.
        log "creating the $arch-bit Wine prefix"
        wineboot -i </dev/null >/dev/null 2>&1 || true
        wineserver -w </dev/null >/dev/null 2>&1 || true
    fi
    # A server already running for this prefix (a run left behind) is taken over.
    wineserver -p </dev/null >/dev/null 2>&1 || true
    WINE_RUNNING+=("$arch")
    wineboot -i </dev/null >/dev/null 2>&1 || true
    [ -f "$WINEPREFIX/system.reg" ] || die "the $arch-bit Wine prefix could not be made"
    # The desktop process, started now with its output to /dev/null: started
    # on demand by the first dialog test it would inherit that test's pipes
    # and hold ctest for the ten seconds it lingers after the last window.
    if [ -n "${DISPLAY:-}" ]; then
        wine explorer.exe /desktop </dev/null >/dev/null 2>&1 &
    fi
}

# The architectures whose Windows tests this machine can run: 64 always,
# 32 where the machine executes 32-bit programs.
wine_arches() {
    local arches=()
    can_run_32bit && arches+=(32)
    wine_loader 64 >/dev/null || die "64-bit Wine is missing (package wine64)"
    arches+=(64)
    echo "${arches[@]}"
}

# ---------------------------------------------------------------- commands
cmd_build() {
    install_missing
    build_native
    build_win 32
    build_win 64
    [ "$RUN_FUZZ" = 1 ] && build_fuzz
    return 0
}

# What the working copy holds: the listing of changed and new files and a
# digest of the changes. The suite must leave it as it found it.
checkout_state() {
    git -C "$ROOT" rev-parse --is-inside-work-tree >/dev/null 2>&1 || { echo none; return 0; }
    { git -C "$ROOT" status --porcelain --untracked-files=all; git -C "$ROOT" diff HEAD; } | sha1sum
}

cmd_test() {
    cmd_build
    local failed=0 ran=() before arch
    before=$(checkout_state)
    log "native tests (ASan/UBSan)"
    ctest --test-dir "$BUILD/native" --output-on-failure -j "$JOBS" || failed=1
    if [ "$RUN_FUZZ" = 1 ]; then
        log "fuzz targets, ${FUZZ_SECONDS}s each"
        ctest --test-dir "$BUILD/fuzz" -L fuzz --output-on-failure -j "$JOBS" || failed=1
    fi
    start_display
    for arch in $(wine_arches); do
        log "Windows tests, $arch-bit programs under $arch-bit Wine"
        start_wine "$arch"
        ctest --test-dir "$BUILD/$(win_tree "$arch")" --output-on-failure -j "$JOBS" || failed=1
        stop_wine "$arch"
        ran+=("$arch-bit")
    done
    cleanup
    can_run_32bit || log "this machine does not execute 32-bit programs: 32-bit Wine was not run"
    local joined; joined=$(printf "%s Wine, " "${ran[@]}"); log "Windows tests ran under: ${joined%, }"
    if [ "$(checkout_state)" != "$before" ]; then
        git -C "$ROOT" status --porcelain --untracked-files=all >&2
        log "the tests changed the checkout (above)"
        failed=1
    fi
    [ "$failed" = 0 ] || die "some tests failed"
    log "all tests passed"
}

cmd_run() {
    RUN_FUZZ=0
    install_missing
    build_native    # the modem line simulator is a native program
    local arch=64
    can_run_32bit && arch=32
    build_win "$arch"
    start_display
    start_wine "$arch"
    log "running the $arch-bit programs under $arch-bit Wine"
    "$ROOT/tests/e2e/sample_run.sh" "$ROOT" "$BUILD" "$BUILD/$(win_tree "$arch")"
}

# PNG screenshots of the client's windows on a sample installation with
# messages in each list: build/shots/*.png, one "shot: <path>" line each.
cmd_shots() {
    RUN_FUZZ=0
    install_missing
    local arch=64
    can_run_32bit && arch=32
    build_win "$arch"
    start_display
    start_wine "$arch"
    local out=$BUILD/shots inst=$BUILD/shots/inst win=$BUILD/$(win_tree "$arch")
    rm -rf "$out"
    mkdir -p "$inst"
    cp -r "$ROOT/tests/e2e/sample/." "$ROOT/tests/e2e/shots/." "$inst/"
    for d in LOG REQUEST SERVER/T-DB SERVER/T-MAIL USERS/JSMITH/T-GRAPH USERS/JSMITH/T-DB; do mkdir -p "$inst/$d"; done
    cp "$win/standins/sysman/SYSMAN.exe" "$inst/SERVER/SYSMAN.EXE"
    cp "$win/standins/queueman/QUEUEMAN.exe" "$inst/SERVER/QUEUEMAN.EXE"
    # Filed documents: a fax page and a letter.
    gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=tiffg3 -r204x196 -g1728x400 \
        -sOutputFile="$inst/USERS/JSMITH/T-GRAPH/Contract.tif" -c showpage >/dev/null
    printf 'Minutes of the meeting\r\n' >"$inst/USERS/JSMITH/T-GRAPH/Minutes.txt"
    ln -sfn "$inst" "$WINEPREFIX/dosdevices/t:"
    log "screenshots with the $arch-bit programs under $arch-bit Wine"
    TFAXINIT='T:\SYSTEM' SHOTS_SERVER_AREA='T:\SERVER\' "$ROOT/tests/e2e/shots.sh" "$ROOT" "$BUILD" "$win" "$out"
}

# ctest on one Windows tree under its own Wine, for a developer's loop:
# ./tavrine.sh ctest 64 -R modem_line --repeat until-fail:3
cmd_ctest() {
    local arch=${1:-}; shift || true
    case $arch in 32|64) ;; *) die "usage: ./tavrine.sh ctest 32|64 [ctest arguments]" ;; esac
    [ -f "$BUILD/$(win_tree "$arch")/CTestTestfile.cmake" ] || die "build the trees first (./tavrine.sh build)"
    start_display
    start_wine "$arch"
    ctest --test-dir "$BUILD/$(win_tree "$arch")" --output-on-failure "$@"
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
    # "store fill 22000 ms=…": the client's message store on 22,000 messages.
    [ -x "$BUILD/native/tools/storebench/storebench" ] || die "storebench was not built"
    "$BUILD/native/tools/storebench/storebench"
}

main() {
    local cmd=${1:-}; shift || true
    if [ "$cmd" = ctest ]; then
        cmd_ctest "$@"
        return
    fi
    while [ $# -gt 0 ]; do
        case $1 in
            --fuzz-seconds)
                [ $# -ge 2 ] || die "--fuzz-seconds needs a number of seconds, e.g. --fuzz-seconds 20"
                case $2 in ''|*[!0-9]*) die "--fuzz-seconds needs a whole number of seconds, not '$2'" ;; esac
                FUZZ_SECONDS=$2; shift 2 ;;
            --no-fuzz) RUN_FUZZ=0; shift ;;
            *) die "unknown option $1" ;;
        esac
    done
    case $cmd in
        test) cmd_test ;;
        run) cmd_run ;;
        shots) cmd_shots ;;
        build) cmd_build ;;
        bench) cmd_bench ;;
        *) die "usage: ./tavrine.sh test|run|shots|build|bench [--fuzz-seconds N] [--no-fuzz], or ctest 32|64 [ctest args]" ;;
    esac
}

main "$@"
