#!/usr/bin/env bash
# How close the live show's picture comes to a converged one, moment by
# moment over the three scenes. For each moment: a converged reference (many
# passes, no title images; cached), then PSNR and SSIM against it (8-bit RGB,
# ffmpeg's psnr and ssim filters) of
#   exact  the full frame as rendered (what a fast GPU shows),
#   old    each frame filtered alone and scaled (--preview --temporal off),
#   new    the live look at a rung, reconstructed over the frames before it
#          (--rung, warmed up over the second before the moment),
# and the new look's milliseconds per frame. Then one figure of stability on a
# stretch of the show: the mean PSNR between successive frames of each look
# (higher is steadier; the exact frames' own noise sets the scale).
# Frames are taken at 30 frames per second, as the live show runs.
#
# Usage: tools/live-quality.sh [--rung S@WxH | --scene-rungs "SPHERES PEDESTAL ROOM"]
#                              [--moments "T1 T2 ..."] [--passes N] [--room-passes N]
#                              [--stretch FROM:TO]
#                              [--cache DIR] [--keep DIR]
#   --rung     the rung to measure (default 1@320x240); `--stats` of the live
#              show, or tools/live-benchmark.sh, tells which one it holds
#   --scene-rungs  a rung for each scene, as the show holds them: the spheres
#              (to 12.01 s), the pedestal (to 95.14 s), the closed room
#   --passes   passes of a reference in the open scenes (default 128)
#   --room-passes  passes of a reference in the closed room (default 512):
#              lit mostly by bounced light, one pass there is several times
#              noisier, and 128 passes leave a grain the smooth live look
#              cannot share (SSIM counts it against every look)
#   --cache    where references are kept (default build/live-quality), one
#              folder per program version and pass count
#   --keep     also keep every measured picture in DIR
# TEMPLATE_BIN names the program (default build/template).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
program="${TEMPLATE_BIN:-$root/build/template}"
rung=1@320x240
scene_rungs=""
moments="4 9 22.5 30 40 50 60 75 88 97 102"
passes=128
room_passes=512
stretch=40:41
cache="$root/build/live-quality"
keep=""
while [ $# -gt 0 ]; do
  case $1 in
    --rung) rung=$2 ;;
    --scene-rungs) scene_rungs=$2 ;;
    --moments) moments=$2 ;;
    --passes) passes=$2 ;;
    --room-passes) room_passes=$2 ;;
    --stretch) stretch=$2 ;;
    --cache) cache=$2 ;;
    --keep) keep=$2 ;;
    -h | --help) sed -n '2,31p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "live-quality: unknown option $1 (see --help)" >&2; exit 2 ;;
  esac
  shift 2
done
if [ -n "$scene_rungs" ]; then
  read -r -a per_scene <<<"$scene_rungs"
  [ "${#per_scene[@]}" -eq 3 ] || { echo "live-quality: --scene-rungs takes three rungs" >&2; exit 2; }
fi
# The scene of moment $1: 0 the spheres, 1 the pedestal, 2 the closed room.
scene_at() {
  awk -v t="$1" 'BEGIN { print t < 12.01 ? 0 : t < 95.14 ? 1 : 2 }'
}
# The passes of moment $1's reference.
passes_at() {
  if [ "$(scene_at "$1")" = 2 ]; then echo "$room_passes"; else echo "$passes"; fi
}
# The rung measured at moment $1.
rung_at() {
  if [ -z "$scene_rungs" ]; then echo "$rung"; return; fi
  echo "${per_scene[$(scene_at "$1")]}"
}
command -v ffmpeg >/dev/null || { echo "live-quality: needs ffmpeg" >&2; exit 2; }
[ -x "$program" ] || { echo "live-quality: no program at $program (build it, or set TEMPLATE_BIN)" >&2; exit 2; }

dt=33.333333333  # the capture clock at 30 frames per second
common=(--no-overlays --dt "$dt" --overwrite)
version=$("$program" --version | tr -c 'A-Za-z0-9.\n' '_' | head -1)
mkdir -p "$cache"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
[ -z "$keep" ] || mkdir -p "$keep"

# "PSNR SSIM" of picture $1 against $2.
measure() {
  local psnr ssim
  psnr=$(ffmpeg -hide_banner -nostats -i "$1" -i "$2" -lavfi "[0:v][1:v]psnr" -f null - 2>&1 |
    sed -n 's/.*average:\([0-9.inf]*\).*/\1/p' | tail -1)
  ssim=$(ffmpeg -hide_banner -nostats -i "$1" -i "$2" -lavfi "[0:v][1:v]ssim" -f null - 2>&1 |
    sed -n 's/.* All:\([0-9.]*\).*/\1/p' | tail -1)
  echo "$psnr $ssim"
}

printf "rung %s; references of %d passes (the closed room %d) in %s\n" "${scene_rungs:-$rung}" "$passes" "$room_passes" \
  "$cache/$version-N"
printf "%-8s  %-15s  %-15s  %-15s  %-9s  %-12s  %s\n" "moment" "exact dB/SSIM" "old dB/SSIM" "new dB/SSIM" "new-old" \
  "new ms/frame" "rung"
for t in $moments; do
  refs="$cache/$version-$(passes_at "$t")"
  mkdir -p "$refs"
  ref="$refs/ref-$t.png"
  if [ ! -s "$ref" ]; then
    "$program" --still "$t" "${common[@]}" --passes "$(passes_at "$t")" --out "$work/ref.png" >/dev/null
    mv "$work/ref.png" "$ref"
  fi
  "$program" --still "$t" "${common[@]}" --out "$work/exact.png" >/dev/null
  "$program" --still "$t" "${common[@]}" --preview --temporal off --out "$work/old.png" >/dev/null
  start=$(date +%s.%N)
  "$program" --still "$t" "${common[@]}" --rung "$(rung_at "$t")" --out "$work/new.png" >/dev/null
  end=$(date +%s.%N)
  # The still renders the second before its moment and the moment: 31 frames
  # (fewer at the show's start), start-up included.
  frames=$(awk -v t="$t" 'BEGIN { n = int(t * 30 + 0.5); print (n < 30 ? n : 30) + 1 }')
  read -r ep es <<<"$(measure "$work/exact.png" "$ref")"
  read -r op os <<<"$(measure "$work/old.png" "$ref")"
  read -r np ns <<<"$(measure "$work/new.png" "$ref")"
  printf "%-8s  %6s / %-6s  %6s / %-6s  %6s / %-6s  %+8.2f  %12.1f  %s\n" "$t s" "$ep" "$es" "$op" "$os" "$np" "$ns" \
    "$(awk -v a="$np" -v b="$op" 'BEGIN { print a - b }')" \
    "$(awk -v a="$start" -v b="$end" -v n="$frames" 'BEGIN { print (b - a) * 1000 / n }')" "$(rung_at "$t")"
  if [ -n "$keep" ]; then
    for look in exact old new; do cp "$work/$look.png" "$keep/$look-$t.png"; done
    cp "$ref" "$keep/ref-$t.png"
  fi
done

# Stability: successive frames of each look over the stretch.
from=${stretch%:*} to=${stretch#*:}
steadiness() {
  local dir=$1 sum=0 n=0 prev="" f p
  for f in "$dir"/frame_*.png; do
    if [ -n "$prev" ]; then
      p=$(measure "$f" "$prev" | cut -d' ' -f1)
      sum=$(awk -v s="$sum" -v p="$p" 'BEGIN { print s + p }')
      n=$((n + 1))
    fi
    prev=$f
  done
  awk -v s="$sum" -v n="$n" 'BEGIN { printf "%.2f", n ? s / n : 0 }'
}
range=(--no-overlays --fps 30 --from "$from" --to "$to" --overwrite)
"$program" --capture "$work/s-exact" "${range[@]}" >/dev/null
"$program" --capture "$work/s-old" "${range[@]}" --preview --temporal off >/dev/null
"$program" --capture "$work/s-new" "${range[@]}" --rung "$(rung_at "$from")" >/dev/null
printf "stability, %s-%s s: mean PSNR between successive frames: exact %s dB, old %s dB, new %s dB\n" "$from" "$to" \
  "$(steadiness "$work/s-exact")" "$(steadiness "$work/s-old")" "$(steadiness "$work/s-new")"
