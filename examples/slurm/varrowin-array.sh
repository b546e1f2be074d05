#!/bin/sh
# One Varrowin run per task of a SLURM job array: task i analyses the MP file named on line i of
# the list, with the Varrowin arguments that follow the output directory.
#
#   sbatch --array=1-N varrowin-array.sh list outdir startyear XorY Threshold delimiter [...]
#
# Task i writes outdir/i.log (what Varrowin wrote to standard error, with a line before and after
# the run) and, only when Varrowin succeeded, outdir/i.report: the report is written to
# outdir/i.report.part and renamed when the run is complete, so a failed task leaves no report.
# A failed task ends with status 1 (state FAILED). Varrowin is looked up on the PATH, or given as
# VARROWIN=/path/to/Varrowin in the environment. varrowin-collect, given the same list, outdir
# and arguments, merges the reports into one CSV table and names the failed files.
#SBATCH --job-name=varrowin
#SBATCH --time=00:10:00
#SBATCH --mem=1G
#SBATCH --cpus-per-task=1
set -u
if [ "$#" -lt 6 ]; then
  echo "usage: sbatch --array=1-N $0 list outdir startyear XorY Threshold delimiter [...]" >&2
  exit 2
fi
list=$1
outdir=$2
shift 2
if [ -z "${SLURM_ARRAY_TASK_ID:-}" ]; then
  echo "varrowin-array: not a task of a job array (submit with sbatch --array=1-N)" >&2
  exit 2
fi
task=$SLURM_ARRAY_TASK_ID
report=$outdir/$task.report
mkdir -p "$outdir" || exit 1
exec > "$outdir/$task.log" 2>&1
rm -f "$report" "$report.part"

if [ ! -r "$list" ]; then
  echo "varrowin-array: task $task: cannot read the list $list"
  exit 1
fi
mp=$(sed -n "${task}p" "$list")
if [ -z "$mp" ]; then
  echo "varrowin-array: task $task: line $task of $list is empty or missing"
  exit 1
fi
echo "varrowin-array: task $task: $mp"
status=0
"${VARROWIN:-Varrowin}" "$mp" "$@" > "$report.part" || status=$?
if [ "$status" -ne 0 ]; then
  rm -f "$report.part"
  echo "varrowin-array: task $task: FAILED: Varrowin ended with status $status"
  exit 1
fi
mv -f "$report.part" "$report" || exit 1
echo "varrowin-array: task $task: done"
