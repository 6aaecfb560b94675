#!/usr/bin/env bash
# The window's scaling at 96, 120, 144 and 192 dpi: for each, the user's
# LogPixels is set in a prefix of this test's own, its server restarted so that
# Wine reads it, and the in-process DPI test run there with the DPI it must see.
# usage: windows_dpi.sh WINE-RUN PREFIX FORM1-DPI-TEST
set -euo pipefail
wine_run=$1 prefix=$2 test=$3
trap '"$wine_run" --prefix "$prefix" --stop' EXIT
for dpi in 96 120 144 192; do
  "$wine_run" --prefix "$prefix" -- reg add 'HKCU\Control Panel\Desktop' /v LogPixels \
    /t REG_DWORD /d "$dpi" /f >/dev/null
  "$wine_run" --prefix "$prefix" -- reg add 'HKCC\Software\Fonts' /v LogPixels \
    /t REG_DWORD /d "$dpi" /f >/dev/null
  "$wine_run" --prefix "$prefix" --stop
  KORVALUX_EXPECT_DPI=$dpi "$wine_run" --prefix "$prefix" -- "$test" \
    --gtest_filter=Form1Dpi.EveryControlScalesWithTheScreen --gtest_brief=1
done
