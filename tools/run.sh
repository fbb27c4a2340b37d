#!/usr/bin/env bash
# The main job: build, then start the show in a window. Without a display it
# runs under a virtual X server. Extra arguments go to the program.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/build.sh"
cd "$root"
if [ -z "${DISPLAY:-}" ] && [ -z "${SDL_VIDEODRIVER:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24 -noreset" "$root/build/template" "$@"
fi
exec "$root/build/template" "$@"
