#!/usr/bin/env bash
# Usage: make_wineprefix.sh BROWSER
# Makes the throwaway wine prefix WINEPREFIX (first start of wine) and makes
# BROWSER the program that wine's shell opens web addresses with.
set -u
here=$(dirname "$0")
source "$here/wine_common.sh"
browser=$1

started=$(date +%s)
if [[ ! -f $WINEPREFIX/system.reg ]]; then
  mkdir -p "$WINEPREFIX"
  "$PINGWELL_WINE" wineboot --init || fail "wineboot failed"
  "$PINGWELL_WINESERVER" -w
fi
# A copy inside the prefix, so that it is executable whatever the checkout.
install -m 755 "$browser" "$WINEPREFIX/browser" || fail "could not copy $browser"
"$PINGWELL_WINE" reg add 'HKCU\Software\Wine\WineBrowser' /v Browsers \
  /t REG_SZ /d "$WINEPREFIX/browser" /f >/dev/null || fail "could not set the browser"
echo "wine prefix ready in $(($(date +%s) - started)) s: $WINEPREFIX"
