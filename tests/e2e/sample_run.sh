#!/usr/bin/env bash
# Runs the system on the built-in sample configuration.
#
# Called by "./tavrine.sh run" with the Wine prefix booted and a persistent
# wineserver running. Lays the sample areas out under the build folder, maps
# them to drive T: of the prefix and runs what the system can do so far.
set -euo pipefail
ROOT=$1
BUILD=$2
WIN=$BUILD/win
SAMPLE=$BUILD/sample

say() { printf '%s\n' "$*"; }

# ---- lay out the sample configuration
rm -rf "$SAMPLE"
mkdir -p "$SAMPLE"
cp -r "$ROOT/tests/e2e/sample/." "$SAMPLE/"
for d in LOG REQUEST SERVER/T-DB SERVER/T-MAIL SYSTEM/T-DB \
         USERS/JSMITH/T-IN USERS/JSMITH/T-OUT USERS/JSMITH/T-GRAPH USERS/JSMITH/T-DB \
         USERS/ADMIN/T-IN USERS/ADMIN/T-OUT USERS/ADMIN/T-GRAPH USERS/ADMIN/T-DB; do
    mkdir -p "$SAMPLE/$d"
done
ln -sfn "$SAMPLE" "$WINEPREFIX/dosdevices/t:"
export TFAXINIT='T:\SYSTEM'
say "sample configuration: $SAMPLE (drive T: in the Wine prefix), TFAXINIT=$TFAXINIT"

# ---- the configuration reads back
wine "$WIN/diag/tvconfig.exe"
