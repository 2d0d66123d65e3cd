#!/usr/bin/env bash
# Usage: check_exports.sh OBJDUMP FILE NAME...
# Passes when FILE's export table names exactly the given NAMEs.
set -u
objdump=$1 file=$2
shift 2

if [[ ! -f $file ]]; then
  echo "FAIL: $file does not exist"
  exit 1
fi
actual=$("$objdump" -p "$file" |
  sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/{/\[/p}' |
  sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\].*[[:space:]]\([^[:space:]]*\)$/\1/p' |
  LC_ALL=C sort)
expected=$(printf '%s\n' "$@" | LC_ALL=C sort)
echo "$(basename "$file") exports: $(tr '\n' ' ' <<<"$actual")"
if [[ $actual != "$expected" ]]; then
  echo "FAIL: expected exactly: $(tr '\n' ' ' <<<"$expected")"
  diff <(echo "$expected") <(echo "$actual")
  exit 1
fi
echo "PASS"
