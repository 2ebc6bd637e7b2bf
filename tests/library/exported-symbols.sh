#!/usr/bin/env bash
# The shared library exports exactly the functions the header declares.
# Usage: exported-symbols.sh LIBRARY HEADER
set -euo pipefail
library=$1
header=$2
declared=$(grep -o '^QOLA_API [^(]*(' "$header" | sed -E 's/.*[ *]([a-z0-9_]+)\($/\1/' | sort -u)
exported=$(nm -D --defined-only "$library" | awk '$2 ~ /^[TtWwDdBbRrVvi]$/ { sub(/@.*/, "", $3); print $3 }' | sort -u)
if [ "$declared" != "$exported" ]; then
  echo "exported symbols differ from the header's functions:"
  diff <(echo "$declared") <(echo "$exported") || true
  exit 1
fi
echo "$(echo "$exported" | wc -l) symbols, all declared in $(basename "$header")"
