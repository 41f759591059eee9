#!/bin/bash
# compare_windows.sh LINUX_BUILD WINDOWS_BUILD: every subcommand of qorlu on
# the bundled sample, once with the Linux build and once with the Windows
# build under Wine, each in its own copy of the sample inside a folder with
# non-ASCII characters, which Wine reaches by a drive-letter path (Z:\...).
# Both start from the Linux build's sample (the two builds' samples differ
# in the dates their ISO authoring tool wrote).
# The two runs must leave the same files and print the same messages with
# the same exit statuses. Before comparing, messages get "\n" line ends,
# the folder's Windows spelling becomes the Linux one, and "\" becomes "/"
# (Windows shows entry names with its own separator).
set -euo pipefail
LINUX_BUILD=$(cd "$1" && pwd)
WINDOWS_BUILD=$(cd "$2" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
PREFIX=${QORLU_WINEPREFIX:-$WINDOWS_BUILD/wineprefix}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
TOP="$WORK/modding ünïcødé 名前"
mkdir -p "$TOP/lin" "$TOP/win"
cp "$LINUX_BUILD/sample/sample.bin" "$TOP/lin/disc.bin"
cp "$LINUX_BUILD/sample/sample.bin" "$TOP/win/disc.bin"

# The Windows name of a Linux path: Wine's drive Z: is the root folder.
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
WTOP=$(winpath "$TOP")

steps=0
# run NAME ARGS...: ARGS name files below the tree as @/relative; each side
# gets its own tree. Compares status, stdout and stderr.
run() {
  local name=$1 a
  shift
  local lin=() win=()
  for a in "$@"; do
    case $a in
      @*) lin+=("$TOP/lin/${a#@}")
          win+=("$WTOP\\win\\$(printf '%s' "${a#@}" | tr / '\\')") ;;
      *) lin+=("$a"); win+=("$a") ;;
    esac
  done
  set +e
  (cd "$TOP/lin" && "$LINUX_BUILD/cli/qorlu" "${lin[@]}" >"$WORK/lin.out" 2>"$WORK/lin.err" </dev/null)
  echo $? >"$WORK/lin.status"
  (cd "$TOP/win" && "$HERE/wine_run.sh" "$PREFIX" "$WINDOWS_BUILD/cli/qorlu.exe" "${win[@]}" \
    >"$WORK/win.out" 2>"$WORK/win.err" </dev/null)
  echo $? >"$WORK/win.status"
  set -e
  for side in lin win; do
    for stream in out err; do
      sed -e 's/\r$//' -e "s|$(printf '%s' "$WTOP" | sed 's/[\\.]/\\&/g')|$TOP|g" -e 's|\\|/|g' \
        -e "s|$TOP/$side|TREE|g" "$WORK/$side.$stream" >"$WORK/$side.$stream.n"
    done
  done
  for f in status out.n err.n; do
    if ! cmp -s "$WORK/lin.$f" "$WORK/win.$f"; then
      echo "compare_windows: '$name' differs ($f):" >&2
      diff "$WORK/lin.$f" "$WORK/win.$f" >&2 || true
      exit 1
    fi
  done
  steps=$((steps + 1))
  echo "same: $name (status $(cat "$WORK/lin.status"))"
}

run "list" list @disc.bin
run "extract" extract @disc.bin @files
run "extract --adx" extract @disc.bin @adx --adx
run "verify" verify @disc.bin
run "texture-export" texture-export @files/TEXTURE/FONT.TEX
# The first pixel of the first texture's bottom row painted with colour 7.
for side in lin win; do
  printf '\007' | dd of="$TOP/$side/files/TEXTURE/FONT.TEX_000.bmp" bs=1 seek=1078 conv=notrunc 2>/dev/null
done
run "texture-import" texture-import @files/TEXTURE/FONT.TEX_000.bmp
run "block-export" block-export @files/DATA/STAGE01.BIN
for side in lin win; do echo "a line added by the modder" >>"$TOP/$side/files/DATA/STAGE01.BIN_001"; done
run "block-import" block-import @files/DATA/STAGE01.BIN_001
for side in lin win; do cp "$TOP/$side/disc.bin" "$TOP/$side/original.bin"; done
run "import" import @disc.bin @files/TEXTURE/FONT.TEX @files/DATA/STAGE01.BIN --yes
run "import, refused" import @disc.bin @files/NO_SUCH.BIN --yes
run "verify after import" verify @disc.bin
run "extract again" extract @disc.bin @again
run "patch-make" patch-make @original.bin @disc.bin @mod.ppf --undo --description "sample mod"
for side in lin win; do cp "$TOP/$side/original.bin" "$TOP/$side/player.bin"; done
run "patch-apply" patch-apply @player.bin @mod.ppf
run "patch-apply --undo" patch-apply @player.bin @mod.ppf --undo
run "patch-apply, another image" patch-apply @files/README.TXT @mod.ppf
run "wrong arguments" extract @disc.bin
run "a missing image" list @missing.bin

# Every file of the two trees, byte for byte: extractions, bitmaps,
# blocks, the rewritten containers and the changed disc image.
if ! diff -r "$TOP/lin" "$TOP/win" >&2; then
  echo "compare_windows: the Linux and the Windows runs left different files" >&2
  exit 1
fi
echo "compare_windows: $steps steps gave the same messages, statuses and files ($(find "$TOP/lin" -type f | wc -l) files)"
