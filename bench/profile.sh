#!/usr/bin/env bash
# Profiles both jobs of the qola command-line tool with callgrind (instruction counts, so the result does not
# depend on the load of a shared machine) and prints the top functions by inclusive and by self cost.
set -euo pipefail

usage() {
  cat <<'EOF'
usage: bench/profile.sh [-s SECONDS] [-n TOP] [-k DIR] [INPUT.wav]
  INPUT.wav   file to compress (default: p05 of ../shared/corpus)
  -s SECONDS  profile only the first SECONDS of audio (a 16-bit stereo WAV cut with head -c)
  -n TOP      functions listed per table (default 25)
  -k DIR      keep the callgrind outputs in DIR (default: a temporary folder, removed at the end)
Builds build/bench-prof (optimised as the release build, with symbols) when its qola is missing or stale.
EOF
}

repo=$(cd "$(dirname "$0")/.." && pwd)
seconds=""
top=25
keep=""
while getopts "s:n:k:h" option; do
  case "$option" in
    s) seconds=$OPTARG ;;
    n) top=$OPTARG ;;
    k) keep=$OPTARG ;;
    h) usage; exit 0 ;;
    *) usage >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
shopt -s nullglob
candidates=("$repo"/../shared/corpus/p05_*.wav)
input=${1:-${candidates[0]:-}}
if [[ -z $input || ! -f $input ]]; then
  echo "profile: no input file (corpus absent?), nothing to profile"
  exit 0
fi
command -v valgrind >/dev/null || {
  sudo=""
  [[ $(id -u) -eq 0 ]] || sudo="sudo"
  $sudo apt-get update -q >&2
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends valgrind >&2
}

build="$repo/build/bench-prof"
qola="$build/cli/qola"
if [[ ! -x $qola || -n $(find "$repo/src" "$repo/cli" "$repo/include" -newer "$qola" -type f -print -quit) ]]; then
  # Same optimisation level as the release preset, plus debug information for the symbol names.
  cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O3 -g -DNDEBUG" \
    -DQOLA_BUILD_GUI=OFF -DQOLA_BUILD_TESTS=OFF >&2
  cmake --build "$build" -j2 --target qola_cli >&2
fi

if [[ -n $keep ]]; then
  mkdir -p "$keep"
  work=$(cd "$keep" && pwd)
else
  work=$(mktemp -d "${TMPDIR:-/tmp}/profile.XXXXXX")
  trap 'rm -rf "$work"' EXIT
fi
wav="$work/input.wav"
if [[ -n $seconds ]]; then
  # 44-byte header plus SECONDS of 44.1 kHz 16-bit stereo; the frame count comes from the file size.
  head -c $((44 + seconds * 44100 * 4)) "$input" >"$wav"
else
  cp "$input" "$wav"
fi

# callgrind_annotate's function table as "cost name" lines, without binary names, source files (callgrind splits
# a function by the file of inlined code) and clone suffixes. Deeper recursion levels keep their 'N suffix.
annotated() { # inclusive(yes|no) callgrind-output
  callgrind_annotate --auto=no --inclusive="$1" --threshold=100 "$2" 2>/dev/null |
    awk '/file:function/ { table = 1; getline; next }
         table && NF {
           cost = $1; gsub(",", "", cost)
           name = $0; sub(/^[^)]*\)  */, "", name); sub(/ \[\/[^]]*\]$/, "", name)
           sub(/^[^:]*:/, "", name); sub(/ \[clone [^]]*\]/, "", name)
           print cost, name
         }'
}

# Inclusive cost of a function: the largest of its pieces at the outermost recursion level (callgrind counts
# the deeper levels twice), start-up frames left out.
inclusive() { # callgrind-output total
  annotated yes "$1" | grep -vE " (0x[0-9a-f]+|\(below main\)|__libc_start_main.*|.*'[0-9]+)\$" |
    awk -v total="$2" '{ cost = $1; $1 = ""; name = substr($0, 2)
                         if (!(name in best) || cost > best[name]) best[name] = cost }
         END { for (n in best) printf "%13.0f (%5.2f%%)  %s\n", best[n], 100 * best[n] / total, n }' |
    sort -rn | awk -v n="$top" 'NR <= n' | cut -c1-160 || true
}

# Self cost of a function: the sum of its pieces.
self() { # callgrind-output total
  annotated no "$1" |
    awk -v total="$2" '{ cost = $1; $1 = ""; name = substr($0, 2); sub(/\x27[0-9]+$/, "", name); sum[name] += cost }
         END { for (n in sum) printf "%13.0f (%5.2f%%)  %s\n", sum[n], 100 * sum[n] / total, n }' |
    sort -rn | awk -v n="$top" 'NR <= n' | cut -c1-160 || true
}

report() { # title callgrind-output
  local total
  echo "### $1"
  echo
  total=$(callgrind_annotate "$2" 2>/dev/null | awk '/PROGRAM TOTALS/ { gsub(",", "", $1); print $1 }')
  echo "Instructions: $total"
  echo
  echo '```'
  echo "inclusive:"
  inclusive "$2" "$total"
  echo
  echo "self:"
  self "$2" "$total"
  echo '```'
  echo
}

valgrind --tool=callgrind --callgrind-out-file="$work/compress.out" \
  "$qola" -q -f -o "$work/input.wav.qla" "$wav" 2>"$work/compress.log"
valgrind --tool=callgrind --callgrind-out-file="$work/decompress.out" \
  "$qola" -d -q -f -o "$work/restored.wav" "$work/input.wav.qla" 2>"$work/decompress.log"
cmp -s "$wav" "$work/restored.wav" || echo "profile: WARNING: the restored file differs from the input" >&2

# Time samples as a cross-check where the perf tool can sample the CPU clock: instruction counts ignore what a
# division or a cache miss costs.
sampled() { # title qola-arguments...
  local title=$1
  shift
  perf record -q -e cpu-clock -F 4999 -o "$work/perf.data" -- "$qola" "$@" >/dev/null 2>&1 || return 0
  echo "$title, self time from cpu-clock samples:"
  perf report -i "$work/perf.data" --stdio --no-children --sort symbol 2>/dev/null |
    grep -E '^ +[0-9.]+%' | sed -E -e 's/\[\.\] //' -e 's/( +-)+ *$//' | awk -v n="$top" 'NR <= n' || true
  echo
}
perf_tables=""
if command -v perf >/dev/null && perf record -q -e cpu-clock -o "$work/perf.data" -- true >/dev/null 2>&1; then
  perf_tables=$(sampled "Compression" -q -f -o "$work/perf.qla" "$wav"
                sampled "Decompression" -d -q -f -o "$work/perf.wav" "$work/perf.qla")
fi

echo "Input: $(basename "$input")${seconds:+, first $seconds s}, $(stat -c %s "$wav") bytes;" \
  "compressed to $(stat -c %s "$work/input.wav.qla") bytes. Binary: ${qola#"$repo"/} (-O3 -g)."
echo
report "Compression (\`qola -q -f -o OUT IN\`)" "$work/compress.out"
report "Decompression (\`qola -d -q -f -o OUT IN\`)" "$work/decompress.out"
if [[ -n $perf_tables ]]; then
  echo "### Sampled time (perf, cpu-clock)"
  echo
  echo '```'
  echo "$perf_tables"
  echo '```'
fi
