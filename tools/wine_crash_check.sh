#!/bin/sh
# wine_crash_check.sh BUILD_WIN IMAGE: an import by qorlu.exe under Wine,
# killed (by strace) just before it flushes the image, leaves the image half
# written and its journal; the next qorlu.exe that opens the image puts the
# old sectors back, says so, and deletes the journal. Exit status 0 when all
# of that holds.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
image=$2
prefix="$build/wineprefix"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$image" "$work/disc.bin"
cp "$image" "$work/before.bin"
head -c 20000 /dev/zero | tr '\0' 'Q' > "$work/TITLE.ADX"
cd "$work"
run() { "$here/wine_run.sh" "$prefix" "$build/cli/qorlu.exe" "$@"; }
# The first flush is the journal's, the second the image's.
status=0
strace -f -qq -o /dev/null -e inject=fsync:signal=KILL:when=2 \
  "$here/wine_run.sh" "$prefix" "$build/cli/qorlu.exe" import disc.bin TITLE.ADX --yes \
  >/dev/null 2>&1 || status=$?
fail() { echo "wine_crash_check: $*" >&2; exit 1; }
[ "$status" -ne 0 ] || fail "the import was not killed"
[ -f disc.bin.qorlu-undo ] || fail "the killed import left no journal"
cmp -s disc.bin before.bin && fail "the killed import had not written the image yet"
run list disc.bin >/dev/null 2>err.txt || fail "list after the kill failed: $(cat err.txt)"
grep -q "An interrupted import was undone: disc.bin" err.txt || fail "the undo was not reported: $(cat err.txt)"
cmp -s disc.bin before.bin || fail "the image was not put back"
[ ! -e disc.bin.qorlu-undo ] || fail "the journal is still there"
echo "wine_crash_check: a killed import under Wine was undone by the next open"
