#!/bin/sh
# A REGEDIT4 file saved by the host registry goes through the real regedit
# under wine64 and comes back unchanged:
#   1. regtool writes a sample subtree with the host store;
#   2. regedit /S imports it into a fresh wine prefix;
#   3. regedit /E exports the subtree (version 5, UTF-16);
#   4. regtool loads both files and compares keys, names, types and bytes.
#
# usage: regedit_roundtrip.sh REGTOOL PREFIX_DIR SOURCE_DIR
#
# Wine programs hand their standard output to helper processes that live
# as long as the wineserver, so every wine command here writes to a file and
# reads /dev/null: never run one inside a pipe or $(...).
set -eu

regtool=$1
prefix=$2
srcdir=$3
root='HKEY_LOCAL_MACHINE\Software\HostwinRoundTrip'
wine=/usr/lib/wine/wine64
work=$prefix.work

fail() {
    echo "regedit round trip: $*" >&2
    exit 1
}

[ -x "$wine" ] || fail "wine64 not found at $wine"

cleanup() {
    "$srcdir/cmake/wine-prefix" cleanup "$prefix" >/dev/null 2>&1 || true
}
trap cleanup EXIT

rm -rf "$work"
mkdir -p "$work"
"$srcdir/cmake/wine-prefix" setup "$prefix" >"$work/setup.log" 2>&1 </dev/null ||
    { cat "$work/setup.log" >&2; fail "cannot set up the wine prefix $prefix"; }
export WINEPREFIX="$prefix" WINEDEBUG=-all

"$regtool" write-sample "$work/sample.reg" "$root"
head -n 1 "$work/sample.reg" | grep -q '^REGEDIT4' || fail "sample.reg is not a REGEDIT4 file"

# regedit takes DOS paths; relative names in the work directory avoid them.
cd "$work"
"$wine" regedit /S sample.reg >import.log 2>&1 </dev/null || { cat import.log >&2; fail "regedit /S failed"; }
"$wine" regedit /E exported.reg "$root" >export.log 2>&1 </dev/null || { cat export.log >&2; fail "regedit /E failed"; }
[ -s exported.reg ] || fail "regedit exported nothing"

# What regedit wrote must be its version 5 format: UTF-16LE with a BOM.
bom=$(od -An -tx1 -N2 exported.reg | tr -d ' \n')
[ "$bom" = fffe ] || fail "exported.reg does not start with a UTF-16LE byte-order mark ($bom)"

"$regtool" compare sample.reg exported.reg "$root" || fail "the subtree changed on its way through regedit"
echo "regedit round trip: ok"
