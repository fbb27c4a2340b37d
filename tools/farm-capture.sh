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
# Everything that can be refused is refused before the first part: the
# options (the program checks its own with --dry-run, the video's too) and a
# folder whose frames were made with other render settings (they are kept in
# DIR/.farm-capture.settings), which would otherwise be mixed into the video.
#
# Runs build/template, or the program named by $TEMPLATE_BIN. Remote machines
# need the program at the same path and the frame folder on a file system they
# all share, under the same path.
set -euo pipefail
unset CDPATH  # cd goes where it is told, and says nothing

usage() {
  cat <<'EOF'
usage: farm-capture.sh --out DIR [--jobs N] [--sshloginfile FILE] [--fps N] [--from S] [--to S]
                       [--video FILE] [--part-frames N | --parts N]
                       [--size WxH] [--keep-aspect] [--passes N] [--no-overlays] [--preview]
                       [--rung S@WxH] [--temporal on|off]
                       [--backend B] [--threads N] [--cpu-kernel K] [--data DIR]
                       [--codec C] [--crf N] [--mute] [--overwrite]
       farm-capture.sh --task I/N --out DIR ...      (one share, for job arrays)
       farm-capture.sh --list-parts [--fps N] [--from S] [--to S] [--part-frames N | --parts N]

  --out DIR            frames go to DIR/frame_NNNNN.png (NNNNN is the tick)
  --jobs N             job slots (GNU parallel's --jobs: N, +N, -N or N%; default one per core)
  --sshloginfile FILE  machines to run on (GNU parallel's format; ':' is this one)
  --part-frames N      frames per part (default 60); --parts N: N equal parts instead
  --video FILE         join the frames into FILE with the music once all are there
  --overwrite          render every part again and replace the video (also to render
                       a folder again with other settings)
  --list-parts         print the parts ("first-tick last-tick from to") and stop
Every other option is the program's own and is passed on to it. A folder keeps the
settings its frames were rendered with; a run with others is refused. With --preview or
--rung each part renders the second before its first frame unwritten, so its frames are
made as the live show makes them, but they are not byte for byte those of one machine.
EOF
}

die() {
  echo "farm-capture: $*" >&2
  exit 2
}

# A relative path with "./" in front: no command takes it for an option, and
# cd takes it as it is ("-" would be the previous folder).
dotted() {
  if [[ $1 == /* ]]; then REPLY=$1; else REPLY=./$1; fi
}

# The absolute path of an existing folder, in REPLY.
absolute_folder() {
  dotted "$1"
  REPLY=$(cd -- "$REPLY" && pwd && echo .) || return 1
  REPLY=${REPLY%$'\n.'}
}

absolute_folder "$(dirname -- "$0")/.."
root=$REPLY
program="${TEMPLATE_BIN:-$root/build/template}"

out="" jobs="" jobs_given=0 sshloginfile="" video="" task="" list_parts=0 overwrite=0
fps=60 from=0 to=106 part_frames=60 part_frames_given=0 parts=""
size=640x480 passes=1 keep_aspect=no overlays=yes preview=no temporal=on rung=none data_dir=""  # what changes the pixels
render=()  # options every part gives the program
encode=()  # options for the video
while [ $# -gt 0 ]; do
  case $1 in
    --*=*) set -- "${1%%=*}" "${1#*=}" "${@:2}"; continue ;;
  esac
  case $1 in
    --out | --jobs | --sshloginfile | --fps | --from | --to | --video | --part-frames | --parts | --task | \
      --size | --passes | --backend | --threads | --cpu-kernel | --data | --codec | --crf | --temporal | --rung)
      [ $# -ge 2 ] || die "$1 needs a value"
      ;;
  esac
  case $1 in
    --out) out=$2 ;;
    --jobs) jobs=$2 jobs_given=1 ;;
    --sshloginfile) sshloginfile=$2 ;;
    --fps) fps=$2 ;;
    --from) from=$2 ;;
    --to) to=$2 ;;
    --video) video=$2 ;;
    --part-frames) part_frames=$2 part_frames_given=1 ;;
    --parts) parts=$2 ;;
    --task) task=$2 ;;
    --size) size=$2 render+=("$1" "$2") ;;
    --passes) passes=$2 render+=("$1" "$2") ;;
    --temporal) temporal=$2 render+=("$1" "$2") ;;
    --rung) rung=$2 render+=("$1" "$2") ;;
    --backend | --threads | --cpu-kernel) render+=("$1" "$2") ;;
    --data) data_dir=$2 ;;
    --codec | --crf) encode+=("$1" "$2") ;;
    --keep-aspect) keep_aspect=yes render+=("$1") ;;
    --no-overlays) overlays=no render+=("$1") ;;
    --preview) preview=yes render+=("$1") ;;
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

# The script's own options; the program checks the rest (--list-parts and --dry-run).
if [ -n "$parts" ] && [ "$part_frames_given" -eq 1 ]; then
  die "--part-frames and --parts cannot be combined"
fi
if [ "$jobs_given" -eq 1 ] && ! [[ $jobs =~ ^([+-]?[0-9]{1,6}|[0-9]{1,6}%)$ ]]; then
  die "--jobs: '$jobs' is not a number of job slots (N, +N, -N or N%)"
fi
if [ -n "$parts" ]; then split=(--parts "$parts"); else split=(--part-frames "$part_frames"); fi
if [ -n "$task" ]; then
  if ! [[ $task =~ ^([0-9]{1,7})/([0-9]{1,7})$ ]] || ((10#${BASH_REMATCH[1]} >= 10#${BASH_REMATCH[2]})); then
    die "--task must be I/N with 0 <= I < N"
  fi
  if [ -n "$parts" ] || [ "$part_frames_given" -eq 1 ]; then
    die "--task renders one of as many equal shares as the job array has tasks: it cannot take --parts or --part-frames"
  fi
  task_index=$((10#${BASH_REMATCH[1]}))
  task_count=$((10#${BASH_REMATCH[2]}))
  split=(--parts "$task_count")
fi
if [ "$list_parts" -eq 0 ]; then
  [ -n "$out" ] || die "--out DIR is needed (see --help)"
  if [ -n "$sshloginfile" ]; then
    { [ -f "$sshloginfile" ] && [ -r "$sshloginfile" ]; } || die "--sshloginfile: cannot read $sshloginfile"
    dotted "$sshloginfile"
    sshloginfile=$REPLY
  fi
  if [ -z "$task" ]; then
    command -v parallel >/dev/null || die "GNU parallel is not installed (Debian package 'parallel')"
  fi
fi

{ [ -f "$program" ] && [ -x "$program" ]; } || die "cannot run $program: build it (tools/build.sh template) or set TEMPLATE_BIN"
if [[ $program != /* ]]; then
  absolute_folder "$(dirname -- "$program")"
  program=$REPLY/$(basename -- "$program")
fi

# The parts as "first-tick last-tick from to" lines, as the program itself
# plans them on its own clock (template --list-parts): each part's --from/--to
# select exactly its ticks, and together they hold every frame of the range
# once. An empty share (of --parts) is "0 -1 - -". The lines are checked, so
# that a program that plans nothing is not taken for a folder with nothing
# left to do.
status=0
part_lines=$("$program" --list-parts --fps "$fps" --from "$from" --to "$to" "${split[@]}") || status=$?
[ "$status" -eq 0 ] || die "$program --list-parts failed (exit status $status); nothing was rendered"
[ -n "$part_lines" ] || die "$program --list-parts printed no parts"
part_first=() part_last=() part_from=() part_to=()
first_tick="" last_tick=""
while IFS= read -r line; do
  if [ "$line" = "0 -1 - -" ]; then
    part_first+=(0) part_last+=(-1) part_from+=(-) part_to+=(-)
    continue
  fi
  if ! [[ $line =~ ^(0|[1-9][0-9]{0,6})\ (0|[1-9][0-9]{0,6})\ ([0-9]+(\.[0-9]+)?)\ ([0-9]+(\.[0-9]+)?)$ ]] ||
    ((BASH_REMATCH[2] < BASH_REMATCH[1])); then
    die "$program --list-parts printed '${line:0:80}', not a part (first-tick last-tick from to)"
  fi
  a=${BASH_REMATCH[1]} b=${BASH_REMATCH[2]}
  if [ -n "$last_tick" ] && [ "$a" -ne $((last_tick + 1)) ]; then
    die "$program --list-parts printed parts that do not follow each other (ticks $a to $b after $last_tick)"
  fi
  [ -n "$first_tick" ] || first_tick=$a
  last_tick=$b
  part_first+=("$a") part_last+=("$b") part_from+=("${BASH_REMATCH[3]}") part_to+=("${BASH_REMATCH[5]}")
done <<<"$part_lines"
[ -n "$first_tick" ] || die "$program --list-parts printed no part with frames"
total=${#part_first[@]}
if [ -n "$task" ] && [ "$total" -ne "$task_count" ]; then
  die "$program --list-parts printed $total parts for $task_count shares"
fi
if [ "$list_parts" -eq 1 ]; then
  printf '%s\n' "$part_lines"
  exit 0
fi

# Paths the parts are given are absolute, so that every machine (and ssh's
# login folder) means the same ones.
data=()
if [ -n "$data_dir" ]; then
  if [ -d "$data_dir" ]; then absolute_folder "$data_dir"; else dotted "$data_dir"; fi  # the program says what is wrong
  data_dir=$REPLY
  data=(--data "$data_dir")
fi
dotted "$out"
out=$REPLY
if [ -n "$video" ] && [ -e "$video" ] && [ "$overwrite" -eq 0 ] && [ -z "$task" ]; then
  die "$video exists: use --overwrite to replace it"
fi
# The program checks its options, the data and the video before anything is
# rendered, as one --capture --video would. A task leaves an existing video to
# the end (another task may have made it).
check=("$program" --capture "$out" --fps "$fps" --from "$from" --to "$to" "${render[@]}" "${data[@]}" "${encode[@]}")
[ -z "$video" ] || check+=(--video "$video")
if [ -n "$video" ] && { [ "$overwrite" -eq 1 ] || [ -n "$task" ]; }; then check+=(--overwrite); fi
"${check[@]}" --dry-run >/dev/null || die "$program refused these options; nothing was rendered"

mkdir -p -- "$out" || die "cannot make $out"
absolute_folder "$out" || die "cannot use $out"
dir=$REPLY
[ -w "$dir" ] || die "cannot write frames into $dir"
overwrite_video=()
[ "$overwrite" -eq 1 ] && overwrite_video=(--overwrite)

frame_name() {
  printf -v REPLY 'frame_%05d.png' "$1"
}

# How many frames of ticks first..last are not in the folder yet, in missing.
count_missing() {
  local tick
  missing=0
  for ((tick = $1; tick <= $2; tick++)); do
    frame_name "$tick"
    [ -f "$dir/$REPLY" ] || missing=$((missing + 1))
  done
}

# One folder, one set of the settings that change pixels: a rerun with other
# ones would keep the frames already there and mix them into the video.
# (--backend, --threads and --cpu-kernel give the same frames.)
settings_file="$dir/.farm-capture.settings"
version=$("$program" --version) || die "$program --version failed"
settings="program: $version
fps: $((10#$fps))
size: $((10#${size%x*}))x$((10#${size#*x}))
passes: $((10#$passes))
keep-aspect: $keep_aspect
overlays: $overlays
preview: $preview
temporal: $temporal
rung: $rung
data: ${data_dir:-(where the program looks by default)}"

# What differs between two settings texts, as "key: old (now new)".
settings_change() {
  local -A old=()
  local line key change=""
  while IFS= read -r line; do [ -z "$line" ] || old[${line%%: *}]=${line#*: }; done <<<"$1"
  while IFS= read -r line; do
    key=${line%%: *}
    [ "${old[$key]-(none)}" = "${line#*: }" ] || change+="${change:+, }$key: ${old[$key]-(none)} (now ${line#*: })"
  done <<<"$2"
  REPLY=$change
}

check_settings() {
  local recorded="" name tick frames=() outside=0
  if [ -e "$settings_file" ]; then
    recorded=$(<"$settings_file") || die "cannot read $settings_file"
  fi
  [ "$recorded" != "$settings" ] || return 0
  shopt -s nullglob
  for name in "$dir"/frame_*.png; do
    [[ ${name##*/} =~ ^frame_([0-9]+)\.png$ ]] && [ -f "$name" ] || continue
    frames+=("$name")
    tick=$((10#${BASH_REMATCH[1]}))
    ((tick >= first_tick && tick <= last_tick)) || outside=$((outside + 1))
  done
  shopt -u nullglob
  if [ ${#frames[@]} -gt 0 ]; then
    local why
    if [ -n "$recorded" ]; then
      settings_change "$recorded" "$settings"
      why="frames rendered with other settings ($REPLY)"
    else
      why="frames but no record of the settings they were rendered with ($settings_file)"
    fi
    [ "$overwrite" -eq 1 ] || die "$dir holds $why: use --overwrite to render them again, or another --out"
    [ "$outside" -eq 0 ] ||
      die "$dir holds $why, $outside of them outside ticks $first_tick to $last_tick: use another --out (or remove them)"
    # Gone before the first part starts: a run that stops half-way leaves
    # missing frames for the next one to render, never old ones among the new.
    rm -f -- "${frames[@]}"
  fi
  printf '%s\n' "$settings" >"$settings_file.$$" && mv -f -- "$settings_file.$$" "$settings_file" ||
    die "cannot write $settings_file"
}

# Tasks of a job array start together: one at a time checks and records.
exec 9>"$dir/.farm-capture.lock"
flock 9
check_settings
flock -u 9

# A part is run with --overwrite: frames left in it by an attempt that failed
# half-way are replaced (only the parts missing frames run at all, unless
# --overwrite asked for every part).
part_command=("$program" --capture "$dir" --fps "$fps" --overwrite "${render[@]}" "${data[@]}")

assemble() {
  "$program" --assemble "$dir" --video "$video" --fps "$fps" --from "$from" --to "$to" \
    "${encode[@]}" "${data[@]}" "${overwrite_video[@]}"
}

if [ -n "$task" ]; then
  a=${part_first[task_index]} b=${part_last[task_index]}
  part_from=${part_from[task_index]} part_to=${part_to[task_index]}
  label="share $task (ticks $a to $b)"
  missing=1
  [ "$overwrite" -eq 1 ] || [ "$b" -lt "$a" ] || count_missing "$a" "$b"
  if [ "$b" -lt "$a" ]; then
    echo "farm-capture: share $task has no frames"
  elif [ "$missing" -eq 0 ]; then
    echo "farm-capture: $label is already there"
  elif ! "${part_command[@]}" --from "$part_from" --to "$part_to"; then
    echo "farm-capture: $label failed; trying it again" >&2
    "${part_command[@]}" --from "$part_from" --to "$part_to" || {
      count_missing "$a" "$b"
      echo "farm-capture: $label failed twice: $missing of its frames are missing" >&2
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
    mkdir -p -- "$marks"
    touch -- "$marks/share-$task_index"
  fi
  flock 9
  count_missing "$first_tick" "$last_tick"
  shares_done=0
  [ -z "$marks" ] || shares_done=$(find "$marks" -name 'share-*' | wc -l)
  if [ -n "$marks" ] && [ -e "$marks/assembled" ]; then
    echo "farm-capture: $video was made by another task of job $job"
  elif [ "$missing" -gt 0 ] || { [ -n "$marks" ] && [ "$shares_done" -lt "$task_count" ]; }; then
    echo "farm-capture: other shares are not done yet; the task that completes the folder makes $video"
  elif [ -e "$video" ] && [ "$overwrite" -eq 0 ]; then
    echo "farm-capture: $video exists; left as it is (use --overwrite to make it again)"
  else
    assemble
    [ -z "$marks" ] || touch -- "$marks/assembled"
  fi
  exit 0
fi

todo=()
for ((i = 0; i < total; i++)); do
  missing=1
  [ "$overwrite" -eq 1 ] || count_missing "${part_first[i]}" "${part_last[i]}"
  [ "$missing" -eq 0 ] || todo+=("${part_first[i]} ${part_last[i]} ${part_from[i]} ${part_to[i]}")
done
joblog="$dir/.farm-capture.joblog"
if [ ${#todo[@]} -eq 0 ]; then
  echo "farm-capture: all $total parts are already in $dir"
else
  echo "farm-capture: rendering ${#todo[@]} of $total parts into $dir"
  engine=(parallel --will-cite --retries 2 --joblog "$joblog" --colsep ' ')
  [ "$jobs_given" -eq 0 ] || engine+=(--jobs "$jobs")
  [ -z "$sshloginfile" ] || engine+=(--sshloginfile "$sshloginfile")
  # -q: the words of the command reach the program as they are, on any machine.
  failed_jobs=0
  "${engine[@]}" -q "${part_command[@]}" --from '{3}' --to '{4}' < <(printf '%s\n' "${todo[@]}") || failed_jobs=$?
  failed=0
  for line in "${todo[@]}"; do
    read -r a b part_from part_to <<<"$line"
    count_missing "$a" "$b"
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
