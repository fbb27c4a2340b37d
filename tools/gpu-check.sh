#!/usr/bin/env bash
# On a machine with an NVIDIA GPU: build the engine with CUDA and judge the CUDA
# backend against the CPU one (bench/engine_check.cpp): the show's moments at the
# show's size and at sizes that leave partial blocks and runs, a frame of more
# than 2^24 pixels, the light and guide layers, both sample settings, and frames
# of odd sizes under compute-sanitizer's memcheck. A bare machine is enough
# (nvcc, CMake, a C++ compiler).
#
# Usage: tools/gpu-check.sh [build-folder]   (default: build-gpu in the tree)
#        tools/gpu-check.sh --stamp          in a git checkout, before the tree is sent without .git:
#                                            writes .gpu-check-stamp (commit and file sums), which the
#                                            report then names and checks the tree against
# Environment:
#   GPU_CHECK_DESKTOP=ON  also build the desktop where its packages are (default OFF)
#   GPU_CHECK_TESTS=ON    also build and run the tests (default OFF)
#   GPU_CHECK_SECONDS=N   the whole run's budget, build included (default 540); every step's time
#                         limit is cut to what is left, so the report always gets its last line
# Report: summary.txt, and the CPU and CUDA frames (PPM) of the weakest moment; when a step
# failed, also its log and the configure, build and memcheck logs. In $OUT when set, else in
# <build-folder>/gpu-check; at most 8 files. Exit 0 when every check passed.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
stamp="$root/.gpu-check-stamp"

if [ "${1:-}" = --stamp ]; then
  if [ ! -e "$root/.git" ] || ! git -C "$root" rev-parse --verify -q HEAD >/dev/null; then
    echo "gpu-check: --stamp needs a git checkout" >&2
    exit 2
  fi
  {
    echo "commit $(git -C "$root" rev-parse HEAD)"
    if [ -n "$(git -C "$root" status --porcelain --untracked-files=no)" ]; then
      echo "changes: uncommitted"
    else
      echo "changes: none"
    fi
    (cd "$root" && git ls-files -z | xargs -0 sha256sum -- 2>/dev/null)
  } >"$stamp.new" && mv "$stamp.new" "$stamp"
  echo "gpu-check: wrote $stamp; send it with the tree (it is ignored by git: name it in the device's carry)"
  exit 0
fi

build="${1:-$root/build-gpu}"
out="${OUT:-$build/gpu-check}"
logs="$build/gpu-check-logs"  # every log and frame; the report takes what explains a failure
mkdir -p "$out" "$logs" || exit 2
# Nothing of an earlier run may pass for this one's.
rm -rf "$logs/frames"
rm -f "$logs"/*.log "$out/summary.txt" "$out"/*.log "$out"/*.ppm
jobs="$(nproc)"
started=$SECONDS
budget="${GPU_CHECK_SECONDS:-540}"
deadline=$((started + budget))
reserve=10  # kept back for the report
failures=()
problem_logs=()
notes=""

fail() {
  echo "FAILED: $*"
  failures+=("$1")
}
step() { echo; echo "== $* ($((SECONDS - started)) s)"; }

# The tree being checked: git's commit, else the stamp's (and whether the tree still matches it).
describe_tree() {
  local commit changes differ
  if [ -e "$root/.git" ] && commit=$(git -C "$root" rev-parse --short=10 HEAD 2>/dev/null); then
    changes=""
    [ -n "$(git -C "$root" status --porcelain --untracked-files=no 2>/dev/null)" ] && changes=" with uncommitted changes"
    echo "$commit$changes"
  elif [ -r "$stamp" ]; then
    commit=$(sed -n '1s/^commit //p' "$stamp" | cut -c1-10)
    changes=""
    grep -qx "changes: uncommitted" "$stamp" && changes=" with uncommitted changes"
    differ=$(cd "$root" && tail -n +3 "$stamp" | sha256sum -c --quiet 2>/dev/null | wc -l)
    if [ "$differ" -eq 0 ]; then
      echo "$commit$changes (from .gpu-check-stamp; the tree is as stamped)"
    else
      echo "$commit$changes (from .gpu-check-stamp; $differ tracked files differ from it)"
    fi
  else
    echo "an unknown commit (no .git and no .gpu-check-stamp: run tools/gpu-check.sh --stamp before sending the tree)"
  fi
}

# A step's time limit: its own, or what is left of the budget.
time_for() {
  local left=$((deadline - SECONDS - reserve))
  if [ "$left" -lt "$1" ]; then echo "$left"; else echo "$1"; fi
}

# run_step NAME LIMIT COMMAND...: output to $logs/NAME.log; the command's exit code, 124 when
# it ran out of time, 125 when there was no time left to start it.
run_step() {
  local name=$1 limit
  limit=$(time_for "$2")
  shift 2
  if [ "$limit" -lt 5 ]; then
    echo "no time left in the ${budget} s budget" >"$logs/$name.log"
    return 125
  fi
  timeout -k 5 "$limit" "$@" >"$logs/$name.log" 2>&1
  local code=$?
  [ $code -eq 137 ] && code=124
  [ $code -eq 124 ] && echo "(stopped after $limit s)" >>"$logs/$name.log"
  return $code
}

why_code() {
  case $1 in
    124) echo "timed out" ;;
    125) echo "not started: no time left" ;;
    *) echo "exit code $1" ;;
  esac
}

# Copies a file into the report while it holds fewer than 8 (the tail of a log over 15 MiB).
keep() {
  [ -f "$1" ] || return 0
  local name
  name=$(basename "$1")
  [ -e "$out/$name" ] && return 0
  if [ "$(find "$out" -maxdepth 1 -type f | wc -l)" -ge 8 ]; then
    echo "not returned (8 files at most): $name"
    return 0
  fi
  if [ "$(stat -c %s "$1")" -gt $((15 * 1024 * 1024)) ]; then
    tail -c $((15 * 1024 * 1024)) "$1" >"$out/$name"
  else
    cp "$1" "$out/$name"
  fi
}

finish() {
  echo
  if [ ${#failures[@]} -gt 0 ]; then
    for name in "${problem_logs[@]}" configure build memcheck; do keep "$logs/$name.log"; done
  else
    for name in "${problem_logs[@]}"; do keep "$logs/$name.log"; done
  fi
  for frame in "${frames[@]}"; do keep "$frame"; done
  echo "report in $out: $(cd "$out" && ls | tr '\n' ' ')"
  if [ ${#failures[@]} -eq 0 ]; then
    echo "gpu-check: PASSED in $((SECONDS - started)) s$notes"
    exit 0
  fi
  echo "gpu-check: FAILED in $((SECONDS - started)) s: ${failures[*]}$notes"
  exit 1
}

# run_check NAME LIMIT PROGRAM ARGS...: one engine-check run, its table into the report.
run_check() {
  local name=$1 limit=$2
  shift 2
  run_step "$name" "$limit" "$@"
  local code=$?
  grep -v "^sampler size" "$logs/$name.log"
  if [ $code -ne 0 ]; then
    fail "$name" "$(why_code $code)"
    problem_logs+=("$name")
  fi
  return 0
}

frames=()
check() {
  export PATH="$PATH:/usr/local/cuda/bin"
  export CUDACXX="${CUDACXX:-$(command -v nvcc || echo /usr/local/cuda/bin/nvcc)}"
  echo "gpu-check of $(describe_tree) on $(hostname 2>/dev/null || uname -n), $jobs cores, ${budget} s budget"
  nvidia-smi --query-gpu=name,compute_cap,driver_version,memory.total --format=csv,noheader 2>/dev/null ||
    echo "nvidia-smi: not available"
  "$CUDACXX" --version 2>&1 | grep -i "release" || echo "nvcc: not found at $CUDACXX"

  desktop="${GPU_CHECK_DESKTOP:-OFF}"
  tests="${GPU_CHECK_TESTS:-OFF}"
  if [ "$desktop" = ON ]; then
    pkg-config --exists sdl SDL_mixer 2>/dev/null || desktop=OFF
    [ -e /usr/include/FreeImage.h ] || [ -e /usr/local/include/FreeImage.h ] || desktop=OFF
  fi
  step "configure (desktop $desktop, tests $tests)"
  generator=()
  if [ ! -e "$build/CMakeCache.txt" ] && command -v ninja >/dev/null; then generator=(-G Ninja); fi
  run_step configure 120 cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
    -DTEMPLATE_WITH_CUDA=ON -DTEMPLATE_DESKTOP="$desktop" -DTEMPLATE_BUILD_TESTS="$tests" -DTEMPLATE_BUILD_BENCH=ON
  code=$?
  if [ $code -ne 0 ]; then
    tail -30 "$logs/configure.log"
    fail configure "$(why_code $code)"
    finish
  fi
  grep "Template:" "$logs/configure.log"
  if ! grep -q "CUDA backend ON" "$logs/configure.log"; then
    fail configure "no CUDA in this build (is nvcc at $CUDACXX?)"
    finish
  fi
  if [ "$tests" = ON ] && grep -q "GoogleTest not found" "$logs/configure.log"; then
    echo "GoogleTest not found: no tests"
    tests=OFF
  fi

  step "build"
  targets=()
  if [ "$desktop" = OFF ]; then
    targets=(--target engine-check engine-check-64)
    [ "$tests" = ON ] && targets+=(template_engine_tests template_engine_tests-64)
  fi
  run_step build 300 cmake --build "$build" -j"$jobs" "${targets[@]}"
  code=$?
  if [ $code -ne 0 ]; then
    grep -E "error|FAILED" "$logs/build.log" | head -30
    fail build "$(why_code $code)"
    finish
  fi
  echo "built in $((SECONDS - started)) s"

  if [ "$tests" = ON ]; then
    step "tests"
    run_step tests 240 ctest --test-dir "$build" -j"$jobs" --output-on-failure
    code=$?
    grep -E "tests passed|tests failed|\(Failed\)|\(Timeout\)" "$logs/tests.log"
    if [ $code -ne 0 ]; then
      fail tests "$(why_code $code)"
      problem_logs+=(tests)
    fi
  fi

  check="$build/bench/engine-check"
  step "CUDA against CPU, 32 samples per pixel, 640x480 and 641x479, with layers"
  run_check engine-check 120 "$check" --layers --size 640x480,641x479 --cpu-runs 1 --ppm "$logs/frames"
  weakest=$(sed -n 's/^engine-check: weakest frames: //p' "$logs/engine-check.log" | tail -1)
  if [ -n "$weakest" ]; then
    read -r cpu_frame cuda_frame _ <<<"$weakest"
    frames=("$cpu_frame" "$cuda_frame")
  fi

  step "sizes through one driver at 60 s: 4097x4097 (over 2^24 pixels), 160x120, 640x480"
  run_check engine-check-sizes 150 "$check" --moments 60 --size 4097x4097,160x120,640x480 --layers --runs 3 \
    --cpu-runs 0

  step "CUDA against CPU, 64 samples per pixel"
  run_check engine-check-64 120 "$build/bench/engine-check-64" --layers --runs 10 --cpu-runs 1

  step "memcheck of frames at 323x241 and 161x121 with layers"
  sanitizer="$(command -v compute-sanitizer || echo /usr/local/cuda/bin/compute-sanitizer)"
  if [ -x "$sanitizer" ]; then
    run_step memcheck 150 "$sanitizer" --tool memcheck --error-exitcode 9 "$check" --moments 13 \
      --size 323x241,161x121 --layers --runs 1 --cpu-runs 0
    code=$?
    grep -E "^=========|engine-check:" "$logs/memcheck.log" | head -40
    # Only the sanitizer's own count says the memory was wrong; without it, it did not run.
    errors=$(sed -n 's/^========= ERROR SUMMARY: \([0-9]*\) error.*/\1/p' "$logs/memcheck.log" | tail -1)
    if [ -n "$errors" ] && [ "$errors" -gt 0 ]; then
      fail memcheck "$errors errors"
      problem_logs+=(memcheck)
    elif [ -n "$errors" ] && [ $code -eq 0 ]; then
      echo "memcheck: no errors"
    elif [ -n "$errors" ] && [ $code -ne 3 ] && grep -q "^engine-check: FAILED" "$logs/memcheck.log"; then
      fail memcheck "no memory errors, but engine-check failed under the sanitizer"
      problem_logs+=(memcheck)
    else
      echo "memcheck: could not run ($(why_code $code), no error summary or no device under the sanitizer)"
      notes="$notes (memcheck could not run)"
      problem_logs+=(memcheck)
    fi
  else
    echo "compute-sanitizer: not installed, skipped"
    notes="$notes (no compute-sanitizer)"
  fi
  finish
}

# Everything said goes to the console and to the report.
check 2>&1 | tee "$out/summary.txt"
exit "${PIPESTATUS[0]}"
