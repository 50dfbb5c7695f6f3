# Shared by bench/decode-speed.sh and bench/index-speed.sh (sourced, not run).
#
# Every timed command runs under the build lock (QUARLIN_BENCH_LOCK, default
# /tmp/quarlin-build.lock; empty: no lock), taken per run, so that a long
# benchmark never holds the machine for minutes at a time and the time spent
# waiting for the lock is not measured. Each figure is the median of
# QUARLIN_BENCH_RUNS runs (default 5), wall time and CPU time (user + system)
# alike; `one` runs a command on one core (taskset -c 0), `all` on every core.

runs=${QUARLIN_BENCH_RUNS:-5}
lock=${QUARLIN_BENCH_LOCK-/tmp/quarlin-build.lock}
cache_note=""

tool_of() {  # BUILD_DIR -> its quarlin tool, or exits
  local tool=$1/tools/commands/quarlin
  [[ -x $tool ]] || { echo "${0##*/}: $tool not found (build the quarlin_tool target)" >&2; exit 2; }
  echo "$tool"
}

drop_caches() {
  sync
  if ! (echo 3 > /proc/sys/vm/drop_caches) 2>/dev/null; then
    cache_note="(the page cache could not be dropped: 'cold' figures include cached reads)"
  fi
}

# Reads a program and its shared libraries back into the page cache after
# it was dropped: a host has its code loaded, so a cold run measures the
# command's reads of its data, not the loading of its code from disk.
warm_program() {
  local program
  program=$(command -v "$1") || return 0
  local libraries=()
  mapfile -t libraries < <(ldd "$program" 2>/dev/null | awk '$(NF - 1) ~ /^\// { print $(NF - 1) } $1 ~ /^\// { print $1 }')
  cat "$program" "${libraries[@]}" > /dev/null 2>&1 || true
}

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) print "nan"; else if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# python3 -c "$timer" FILE COMMAND...: runs COMMAND and writes "WALL CPU"
# to FILE (seconds; CPU = user + system of the command and its children),
# failing as the command does. GNU time prints hundredths, too coarse.
timer='
import os, resource, sys, time
def cpu():  # of the children waited for so far (a launcher may have had some)
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime
before, start = cpu(), time.perf_counter()
status = os.spawnvp(os.P_WAIT, sys.argv[2], sys.argv[2:])
wall = time.perf_counter() - start
open(sys.argv[1], "w").write("%.4f %.4f\n" % (wall, cpu() - before))
sys.exit(1 if status else 0)'

# measure one|all cold|warm COMMAND... -> "WALL CPU": medians over the runs,
# seconds. cold drops the page cache before each run (and reads the
# program's code back in); warm runs once first.
measure() {
  local cores=$1 cache=$2 out walls="" cpus="" i
  shift 2
  local pin=()
  [[ $cores == one ]] && pin=(taskset -c 0)
  local held=()
  [[ -n $lock ]] && held=(flock "$lock")
  out=$(mktemp)
  [[ $cache == warm ]] && "${held[@]}" "${pin[@]}" "$@" > /dev/null 2>&1
  for ((i = 0; i < runs; i++)); do
    if [[ $cache == cold ]]; then
      drop_caches
      warm_program "$1"
      [[ -z ${pin[*]} ]] || warm_program "${pin[0]}"
    fi
    "${held[@]}" python3 -c "$timer" "$out" "${pin[@]}" "$@" > /dev/null 2>&1 ||
      { echo "${0##*/}: failed: $*" >&2; rm -f "$out"; exit 1; }
    walls+="$(awk '{ print $1 }' "$out")"$'\n'
    cpus+="$(awk '{ print $2 }' "$out")"$'\n'
  done
  rm -f "$out"
  echo "$(printf %s "$walls" | median) $(printf %s "$cpus" | median)"
}

# Interleaved warm measurement. The host's speed can change by half from one
# minute to the next; runs of one command in a row then compare different
# machines, so commands to be compared are measured round-robin: `candidate NAME
# one|all COMMAND...` records a command, `interleave NAME...` runs each once
# to warm up and then once per round, `runs` rounds, and `result NAME` gives
# its "WALL CPU" medians; `spread NAME OTHER wall|cpu` gives the lowest and
# highest ratio of NAME's time to OTHER's within one round, which shows how
# far the host's changes of speed move a ratio of medians.
declare -A command_of=() result_of=() series_of=()
candidate() { local name=$1; shift; command_of[$name]="$*"; }
interleave() {
  local name out i cores words
  local -A walls=() cpus=()
  local held=()
  [[ -n $lock ]] && held=(flock "$lock")
  out=$(mktemp)
  for ((i = -1; i < runs; i++)); do
    for name in "$@"; do
      read -r cores words <<< "${command_of[$name]}"
      local command=() pin=()
      read -ra command <<< "$words"
      [[ $cores == one ]] && pin=(taskset -c 0)
      "${held[@]}" python3 -c "$timer" "$out" "${pin[@]}" "${command[@]}" > /dev/null 2>&1 ||
        { echo "${0##*/}: failed: ${command[*]}" >&2; rm -f "$out"; exit 1; }
      ((i < 0)) && continue  # the warm-up run
      walls[$name]+="$(awk '{ print $1 }' "$out")"$'\n'
      cpus[$name]+="$(awk '{ print $2 }' "$out")"$'\n'
    done
  done
  rm -f "$out"
  for name in "$@"; do
    series_of[$name:wall]=${walls[$name]}
    series_of[$name:cpu]=${cpus[$name]}
    result_of[$name]="$(printf %s "${walls[$name]}" | median) $(printf %s "${cpus[$name]}" | median)"
  done
}
result() { echo "${result_of[$1]}"; }
spread() {
  paste <(printf %s "${series_of[$1:$3]}") <(printf %s "${series_of[$2:$3]}") | awk '
    $2 > 0 { r = $1 / $2; if (n++ == 0 || r < lo) lo = r; if (n == 1 || r > hi) hi = r }
    END { if (n) printf "rounds %.2f-%.2f", lo, hi }'
}

wall() { echo "${1% *}"; }
cpu() { echo "${1#* }"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else printf "nan" }'; }

# target NAME RATIO <=|>= LIMIT [BEFORE_RATIO [SPREAD]]: one line, "met" or
# "not met".
target() {
  local verdict
  verdict=$(awk -v r="$2" -v op="$3" -v l="$4" 'BEGIN {
    if (r == "nan" || r == "-") print "not measured"; else if ((op == "<=" && r <= l) || (op == ">=" && r >= l)) print "met"; else print "not met" }')
  printf "  %-58s %6s  (target %s %s)  %-12s%s%s\n" "$1" "$2" "$3" "$4" "$verdict" "${6:+$6}" "${5:+  before: $5}"
}

# row LABEL "WALL CPU" ["WALL CPU"]: a line of the timing table.
row() {
  printf "  %-40s %8.3f %8.3f" "$1" "$(wall "$2")" "$(cpu "$2")"
  [[ -n ${3:-} ]] && printf " %9.3f %8.3f" "$(wall "$3")" "$(cpu "$3")"
  printf "\n"
}
