#!/usr/bin/env bash
# The engine without the desktop, as a bare GPU machine builds it: a fresh
# desktop-free configure that must not even look for SDL, SDL_mixer, FreeImage,
# OpenGL or X11; engine-check and the engine tests built, linked to none of
# their libraries, and run (CPU only).
# Usage: tools/check-engine-only.sh   (keeps nothing; KEEP=1 keeps the build folder)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(mktemp -d "${TMPDIR:-/tmp}/engine-only.XXXXXX")"
[ "${KEEP:-0}" = 1 ] || trap 'rm -rf "$build"' EXIT
jobs="$(nproc)"
fail() {
  echo "check-engine-only: FAILED: $*" >&2
  exit 1
}

generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
# The desktop's packages are out of reach: no pkg-config modules, the CMake
# modules that find them disabled. --debug-find logs every search that remains.
echo "== configure in $build"
PKG_CONFIG_LIBDIR=/nonexistent PKG_CONFIG_PATH="" \
  cmake -S "$root" -B "$build" "${generator[@]}" --debug-find -DCMAKE_BUILD_TYPE=Release \
  -DTEMPLATE_DESKTOP=OFF -DTEMPLATE_WITH_CUDA=OFF -DTEMPLATE_BUILD_TESTS=ON -DTEMPLATE_BUILD_BENCH=ON \
  -DCMAKE_DISABLE_FIND_PACKAGE_PkgConfig=ON -DCMAKE_DISABLE_FIND_PACKAGE_OpenGL=ON \
  -DCMAKE_DISABLE_FIND_PACKAGE_X11=ON >"$build/configure.log" 2>&1 ||
  { tail -30 "$build/configure.log"; fail "configure"; }
# (The disabling variables themselves are reported as unused, rightly.)
searched=$(grep -E 'SDL|FreeImage|freeimage|OpenGL|FindX11|PkgConfig|pkg-config|asound' "$build/configure.log" |
  grep -v 'CMAKE_DISABLE_FIND_PACKAGE_' || true)
[ -z "$searched" ] || { echo "$searched" | head -10; fail "the desktop-free configure looked for desktop packages"; }
grep -q "GoogleTest not found" "$build/configure.log" && fail "GoogleTest is needed for the engine tests"
echo "configure searched for none of SDL, SDL_mixer, FreeImage, OpenGL, X11"

echo "== build"
cmake --build "$build" -j"$jobs" --target engine-check template_engine_tests >"$build/build.log" 2>&1 ||
  { grep -E "error|FAILED" "$build/build.log" | head -30; fail "build"; }

for program in "$build/bench/engine-check" "$build/tests/template_engine_tests"; do
  libs=$(ldd "$program") || fail "ldd $program"
  ! echo "$libs" | grep -E 'libSDL|libfreeimage|libGL|libX11' || fail "$(basename "$program") links a desktop library"
done
echo "engine-check and template_engine_tests link none of libSDL, libSDL_mixer, libfreeimage, libGL, libX11"

echo "== engine-check"
"$build/bench/engine-check" --allow-no-gpu --moments 13 || fail "engine-check"

echo "== engine tests"
ctest --test-dir "$build" -j"$jobs" -R '^(spp32|stack)\.' --output-on-failure >"$build/tests.log" 2>&1 ||
  { tail -40 "$build/tests.log"; fail "engine tests"; }
grep -E "tests passed" "$build/tests.log"
echo "check-engine-only: passed"
