#!/usr/bin/env bash
# Makes the show's data files: eight overlay images and the music track.
#   tools/make-data.sh [output folder]      (default: data/ next to this script's folder)
# Needs ImageMagick (convert), the DejaVu fonts, sox and lame (tools/install-deps.sh).
#
# The overlays are added onto the rendered picture channel by channel, so every
# image is bright content on pure black: black leaves the picture as it is, and
# anything near white saturates it. Colours therefore stay moderate.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
out="${1:-$here/../data}"
mkdir -p "$out"
out="$(cd "$out" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

fonts=/usr/share/fonts/truetype/dejavu
sansLight="$fonts/DejaVuSans-ExtraLight.ttf"
sans="$fonts/DejaVuSans.ttf"
sansBold="$fonts/DejaVuSans-Bold.ttf"
serif="$fonts/DejaVuSerif.ttf"
serifItalic="$fonts/DejaVuSerif-Italic.ttf"
for f in "$sansLight" "$sans" "$sansBold" "$serif" "$serifItalic"; do
  [ -f "$f" ] || { echo "missing font $f (install fonts-dejavu-core)" >&2; exit 1; }
done
for tool in convert sox lame; do
  command -v "$tool" >/dev/null || { echo "missing tool $tool" >&2; exit 1; }
done

# ---------------------------------------------------------------- images

# Writes an 8-bit RGB PNG without time stamps (so reruns give identical files)
# and with a black frame: the blend has no alpha, so any light on the edge
# would show as a hard rectangle. The brightest parts are held at 85 % so that
# text over a lit scene keeps some of its colour instead of burning out.
finish() { # in out
  convert "$1" +level 0,85% -shave 3x3 -bordercolor black -border 3 -strip \
    -define png:exclude-chunk=date,time,tIME PNG24:"$2"
}

# Text mask: white text on black, centred.
textMask() { # out W H font size kerning text
  convert -size "$2x$3" xc:black -font "$4" -pointsize "$5" -kerning "$6" \
    -fill white -gravity center -annotate +0+0 "$7" "$1"
}

# Text with a vertical colour gradient and a soft glow of its own colour.
glowText() { # mask out top bottom glow blur
  local size
  size=$(convert "$1" -format '%wx%h' info:)
  convert \( -size "$size" gradient:"$3"-"$4" "$1" -compose multiply -composite \) \
    \( "$1" -blur "0x$6" -level 0,45% +level-colors black,"$5" \) \
    -compose screen -composite "$2"
}

# A thin horizontal rule that fades out towards both ends.
rule() { # out W H y colour
  convert -size "$2x$3" xc:black -fill white -draw "line 0,$4 $(($2 - 1)),$4" \
    \( -size "$2x$3" xc:black -fx '(1-abs(2*i/w-1))^1.5' \) -compose multiply -composite \
    +level-colors black,"$5" "$1"
}

# greek: a decorative line of letters between two fading rules (row 40, under 60 px).
textMask "$work/greek-mask.png" 560 56 "$serif" 26 0 "Σ    λ    π    Φ    Ω"
glowText "$work/greek-mask.png" "$work/greek-text.png" "#e8d2a0" "#c09a5a" "#6a5028" 5
rule "$work/greek-rule.png" 560 56 28 "#7a6440"
convert "$work/greek-rule.png" \( -size 560x56 xc:black -fill white \
  -draw "rectangle 170,0 390,55" -blur 0x6 -negate \) -compose multiply -composite \
  "$work/greek-text.png" -compose screen -composite "$work/greek.png"
finish "$work/greek.png" "$out/greek.png"

# title: the name, light and wide (row 100, under 300 px).
textMask "$work/title-mask.png" 620 170 "$sansLight" 96 8 "TEMPLATE"
glowText "$work/title-mask.png" "$work/title-text.png" "#d8eeff" "#5c8ed8" "#24508c" 9
rule "$work/title-rule.png" 620 170 148 "#6c9ad0"
convert "$work/title-text.png" "$work/title-rule.png" -compose screen -composite "$work/title.png"
finish "$work/title.png" "$out/title.png"

# re: a quiet line at the foot of the opening (row 400, under 80 px).
textMask "$work/re-mask.png" 460 48 "$serifItalic" 21 1 "re-imagined in real time"
glowText "$work/re-mask.png" "$work/re.png" "#c8c0dc" "#a096be" "#3c3458" 4
finish "$work/re.png" "$out/re.png"

# realtime (row 100, under 50 px).
textMask "$work/realtime-mask.png" 580 48 "$sansLight" 32 4 "real-time path tracing"
glowText "$work/realtime-mask.png" "$work/realtime.png" "#d4f0f0" "#78b4c8" "#285a6e" 5
finish "$work/realtime.png" "$out/realtime.png"

# quorvaling: the tagline (row 150, under 100 px).
textMask "$work/quorvaling-mask.png" 600 92 "$serifItalic" 24 1 "every pixel, every frame:
light finds its own way"
glowText "$work/quorvaling-mask.png" "$work/quorvaling.png" "#f0dcb4" "#c8a064" "#5a4020" 5
finish "$work/quorvaling.png" "$out/quorvaling.png"

# logo: three shaded spheres on a fading horizon with a small word mark (row 250, under 230 px).
# One lit sphere, drawn at twice the size and shrunk for smooth edges.
convert -size 240x240 xc:black -fx '
  px = 2*i/w - 1; py = 2*j/h - 1; rr = px*px + py*py;
  pz = sqrt(max(0, 1 - rr));
  df = max(0, -0.45*px - 0.55*py + 0.70*pz);
  sp = pow(max(0, -0.40*px - 0.50*py + 0.77*pz), 40);
  rr < 1 ? 0.10 + 0.55*df + 0.35*sp : 0' -resize 50% "$work/sphere.png"
convert "$work/sphere.png" +level-colors black,"#b4d2f0" "$work/sphere-blue.png"
convert "$work/sphere.png" +level-colors black,"#f0c8a0" "$work/sphere-warm.png"
convert -size 380x220 xc:black \
  \( "$work/sphere-blue.png" -resize 120x120 \) -geometry +130+14 -compose screen -composite \
  \( "$work/sphere-warm.png" -resize 64x64 \) -geometry +62+70 -compose screen -composite \
  \( "$work/sphere-warm.png" -resize 44x44 \) -geometry +266+90 -compose screen -composite \
  "$work/logo-balls.png"
# A faint mirror image under the horizon, as if the spheres stood on glass.
convert "$work/logo-balls.png" -crop 380x134+0+0 +repage -flip -crop 380x70+0+0 +repage \
  \( -size 380x70 gradient:"#404040"-black \) -compose multiply -composite \
  "$work/logo-mirror.png"
rule "$work/logo-rule.png" 380 220 134 "#6a8cb4"
textMask "$work/logo-word-mask.png" 380 220 "$sans" 16 12 "template"
convert "$work/logo-word-mask.png" -roll +0+84 "$work/logo-word-mask2.png"
glowText "$work/logo-word-mask2.png" "$work/logo-word.png" "#b4c8e0" "#8ca0c0" "#2c3c58" 3
convert "$work/logo-balls.png" \( "$work/logo-mirror.png" -background black -extent 380x220-0-134 \) \
  -compose screen -composite "$work/logo-rule.png" -compose screen -composite \
  "$work/logo-word.png" -compose screen -composite "$work/logo.png"
finish "$work/logo.png" "$out/logo.png"

# coding: the credits, labels to the left of the centre, names to the right (row 250).
credits() { # out
  local w=460 h=170 gap=14
  convert -size "${w}x$h" xc:black -fill white -kerning 2 \
    -font "$sans" -pointsize 15 -gravity NorthEast \
    -annotate "+$((w / 2 + gap))+38" "CODE" \
    -annotate "+$((w / 2 + gap))+80" "MUSIC" \
    -annotate "+$((w / 2 + gap))+122" "DESIGN" \
    "$work/credit-labels.png"
  convert -size "${w}x$h" xc:black -fill white -kerning 1 \
    -font "$sansBold" -pointsize 24 -gravity NorthWest \
    -annotate "+$((w / 2 + gap))+32" "nyxel" \
    -annotate "+$((w / 2 + gap))+74" "ambrette" \
    -annotate "+$((w / 2 + gap))+116" "kovalt" \
    "$work/credit-names.png"
  glowText "$work/credit-labels.png" "$work/credit-labels-c.png" "#9aa6b8" "#7884a0" "#202838" 3
  glowText "$work/credit-names.png" "$work/credit-names-c.png" "#e6eefa" "#a0bede" "#284678" 6
  convert -size "${w}x$h" xc:black -fill white -draw "line $((w / 2)),34 $((w / 2)),146" \
    -blur 0x0.6 +level-colors black,"#4c5c78" "$work/credit-bar.png"
  convert "$work/credit-labels-c.png" "$work/credit-names-c.png" -compose screen -composite \
    "$work/credit-bar.png" -compose screen -composite "$1"
}
credits "$work/coding.png"
finish "$work/coding.png" "$out/coding.png"

# greets (row 250).
textMask "$work/greets-head-mask.png" 620 200 "$serifItalic" 20 1 "greetings to"
convert "$work/greets-head-mask.png" -roll +0-64 "$work/greets-head-mask2.png"
glowText "$work/greets-head-mask2.png" "$work/greets-head.png" "#e8d2a0" "#c8a064" "#5a4020" 4
convert -size 620x200 xc:black -font "$sans" -pointsize 19 -kerning 1 -fill white \
  -gravity center -interline-spacing 10 -annotate +0+22 \
  "Quillmoth  ·  Parallax Otter  ·  Velvet Octree
Nullpointer Choir  ·  Moss & Quartz  ·  Bitwise Orchard
the Sunday Raytracers  ·  Lumen Rats  ·  Kettle Logic" "$work/greets-mask.png"
glowText "$work/greets-mask.png" "$work/greets-names.png" "#dceaf8" "#94b4d8" "#243c64" 5
convert "$work/greets-head.png" "$work/greets-names.png" -compose screen -composite "$work/greets.png"
finish "$work/greets.png" "$out/greets.png"

# ---------------------------------------------------------------- music
#
# A through-composed piece in A minor, 56 bars at 120 beats per minute (112 s),
# written against the show's clock: a bar lasts 2 s, so bar b starts at 2b
# seconds. The score below says bar by bar which chord sounds and how each part
# plays it; its comments say what happens on screen at that moment.
#
# Every part is built on a grid of sixteenth notes of 5512 or 5513 samples (two
# make an eighth of exactly 11025), so every bar is exactly 88200 samples and
# the parts never drift apart or away from the picture.
#
# The show fades the music out from 96 s and ends at 106 s, so the piece winds
# down and resolves there rather than starting anything new; its last four bars
# are its first four again. Where the track plays on past its end (a paused
# show, for one) the mixer loops it, and the end flows back into the start:
#  - the parts are rendered round the circle: the last two bars are put in front
#    of the first before the echoes and the reverb and cut off afterwards, so the
#    start carries the end's echoes exactly as a loop plays them;
#  - an MP3 decoder that ignores the encoder's gapless information (the one this
#    demo plays through does) adds silence each time the file repeats: the
#    encoder's start-up delay and the padding of the last frame. Encoder options
#    cannot remove that delay, so the join is made to tolerate it: the track is
#    cut to whole MP3 frames of 1152 samples, so delay and padding together come
#    to one frame (about 26 ms); lame -t leaves out the info frame, which such a
#    decoder would play as one more frame of silence; and the join falls on a
#    quiet bar line where the pad is between two chords, with a few milliseconds
#    of fade at both ends so that the gap cannot click.

rate=44100
bar=88200       # samples in a bar of four beats
bars=56
m="$work/music"
mkdir -p "$m"
shopt -s inherit_errexit  # notes are made inside $(...): stop on errors there too
die() { echo "make-data: $*" >&2; exit 1; }
# sox, repeatable (-R), stopping the script where any step clips: every stage
# below leaves headroom, so a clipped sample means a level is wrong.
sx() {
  local said
  said=$(sox -R -V2 "$@" 2>&1) || { echo "$said" >&2; exit 1; }
  [[ "$said" != *clipped* ]] || die "sox $*: $said"
}

# Where sixteenth step i of a bar (0 to 16) starts, in samples.
step_at() { echo $(($1 * bar / 16)); }

# Semitones from A4 for a note name such as A1, C5 or G#3.
semi() {
  local letter=${1:0:1} rest=${1:1} base acc=0
  case "$letter" in
    C) base=-9 ;; D) base=-7 ;; E) base=-5 ;; F) base=-4 ;; G) base=-2 ;; A) base=0 ;; B) base=2 ;;
    *) die "unknown note $1" ;;
  esac
  case "$rest" in '#'*) acc=1 rest=${rest:1} ;; b*) acc=-1 rest=${rest:1} ;; esac
  [[ "$rest" =~ ^[0-9]$ ]] || die "unknown note $1"
  echo $((base + acc + 12 * (rest - 4)))
}

# Silence of the given length; prints its file. Most of the score repeats, so
# notes, hits and rests are made once and reused.
rest_file() { # samples
  local f="$m/rest-$1.wav"
  [ -f "$f" ] || sx -r $rate -c 1 -n "$f" trim 0 "$1s"
  echo "$f"
}

# One note of a voice, exactly the given length with its release inside it;
# prints its file.
note() { # voice name samples
  local f="$m/note-$1-${2/\#/s}-$3.wav" n len=$3
  if [ ! -f "$f" ]; then
    n=$(semi "$2")
    case "$1" in
      bass)  sx -r $rate -c 2 -n "$f" synth "${len}s" sawtooth "%$n" sine "%$n" \
               remix 1v0.3,2v0.45 lowpass 420 fade q 200s -0 4000s ;;
      drone) sx -r $rate -c 2 -n "$f" synth "${len}s" sawtooth "%$n" sine "%$n" \
               remix 1v0.1,2v0.25 lowpass 260 fade q 9000s -0 22000s ;;
      pluck) sx -r $rate -c 1 -n "$f" synth "${len}s" pluck "%$n" vol 0.5 fade q 30s -0 "$((len / 2))s" ;;
      # A plucked attack over a soft triangle that carries the longer notes.
      lead)  sx -r $rate -c 2 -n "$f" synth "${len}s" pluck "%$n" triangle "%$n" \
               remix 1v0.5,2v0.14 lowpass 3200 fade q 60s -0 "$((len / 2))s" ;;
      *) die "unknown voice $1" ;;
    esac
  fi
  echo "$f"
}

# A monophonic line from "note:eighths" and "r:eighths" tokens.
line() { # voice out tokens...
  local voice=$1 dst=$2 parts=() tok len
  shift 2
  for tok in "$@"; do
    len=$((${tok##*:} * bar / 8))
    if [ "${tok%%:*}" = r ]; then parts+=("$(rest_file "$len")"); else parts+=("$(note "$voice" "${tok%%:*}" "$len")"); fi
  done
  sx "${parts[@]}" "$dst"
}

# A drum hit of the given length: it rings for its own length at most, then
# silence; prints its file. Kinds: kick, snare, ghost (a quiet snare), hat, open (hat).
hit() { # kind samples
  local f="$m/hit-$1-$2.wav" n sound
  if [ ! -f "$f" ]; then
    case "$1" in
      kick)  n=7000 sound=(sine 110:38 vol 0.6) ;;
      snare) n=6000 sound=(noise vol 0.3 sinc 300-6000) ;;
      ghost) n=4000 sound=(noise vol 0.1 sinc 300-6000) ;;
      hat)   n=1800 sound=(noise vol 0.35 highpass 7000) ;;
      open)  n=7000 sound=(noise vol 0.22 highpass 6000) ;;
      *) die "unknown drum $1" ;;
    esac
    [ "$n" -le "$2" ] || n=$2
    sx -r $rate -c 1 -n "$f" synth "${n}s" "${sound[@]}" fade q 20s -0 "$((n - 20))s" pad 0 "$(($2 - n))s"
  fi
  echo "$f"
}

# One drum over a bar from 16 steps, x a hit and . nothing; a hit rings on into
# the steps after it, so a pattern only says where hits start.
lane() { # kind out pattern
  local kind=$1 dst=$2 pat=$3 parts=() i=0 j len
  [ ${#pat} -eq 16 ] || die "drum pattern $pat is not 16 steps"
  while [ $i -lt 16 ]; do
    j=$((i + 1))
    while [ $j -lt 16 ] && [ "${pat:j:1}" = . ]; do j=$((j + 1)); done
    len=$(($(step_at $j) - $(step_at $i)))
    if [ "${pat:i:1}" = . ]; then parts+=("$(rest_file "$len")"); else parts+=("$(hit "$kind" "$len")"); fi
    i=$j
  done
  sx "${parts[@]}" "$dst"
}

# The chords of the score: the pad's four voices, the arpeggio's five notes and
# the bass's root, fifth and octave.
chord_tones() { # name
  case "$1" in
    Am) pad=(A3 C4 E4 A4)   arp=(A4 C5 E5 A5 C6)    bass=(A1 E2 A2) ;;
    F)  pad=(F3 A3 C4 F4)   arp=(F4 A4 C5 F5 A5)    bass=(F2 C3 F3) ;;
    C)  pad=(G3 C4 E4 G4)   arp=(G4 C5 E5 G5 C6)    bass=(C2 G2 C3) ;;
    G)  pad=(G3 B3 D4 G4)   arp=(G4 B4 D5 G5 B5)    bass=(G2 D3 G3) ;;
    Dm) pad=(F3 A3 D4 F4)   arp=(F4 A4 D5 F5 A5)    bass=(D2 A2 D3) ;;
    E)  pad=(G#3 B3 E4 G#4) arp=(E4 G#4 B4 E5 G#5)  bass=(E2 B2 E3) ;;
    *) die "unknown chord $1" ;;
  esac
}

# ---- the parts, one bar at a time, by style

# Pad: four triangle voices per chord, swelling in and fading before the next
# bar; the styles open the filter step by step.
pad_bar() { # out chord style
  local voices=() n s tone
  chord_tones "$2"
  for n in "${pad[@]}"; do s=$(semi "$n"); voices+=(triangle "%$s"); done
  case "$3" in
    soft)   tone=(lowpass 900 vol 0.3) ;;
    warm)   tone=(lowpass 1800 vol 0.55) ;;
    bright) tone=(lowpass 3200 vol 0.7) ;;
    *) die "unknown pad style $3" ;;
  esac
  sx -r $rate -c 4 -n "$1" synth "${bar}s" "${voices[@]}" remix 1v0.22,2v0.22,3v0.22,4v0.22 fade q 14000s -0 30000s "${tone[@]}"
}

# Arpeggio: sixteenths up and down the chord, from far away (dark, quiet) to full.
arp_bar() { # out chord style
  local order=(0 1 2 3 4 3 2 1 0 1 2 3 4 3 2 1) parts=() i tone
  chord_tones "$2"
  for i in "${!order[@]}"; do
    parts+=("$(note pluck "${arp[${order[i]}]}" $(($(step_at $((i + 1))) - $(step_at "$i"))))")
  done
  case "$3" in
    far)  tone=(lowpass 900 vol 0.5) ;;
    near) tone=(lowpass 2000 vol 0.75) ;;
    full) tone=(lowpass 5000 vol 0.85) ;;
    *) die "unknown arpeggio style $3" ;;
  esac
  sx "${parts[@]}" "$1" "${tone[@]}"
}

# Bass: a held root (drone), roots on the half bar (half) or the eighth-note groove.
bass_bar() { # out chord style
  chord_tones "$2"
  local r=${bass[0]} f=${bass[1]} o=${bass[2]}
  case "$3" in
    drone)  line drone "$1" "$r:8" ;;
    half)   line bass "$1" "$r:3" "$r:1" "$f:2" "$o:2" ;;
    groove) line bass "$1" "$r:2" "$r:1" "$o:1" "$r:1" "$f:1" "$o:1" "$f:1" ;;
    *) die "unknown bass style $3" ;;
  esac
}

# Drums, sixteen steps a bar: kick, snare, ghost snare, closed and open hat.
drums_bar() { # out chord style
  local k s g h o
  case "$3" in
    hats)  k=................ s=................ g=................ h=x.x.x.x.x.x.x.x. o=................ ;;
    pulse) k=x...x...x...x... s=................ g=................ h=..x...x...x...x. o=................ ;;
    half)  k=x.........x..... s=........x....... g=................ h=x...x...x...x... o=................ ;;
    beat)  k=x.....x.x.....x. s=....x.......x... g=................ h=x.x.x.x.x.x.x.x. o=................ ;;
    beat2) k=x.....x.x.x..... s=....x.......x... g=.......x......x. h=x...x...x...x... o=..x...x...x...x. ;;
    fill)  k=x.....x.x....... s=....x.......x.xx g=..........x.x... h=x.x.x.x.x....... o=................ ;;
    roll)  k=x...x...x...x... s=x...x...x.x.xxxx g=..x...x......... h=................ o=................ ;;
    stop)  k=x............... s=x............... g=................ h=................ o=................ ;;
    *) die "unknown drum style $3" ;;
  esac
  lane kick "$m/lane-k.wav" "$k"
  lane snare "$m/lane-s.wav" "$s"
  lane ghost "$m/lane-g.wav" "$g"
  lane hat "$m/lane-h.wav" "$h"
  lane open "$m/lane-o.wav" "$o"
  sx -m -v 1 "$m/lane-k.wav" -v 1 "$m/lane-s.wav" -v 1 "$m/lane-g.wav" -v 1 "$m/lane-h.wav" -v 1 "$m/lane-o.wav" "$1"
  # A roll swells up to the next downbeat.
  if [ "$3" = roll ]; then sx "$1" "$m/roll.wav" fade h "${bar}s" && mv "$m/roll.wav" "$1"; fi
}

# Effects: a noise riser into the next downbeat, or a crash on this one.
fx_bar() { # out chord style
  case "$3" in
    riser) sx -r $rate -c 1 -n "$1" synth "${bar}s" noise vol 0.22 highpass 1500 lowpass 9000 fade h "${bar}s" ;;
    crash) sx -r $rate -c 1 -n "$1" synth "${bar}s" noise vol 0.3 highpass 3500 fade l 10s -0 "$((bar - 10))s" ;;
    *) die "unknown effect $3" ;;
  esac
}

# ---- the score
#
# One line a bar: chord, then the style of pad, arpeggio, bass, drums and
# effects ("-" for silence). The time is where the bar starts.
score=(
  # 0 s: the titles. The pad alone, then an arpeggio far off as the name appears (4 s).
  "Am  soft   -    -      -      -"       #  0 s
  "F   soft   -    -      -      -"       #  2 s
  "C   soft   far  -      -      -"       #  4 s
  "G   soft   far  -      -      -"       #  6 s
  # The titles are gone and the room is still: the arpeggio comes closer, a held bass, hats and a riser.
  "Am  warm   near drone  -      -"       #  8 s
  "E   warm   near drone  hats   riser"   # 10 s
  # The pedestal scene, the figure starts walking (12 s): bass and drums.
  "Am  warm   near groove beat   crash"   # 12 s
  "F   warm   near groove beat   -"       # 14 s
  "C   warm   near groove beat   -"       # 16 s
  "G   warm   near groove beat   -"       # 18 s
  # The second camera (20 s), then the light dims (from 23.6 s).
  "Am  warm   full groove beat2  crash"   # 20 s
  "E   warm   full groove fill   -"       # 22 s
  # Dark (24 s): all but the pad and a held bass drop away.
  "Dm  soft   -    drone  -      -"       # 24 s
  # The light climbs for ten seconds (26 to 36 s): a build, bar by bar.
  "Am  soft   far  drone  -      -"       # 26 s
  "F   warm   far  drone  hats   -"       # 28 s
  "C   warm   near drone  pulse  -"       # 30 s
  "G   warm   near drone  pulse  -"       # 32 s
  "E   warm   full drone  roll   riser"   # 34 s
  # The light at its top (36 s): the full beat.
  "Am  bright full groove beat   crash"   # 36 s
  "F   bright full groove beat   -"       # 38 s
  # A new camera and the figure in rose, walking again (40 s): the lead melody.
  "Am  bright full groove beat2  crash"   # 40 s
  "F   bright full groove beat2  -"       # 42 s
  "C   bright full groove beat2  -"       # 44 s
  "G   bright full groove beat2  -"       # 46 s
  "Dm  bright full groove beat2  -"       # 48 s
  "E   bright full groove beat2  -"       # 50 s
  # The figure turns on the spot (52.6 s): a fill.
  "E   warm   full groove fill   riser"   # 52 s
  # The light sinks for twelve seconds (54.6 to 67 s): a breakdown, darker bar by bar.
  "Am  warm   near half   half   crash"   # 54 s
  "F   warm   near half   half   -"       # 56 s
  "C   warm   near half   half   -"       # 58 s
  "G   warm   far  half   half   -"       # 60 s
  "Am  soft   far  drone  -      -"       # 62 s
  "F   soft   far  drone  -      -"       # 64 s
  "E   soft   -    drone  -      -"       # 66 s
  # The figure turns (67 s) and the light climbs again (69 to 79 s): the second build.
  "Am  soft   far  drone  hats   -"       # 68 s
  "F   warm   far  drone  hats   -"       # 70 s
  "C   warm   near drone  pulse  -"       # 72 s
  "G   warm   near drone  pulse  -"       # 74 s
  "Dm  warm   full groove pulse  -"       # 76 s
  "E   bright full groove roll   riser"   # 78 s
  # The last walk, under the credits (84 s) and the greetings (90 s): everything.
  "Am  bright full groove beat2  crash"   # 80 s
  "F   bright full groove beat2  -"       # 82 s
  "C   bright full groove beat2  -"       # 84 s
  "G   bright full groove beat2  -"       # 86 s
  "Am  bright full groove beat   -"       # 88 s
  "F   bright full groove beat   -"       # 90 s
  "G   bright full groove fill   -"       # 92 s
  # The figure stops (94 s) and the closed room appears (95 s): the beat stops;
  # the music winds down under the fade (96 to 106 s) and resolves onto A (98 s).
  "F   bright full drone  stop   crash"   # 94 s
  "E   warm   near drone  -      -"       # 96 s
  "Am  warm   near drone  -      -"       # 98 s
  "Dm  soft   far  drone  -      -"       # 100 s
  "E   soft   far  -      -      -"       # 102 s
  # The opening again, so that a loop carries on from here into the start; the
  # arpeggio stops a bar early so that the join itself is quiet.
  "Am  soft   -    -      -      -"       # 104 s
  "F   soft   -    -      -      -"       # 106 s
  "C   soft   far  -      -      -"       # 108 s
  "G   soft   -    -      -      -"       # 110 s
)
[ ${#score[@]} -eq $bars ] || die "the score has ${#score[@]} bars, not $bars"

# Renders each bar of the score (each chord and style once) and strings each
# part's bars together.
partNames=(pad arp bass drums fx)
declare -A partBars=()
for bar_line in "${score[@]}"; do
  read -r chord styles <<<"$bar_line"
  read -r -a style <<<"$styles"
  for p in "${!partNames[@]}"; do
    part=${partNames[p]}
    if [ "${style[p]}" = - ]; then
      f=$(rest_file $bar)
    else
      f="$m/bar-$part-$chord-${style[p]}.wav"
      if [ ! -f "$f" ]; then "${part}_bar" "$f" "$chord" "${style[p]}"; fi
    fi
    partBars[$part]+="$f "
  done
done
for part in "${partNames[@]}"; do
  read -r -a files <<<"${partBars[$part]}"
  sx "${files[@]}" "$m/$part.wav"
done

# The lead: phrases of whole bars, each starting at its bar, rests between them.
leadParts=()
leadAt=0
lead_at() { # bar tokens...
  local at=$1 eighths=0 tok
  shift
  [ "$at" -ge $leadAt ] || die "lead phrase at bar $at overlaps the one before"
  [ "$at" -eq $leadAt ] || leadParts+=("$(rest_file $(((at - leadAt) * bar)))")
  for tok in "$@"; do eighths=$((eighths + ${tok##*:})); done
  [ $((eighths % 8)) -eq 0 ] || die "lead phrase at bar $at is not whole bars"
  line lead "$m/lead-$at.wav" "$@"
  leadParts+=("$m/lead-$at.wav")
  leadAt=$((at + eighths / 8))
}
# 40 s, over Am F C G and then Dm E: a phrase and its answer, left open.
lead_at 20 \
  E5:2 C5:1 A4:1 B4:2 C5:2   A4:2 C5:1 F5:1 E5:2 C5:2 \
  G4:2 C5:1 E5:1 G5:2 E5:2   D5:3 B4:1 G4:2 B4:2 \
  F5:2 E5:1 D5:1 A4:2 D5:2   E5:2 D5:1 B4:1 G#4:2 B4:2
# 80 s, over Am F C G Am F G F E Am: a higher phrase, then the way home onto A (98 s).
lead_at 40 \
  A5:2 G5:1 E5:1 C5:2 E5:2   F5:2 E5:1 C5:1 A4:4 \
  G4:1 A4:1 C5:1 E5:1 G5:3 E5:1   D5:2 B4:2 G4:4 \
  A5:2 G5:1 E5:1 C5:2 E5:2   F5:2 E5:1 C5:1 A4:4 \
  G4:1 A4:1 B4:1 D5:1 G5:4   A5:4 F5:4 \
  G#5:2 E5:2 B4:2 G#4:2      A4:8
[ $leadAt -ge $bars ] || leadParts+=("$(rest_file $(((bars - leadAt) * bar)))")
sx "${leadParts[@]}" "$m/lead.wav"

# ---- the mix, round the circle

# Puts a part's last two bars in front of it, so that its echoes and the reverb
# carry from the end into the start as they do when the track loops.
leadIn=$((2 * bar))
wrap() { # part
  [ "$(soxi -s "$m/$1.wav")" -eq $((bars * bar)) ] || die "the $1 part is not $bars bars long"
  sx "$m/$1.wav" "$m/$1-end.wav" trim "$((bars * bar - leadIn))s"
  sx "$m/$1-end.wav" "$m/$1.wav" "$m/$1-round.wav"
}
for part in pad arp bass drums fx lead; do wrap "$part"; done

# Places the parts in the stereo field: the pad wide through a chorus, the
# arpeggio right of centre and the lead left, both echoed a dotted eighth later.
sx "$m/pad-round.wav" -c 2 "$m/pad-st.wav" remix 1v0.9 1v0.9 chorus 0.6 0.9 55 0.4 0.25 2 -t
sx "$m/arp-round.wav" -c 2 "$m/arp-st.wav" remix 1v0.45 1v0.75 echo 0.8 0.7 375 0.3
sx "$m/lead-round.wav" -c 2 "$m/lead-st.wav" remix 1v0.55 1v0.35 echo 0.8 0.7 375 0.3
sx "$m/bass-round.wav" -c 2 "$m/bass-st.wav" remix 1v1.0 1v1.0
sx "$m/drums-round.wav" -c 2 "$m/drums-st.wav" remix 1v0.75 1v0.85
sx "$m/fx-round.wav" -c 2 "$m/fx-st.wav" remix 1v0.8 1v0.7
# The levels even out the parts' measured loudness, with the bass held back.
# A gentle compressor after the reverb (2:1 above -20 dB) takes the edge off the
# drums' peaks so the whole sits near -17 dB; it looks 10 ms ahead (sox keeps
# the timing).
sx -m -v 0.6 "$m/pad-st.wav" -v 0.4 "$m/arp-st.wav" -v 0.7 "$m/lead-st.wav" -v 0.25 "$m/bass-st.wav" \
  -v 0.35 "$m/drums-st.wav" -v 0.3 "$m/fx-st.wav" "$m/mix.wav" reverb 30 50 60 100 0 0 \
  compand 0.002,0.15 6:-60,-60,-20,-20,0,-10 0 -90 0.01

# Back to the piece itself, cut to whole MP3 frames (the last 13 ms, where the pad
# has faded, are dropped), with 5 and 15 ms fades so the decoder's gap cannot click.
frames=$((bars * bar / 1152))
sx "$m/mix.wav" "$m/track.wav" trim "${leadIn}s" "$((frames * 1152))s" fade q 220s -0 660s gain -n -1.5

lame --quiet -t -b 128 -m j "$m/track.wav" "$out/track.mp3"

ls -l "$out"
