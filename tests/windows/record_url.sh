#!/bin/sh
# The "browser" of the test wine prefix: notes the address it was asked to
# open instead of opening it.
printf '%s\n' "$*" >> "${PINGWELL_OPENED_URLS:-$WINEPREFIX/opened-urls.txt}"
