#!/usr/bin/env bash
# SLURM test: starts a single-node SLURM cluster on this machine (munged, slurmctld and slurmd
# from the Debian packages, everything under one temporary directory), runs the README's submit
# commands (examples/slurm/varrowin-array.sh as a job array over eight generated MP files, one of
# them cut short, and varrowin-collect as a job that depends on it), and checks:
#   - the README's copy of the array script is examples/slurm/varrowin-array.sh;
#   - every good file's report equals Varrowin's report run by hand;
#   - the broken file's task is FAILED with exit code 1:0, its message is in its log, and it left
#     no report;
#   - the collect job's table has exactly the rows of the good files, and the collect job failed
#     (exit code 1:0) naming the broken file.
#
#   .ci/slurm-test.sh        (as root; builds Varrowin and varrowin-collect from this clone)
#
# Installs slurmctld, slurmd, slurm-client and munge when they are missing; only when they cannot
# be installed it prints "skip: <reason>" and exits 0. Every daemon it starts is stopped by its
# process id, and the temporary directory is removed, however the script ends. Exits 1 with a
# message on the first failed check.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD
export LC_ALL=C

fail() {
  echo "slurm-test: FAIL: $*" >&2
  exit 1
}
note() { echo "slurm-test: $*"; }
skip() {
  echo "skip: $*"
  exit 0
}

# --- the README's commands and script ------------------------------------------------------
# The submit commands: the README's sh block that submits examples/slurm/varrowin-array.sh.
readme_block() { # a text that the wanted block holds
  awk -v want="$1" '
    /^```sh$/ { inside = 1; block = ""; next }
    inside && /^```$/ { inside = 0; if (index(block, want)) { printf "%s", block; exit } next }
    inside { block = block $0 "\n" }' README.md
}
submit=$(readme_block 'examples/slurm/varrowin-array.sh runs.txt')
[ -n "$submit" ] || fail "README: no sh block that submits examples/slurm/varrowin-array.sh"
readme_block '#!/bin/sh' > "${TMPDIR:-/tmp}/varrowin-slurm-readme.$$"
if ! cmp -s "${TMPDIR:-/tmp}/varrowin-slurm-readme.$$" examples/slurm/varrowin-array.sh; then
  diff -u examples/slurm/varrowin-array.sh "${TMPDIR:-/tmp}/varrowin-slurm-readme.$$" >&2 || true
  rm -f "${TMPDIR:-/tmp}/varrowin-slurm-readme.$$"
  fail "the README's array script differs from examples/slurm/varrowin-array.sh (diff above)"
fi
rm -f "${TMPDIR:-/tmp}/varrowin-slurm-readme.$$"

# --- packages --------------------------------------------------------------------------------
packages=(slurmctld slurmd slurm-client munge)
have_all() {
  local c
  for c in slurmctld slurmd sbatch scontrol munged mungekey; do
    command -v "$c" > /dev/null || PATH=$PATH:/usr/sbin command -v "$c" > /dev/null || return 1
  done
}
PATH=$PATH:/usr/sbin:/sbin
if ! have_all; then
  [ "$(id -u)" -eq 0 ] || skip "the packages ${packages[*]} are missing and this is not root"
  command -v apt-get > /dev/null || skip "the packages ${packages[*]} are missing and there is no apt-get"
  export DEBIAN_FRONTEND=noninteractive
  note "installing ${packages[*]}"
  if ! apt-get install -y "${packages[@]}" < /dev/null > /dev/null 2>&1; then
    apt-get update < /dev/null > /dev/null 2>&1 || true
    apt-get install -y "${packages[@]}" < /dev/null > /dev/null 2>&1 ||
      skip "apt-get cannot install ${packages[*]}"
  fi
  have_all || skip "${packages[*]} installed, but a program is still missing"
fi
[ "$(id -u)" -eq 0 ] || skip "the daemons must be started as root"
id munge > /dev/null 2>&1 || fail "the munge package created no munge user"

# --- cleanup: stop the daemons by their process ids, remove the temporary directory ------------
pids=()
work=
stop_all() {
  local pid n i
  # Newest first: slurmd, slurmctld, then munged.
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    pid=${pids[i]}
    kill -TERM "$pid" 2> /dev/null || continue
    for ((n = 0; n < 50; n++)); do
      kill -0 "$pid" 2> /dev/null || break
      sleep 0.1
    done
    kill -KILL "$pid" 2> /dev/null || true
    wait "$pid" 2> /dev/null || true
  done
  if [ -n "$work" ]; then
    rm -rf "$work"
  fi
}
trap stop_all EXIT
trap 'exit 1' INT TERM

work=$(mktemp -d "${TMPDIR:-/tmp}/varrowin-slurm-test.XXXXXX")
# munged runs as the munge user and must reach its directory below this one.
chmod 0755 "$work"

# --- build -----------------------------------------------------------------------------------
note "build Varrowin and varrowin-collect"
generator=()
if command -v ninja > /dev/null; then
  generator=(-G Ninja)
fi
build=$work/build
cmake -S "$source_dir" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
  -DVARROWIN_TESTS=OFF -DVARROWIN_INSTALL=OFF > "$work/configure.log" 2>&1 ||
  { cat "$work/configure.log" >&2; fail "configure"; }
cmake --build "$build" --target Varrowin varrowin-collect -j2 > "$work/build.log" 2>&1 ||
  { cat "$work/build.log" >&2; fail "build"; }
varrowin=$build/Varrowin
if [ ! -x "$varrowin" ] || [ ! -x "$build/varrowin-collect" ]; then
  fail "the programs were not built"
fi

# --- munge -----------------------------------------------------------------------------------
note "start munged"
munge_dir=$work/munge
mkdir -m 0755 "$munge_dir"
mungekey --create --keyfile="$munge_dir/munge.key" > /dev/null 2>&1 || fail "mungekey --create"
chmod 0600 "$munge_dir/munge.key"
chown -R munge:munge "$munge_dir"
socket=$munge_dir/munge.socket
setpriv --reuid=munge --regid=munge --clear-groups --reset-env \
  "$(command -v munged)" --foreground --socket="$socket" --key-file="$munge_dir/munge.key" \
  --pid-file="$munge_dir/munged.pid" --log-file="$munge_dir/munged.log" \
  --seed-file="$munge_dir/munged.seed" < /dev/null > "$work/munged.out" 2>&1 &
pids+=($!)
for ((n = 0; n < 50; n++)); do
  [ -S "$socket" ] && break
  kill -0 "${pids[0]}" 2> /dev/null || { cat "$work/munged.out" >&2; fail "munged stopped"; }
  sleep 0.1
done
[ -S "$socket" ] || fail "munged did not open $socket"

# --- slurm.conf ------------------------------------------------------------------------------
# Two free ports next to each other, so that a cluster already running here does not answer.
port_in_use() {
  if command -v ss > /dev/null; then
    [ -n "$(ss -Htln "sport = :$1")" ]
  else
    false
  fi
}
port=
for ((n = 0; n < 20; n++)); do
  candidate=$((20000 + RANDOM % 20000))
  if ! port_in_use "$candidate" && ! port_in_use $((candidate + 1)); then
    port=$candidate
    break
  fi
done
[ -n "$port" ] || fail "no free port found"

host=$(hostname -s)
memory_mb=$(awk '/^MemTotal:/ { print int($2 / 1024 / 2) }' /proc/meminfo)
mkdir -p "$work/state" "$work/spool"
export SLURM_CONF=$work/slurm.conf
cat > "$SLURM_CONF" << CONF
ClusterName=varrowinci
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$port
SlurmdPort=$((port + 1))
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$socket
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/slurmctld.log
SlurmdLogFile=$work/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/filetxt
JobCompLoc=$work/jobcomp.txt
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
MailProg=/bin/true
ReturnToService=2
MinJobAge=3600
NodeName=$host NodeAddr=127.0.0.1 CPUs=$(nproc) RealMemory=$memory_mb State=UNKNOWN
PartitionName=ci Nodes=$host Default=YES MaxTime=INFINITE State=UP
CONF

note "start slurmctld and slurmd (ports $port and $((port + 1)))"
slurmctld -D -f "$SLURM_CONF" < /dev/null > "$work/slurmctld.out" 2>&1 &
pids+=($!)
slurmd -D -f "$SLURM_CONF" -N "$host" < /dev/null > "$work/slurmd.out" 2>&1 &
pids+=($!)
ready=
for ((n = 0; n < 300; n++)); do
  state=$(sinfo -h -n "$host" -o %T 2> /dev/null || true)
  if [ "$state" = idle ]; then
    ready=yes
    break
  fi
  sleep 0.1
done
if [ -z "$ready" ]; then
  tail -n 20 "$work/slurmctld.log" "$work/slurmd.log" >&2 || true
  fail "the node is not idle after 30 s (state '${state:-none}')"
fi

# --- MP files --------------------------------------------------------------------------------
# Six patches scattered over the map, 12 years; the population moves from the low-Y patches
# to the high-Y ones at a pace that differs from file to file. File 5 is cut off inside the population section; file 3 has a comma,
# a quote and a blank in its name.
runs=$work/runs
mkdir "$runs"
write_mp() { # index file [lines to keep]
  local k=$1 file=$2 keep=${3:-}
  {
    echo "Generated run $k"
    echo "Cell length 2.5 km"
    local p
    local coords=("0,0" "10,3" "20,8" "4,12" "15,17" "25,20")
    for ((p = 1; p <= 6; p++)); do
      if [ "$p" -eq 1 ]; then
        echo "P$p,${coords[p - 1]},P$p.KCH"
      else
        echo "P$p,${coords[p - 1]}"
      fi
    done
    echo "Migration"
    echo "Pop. ALL"
    local t
    for ((t = 0; t < 12; t++)); do echo "$((600 + t))"; done
    for ((p = 1; p <= 6; p++)); do
      echo "Pop. $p"
      for ((t = 0; t < 12; t++)); do
        # Low-Y patches (1-3) shrink, high-Y patches (4-6) grow; more so for later files. The
        # highest patch stays below a tenth of the population, so the South margin takes a
        # changing part of the next one.
        if [ "$p" -le 3 ]; then
          echo "$((100 + 7 * p - t * k))"
        elif [ "$p" -eq 6 ]; then
          echo "$((20 + t * (k % 3 + 1)))"
        else
          echo "$((50 + 3 * p + t * (k + p)))"
        fi
      done
    done
  } > "$file.full"
  if [ -n "$keep" ]; then
    head -n "$keep" "$file.full" > "$file"
    rm "$file.full"
  else
    mv "$file.full" "$file"
  fi
}
for k in 1 2 3 4 5 6 7 8; do
  case $k in
    3) name='runs/run3, "odd".mp' ;;
    *) name=runs/run$k.mp ;;
  esac
  if [ "$k" -eq 5 ]; then
    write_mp "$k" "$work/$name" 40
  else
    write_mp "$k" "$work/$name"
  fi
done

# --- the job array and the dependent collect job, as the README submits them ------------------
# The README's commands run as printed, in a directory that holds runs/ and a copy of
# examples/slurm/, with Varrowin and varrowin-collect on the PATH.
note "submit the array and the dependent collect job with the README's commands"
mkdir -p "$work/examples"
cp -R "$source_dir/examples/slurm" "$work/examples/"
cd "$work"
export PATH=$build:$PATH
array=
collect=
# The commands set array and collect to the job ids that sbatch --parsable printed.
if ! { eval "$submit"; } > "$work/submit.out" 2>&1; then
  cat "$work/submit.out" >&2
  fail "the submit commands failed"
fi
array_id=${array%%;*}
collect_id=${collect%%;*}
if [ -z "$array_id" ] || [ -z "$collect_id" ]; then
  fail "the submit commands set no job ids (array='$array', collect='$collect')"
fi
# sbatch --wait on a job that runs after the collect job: returns when everything has ended.
timeout 120 sbatch --wait --quiet --dependency=afterany:"$collect_id" --output=/dev/null \
  --wrap=true || fail "waiting for the jobs (sbatch --wait) failed or took over 120 s"
note "array job $array_id, collect job $collect_id"
mapfile -t names < runs.txt
[ "${#names[@]}" -eq 8 ] || fail "runs.txt has ${#names[@]} lines, not 8"
broken=
for k in "${!names[@]}"; do
  [ "${names[k]}" != runs/run5.mp ] || broken=$((k + 1))
done
[ -n "$broken" ] || fail "runs/run5.mp is not in runs.txt"
args=(2000 Y 0.1 ';')

# --- checks ----------------------------------------------------------------------------------
job_field() { # job field
  scontrol -o show job "$1" | tr ' ' '\n' | sed -n "s/^$2=//p" | head -n 1
}
for k in 1 2 3 4 5 6 7 8; do
  state=$(job_field "${array_id}_$k" JobState)
  code=$(job_field "${array_id}_$k" ExitCode)
  if [ "$k" -eq "$broken" ]; then
    if [ "$state" != FAILED ] || [ "$code" != 1:0 ]; then
      fail "task $k (broken file): state $state, exit code $code; expected FAILED, 1:0"
    fi
    grep -q "^Unexpected end of file in population section\$" "out/$k.log" ||
      { cat "out/$k.log" >&2; fail "task $k: Varrowin's message is not in out/$k.log"; }
    if [ -e "out/$k.report" ] || [ -e "out/$k.report.part" ]; then
      fail "the failed task $k left a report"
    fi
  else
    if [ "$state" != COMPLETED ] || [ "$code" != 0:0 ]; then
      cat "out/$k.log" >&2 || true
      fail "task $k: state $state, exit code $code"
    fi
    "$varrowin" "${names[k - 1]}" "${args[@]}" > "$work/by-hand.txt" ||
      fail "Varrowin by hand on ${names[k - 1]}"
    cmp -s "$work/by-hand.txt" "out/$k.report" ||
      fail "task $k: out/$k.report differs from Varrowin's report run by hand"
  fi
done
if ! grep -qE "^JobId=[0-9]+ .*JobState=FAILED .*ArrayJobId=${array_id} ArrayTaskId=${broken} " \
  "$work/jobcomp.txt"; then
  cat "$work/jobcomp.txt" >&2
  fail "the jobcomp file does not record the failed task"
fi

state=$(job_field "$collect_id" JobState)
code=$(job_field "$collect_id" ExitCode)
if [ "$state" != FAILED ] || [ "$code" != 1:0 ]; then
  cat out/collect.out >&2
  fail "collect job: state $state, exit code $code; expected FAILED, 1:0"
fi
grep -qF "varrowin-collect: failed: ${names[broken - 1]} (task $broken): Unexpected end of file in population section" \
  out/collect.out || { cat out/collect.out >&2; fail "the collect job does not name the broken file"; }
grep -qF "varrowin-collect: 1 of 8 files failed" out/collect.out ||
  { cat out/collect.out >&2; fail "the collect job does not count one failed file"; }

# The expected table, made here from the reports run by hand: two rows (North, South) per year
# of every good file, with the options of the run (no burn-in, no cleaning, no smoothing).
{
  echo "file,year,margin,x_shift,y_shift,start_year,axis,threshold,burn_in,patch_size_threshold,smoothing,window"
  for k in 1 2 3 4 5 6 7 8; do
    [ "$k" -ne "$broken" ] || continue
    name=${names[k - 1]}
    case $name in
      *[,\"]*) name="\"${name//\"/\"\"}\"" ;;
    esac
    "$varrowin" "${names[k - 1]}" "${args[@]}" |
      awk -F';' -v file="$name" -v options="2000,Y,0.1,0,0,none," '
        NF == 7 && $1 == "" && $2 ~ /^[0-9]+$/ {
          print file "," $2 ",North," $3 "," $4 "," options
          print file "," $2 ",South," $6 "," $7 "," options
        }'
  done
} > "$work/expected.csv"
rows=$(($(wc -l < "$work/expected.csv") - 1))
[ "$rows" -eq $((7 * 12 * 2)) ] || fail "expected 168 rows from 7 files of 12 years, made $rows"
diff -u "$work/expected.csv" out/shifts.csv || fail "the collected table differs (diff above)"

note "all checks passed: 7 reports equal to runs by hand, task $broken FAILED, $rows rows collected"
