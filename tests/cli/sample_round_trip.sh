#!/bin/sh
# The whole kit on the bundled sample disc, as a modder would use it: pull
# the files out, turn a texture into bitmaps and a container into blocks,
# edit one of each, put them back, write the changed files into a copy of
# the disc and pull them out again.
set -eu
QORLU=$1
SAMPLE=$2
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

cp "$SAMPLE" "$WORK/disc.bin"
"$QORLU" extract "$WORK/disc.bin" "$WORK/files" 2>/dev/null
TEX="$WORK/files/TEXTURE/FONT.TEX"
BLK="$WORK/files/DATA/STAGE01.BIN"

"$QORLU" texture-export "$TEX"
# Paint the first pixel of the first texture's bottom row with colour 7.
printf '\007' | dd of="$TEX"_000.bmp bs=1 seek=1078 conv=notrunc 2>/dev/null
"$QORLU" texture-import "$TEX"_000.bmp

"$QORLU" block-export "$BLK"
echo "a line added by the modder" >> "$BLK"_001
cp "$BLK"_001 "$WORK/edited_001"
"$QORLU" block-import "$BLK"_001
"$QORLU" block-export "$BLK"
cmp "$BLK"_001 "$WORK/edited_001"

"$QORLU" verify "$WORK/disc.bin" >/dev/null
"$QORLU" import "$WORK/disc.bin" "$TEX" "$BLK" --yes >/dev/null 2>&1
# The sectors written carry checksums of their new bytes.
"$QORLU" verify "$WORK/disc.bin" >/dev/null
"$QORLU" extract "$WORK/disc.bin" "$WORK/again" 2>/dev/null
# A recorded size never drops below the slot space - 2047, so an entry may
# come back with the slot's old bytes after the new ones.
cmp -n "$(wc -c < "$TEX")" "$TEX" "$WORK/again/TEXTURE/FONT.TEX"
cmp -n "$(wc -c < "$BLK")" "$BLK" "$WORK/again/DATA/STAGE01.BIN"
"$QORLU" block-export "$WORK/again/DATA/STAGE01.BIN"
cmp "$WORK/again/DATA/STAGE01.BIN_001" "$WORK/edited_001"
echo "sample round trip: every tool, back into the disc"
