#!/usr/bin/env bash
# Checks the installed program, not the one in the build folder: installs into a
# temporary prefix, then from an unrelated folder renders a still with the
# installed program (which must find the installed data) and compares it with
# the build folder's still of the same moment; checks --help and the manual page.
# With --deb it also builds the Debian package, installs it with apt-get, checks
# the same with `template` from PATH and removes the package again.
#   tools/check-install.sh [--deb] [build-folder]     (default: build/)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
deb=0
build="$root/build"
for arg in "$@"; do
  case "$arg" in
    --deb) deb=1 ;;
    -*) echo "usage: $0 [--deb] [build-folder]" >&2; exit 2 ;;
    *) build="$(realpath -m "$arg")" ;;
  esac
done

"$root/tools/install-deps.sh"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target template template-64

work="$(mktemp -d)"
installed_deb=0
cleanup() {
  if [ "$installed_deb" -eq 1 ]; then
    $sudo apt-get remove -y -qq template >/dev/null || echo "could not remove the template package" >&2
  fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "check-install: $*" >&2; exit 1; }

# The reference: the build folder's program, run from the sources.
(cd "$root" && "$build/template" --still 13 --backend cpu --out "$work/reference.png" >/dev/null)

# Renders the same moment with the given program from a folder holding nothing
# else, so the data can only come from where the program is installed.
same_still() { # program label
  local elsewhere="$work/elsewhere-$2"
  mkdir -p "$elsewhere"
  (cd "$elsewhere" && "$1" --still 13 --backend cpu --out s.png >log.txt 2>&1) ||
    { cat "$elsewhere/log.txt" >&2; fail "$2: the still failed"; }
  cmp "$elsewhere/s.png" "$work/reference.png" || fail "$2: the still differs from the build's"
  echo "$2: still of 13 s equals the build's"
}

prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/template bin/template-64 share/template/data/logo.png share/template/data/track.mp3; do
  [ -e "$prefix/$f" ] || fail "missing after install: $f"
done
[ "$(ls "$prefix/share/template/data" | wc -l)" -eq 9 ] || fail "expected 9 data files"
same_still "$prefix/bin/template" "prefix"
"$prefix/bin/template" --help >"$work/help.txt" || fail "--help failed"
grep -q -- "--still" "$work/help.txt" || fail "--help does not list --still"
"$prefix/bin/template-64" --help >/dev/null || fail "template-64 --help failed"
page="$prefix/share/man/man1/template.1"
[ -f "$page" ] || fail "no manual page installed"
MANWIDTH=80 man -l "$page" >"$work/man.txt" 2>"$work/man-warnings.txt" || fail "man -l failed"
grep -q "^NAME" "$work/man.txt" || fail "the manual page does not render"
[ -s "$work/man-warnings.txt" ] && { cat "$work/man-warnings.txt" >&2; fail "the manual page renders with warnings"; }
echo "prefix: --help and the manual page work"

if [ "$deb" -eq 1 ]; then
  (cd "$build" && cpack -G DEB -B "$work/deb" >"$work/cpack.log") || { cat "$work/cpack.log" >&2; fail "cpack failed"; }
  package=("$work"/deb/template_*_amd64.deb)
  [ -f "${package[0]}" ] || fail "no template_<version>_amd64.deb made"
  depends="$(dpkg-deb -f "${package[0]}" Depends)"
  echo "$(basename "${package[0]}"): Depends: $depends; Recommends: $(dpkg-deb -f "${package[0]}" Recommends)"
  # What dpkg-shlibdeps must have found (OpenGL comes through GLVND: libglx0, libopengl0).
  for lib in libsdl1.2debian libsdl-mixer1.2 libfreeimage3 libglx0 libopengl0 libasound2 libc6; do
    grep -q "\b$lib\b" <<<"$depends" || fail "the package does not depend on $lib"
  done
  if dpkg-query -W -f='${Status}' template 2>/dev/null | grep -q 'install ok installed'; then
    fail "a template package is installed already; remove it first"
  fi
  chmod 755 "$work" "$work/deb"  # apt reads local packages as its own user
  installed_deb=1
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${package[0]}" >"$work/apt.log" 2>&1 ||
    { cat "$work/apt.log" >&2; fail "apt-get install failed"; }
  [ "$(command -v template)" = /usr/bin/template ] || fail "template is not /usr/bin/template on PATH"
  same_still template "deb"
  template --help >/dev/null || fail "deb: --help failed"
fi
echo "check-install: all good"
