#!/bin/sh
# make_manpage.sh HELP2MAN QORLU OUT: the man page of qorlu, made from its
# --help and --version, with a section holding each subcommand's --help.
set -e
help2man=$1
qorlu=$2
out=$3
include="$out.include"

# The subcommands are the first words of the lines under "Subcommands:".
names=$("$qorlu" --help | sed -n '/^Subcommands:/,/^$/p' | sed -n 's/^  \([a-z][a-z-]*\).*/\1/p')
[ -n "$names" ] || { echo "make_manpage.sh: no subcommands in $qorlu --help" >&2; exit 1; }

{
  echo "[SUBCOMMANDS]"
  for name in $names; do
    echo ".SS $name"
    echo ".nf"
    # roff: backslashes and minus signs escaped, no line read as a request.
    "$qorlu" "$name" --help | sed -e 's/\\/\\e/g' -e 's/-/\\-/g' -e "s/^[.']/\\\\\\&&/"
    echo ".fi"
  done
} > "$include"

"$help2man" --no-info --section=1 --name="modding kit for one CD game, from the command line" \
  --include="$include" --output="$out" "$qorlu"
rm -f "$include"
