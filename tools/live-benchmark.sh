#!/usr/bin/env bash
# Plays the whole live show (under a virtual X server when there is no
# display, sound to nowhere) with --stats and prints, per scene, the frames per
# second it held and the settings it used. Extra arguments go to the program
# (e.g. --quality exact, --target-fps 60, --backend cpu).
# Usage: tools/live-benchmark.sh [program options...]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
program="${TEMPLATE_BIN:-$root/build/template}"
# STATS_FILE keeps the per-frame lines (otherwise a temporary file).
stats="${STATS_FILE:-$(mktemp)}"
[ -n "${STATS_FILE:-}" ] || trap 'rm -f "$stats"' EXIT
run=("$program" --mute --stats "$stats" "$@")
if [ -z "${DISPLAY:-}" ]; then
  run=(xvfb-run -a -s "-screen 0 1024x768x24" "${run[@]}")
fi
SDL_AUDIODRIVER=dummy "${run[@]}" >/dev/null
# The scenes change at 12.01 s and 95.14 s.
awk '
  function scene(t) { return t < 12.01 ? "spheres (0-12 s)" : t < 95.14 ? "pedestal (12-95 s)" : "closed room (95-106 s)" }
  NF >= 4 {
    s = scene($1)
    if (!(s in first)) { first[s] = $1; order[++scenes] = s }
    last[s] = $1; frames[s]++; ms[s, frames[s]] = $2; rec[s] += $5
    setting[s, $3 "@" $4]++
  }
  END {
    printf "%-24s %7s %9s %8s %11s %10s  %s\n", "scene", "frames", "frames/s", "mean ms", "slowest ms",
           "recons. ms", "rungs used (frames)"
    for (i = 1; i <= scenes; i++) {
      s = order[i]; n = frames[s]; sum = 0; worst = 0
      for (a = 1; a <= n; a++) { sum += ms[s, a]; if (ms[s, a] > worst) worst = ms[s, a] }
      used = ""
      for (k in setting) { split(k, part, SUBSEP); if (part[1] == s) used = used sprintf("%s (%d) ", part[2], setting[k]) }
      printf "%-24s %7d %9.1f %8.1f %11.1f %10.2f  %s\n", s, n, (n - 1) / (last[s] - first[s]), sum / n, worst,
             rec[s] / n, used
    }
  }' "$stats"
