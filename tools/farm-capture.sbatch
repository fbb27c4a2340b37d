#!/usr/bin/env bash
#SBATCH --job-name=template-capture
#SBATCH --output=farm-capture-%A_%a.log
# A capture as a Slurm job array: each array task renders one of as many equal
# shares of the range as the array has tasks, into the shared folder --out,
# and the task that completes the folder makes the --video. Takes the options
# of farm-capture.sh, e.g.
#
#   sbatch --array=0-15 tools/farm-capture.sbatch --out /shared/frames --fps 60 --video /shared/show.mp4
#
# A task whose share fails twice fails (Slurm shows it FAILED, and sbatch
# --wait exits non-zero); submitting the same array again renders only the
# shares that still miss frames. Runs build/template beside this script, or
# $TEMPLATE_BIN (sbatch passes the environment on).
set -euo pipefail

# Slurm runs a copy of this script; farm-capture.sh is found beside the one
# that was submitted (or at $FARM_CAPTURE).
script="${FARM_CAPTURE:-}"
if [ -z "$script" ]; then
  submitted=$(scontrol show job "$SLURM_JOB_ID" | sed -n 's/^ *Command=//p' | head -n 1)
  [ $# -eq 0 ] || submitted=${submitted% "$*"}
  script="$(dirname -- "$submitted")/farm-capture.sh"
fi
[[ $script == /* ]] || script=./$script  # exec takes no path for an option, nor a name alone from PATH
[ -x "$script" ] || { echo "farm-capture.sbatch: cannot find farm-capture.sh (set FARM_CAPTURE)" >&2; exit 2; }

index=0 count=1
if [ -n "${SLURM_ARRAY_TASK_ID:-}" ]; then
  step=${SLURM_ARRAY_TASK_STEP:-1}
  index=$(((SLURM_ARRAY_TASK_ID - SLURM_ARRAY_TASK_MIN) / step))
  count=$SLURM_ARRAY_TASK_COUNT
fi
exec "$script" --task "$index/$count" "$@"
