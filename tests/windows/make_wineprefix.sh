#!/usr/bin/env bash
# Usage: make_wineprefix.sh PREFIX BROWSER
# Makes the wine prefix PREFIX (first start of wine) that each wine test
# copies, and makes BROWSER the program that wine's shell opens web
# addresses with. Kept for later runs: a prefix costs 12 to 25 s to make.
set -u
here=$(dirname "$0")
source "$here/wine_common.sh"
prefix=$1 browser=$2
export WINEPREFIX=$prefix

started=$(date +%s)
if [[ ! -f $prefix/.pingwell-ready ]]; then
  rm -rf "$prefix"
  mkdir -p "$prefix"
  "$PINGWELL_WINE" wineboot --init || fail "wineboot failed"
  # A copy inside the prefix, so that it is executable whatever the checkout.
  install -m 755 "$browser" "$prefix/browser" || fail "could not copy $browser"
  "$PINGWELL_WINE" reg add 'HKCU\Software\Wine\WineBrowser' /v Browsers \
    /t REG_SZ /d "$prefix/browser" /f >/dev/null || fail "could not set the browser"
  # Every wine process of the prefix ends, and the registry is written out.
  "$PINGWELL_WINESERVER" -w
  touch "$prefix/.pingwell-ready"
fi
echo "wine prefix ready in $(($(date +%s) - started)) s: $prefix"
