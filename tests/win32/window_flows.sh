#!/bin/sh
# window_flows.sh SOURCE_DIR BUILD_DIR MAKE_SAMPLE FLOW: one round trip of a
# Windows program, driven through its window by window_driver.exe under Wine
# (run it inside tools/under_window_manager.sh), and checked against what
# qorlu.exe does to a copy of the same files: the same files, and every box
# the window showed carries a text that the command line printed too.
#
# FLOW: extract, extract-cancel, extract-quit, import-yes, import-no,
#       patch, drop-inside-box, texture, block.
set -eu
source_dir=$1
build=$2
make_sample=$3
flow=$4
prefix=$build/wineprefix
export WINEPREFIX="$prefix"

run() { sh "$source_dir/tools/wine_run.sh" "$prefix" "$@"; }
win() { winepath -w "$1" 2>/dev/null; }
# Each with its own exit status (a pipe would give tr's).
driver() {
  status=0
  run "$build/tests/win32/window_driver.exe" "$@" >"$work/raw.txt" || status=$?
  tr -d '\r' <"$work/raw.txt"
  return $status
}
qorlu() {
  status=0
  run "$build/cli/qorlu.exe" "$@" >"$work/raw.txt" 2>&1 || status=$?
  tr -d '\r' <"$work/raw.txt"
  return $status
}
fail() { echo "window_flows.sh ($flow): $*" >&2; exit 1; }

# On disk, not in memory: the unpacker asks for 550,000,000 bytes free.
work=$(mktemp -d "${TMPDIR:-/tmp}/qorlu-window-flow.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Every "box: TEXT" line of the driver's output must be a text the command
# line printed ($2), line breaks and all.
boxes_in() {
  grep '^box: ' "$1" | sed 's/^box: //' | while IFS= read -r box; do
    printf '%b' "$box" >"$work/box.txt"
    text_occurs "$work/box.txt" "$2" || fail "the box \"$box\" is no text of the command line"
  done
}
# True when the file $1's text occurs in the file $2 (through the
# environment: awk -v would read the backslashes of a path as escapes).
text_occurs() {
  QORLU_TEXT=$(cat "$1") awk -v RS='\001' 'index($0, ENVIRON["QORLU_TEXT"]) { found = 1 } END { exit !found }' "$2"
}

# Each file of the folder $1 is in $2 with the same bytes; prints the count.
same_files() {
  count=0
  for f in $(cd "$1" && find . -type f ! -name '*.bin' | sort); do
    cmp -s "$1/$f" "$2/$f" || fail "$f differs from the command line's"
    count=$((count + 1))
  done
  echo "$count"
}

image_of() { # image_of FOLDER [--many N]: a sample image alone in FOLDER
  mkdir -p "$1"
  if [ $# -gt 1 ]; then "$make_sample" "$1/sample.bin" "$2" "$3" >/dev/null; else "$make_sample" "$1/sample.bin" >/dev/null; fi
}

case "$flow" in
extract | extract-cancel | extract-quit)
  if [ "$flow" = extract ]; then image_of "$work/window"; else image_of "$work/window" --many 1500; fi
  cp "$work/window/sample.bin" "$work/cli.bin"
  qorlu extract "$(win "$work/cli.bin")" "$(win "$work/cli")" >"$work/cli.txt" || true
  how=""
  [ "$flow" = extract-cancel ] && how=cancel
  [ "$flow" = extract-quit ] && how=quit
  driver extract "$(win "$build/qorlu_unpacker.exe")" "$(win "$work/window/sample.bin")" "$(win "$work/window")" $how \
    >"$work/driver.txt" || { cat "$work/driver.txt"; fail "the driver failed"; }
  cat "$work/driver.txt"
  written=$(same_files "$work/window" "$work/cli")
  total=$(cd "$work/cli" && find . -type f | wc -l)
  echo "$written of $total files written, each the same as the command line's"
  if [ "$flow" = extract ]; then
    [ "$written" -eq "$total" ] || fail "only $written of $total files"
    boxes_in "$work/driver.txt" "$work/cli.txt"
  else
    [ "$written" -lt "$total" ] || fail "the job was not stopped: all $total files written"
  fi
  ;;
import-yes | import-no)
  image_of "$work/window"
  cp "$work/window/sample.bin" "$work/original.bin"
  cp "$work/window/sample.bin" "$work/cli.bin"
  mkdir -p "$work/mod"
  printf 'An edited read-me, shorter than the entry.\n' >"$work/mod/README.TXT"
  answer=${flow#import-}
  driver import "$(win "$build/qorlu_unpacker.exe")" "$(win "$work/window/sample.bin")" "$(win "$work/mod/README.TXT")" \
    "$answer" >"$work/driver.txt" || { cat "$work/driver.txt"; fail "the driver failed"; }
  cat "$work/driver.txt"
  if [ "$answer" = yes ]; then
    qorlu import "$(win "$work/cli.bin")" "$(win "$work/mod/README.TXT")" --yes >"$work/cli.txt"
    cmp "$work/window/sample.bin" "$work/cli.bin" || fail "the window's import differs from the command line's"
    grep -q '^box: file import OK!$' "$work/driver.txt" || fail "no \"file import OK!\""
  else
    printf 'n\n' >"$work/no.txt"
  qorlu import "$(win "$work/cli.bin")" "$(win "$work/mod/README.TXT")" <"$work/no.txt" >"$work/cli.txt" || true
    cmp "$work/window/sample.bin" "$work/original.bin" || fail "answering No changed the image"
  fi
  boxes_in "$work/driver.txt" "$work/cli.txt"
  ;;
patch)
  # A patch made from the sample and a modded copy, dropped on the window
  # that holds a fresh copy: that copy becomes the modded one.
  image_of "$work/window"
  cp "$work/window/sample.bin" "$work/original.bin"
  cp "$work/window/sample.bin" "$work/modded.bin"
  mkdir -p "$work/mod"
  printf 'A read-me of the mod.\n' >"$work/mod/README.TXT"
  qorlu import "$(win "$work/modded.bin")" "$(win "$work/mod/README.TXT")" --yes >/dev/null
  qorlu patch-make "$(win "$work/original.bin")" "$(win "$work/modded.bin")" "$(win "$work/mod/mod.ppf")" >/dev/null
  driver import "$(win "$build/qorlu_unpacker.exe")" "$(win "$work/window/sample.bin")" "$(win "$work/mod/mod.ppf")" \
    yes >"$work/driver.txt" || { cat "$work/driver.txt"; fail "the driver failed"; }
  cat "$work/driver.txt"
  cmp "$work/window/sample.bin" "$work/modded.bin" || fail "the patched image differs from the modded one"
  grep -q '^box: patch apply OK!$' "$work/driver.txt" || fail "no \"patch apply OK!\""
  qorlu verify "$(win "$work/window/sample.bin")" >/dev/null || fail "verify fails on the patched image"
  ;;
drop-inside-box)
  # After a patch the window loads the index again and warns about the
  # archive's size; a file dropped while that box is up is refused, and
  # taken when dropped again afterwards: the image is the patched one with
  # that one import.
  image_of "$work/window"
  cp "$work/window/sample.bin" "$work/original.bin"
  cp "$work/window/sample.bin" "$work/modded.bin"
  mkdir -p "$work/mod" "$work/edit"
  printf 'A read-me of the mod.\n' >"$work/mod/README.TXT"
  printf 'An edited read-me, dropped twice.\n' >"$work/edit/README.TXT"
  qorlu import "$(win "$work/modded.bin")" "$(win "$work/mod/README.TXT")" --yes >/dev/null
  qorlu patch-make "$(win "$work/original.bin")" "$(win "$work/modded.bin")" "$(win "$work/mod/mod.ppf")" >/dev/null
  driver drop-inside-box "$(win "$build/qorlu_unpacker.exe")" "$(win "$work/window/sample.bin")" \
    "$(win "$work/mod/mod.ppf")" "$(win "$work/edit/README.TXT")" >"$work/driver.txt" ||
    { cat "$work/driver.txt"; fail "the driver failed"; }
  cat "$work/driver.txt"
  cp "$work/modded.bin" "$work/cli.bin"
  qorlu import "$(win "$work/cli.bin")" "$(win "$work/edit/README.TXT")" --yes >"$work/cli.txt"
  cmp "$work/window/sample.bin" "$work/cli.bin" || fail "the image is not the patched one with one import"
  [ "$(grep -c 'Import this file ?' "$work/driver.txt")" -eq 1 ] || fail "not exactly one import question"
  ;;
texture | block)
  image_of "$work/image"
  qorlu extract "$(win "$work/image/sample.bin")" "$(win "$work/entries")" >/dev/null || true
  if [ "$flow" = texture ]; then
    program=qorlu_bitmapper; export_zone=1000; import_zone=1001; entry=TEXTURE/FONT.TEX
    export_cmd=texture-export; import_cmd=texture-import; suffix=_000.bmp
  else
    program=qorlu_packer; export_zone=1002; import_zone=1003; entry=DATA/STAGE01.BIN
    export_cmd=block-export; import_cmd=block-import; suffix=_000
  fi
  name=$(basename "$entry")
  mkdir -p "$work/window" "$work/cli"
  cp "$work/entries/$entry" "$work/window/$name"
  cp "$work/entries/$entry" "$work/cli/$name"
  driver drop "$(win "$build/$program.exe")" "$export_zone" "$(win "$work/window/$name")" >"$work/driver.txt" ||
    { cat "$work/driver.txt"; fail "the export drop failed"; }
  qorlu "$export_cmd" "$(win "$work/cli/$name")" >"$work/cli.txt" || true
  for f in $(cd "$work/cli" && ls); do
    cmp -s "$work/cli/$f" "$work/window/$f" || fail "$f differs from the command line's export"
  done
  [ -f "$work/window/$name$suffix" ] || fail "no $name$suffix was written"
  # The same edit in both: the last byte of the first export turned over.
  for side in window cli; do
    f="$work/$side/$name$suffix"
    size=$(wc -c <"$f")
    last=$(od -An -tu1 -j $((size - 1)) "$f" | tr -d ' ')
    printf "$(printf '\\%03o' $((255 - last)))" | dd of="$f" bs=1 seek=$((size - 1)) conv=notrunc 2>/dev/null
  done
  driver drop "$(win "$build/$program.exe")" "$import_zone" "$(win "$work/window/$name$suffix")" >>"$work/driver.txt" ||
    { cat "$work/driver.txt"; fail "the import drop failed"; }
  qorlu "$import_cmd" "$(win "$work/cli/$name$suffix")" >>"$work/cli.txt" || true
  cat "$work/driver.txt"
  cmp "$work/window/$name" "$work/cli/$name" || fail "the container differs from the command line's"
  cmp -s "$work/window/$name" "$work/entries/$entry" && fail "the import changed nothing"
  boxes_in "$work/driver.txt" "$work/cli.txt"
  ;;
*) fail "unknown flow" ;;
esac
echo "window_flows.sh: $flow passed"
