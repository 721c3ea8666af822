#!/usr/bin/env bash
# Fails when a library of the machine calls into one that is not below it:
# every Kestra symbol a library uses must be defined in itself or in the
# libraries it may use. Arguments: NM, then NAME=ARCHIVE=DEP,DEP,... for
# every library, the allowed ones listed transitively.
set -euo pipefail
nm_tool=$1
shift
declare -A archive allowed
for entry in "$@"; do
  IFS='=' read -r name path deps <<<"$entry"
  archive[$name]=$path
  allowed[$name]=$deps
done
symbols() {  # kind (defined/undefined) archive
  "$nm_tool" --"$1"-only --format=posix "$2" 2>/dev/null | awk '$1 ~ /^_ZN6kestra|^_ZNK6kestra|^_ZZN6kestra/ {print $1}' | sort -u
}
status=0
for name in "${!archive[@]}"; do
  defined=$(symbols defined "${archive[$name]}")
  IFS=',' read -r -a deps <<<"${allowed[$name]}"
  for dep in "${deps[@]}"; do
    [[ -n $dep ]] && defined+=$'\n'$(symbols defined "${archive[$dep]}")
  done
  missing=$(comm -23 <(symbols undefined "${archive[$name]}") <(sort -u <<<"$defined"))
  if [[ -n $missing ]]; then
    echo "check-layers: $name uses what it may not (a library above it, or one not linked):" >&2
    c++filt <<<"$missing" | sed 's/^/  /' >&2
    status=1
  fi
done
exit $status
