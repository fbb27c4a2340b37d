#!/usr/bin/env bash
# Runs the program and its tests under the sanitizers (CPU backend only, no CUDA):
#  asan  build-asan/, address and undefined-behaviour sanitizers with leak
#        checking: the test suite less its slowest end-to-end tests and the one
#        that logs in over SSH (the normal suite runs them), one still, and the
#        last second of the live show under Xvfb to its end.
#  tsan  build-tsan/, thread sanitizer, engine only: the CPU backend's, the
#        frame driver's and the reconstruction's (its row threads) tests, and the row pool's.
#   tools/check-sanitizers.sh [asan] [tsan]      (both by default)
# Any report fails the check. Leaks of the libraries we use, not of our code,
# are listed in tools/lsan.supp.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
steps=("$@")
[ ${#steps[@]} -gt 0 ] || steps=(asan tsan)
"$root/tools/install-deps.sh"
jobs="$(nproc)"
# The simd kernel's vector targets are built uninstrumented (see cpu_kernel/sources.cmake):
# instrumented they are too slow for the suite; tests/cpu_kernel checks their lanes instrumented.
common=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1"
        -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g1" -DTEMPLATE_WITH_CUDA=OFF -DTEMPLATE_BUILD_BENCH=OFF
        -DTEMPLATE_SIMD_UNINSTRUMENTED=ON)
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The slowest end-to-end tests (a minute or more each under the sanitizers) and
# the benchmark's, whose timings mean nothing here; the program still runs end
# to end in the faster ones and in the runs below.
left_out='ShowProgram\.(StartingNearTheEnd|WindowShows)|Still\.RendersAPlausible|CaptureProgram\.(PartWrites|Interrupt|GivingUp)'
left_out+='|BatchedFrames\.WholeFrameOfTheClosedRoom|Benchmark\.'
# Many full frames each (passes, large pictures): their code runs under the
# sanitizers in the title-image and still-format tests at small sizes.
left_out+='|GamePicture\.OnePass|PictureSize\.'
# The show under keys and disk audio renders full frames for minutes; the live
# show runs under the sanitizers below, and the controls in ShowControls.
left_out+='|ShowControlsProgram\.'
# Parts started over an SSH login get a fresh environment, without the
# sanitizer settings and preload below; the farm's local runs cover that code.
left_out+='|FarmRun\.GnuParallelOverSsh'
# At the largest windows (16383 wide, 16384 high) on OpenGL, LeakSanitizer's own
# tracer faults when it stops the process at exit; the normal suite opens them.
left_out+='|ShowProgram\.TheLargestWindowsOpen'
# The window tests' OpenGL (llvmpipe's threads) now and then makes that tracer
# fault at exit too, after the test passed: they run apart, without leak checks.
window_tests='^spp32\.Window\.'
left_out+='|Window\.'

asan() {
  local build="$root/build-asan" flags="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined"
  # (g++ 12 misreports uninitialised members inside <regex> when it instruments it.)
  local quiet="-Wno-maybe-uninitialized"
  cmake -S "$root" -B "$build" "${common[@]}" -DCMAKE_CXX_FLAGS="$flags $quiet" -DCMAKE_C_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS="$flags" >/dev/null
  # The 32-sample variant only: the 64-sample one is the same code.
  cmake --build "$build" -j"$jobs" --target template template_tests template_engine_tests
  cc -shared -fPIC -O2 -o "$work/keep_libraries_loaded.so" "$root/tools/sanitizers/keep_libraries_loaded.c"

  export ASAN_OPTIONS=detect_leaks=1:verify_asan_link_order=0
  export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
  export LSAN_OPTIONS="suppressions=$root/tools/lsan.supp:print_suppressions=0"
  export LD_PRELOAD="$work/keep_libraries_loaded.so"
  echo "== asan: tests"
  ctest --test-dir "$build" -R '^spp32\.' -E "$left_out" -j"$jobs" --timeout 900 --output-on-failure
  echo "== asan: window tests, without leak checks"
  ASAN_OPTIONS=detect_leaks=0:verify_asan_link_order=0 \
    ctest --test-dir "$build" -R "$window_tests" -j"$jobs" --timeout 900 --output-on-failure

  echo "== asan: still of 13 s"
  (cd "$root" && timeout 600 "$build/template" --still 13 --backend cpu --out "$work/still.png")
  echo "== asan: live show from 105 s to its end under Xvfb"
  (cd "$root" && SDL_AUDIODRIVER=dummy timeout 600 xvfb-run -a -s "-screen 0 1024x768x24 -noreset" \
    "$build/template" --start 105 --backend cpu) || { echo "the live show did not end cleanly"; return 1; }
  unset LD_PRELOAD
}

tsan() {
  local build="$root/build-tsan" flags="-fsanitize=thread"
  cmake -S "$root" -B "$build" "${common[@]}" -DTEMPLATE_DESKTOP=OFF -DCMAKE_CXX_FLAGS="$flags" \
    -DCMAKE_C_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" >/dev/null
  cmake --build "$build" -j"$jobs" --target template_engine_tests
  echo "== tsan: CPU backend, frame driver and the reconstruction's threads"
  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 "$build/tests/template_engine_tests" \
    --gtest_filter='CpuBackend.*:BackendChoice.*:FrameDriver.*:Reconstruction.*:PreviousPositions.*:RowPool.*'
}

for step in "${steps[@]}"; do
  case "$step" in
    asan) asan ;;
    tsan) tsan ;;
    *) echo "usage: $0 [asan] [tsan]" >&2; exit 2 ;;
  esac
done
echo "check-sanitizers: all good"
