#!/usr/bin/env bash
# Compares QOLA with other lossless audio coders on the shared corpus: compressed size, and encode and decode
# speed as multiples of real time. Every tool runs one command at a time on the same machine, single-threaded but for
# the "QOLA -j2" row; the ratio columns compare each speed with flac -8's encoding and flac -d's decoding.
# Prints a Markdown report (or writes it with -o); the raw per-file numbers go next to it with --raw.
set -euo pipefail

usage() {
  cat <<'EOF'
usage: bench/compare-tools.sh [-r RUNS] [-o REPORT.md] [--raw FILE.tsv] [--qola BINARY] [--corpus DIR] [--no-build]
                              [--tools "TOOL..."]
  -r RUNS         time every command RUNS times and keep the fastest (default 3)
  -o FILE         write the Markdown report to FILE instead of standard output
  --raw FILE      also write the per-file measurements as TSV
  --qola BINARY   qola binary to measure (default: build/release/cli/qola, built when missing or stale)
  --corpus DIR    corpus folder with MANIFEST.tsv (default: ../shared/corpus beside the repository)
  --no-build      never build; fail when the qola binary is missing
  --tools LIST    the tools to run, of: qola qola-j2 qola-none flac5 flac8 wavpack tta alac (default: all;
                  flac8 is always run, the ratios need it)
EOF
}

repo=$(cd "$(dirname "$0")/.." && pwd)
corpus="$repo/../shared/corpus"
runs=3
report=""
raw=""
qola=""
build=1
command_line="bench/compare-tools.sh $*"
chosen=()
while (($#)); do
  case "$1" in
    -r) runs=$2; shift 2 ;;
    -o) report=$2; shift 2 ;;
    --raw) raw=$2; shift 2 ;;
    --qola) qola=$2; shift 2 ;;
    --corpus) corpus=$2; shift 2 ;;
    --no-build) build=0; shift ;;
    --tools) read -ra chosen <<<"$2"; shift 2 ;;
    -h|--help) usage; exit 0 ;;
    *) usage >&2; exit 2 ;;
  esac
done
[[ $runs =~ ^[1-9][0-9]*$ ]] || { echo "compare-tools: RUNS must be a positive number" >&2; exit 2; }

if [[ ! -f $corpus/MANIFEST.tsv ]]; then
  echo "compare-tools: no corpus at $corpus (MANIFEST.tsv missing), nothing to compare"
  exit 0
fi
corpus=$(cd "$corpus" && pwd)

install_missing() {
  local missing=() command package
  for command in flac:flac wavpack:wavpack wvunpack:wavpack ffmpeg:ffmpeg; do
    package=${command#*:}
    command -v "${command%%:*}" >/dev/null || [[ " ${missing[*]} " == *" $package "* ]] || missing+=("$package")
  done
  ((${#missing[@]})) || return 0
  echo "compare-tools: installing ${missing[*]}" >&2
  local sudo=""
  [[ $(id -u) -eq 0 ]] || sudo="sudo"
  $sudo apt-get update -q >&2
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}" >&2
}
install_missing

if [[ -z $qola ]]; then
  qola="$repo/build/release/cli/qola"
  # Rebuild only when the binary is missing or older than a source, so a run measures the tree as it is.
  if ((build)) && { [[ ! -x $qola ]] ||
       [[ -n $(find "$repo/src" "$repo/cli" "$repo/include" -newer "$qola" -type f -print -quit) ]]; }; then
    echo "compare-tools: building the release preset" >&2
    "$repo/scripts/build.sh" release >&2
  fi
fi
[[ -x $qola ]] || { echo "compare-tools: no qola binary at $qola" >&2; exit 2; }
qola=$(cd "$(dirname "$qola")" && pwd)/$(basename "$qola")

work=$(mktemp -d "${TMPDIR:-/tmp}/compare-tools.XXXXXX")
trap 'rm -rf "$work"' EXIT

tools=(qola qola-j2 qola-none flac5 flac8 wavpack tta alac)
if ((${#chosen[@]})); then
  [[ " ${chosen[*]} " == *" flac8 "* ]] || chosen+=(flac8)
  tools=("${chosen[@]}")
fi
# shellcheck disable=SC2016  # the backticks are Markdown
declare -A label=(
  [qola]='QOLA -j1 (`qola -j1 -q -f -o OUT IN`)' [qola-j2]='QOLA -j2 (`qola -j2 -q -f -o OUT IN`)'
  [qola-none]='QOLA -j1 `-a none -n 4096`'
  [flac5]='`flac -5`' [flac8]='`flac -8`' [wavpack]='`wavpack -hh`'
  [tta]='ffmpeg TTA (`-c:a tta`)' [alac]='ffmpeg ALAC (`-c:a alac`)')
declare -A short=([qola]='QOLA -j1' [qola-j2]='QOLA -j2' [qola-none]='QOLA none/4096' [flac5]='flac -5' [flac8]='flac -8'
  [wavpack]='wavpack -hh' [tta]=TTA [alac]=ALAC)
declare -A extension=([qola]=qla [qola-j2]=qla [qola-none]=qla [flac5]=flac [flac8]=flac [wavpack]=wv [tta]=tta [alac]=m4a)

encode() { # tool input output
  case "$1" in
    qola) "$qola" -j1 -q -f -o "$3" "$2" ;;
    qola-j2) "$qola" -j2 -q -f -o "$3" "$2" ;;
    qola-none) "$qola" -j1 -q -f -a none -n 4096 -o "$3" "$2" ;;
    flac5) flac -5 -s -f -o "$3" "$2" ;;
    flac8) flac -8 -s -f -o "$3" "$2" ;;
    wavpack) wavpack -hh -q -y "$2" -o "$3" ;;
    tta) ffmpeg -nostdin -hide_banner -loglevel error -y -threads 1 -i "$2" -threads 1 -c:a tta "$3" ;;
    alac) ffmpeg -nostdin -hide_banner -loglevel error -y -threads 1 -i "$2" -threads 1 -c:a alac "$3" ;;
  esac
}

decode() { # tool input output bits
  local pcm
  case "$4" in 8) pcm=pcm_u8 ;; 24) pcm=pcm_s24le ;; *) pcm=pcm_s16le ;; esac
  case "$1" in
    qola|qola-none) "$qola" -j1 -d -q -f -o "$3" "$2" ;;
    qola-j2) "$qola" -j2 -d -q -f -o "$3" "$2" ;;
    flac5|flac8) flac -d -s -f -o "$3" "$2" ;;
    wavpack) wvunpack -q -y "$2" -o "$3" ;;
    tta|alac) ffmpeg -nostdin -hide_banner -loglevel error -y -threads 1 -i "$2" -threads 1 -c:a "$pcm" "$3" ;;
  esac
}

# Runs a command RUNS times; sets rc, and wall and cpu (user + system seconds) of the fastest run. The output
# is removed before each run, so that no run pays for replacing the file an earlier run wrote (the file system
# then flushes the new file's data at once) and every tool writes a new file every time.
timed() { # log output (or "" for none) command...
  local log=$1 output=$2 r w u s TIMEFORMAT='%3R %3U %3S'
  shift 2
  wall="" cpu=""
  for ((r = 0; r < runs; r++)); do
    rm -f "$output"
    set +e
    { time "$@" >"$log" 2>&1; } 2>"$work/time"
    rc=$?
    set -e
    ((rc == 0)) || return 0
    read -r w u s <"$work/time"
    if [[ -z $wall ]] || awk -v a="$w" -v b="$wall" 'BEGIN { exit !(a < b) }'; then
      wall=$w
      cpu=$(awk -v a="$u" -v b="$s" 'BEGIN { printf "%.3f", a + b }')
    fi
  done
}

# Hash of the audio as 32-bit samples, so other tools' decodes can be checked whatever container they write.
audio_md5() {
  ffmpeg -nostdin -hide_banner -loglevel quiet -threads 1 -i "$1" -map 0:a:0 -c:a pcm_s32le -f md5 - 2>/dev/null || true
}

# QOLA restores the header copy and every whole frame; bytes after the last whole frame are not stored.
qola_check() { # original restored
  local have want
  have=$(stat -L -c %s "$2")
  want=$(stat -L -c %s "$1")
  if ((have > want)) || ! cmp -s -n "$have" "$1" "$2"; then
    echo "DIFFERENT"
  elif ((have == want)); then
    echo "identical"
  else
    echo "identical, $((want - have)) trailing bytes not stored"
  fi
}

manifest_rows=$(awk -F'\t' '
  NR == 1 { for (i = 1; i <= NF; i++) column[$i] = i; next }
  { print $column["file"] "\t" $column["channels"] "\t" $column["bits"] "\t" $column["duration_s"] }' \
  "$corpus/MANIFEST.tsv")

results="$work/results.tsv"
printf 'tool\tfile\tchannels\tbits\tduration_s\tin_bytes\tcoded\tout_bytes\tenc_wall\tenc_cpu\tdec_wall\tdec_cpu\tcheck\n' \
  >"$results"
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
while IFS=$'\t' read -r file channels bits duration; do
  input="$corpus/$file"
  [[ -f $input ]] || { echo "compare-tools: $file listed but missing, skipped" >&2; continue; }
  in_bytes=$(stat -L -c %s "$input")
  reference=""
  for tool in "${tools[@]}"; do
    echo "compare-tools: $tool $file" >&2
    coded="$work/coded.${extension[$tool]}"
    restored="$work/restored.wav"
    rm -f "$coded" "$restored"
    timed "$work/encode.log" "$coded" encode "$tool" "$input" "$coded"
    if ((rc != 0)) || [[ ! -s $coded ]]; then
      reason=$(grep -m1 -iE 'error|unsupported|not' "$work/encode.log" |
               sed -e 's/^[^ ]*\.wav:* //' -e 's/ *$//' | tr '\t' ' ' | cut -c1-120 || true)
      printf '%s\t%s\t%s\t%s\t%s\t%s\tno\t\t\t\t\t\t%s\n' "$tool" "$file" "$channels" "$bits" "$duration" \
        "$in_bytes" "${reason:-exit status $rc}" >>"$results"
      continue
    fi
    enc_wall=$wall enc_cpu=$cpu
    out_bytes=$(stat -L -c %s "$coded")
    timed "$work/decode.log" "$restored" decode "$tool" "$coded" "$restored" "$bits"
    if ((rc != 0)); then
      check="decode failed: $(head -c 120 "$work/decode.log" | tr '\t\n' '  ')"
      dec_wall="" dec_cpu=""
    else
      dec_wall=$wall dec_cpu=$cpu
      case "$tool" in
        qola*) check=$(qola_check "$input" "$restored") ;;
        *) [[ -n $reference ]] || reference=$(audio_md5 "$input")
           if [[ $(audio_md5 "$restored") == "$reference" && -n $reference ]]; then check="same audio"
           else check="AUDIO DIFFERS"; fi ;;
      esac
    fi
    printf '%s\t%s\t%s\t%s\t%s\t%s\tyes\t%s\t%s\t%s\t%s\t%s\t%s\n' "$tool" "$file" "$channels" "$bits" "$duration" \
      "$in_bytes" "$out_bytes" "$enc_wall" "$enc_cpu" "$dec_wall" "$dec_cpu" "$check" >>"$results"
  done
done <<<"$manifest_rows"
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

# The fixed cost every file pays twice (encode and decode): starting the program.
startup=""
for program in "$qola --version" "flac --version" "wavpack --version" "ffmpeg -version"; do
  read -ra argv <<<"$program"
  timed "$work/startup.log" "" "${argv[@]}"
  startup+="${startup:+, }$(basename "${argv[0]}") $(awk -v w="$wall" 'BEGIN { printf "%.0f", 1000 * w }') ms"
done
[[ -z $raw ]] || cp "$results" "$raw"

# One table row a tool over the rows that pass the filter (a file is in the common set when every tool coded it
# and it is plain 8- or 16-bit mono or stereo PCM).
summary() { # common-only(0|1)
  awk -F'\t' -v common_only="$1" -v tools="${tools[*]}" \
      -v labels="$(for t in "${tools[@]}"; do printf '%s\x1f' "${label[$t]}"; done)" '
    NR == FNR { if (FNR > 1 && $7 != "yes") refused[$2] = 1; next }
    FNR == 1 { next }
    {
      if (common_only && (refused[$2] || ($4 != 8 && $4 != 16) || ($3 != 1 && $3 != 2))) next
      if ($7 != "yes") { nrefused[$1]++; next }
      files[$1]++; inb[$1] += $6; outb[$1] += $8; dur[$1] += $5
      ew[$1] += $9; ec[$1] += $10; dw[$1] += $11; dc[$1] += $12
    }
    function rt(d, t) { return t > 0 ? sprintf("%.0f", d / t) : "-" }
    # Speed relative to flac: its time over ours, on the same files.
    function ratio(ours, theirs) { return ours > 0 && theirs > 0 ? sprintf("%.2f", theirs / ours) : "-" }
    END {
      n = split(tools, tool, " "); split(labels, name, "\x1f")
      print "| tool | files coded | refused | size % of input | encode x real time | decode x real time" \
            " | encode x RT (CPU time) | decode x RT (CPU time) | encode speed / flac -8 | decode speed / flac -d |"
      print "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
      for (i = 1; i <= n; i++) {
        t = tool[i]
        printf "| %s | %d | %d | %.2f | %s | %s | %s | %s | %s | %s |\n", name[i], files[t], nrefused[t],
          (inb[t] > 0 ? 100 * outb[t] / inb[t] : 0), rt(dur[t], ew[t]), rt(dur[t], dw[t]),
          rt(dur[t], ec[t]), rt(dur[t], dc[t]),
          files[t] == files["flac8"] ? ratio(ew[t], ew["flac8"]) : "-", files[t] == files["flac8"] ? ratio(dw[t], dw["flac8"]) : "-"
      }
    }' "$results" "$results"
}

per_file() {
  awk -F'\t' -v tools="${tools[*]}" \
      -v labels="$(for t in "${tools[@]}"; do printf '%s\x1f' "${short[$t]}"; done)" '
    FNR == 1 { next }
    {
      if (!($2 in seen)) { seen[$2] = 1; order[++nfiles] = $2; info[$2] = $3 "ch " $4 "-bit, " $5 " s" }
      cell[$1, $2] = $7 == "yes" ? sprintf("%.2f", 100 * $8 / $6) : "refused"
      if ($1 ~ /^qola/) qcheck[$1, $2] = $13
      else if ($7 == "yes" && $13 != "same audio") bad = bad "\n- " $1 " on " $2 ": " $13
      else if ($7 != "yes") why = why "\n- " $1 " refused " $2 ": " $13
    }
    END {
      n = split(tools, tool, " "); split(labels, heading, "\x1f")
      printf "| file | layout |"; for (i = 1; i <= n; i++) printf " %s |", heading[i]; print " QOLA restore |"
      printf "|---|---|"; for (i = 1; i <= n; i++) printf "---:|"; print "---|"
      for (f = 1; f <= nfiles; f++) {
        name = order[f]; printf "| %s | %s |", substr(name, 1, 3), info[name]
        for (i = 1; i <= n; i++) printf " %s |", cell[tool[i], name]
        check = qcheck["qola", name]
        if (("qola-j2", name) in qcheck && qcheck["qola-j2", name] != check) check = check " / " qcheck["qola-j2", name]
        if (("qola-none", name) in qcheck && qcheck["qola-none", name] != check) check = check " / " qcheck["qola-none", name]
        print " " check " |"
      }
      print "\nRefusals:" (why == "" ? " none" : why)
      print "\nOther tools whose decoded audio did not match the original:" (bad == "" ? " none" : bad)
    }' "$results"
}

{
  echo "## Comparison run of $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo
  echo "Command: \`$command_line\` (qola binary: \`${qola#"$repo"/}\`, built $(date -u -r "$qola" '+%H:%M UTC');" \
    "repository at commit $(git -C "$repo" rev-parse --short HEAD 2>/dev/null || echo unknown)$(
    [[ -n $(git -C "$repo" status --porcelain -- src cli include 2>/dev/null) ]] && echo ' with uncommitted sources'))"
  echo
  echo "Machine: $(nproc) CPUs, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), load average" \
    "$load_before before and $load_after after the run. Tools: $(flac --version | head -1)," \
    "$(wavpack --version 2>&1 | head -1), $(ffmpeg -version | head -1 | cut -d' ' -f1-3)."
  echo
  echo "Each command ran $runs time(s); the fastest wall time counts (with the CPU time of that run)." \
    "Speeds are total audio duration (MANIFEST duration_s) over total time, every process start included."
  echo
  echo "### Each tool on the files it coded"
  echo
  summary 0
  echo
  echo "Process start-up (fastest \`--version\` run, paid once per file and direction): $startup."
  echo
  echo "### Files every tool coded (8- and 16-bit mono and stereo)"
  echo
  summary 1
  echo
  echo "### Size per file (% of input)"
  echo
  per_file
} >"${report:-/dev/stdout}"
