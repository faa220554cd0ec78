#!/usr/bin/env bash
# Set-up, build and test in one place.
#   ./build.sh demo [--windows|--windows64]  build, run the demo against vesprine-monitor --view
#                                while it records, print the lines it decoded and write a PNG of
#                                the picture with --export (no browser needed)
#                                (--windows: 32-bit under Wine, --windows64: 64-bit under wine64)
#   ./build.sh view [--windows|--windows64]  the same, then pictures of the page in Chromium (paused,
#                                with a pixel's history) and the live view kept open for a browser
#   ./build.sh test              install what is missing, build the three targets (Linux, Windows
#                                x86 and x64), run every test (also under ASan/UBSan, TSan and valgrind)
#                                and fuzz the decoder for 60 s, session files and the renderer for 30 s each
#   ./build.sh fuzz [SECONDS]    fuzz the monitor's decoder (default 600 s), session files and the
#                                renderer for half as long each
#   ./build.sh package           release archives of the three targets and their Python wheels, in build/packages
#   ./build.sh soak              1,000,000 mixed messages on Linux and 100,000 under Wine, all checked
#   ./build.sh bench             throughput of the library against the raw transport, each target,
#                                and of the monitor and its live view: rendering, looking back over
#                                1,000,000 messages, exporting, and the page in Chromium
#   ./build.sh setup             only install what is missing
set -euo pipefail
cd "$(dirname "$0")"

# What the Linux monitor, the demo and its picture need; what the page's pictures need; then what
# every test needs.
demo_packages=(cmake ninja-build g++ pkgconf libboost1.81-dev nlohmann-json3-dev libstb-dev libcli11-dev libutfcpp-dev
               zlib1g-dev fonts-dejavu-core fonts-ipafont-gothic iproute2)
view_packages=("${demo_packages[@]}" chromium)
# A Node.js installed from elsewhere carries its own npm, which Debian's npm
# package conflicts with: Debian's are asked for only when either is missing.
command -v node >/dev/null && command -v npm >/dev/null || view_packages+=(nodejs npm)
packages=("${view_packages[@]}" make clang libclang-rt-14-dev llvm valgrind unzip googletest libgtest-dev libbenchmark-dev
          g++-mingw-w64-i686 g++-mingw-w64-x86-64 libz-mingw-w64-dev lld wine wine64 ffmpeg curl
          python3-pytest python3-build python3-wheel python3-venv mono-mcs mono-runtime libmono-i18n-cjk4.0-cil)
# 32-bit Wine comes last, in a step of its own: while the archive's i386
# index is mid-sync its dependencies cannot be resolved, and one install
# naming it would install nothing at all. Without it the 32-bit Windows tests
# are skipped, and wine32_reason says why.
wine32_add="dpkg --add-architecture i386 && apt-get update && apt-get install -y wine32:i386"
wine32_reason=""

missing_packages() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}

# A mirror caught mid-sync fails the update for a while: try again, then
# go on with what was fetched.
update_lists() {
  local attempt
  for attempt in 1 2 3 4 5; do
    apt-get update -q && return 0
    echo "apt-get update failed (attempt $attempt of 5)"
    if [ $attempt -lt 5 ]; then sleep $((attempt * 15)); fi
  done
  return 0
}

# Installs what is missing of the packages named (default: all of them, and
# then 32-bit Wine).
setup() {
  local missing wine32=""
  if [ $# -eq 0 ]; then
    set -- "${packages[@]}"
    wine32=$(missing_packages wine32:i386)
  fi
  mapfile -t missing < <(missing_packages "$@")
  [ ${#missing[@]} -eq 0 ] && [ -z "$wine32" ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    if [ ${#missing[@]} -gt 0 ]; then
      echo "Missing packages. As root, run:"
      echo "  apt-get update && apt-get install -y ${missing[*]}"
      [ -z "$wine32" ] || echo "  $wine32_add"
      exit 1
    fi
    wine32_reason="as root, run: $wine32_add"
    echo "32-bit Wine is missing, so the Windows x86 tests will be skipped; $wine32_reason"
    return 0
  fi
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    update_lists
    install_packages "${missing[@]}" || return 1
  fi
  [ -z "$wine32" ] || install_wine32
}

install_packages() {
  local attempt
  for attempt in 1 2 3; do
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$@" && return 0
    sleep 30
    apt-get update -q || true
  done
  return 1
}

# When 32-bit Wine cannot be installed, one line with apt's reason, and on.
install_wine32() {
  echo "Installing: wine32:i386"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    update_lists
  fi
  local log
  log=$(mktemp)
  if DEBIAN_FRONTEND=noninteractive apt-get install -y -q wine32:i386 >"$log" 2>&1; then
    rm -f "$log"
    return 0
  fi
  # What apt said: the dependency it could not meet, else its first error.
  wine32_reason=$({ grep -m1 ' : Depends: ' "$log" || grep -m1 '^E: ' "$log" || echo "apt-get install failed"; } |
                  sed -E 's/^ +//; s/^E: //')
  rm -f "$log"
  echo "32-bit Wine skipped, so the Windows x86 tests will not run: $wine32_reason"
}

# Configures a preset; a build folder that an earlier version configured for
# Make is configured afresh for Ninja rather than refused by CMake.
configure() {
  local cache=build/$1/CMakeCache.txt
  if [ -f "$cache" ] && ! grep -q '^CMAKE_GENERATOR:INTERNAL=Ninja$' "$cache"; then
    rm -rf "$cache" "build/$1/CMakeFiles"
  fi
  cmake --preset "$@" >/dev/null
}

build() {
  configure "$1" -DVESPRINE_TESTS=ON
  cmake --build --preset "$1" -j "$(nproc)"
}

# Playwright from the committed lock file; the browser is Debian's.
browser_tools() {
  [ -d tests/browser/node_modules/@playwright/test ] && return 0
  if ! command -v npm >/dev/null; then echo "npm is missing: the browser tests will not run"; return 0; fi
  (cd tests/browser && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund >/dev/null)
}

# The Linux tests serve the one fixed socket name; a network namespace of
# their own (with its loopback up, for the live view) keeps them apart from
# any display host running on this machine.
isolated() {
  if unshare -n true 2>/dev/null; then
    unshare -n sh -c 'ip link set lo up 2>/dev/null; exec "$@"' sh "$@"
  else
    "$@"
  fi
}

# Runs the decoder fuzz target for $1 seconds from fresh seeds and the inputs
# kept from earlier findings (fuzz/regressions), then the session reader's for
# half as long, seeded with the committed recordings and cuts of them, then
# the renderer's for half as long, where an input that takes 2 s or 1 GiB is
# a finding (ASan's quarantine kept small, so that the limit measures the
# monitor's own memory).
fuzz() {
  mkdir -p build
  if ! build linux-fuzz >build/linux-fuzz.log 2>&1; then
    echo "== The fuzz targets do not build (build/linux-fuzz.log):"
    tail -n 30 build/linux-fuzz.log
    return 1
  fi
  local corpus=build/linux-fuzz/corpus sessions=build/linux-fuzz/sessions runs=build/linux-fuzz/runs kept=() status=0 file
  mkdir -p "$corpus" "$sessions" "$runs"
  build/linux-fuzz/bin/make_seeds "$corpus" "$runs"
  [ -d fuzz/regressions ] && kept=(fuzz/regressions)
  echo "== Fuzzing the monitor's decoder for $1 s"
  build/linux-fuzz/bin/decode_fuzzer -max_total_time="$1" -max_len=70000 -print_final_stats=1 \
    -artifact_prefix=build/linux-fuzz/ "$corpus" "${kept[@]}" 2>&1 | grep -E '^(stat::|Done|==|SUMMARY)|Test unit written'
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
  for file in tests/expected/demo-*.session; do
    cp "$file" "$sessions/"
    head -c 2000 "$file" >"$sessions/start-$(basename "$file")"
  done
  kept=()
  [ -d fuzz/session-regressions ] && kept=(fuzz/session-regressions)
  echo "== Fuzzing the session reader for $(($1 / 2)) s"
  build/linux-fuzz/bin/session_fuzzer -max_total_time=$(($1 / 2)) -max_len=80000 -print_final_stats=1 \
    -artifact_prefix=build/linux-fuzz/ "$sessions" "${kept[@]}" 2>&1 | grep -E '^(stat::|Done|==|SUMMARY)|Test unit written'
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
  kept=()
  [ -d fuzz/render-regressions ] && kept=(fuzz/render-regressions)
  echo "== Fuzzing the scene and composition for $(($1 / 2)) s"
  ASAN_OPTIONS=quarantine_size_mb=16 build/linux-fuzz/bin/render_fuzzer -max_total_time=$(($1 / 2)) -max_len=32768 \
    -timeout=2 -rss_limit_mb=1024 -print_final_stats=1 -artifact_prefix=build/linux-fuzz/ "$runs" "${kept[@]}" 2>&1 |
    grep -E '^(stat::|Done|==|SUMMARY)|Test unit written|ALARM|out-of-memory'
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
  return $status
}

run_tests() {
  browser_tools
  build linux
  build linux-asan
  build linux-tsan
  build windows-x86
  build windows-x64
  local status=0
  fuzz 60 || status=1
  echo "== Linux tests"
  isolated ctest --preset linux || status=1
  echo "== Linux tests under AddressSanitizer and UndefinedBehaviorSanitizer"
  isolated ctest --preset linux-asan || status=1
  echo "== Linux tests under ThreadSanitizer"
  isolated ctest --preset linux-tsan || status=1
  if [ -n "$(missing_packages wine32:i386)" ]; then
    echo "== Windows x86 tests skipped: 32-bit Wine is not installed (${wine32_reason:-not installed by ./build.sh setup})"
    echo "   the DLL and its tests were built"
  elif /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    echo "== Windows tests (under Wine)"
    ctest --preset windows-x86 || status=1
  else
    echo "== Windows tests skipped: this machine's kernel runs no 32-bit programs (IA-32 emulation is off),"
    echo "   so 32-bit Wine cannot start; the DLL and its tests were built"
  fi
  echo "== Windows x64 tests (under 64-bit Wine)"
  ctest --preset windows-x64 || status=1
  return $status
}

wine_run=(env WINEPREFIX="$PWD/build/windows-x86/wine" WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= DISPLAY= wine)
# Debian's wine script runs its 32-bit loader whenever wine32 is installed: name the 64-bit one.
wine64_run=(env WINEPREFIX="$PWD/build/windows-x64/wine" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
            DISPLAY= WINELOADER=/usr/lib/wine/wine64 /usr/lib/wine/wine64)

# The 1,000,000-message sessions that the view's benchmarks replay, made once
# in the build folder (again when the recording they repeat is newer).
long_sessions() {
  local folder=build/linux/sessions
  if [ ! -f $folder/noise.session ] || [ tests/expected/demo-linux.session -nt $folder/demo-mix.session ]; then
    mkdir -p $folder
    build/linux/bin/make_sessions tests/expected/demo-linux.session $folder >/dev/null
  fi
  sessions=("$PWD/$folder/demo-mix.session" "$PWD/$folder/pixels.session" "$PWD/$folder/noise.session")
}

bench() {
  build linux >/dev/null
  build windows-x86 >/dev/null
  build windows-x64 >/dev/null
  local sessions monitor=build/linux/bin/vesprine-monitor
  long_sessions
  echo "== Building each payload, without the write (Linux)"
  build/linux/bin/build_bench --benchmark_min_time=0.2
  echo "== Throughput, Linux: library against raw send on the socket"
  isolated build/linux/bin/throughput --messages 20000 --rounds 41
  echo "== The host's rate into vesprine-monitor (lines to a file), plain and with --view and a page open (a WebSocket"
  echo "   that reads every frame), against a reader that only drains, and with --record against the plain monitor;"
  echo "   replay speed (Linux)"
  isolated build/linux/bin/monitor_throughput $monitor examples build/linux/monitor-lines.txt --messages 100000 --rounds 9
  echo "== The view's render thread: messages applied a second, how far the page's frames lag the pipe at the host's"
  echo "   full rate, frames while one of 1,000 sprites moves, and what the costliest messages cost (Linux)"
  isolated build/linux/bin/render_rate $monitor examples --rounds 5
  echo "== Looking back over 1,000,000 messages served by --replay --view: /frame, a seek over the WebSocket, /pixel,"
  echo "   and the monitor's memory (Linux)"
  isolated build/linux/bin/look_back $monitor examples "${sessions[@]}"
  echo "== --export (an animated PNG from message 0) and --compare of a session with itself (Linux)"
  build/linux/bin/export_rate $monitor examples build/linux tests/expected/demo-linux.session "${sessions[1]}" --rounds 3
  echo "== The live view in headless Chromium: drawing commands shown, frames while one of 1,000 sprites moves,"
  echo "   and seeking, stepping and scrubbing the 1,000,000-message sessions"
  browser_tools
  MONITOR="$PWD/$monitor" SENDER="$PWD/build/linux/bin/scene_sender" IMAGES="$PWD/examples" SESSIONS="${sessions[*]:0:2}" \
    isolated node tests/browser/page_rate.mjs
  echo "== Throughput, Windows x86 under Wine: library against raw WriteFile on the pipe"
  "${wine_run[@]}" build/windows-x86/bin/throughput.exe --messages 4000 --rounds 21 ||
    echo "   (not run: 32-bit Wine cannot start here)"
  echo "== Throughput, Windows x64 under 64-bit Wine: library against raw WriteFile on the pipe"
  "${wine64_run[@]}" build/windows-x64/bin/throughput.exe --messages 4000 --rounds 21
}

soak() {
  build linux >/dev/null
  build windows-x86 >/dev/null
  build windows-x64 >/dev/null
  echo "== Soak, Linux"
  isolated build/linux/bin/soak --messages 1000000
  echo "== Soak, Windows x86 under Wine"
  "${wine_run[@]}" build/windows-x86/bin/soak.exe --messages 100000 || echo "   (not run: 32-bit Wine cannot start here)"
  echo "== Soak, Windows x64 under 64-bit Wine"
  "${wine64_run[@]}" build/windows-x64/bin/soak.exe --messages 100000
}

# Each target's archive, and its Python wheel beside it and in it: the wheel
# holds the library as the archive does, installed and stripped.
package() {
  mkdir -p build/packages
  local target preset platform library archive
  for target in linux:linux_x86_64:lib/libVesprineDovetide.so windows-x86:win32:bin/VesprineDovetide.dll \
                windows-x64:win_amd64:bin/VesprineDovetide.dll; do
    IFS=: read -r preset platform library <<<"$target"
    build "$preset" >/dev/null
    rm -rf "build/$preset/package-stage" "build/$preset/wheel"
    cmake --install "build/$preset" --prefix "$PWD/build/$preset/package-stage" --strip >/dev/null
    bindings/python/make_wheel.sh "build/$preset/package-stage/$library" "$platform" "build/$preset/wheel" >/dev/null
    cp "build/$preset"/wheel/*.whl build/packages/
    (cd "build/$preset" && cpack -B "$PWD/../packages" >/dev/null)
  done
  rm -rf build/packages/_CPack_Packages
  for archive in build/packages/*.zip build/packages/*.tar.gz build/packages/*.whl; do
    echo "== $archive"
    case $archive in
      *.zip | *.whl) unzip -Z1 "$archive" | grep -v '/$' ;;
      *) tar -tzf "$archive" | grep -v '/$' ;;
    esac
  done
}

# Runs the demo against vesprine-monitor --view, recording it, prints what
# the monitor decoded and writes the picture with --export; with `keep`,
# also pictures of the page in Chromium, and the view stays open until Ctrl-C.
demo() {
  local keep=$1 preset=linux run=() suffix=""
  case "${2:-}" in
    --windows) preset=windows-x86 suffix=.exe run=("${wine_run[@]}") ;;
    --windows64) preset=windows-x64 suffix=.exe run=("${wine64_run[@]}") ;;
  esac
  # Only what the demo needs: no test framework.
  configure "$preset" -DVESPRINE_TESTS=OFF
  cmake --build --preset "$preset" -j "$(nproc)" --target vesprine-monitor demo >/dev/null
  local bin=build/$preset/bin work session=build/demo.vses picture=build/demo.png
  work=$(mktemp -d)
  "${run[@]}" "$bin/vesprine-monitor$suffix" --view --listen 127.0.0.1:${VIEW_PORT:-8765} --images examples \
    --record "$session" >"$work/lines" 2>"$work/summary" </dev/null &
  local monitor=$!
  for _ in $(seq 300); do grep -q "live view at" "$work/summary" && break; sleep 0.1; done
  if ! grep -q "live view at" "$work/summary"; then cat "$work/summary"; kill $monitor 2>/dev/null; exit 1; fi
  local url
  url=$(grep -o 'http://[^ ]*' "$work/summary" | tr -d '\r')
  echo "== The demo host application"
  "${run[@]}" "$bin/demo$suffix" || { kill $monitor 2>/dev/null; exit 1; }
  sleep 0.5
  echo "== What the monitor received"
  tr -d '\r' <"$work/lines"
  "${run[@]}" "$bin/vesprine-monitor$suffix" --replay "$session" --export "$picture" --images examples
  echo "== The picture, from the recording: $PWD/$picture"
  if [ "$keep" = keep ]; then
    browser_tools
    node tests/browser/screenshot.mjs "$url" 63 "$PWD/build/view.png"
    echo "== The live view, as headless Chromium shows it: $PWD/build/view.png"
    node tests/browser/screenshot.mjs "$url" 63 "$PWD/build/timeline.png" --inspect 50 180 142 hero
    echo "== Paused at message 50, pixel 180, 142 and sprite hero chosen: $PWD/build/timeline.png"
    echo "== The live view is open at $url (Ctrl-C ends it)"
    wait $monitor || true
  else
    kill $monitor
    wait $monitor || true
  fi
  tr -d '\r' <"$work/summary"
  rm -rf "$work"
}

case "${1:-test}" in
  setup) setup ;;
  test) setup && run_tests ;;
  demo)
    if [ -n "${2:-}" ]; then setup; else setup "${demo_packages[@]}"; fi
    demo once "${2:-}" ;;
  view)
    if [ -n "${2:-}" ]; then setup; else setup "${view_packages[@]}"; fi
    demo keep "${2:-}" ;;
  bench) setup && bench ;;
  package) setup && package ;;
  soak) setup && soak ;;
  fuzz) setup && fuzz "${2:-600}" ;;
  *) echo "usage: $0 [setup|test|demo [--windows|--windows64]|view [--windows|--windows64]|bench|package|soak|fuzz [SECONDS]]" >&2; exit 2 ;;
esac
