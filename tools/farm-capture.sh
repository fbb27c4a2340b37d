#!/usr/bin/env bash
# Renders a capture in parts, as jobs of GNU parallel (local job slots, or the
# machines of an --sshloginfile), into one folder of frames named by tick, so
# the folder ends up exactly as a one-machine --capture of the same range would
# leave it; then, when asked, joins the frames into the video (template
# --assemble). A rerun only renders the parts that still miss frames.
#
# With --task I/N it renders share I of N equal shares instead (a job array of
# a batch system: see farm-capture.sbatch), and the task that completes the
# folder makes the video.
#
# Runs build/template, or the program named by $TEMPLATE_BIN. Remote machines
# need the program at the same path and the frame folder on a file system they
# all share, under the same path.
set -euo pipefail

usage() {
  cat <<'EOF'
usage: farm-capture.sh --out DIR [--jobs N] [--sshloginfile FILE] [--fps N] [--from S] [--to S]
                       [--video FILE] [--part-frames N | --parts N]
                       [--size WxH] [--keep-aspect] [--passes N] [--no-overlays] [--preview]
                       [--backend B] [--threads N] [--cpu-kernel K] [--data DIR]
                       [--codec C] [--crf N] [--mute] [--overwrite]
       farm-capture.sh --task I/N --out DIR ...      (one share, for job arrays)
       farm-capture.sh --list-parts [--fps N] [--from S] [--to S] [--part-frames N | --parts N]

  --out DIR            frames go to DIR/frame_NNNNN.png (NNNNN is the tick)
  --jobs N             job slots (GNU parallel's --jobs; default one per core)
  --sshloginfile FILE  machines to run on (GNU parallel's format; ':' is this one)
  --part-frames N      frames per part (default 60); --parts N: N equal parts instead
  --video FILE         join the frames into FILE with the music once all are there
  --overwrite          render every part again and replace the video
  --list-parts         print the parts ("first-tick last-tick from to") and stop
Every other option is the program's own and is passed on to it.
EOF
}

die() {
  echo "farm-capture: $*" >&2
  exit 2
}

root="$(cd "$(dirname "$0")/.." && pwd)"
program="${TEMPLATE_BIN:-$root/build/template}"

out="" jobs="" sshloginfile="" video="" task="" list_parts=0 overwrite=0
fps=60 from=0 to=106 part_frames=60 parts=""
render=()  # options every part gives the program
encode=()  # options for the video
data=()
while [ $# -gt 0 ]; do
  case $1 in
    --*=*) set -- "${1%%=*}" "${1#*=}" "${@:2}"; continue ;;
  esac
  case $1 in
    --out | --jobs | --sshloginfile | --fps | --from | --to | --video | --part-frames | --parts | --task | \
      --size | --passes | --backend | --threads | --cpu-kernel | --data | --codec | --crf)
      [ $# -ge 2 ] || die "$1 needs a value"
      ;;
  esac
  case $1 in
    --out) out=$2 ;;
    --jobs) jobs=$2 ;;
    --sshloginfile) sshloginfile=$2 ;;
    --fps) fps=$2 ;;
    --from) from=$2 ;;
    --to) to=$2 ;;
    --video) video=$2 ;;
    --part-frames) part_frames=$2 ;;
    --parts) parts=$2 ;;
    --task) task=$2 ;;
    --size | --passes | --backend | --threads | --cpu-kernel) render+=("$1" "$2") ;;
    --data) data=("$1" "$2") ;;
    --codec | --crf) encode+=("$1" "$2") ;;
    --keep-aspect | --no-overlays | --preview) render+=("$1") ;;
    --mute) encode+=("$1") ;;
    --overwrite) overwrite=1 ;;
    --list-parts) list_parts=1 ;;
    -h | --help) usage; exit 0 ;;
    *) die "unknown option $1 (see --help)" ;;
  esac
  case $1 in
    --keep-aspect | --no-overlays | --preview | --mute | --overwrite | --list-parts) shift ;;
    *) shift 2 ;;
  esac
done

# The parts as "first-tick last-tick from to" lines, as the program itself
# plans them on its own clock (template --list-parts): each part's --from/--to
# select exactly its ticks, and together they hold every frame of the range
# once. Split "frames N" (parts of N frames) or "shares N" (N parts; an empty
# one is "0 -1 - -").
plan_parts() {
  local split=(--part-frames "$2")
  [ "$1" = shares ] && split=(--parts "$2")
  "$program" --list-parts --fps "$fps" --from "$from" --to "$to" "${split[@]}" || exit 2
}

frame_name() {
  printf 'frame_%05d.png' "$1"
}

# How many frames of ticks first..last are not in the folder yet.
count_missing() {
  local tick missing=0
  for ((tick = $1; tick <= $2; tick++)); do
    [ -f "$dir/$(frame_name "$tick")" ] || missing=$((missing + 1))
  done
  echo "$missing"
}

if [ -n "$parts" ]; then split=(shares "$parts"); else split=(frames "$part_frames"); fi
if [ -n "$task" ]; then
  if ! [[ $task =~ ^([0-9]+)/([0-9]+)$ ]] || [ "${BASH_REMATCH[1]}" -ge "${BASH_REMATCH[2]}" ]; then
    die "--task must be I/N with 0 <= I < N"
  fi
  task_index=${BASH_REMATCH[1]}
  split=(shares "${BASH_REMATCH[2]}")
fi
[ -x "$program" ] || die "cannot run $program: build it (tools/build.sh template) or set TEMPLATE_BIN"
part_lines=$(plan_parts "${split[@]}") || exit 2
if [ "$list_parts" -eq 1 ]; then
  echo "$part_lines"
  exit 0
fi

[ -n "$out" ] || die "--out DIR is needed (see --help)"
[[ $program == /* ]] || program="$(cd "$(dirname "$program")" && pwd)/$(basename "$program")"
mkdir -p -- "$out" || die "cannot make $out"
dir="$(cd "$out" && pwd)"  # absolute, so every machine writes to the same place
if [ -n "$video" ] && [ -e "$video" ] && [ "$overwrite" -eq 0 ] && [ -z "$task" ]; then
  die "$video exists: use --overwrite to replace it"
fi
overwrite_video=()
[ "$overwrite" -eq 1 ] && overwrite_video=(--overwrite)
first_tick=$(echo "$part_lines" | awk '$2 >= $1 { print $1; exit }')
last_tick=$(echo "$part_lines" | awk '$2 >= $1 { last = $2 } END { print last }')

# A part is run with --overwrite: frames left in it by an attempt that failed
# half-way are replaced (only the parts missing frames run at all, unless
# --overwrite asked for every part).
part_command=("$program" --capture "$dir" --fps "$fps" --overwrite "${render[@]}" "${data[@]}")

assemble() {
  "$program" --assemble "$dir" --video "$video" --fps "$fps" --from "$from" --to "$to" \
    "${encode[@]}" "${data[@]}" "${overwrite_video[@]}"
}

if [ -n "$task" ]; then
  read -r a b part_from part_to < <(echo "$part_lines" | sed -n "$((task_index + 1))p")
  label="share $task (ticks $a to $b)"
  if [ "$b" -lt "$a" ]; then
    echo "farm-capture: share $task has no frames"
  elif [ "$overwrite" -eq 0 ] && [ "$(count_missing "$a" "$b")" -eq 0 ]; then
    echo "farm-capture: $label is already there"
  elif ! "${part_command[@]}" --from "$part_from" --to "$part_to"; then
    echo "farm-capture: $label failed; trying it again" >&2
    "${part_command[@]}" --from "$part_from" --to "$part_to" || {
      echo "farm-capture: $label failed twice: $(count_missing "$a" "$b") of its frames are missing" >&2
      exit 1
    }
  fi
  [ -n "$video" ] || exit 0
  # The task that finds every share of its job done makes the video. Under a
  # batch system each task leaves a mark per job, so frames left by an earlier
  # run never count as this job's (with --overwrite they are being replaced).
  job="${SLURM_ARRAY_JOB_ID:-${SLURM_JOB_ID:-}}"
  marks=""
  if [ -n "$job" ]; then
    marks="$dir/.farm-capture-job-$job"
    mkdir -p "$marks"
    touch "$marks/share-$task_index"
  fi
  exec 9>"$dir/.farm-capture.lock"
  flock 9
  missing=$(count_missing "$first_tick" "$last_tick")
  shares_done=0
  [ -z "$marks" ] || shares_done=$(find "$marks" -name 'share-*' | wc -l)
  if [ -n "$marks" ] && [ -e "$marks/assembled" ]; then
    echo "farm-capture: $video was made by another task of job $job"
  elif [ "$missing" -gt 0 ] || { [ -n "$marks" ] && [ "$shares_done" -lt "${split[1]}" ]; }; then
    echo "farm-capture: other shares are not done yet; the task that completes the folder makes $video"
  elif [ -e "$video" ] && [ "$overwrite" -eq 0 ]; then
    echo "farm-capture: $video exists; left as it is (use --overwrite to make it again)"
  else
    assemble
    [ -z "$marks" ] || touch "$marks/assembled"
  fi
  exit 0
fi

command -v parallel >/dev/null || die "GNU parallel is not installed (Debian package 'parallel')"
todo=()
while read -r a b part_from part_to; do
  if [ "$overwrite" -eq 1 ] || [ "$(count_missing "$a" "$b")" -gt 0 ]; then todo+=("$a $b $part_from $part_to"); fi
done <<<"$part_lines"
total=$(echo "$part_lines" | wc -l)
joblog="$dir/.farm-capture.joblog"
if [ ${#todo[@]} -eq 0 ]; then
  echo "farm-capture: all $total parts are already in $dir"
else
  echo "farm-capture: rendering ${#todo[@]} of $total parts into $dir"
  engine=(parallel --will-cite --retries 2 --joblog "$joblog" --colsep ' ')
  [ -z "$jobs" ] || engine+=(--jobs "$jobs")
  [ -z "$sshloginfile" ] || engine+=(--sshloginfile "$sshloginfile")
  # -q: the words of the command reach the program as they are, on any machine.
  failed_jobs=0
  printf '%s\n' "${todo[@]}" | "${engine[@]}" -q "${part_command[@]}" --from '{3}' --to '{4}' || failed_jobs=$?
  failed=0
  for line in "${todo[@]}"; do
    read -r a b part_from part_to <<<"$line"
    missing=$(count_missing "$a" "$b")
    if [ "$missing" -gt 0 ]; then
      echo "farm-capture: part ticks $a to $b (--from $part_from --to $part_to) failed: $missing frames missing" >&2
      failed=$((failed + 1))
    fi
  done
  if [ "$failed" -gt 0 ]; then
    echo "farm-capture: $failed of ${#todo[@]} parts failed after retries (see $joblog); run this again to redo only them" >&2
    exit 1
  fi
  if [ "$failed_jobs" -ne 0 ]; then
    echo "farm-capture: GNU parallel reports $failed_jobs failed jobs (see $joblog)" >&2
    exit 1
  fi
fi
[ -z "$video" ] || assemble
