#!/usr/bin/env bash
# Makes the show's data files: eight overlay images and the music loop.
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
# 16 bars at 120 beats per minute (32 s) in A minor, four times round
# Am F C G: a pad, a bass line, a plucked lead from the second round on and
# drums made of swept sines and noise bursts. Everything is built on a grid of
# eighth notes of exactly 11025 samples, so the parts never drift apart.
#
# The loop point: an MP3 decoder that ignores the encoder's gapless information
# (the one this demo plays through does) adds silence each time the file
# repeats: the encoder's start-up delay and the padding of the last frame.
# Encoder options cannot remove that delay, so the loop is made to tolerate it:
#  - 32 s at 44.1 kHz is exactly 1225 MP3 frames of 1152 samples, so delay and
#    padding together come to one frame, about 26 ms;
#  - lame -t leaves out the info frame, which such a decoder would play as one
#    more frame of silence;
#  - the last two beats are a break in which the parts ring out and the mix
#    fades to silence, so the short gap falls into a pause before the downbeat.

rate=44100
eighth=11025
m="$work/music"
mkdir -p "$m"
sx() { sox -R -V1 "$@"; }

# Semitones from A4 for the note names used below.
semi() {
  case "$1" in
    A1) echo -36 ;; C2) echo -33 ;; D2) echo -31 ;; E2) echo -29 ;; F2) echo -28 ;; G2) echo -26 ;;
    A2) echo -24 ;; B2) echo -22 ;; C3) echo -21 ;; D3) echo -19 ;; E3) echo -17 ;; F3) echo -16 ;;
    G3) echo -14 ;; A3) echo -12 ;; B3) echo -10 ;; C4) echo -9 ;; D4) echo -7 ;; E4) echo -5 ;;
    F4) echo -4 ;; G4) echo -2 ;; A4) echo 0 ;; B4) echo 2 ;; C5) echo 3 ;; D5) echo 5 ;;
    E5) echo 7 ;; F5) echo 8 ;; G5) echo 10 ;; A5) echo 12 ;;
    *) echo "unknown note $1" >&2; exit 1 ;;
  esac
}

silence() { # out eighths
  sx -r $rate -c 1 -n "$1" trim 0 "$(($2 * eighth))s"
}

# One note of a voice, exactly len eighths long, its release inside that length.
note() { # voice out note eighths
  local n len
  n=$(semi "$3")
  len=$(($4 * eighth))
  case "$1" in
    bass) sx -r $rate -c 2 -n "$2" synth "${len}s" sawtooth "%$n" sine "%$n" \
            remix 1v0.5,2v0.7 lowpass 420 fade q 200s -0 4000s ;;
    lead) sx -r $rate -c 1 -n "$2" synth "${len}s" pluck "%$n" \
            lowpass 3200 fade q 60s -0 "$((len / 2))s" ;;
  esac
}

# A monophonic line from "note:eighths" and "r:eighths" tokens.
line() { # voice out tokens...
  local voice=$1 dst=$2 i=0 parts=() tok name len
  shift 2
  for tok in "$@"; do
    name=${tok%%:*}
    len=${tok##*:}
    i=$((i + 1))
    local part="$m/$voice-$i.wav"
    if [ "$name" = r ]; then silence "$part" "$len"; else note "$voice" "$part" "$name" "$len"; fi
    parts+=("$part")
  done
  sx "${parts[@]}" "$dst"
}

# Pad: one chord per bar, four triangle voices, slow swell and release.
chord() { # out eighths notes...
  local dst=$1 len=$(($2 * eighth)) voices=() n
  shift 2
  for n in "$@"; do
    voices+=(triangle "%$(semi "$n")")
  done
  sx -r $rate -c 4 -n "$dst" synth "${len}s" "${voices[@]}" remix 1-4 \
    lowpass 1800 fade q 14000s -0 30000s vol 0.5
}

pad_bar() { # out chord-name eighths
  case "$2" in
    Am) chord "$1" "$3" A3 C4 E4 A4 ;;
    F)  chord "$1" "$3" F3 A3 C4 F4 ;;
    C)  chord "$1" "$3" G3 C4 E4 G4 ;;
    G)  chord "$1" "$3" G3 B3 D4 G4 ;;
  esac
}

# Drums: a sine sweeping down for the kick, band-passed noise for the snare,
# short high noise for the hats.
hit() { # kind out eighths
  local len=$(($3 * eighth))
  case "$1" in
    kick)  sx -r $rate -c 1 -n "$2" synth 7000s sine 110:38 fade q 20s -0 6500s \
             pad 0 "$((len - 7000))s" vol 0.9 ;;
    snare) sx -r $rate -c 1 -n "$2" synth 6000s noise sinc 300-6000 fade q 20s -0 5800s \
             pad 0 "$((len - 6000))s" vol 0.35 ;;
    hat)   sx -r $rate -c 1 -n "$2" synth 1800s noise highpass 7000 fade q 10s -0 1700s \
             pad 0 "$((len - 1800))s" vol 0.25 ;;
  esac
}

# ---- build one of each bar, then string them together
progression=(Am F C G)
roots=(A1 F2 C2 G2)
fifths=(E2 C3 G2 D3)
octaves=(A2 F3 C3 G3)

for k in 0 1 2 3; do
  pad_bar "$m/pad-$k.wav" "${progression[$k]}" 8
  r=${roots[$k]} f=${fifths[$k]} o=${octaves[$k]}
  line bass "$m/bass-$k.wav" "$r:2" "$r:1" "$o:1" "$r:1" "$f:1" "$o:1" "$f:1"
done
pad_bar "$m/pad-end.wav" G 4          # the last bar: two beats, then the break
silence "$m/rest-4.wav" 4
line bass "$m/bass-end.wav" "G2:2" "D3:2" "r:4"

# Lead: a four-bar phrase over Am F C G and an answer that resolves onto A.
line lead "$m/lead-a.wav" \
  E5:2 C5:1 A4:1 B4:2 C5:2   A4:2 C5:1 F5:1 E5:2 C5:2 \
  G4:2 C5:1 E5:1 G5:2 E5:2   D5:3 B4:1 G4:2 B4:2
line lead "$m/lead-b.wav" \
  A5:2 G5:1 E5:1 C5:2 E5:2   F5:2 E5:1 C5:1 A4:4 \
  G4:1 A4:1 C5:1 E5:1 G5:3 E5:1   D5:2 B4:2 A4:4
line lead "$m/lead-end.wav" \
  A5:2 G5:1 E5:1 C5:2 E5:2   F5:2 E5:1 C5:1 A4:4 \
  G4:1 A4:1 C5:1 E5:1 G5:3 E5:1   D5:2 B4:1 A4:5
silence "$m/lead-rest.wav" 32

# One drum bar: kick on 1 and 3 (and the "and" of 4), snare on 2 and 4, hats on eighths.
hit kick "$m/k2.wav" 2; hit kick "$m/k1.wav" 1; silence "$m/r1.wav" 1; silence "$m/r2.wav" 2
hit snare "$m/s2.wav" 2
hit hat "$m/h1.wav" 1
sx "$m/k2.wav" "$m/r2.wav" "$m/k2.wav" "$m/r1.wav" "$m/k1.wav" "$m/kick-bar.wav"
sx "$m/r2.wav" "$m/s2.wav" "$m/r2.wav" "$m/s2.wav" "$m/snare-bar.wav"
sx "$m/h1.wav" "$m/h1.wav" "$m/h1.wav" "$m/h1.wav" "$m/h1.wav" "$m/h1.wav" "$m/h1.wav" "$m/h1.wav" \
  "$m/hat-bar.wav"
sx -m -v 1 "$m/kick-bar.wav" -v 1 "$m/snare-bar.wav" -v 1 "$m/hat-bar.wav" "$m/drum-bar.wav"
# Last bar of the loop: kick and snare on beats 1 and 2, then the break.
sx "$m/k2.wav" "$m/s2.wav" "$m/rest-4.wav" "$m/drum-end.wav"
sx "$m/hat-bar.wav" "$m/hat-bar.wav" "$m/hat-bar.wav" "$m/hat-bar.wav" "$m/hats-4.wav"
sx "$m/drum-bar.wav" "$m/drum-bar.wav" "$m/drum-bar.wav" "$m/drum-bar.wav" "$m/drums-4.wav"
sx "$m/drum-bar.wav" "$m/drum-bar.wav" "$m/drum-bar.wav" "$m/drum-end.wav" "$m/drums-last.wav"

# The four parts, 16 bars each.
sx \
  "$m"/pad-{0,1,2,3}.wav "$m"/pad-{0,1,2,3}.wav "$m"/pad-{0,1,2,3}.wav \
  "$m"/pad-{0,1,2}.wav "$m/pad-end.wav" "$m/rest-4.wav" "$m/pad.wav"
sx \
  "$m"/bass-{0,1,2,3}.wav "$m"/bass-{0,1,2,3}.wav "$m"/bass-{0,1,2,3}.wav \
  "$m"/bass-{0,1,2}.wav "$m/bass-end.wav" "$m/bass.wav"
sx "$m/lead-rest.wav" "$m/lead-a.wav" "$m/lead-b.wav" "$m/lead-end.wav" "$m/lead.wav"
sx "$m/hats-4.wav" "$m/drums-4.wav" "$m/drums-4.wav" "$m/drums-last.wav" "$m/drums.wav"

# Place the parts in the stereo field and mix them; the levels even out the
# parts' measured loudness, with the bass held back.
sx "$m/pad.wav" -c 2 "$m/pad-st.wav" remix 1v0.9 1v0.9 chorus 0.6 0.9 55 0.4 0.25 2 -t
sx "$m/bass.wav" -c 2 "$m/bass-st.wav" remix 1v1.0 1v1.0
sx "$m/lead.wav" -c 2 "$m/lead-st.wav" remix 1v0.55 1v0.35 echo 0.8 0.7 375 0.3
sx "$m/drums.wav" -c 2 "$m/drums-st.wav" remix 1v0.75 1v0.85
sx -m -v 1.4 "$m/pad-st.wav" -v 0.5 "$m/bass-st.wav" -v 1.6 "$m/lead-st.wav" -v 0.7 "$m/drums-st.wav" \
  "$m/mix.wav" reverb 30 50 60 100 0 0

# Exactly 16 bars; short fades at both ends so the join falls silent.
total=$((16 * 8 * eighth))
sx "$m/mix.wav" "$m/loop.wav" trim 0 "${total}s" fade q 400s -0 6000s gain -n -3

lame --quiet -t -b 128 -m j "$m/loop.wav" "$out/track.mp3"

ls -l "$out"
