#!/usr/bin/env bash
# Usage: check_imports.sh OBJDUMP FILE ALLOWED...
# Passes when every DLL that FILE imports matches one of the ALLOWED names
# (shell patterns, compared without regard to case).
set -u
objdump=$1 file=$2
shift 2
allowed=("$@")

if [[ ! -f $file ]]; then
  echo "FAIL: $file does not exist"
  exit 1
fi
mapfile -t imports < <("$objdump" -p "$file" | sed -n 's/^[[:space:]]*DLL Name: //p')
echo "$(basename "$file") imports: ${imports[*]:-(nothing)}"

shopt -s nocasematch
status=0
for dll in "${imports[@]}"; do
  ok=no
  for pattern in "${allowed[@]}"; do
    # shellcheck disable=SC2053 # the pattern is meant to match as a pattern
    [[ $dll == $pattern ]] && ok=yes && break
  done
  if [[ $ok == no ]]; then
    echo "FAIL: imports $dll, which is none of: ${allowed[*]}"
    status=1
  fi
done
[[ $status == 0 ]] && echo "PASS"
exit $status
