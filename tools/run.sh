#!/usr/bin/env bash
# The main job: build the program (only what the show needs), then start the
# show in a window. Without a display there is no window to show it in: the
# show is made as a quick preview video instead. Extra arguments go to the
# program.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/build.sh" template
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ] || [ -n "${SDL_VIDEODRIVER:-}" ]; then
  cd "$root"
  exec "$root/build/template" "$@"
fi
echo "No display here, so no window: making the show as a video instead, show.mp4 in $PWD (a quick preview)."
"$root/build/template" --video show.mp4 --fps 30 --preview --overwrite "$@"
echo "Watch show.mp4 with any video player. For the exact frames (slow on a CPU):"
echo "  $root/build/template --video show.mp4 --fps 30 --overwrite"
