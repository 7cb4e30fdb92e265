#!/usr/bin/env bash
# Puts the opening book that comes with the engine (data/B12SPBook.bxk) into
# the engine's data folder, unless a book of that name is already there:
# book learning rewrites that file, so a book in use is never replaced.
# The folder is the engine's: $APPDATA/BRAXEN Chess, else
# $XDG_DATA_HOME/BRAXEN Chess (when absolute), else ~/.local/share/BRAXEN Chess.
set -euo pipefail

cd "$(dirname "$0")/.."
if [ -n "${APPDATA:-}" ]; then
  base=$APPDATA
elif [ -n "${XDG_DATA_HOME:-}" ] && [ "${XDG_DATA_HOME#/}" != "$XDG_DATA_HOME" ]; then
  base=$XDG_DATA_HOME
else
  base=$HOME/.local/share
fi
folder="$base/BRAXEN Chess"
book="$folder/B12SPBook.bxk"
if [ -e "$book" ] || [ -L "$book" ]; then
  exit 0
fi

mkdir -p "$folder"
temp=$(mktemp "$folder/.B12SPBook.XXXXXX")
trap 'rm -f "$temp"' EXIT
cp data/B12SPBook.bxk "$temp"
chmod 644 "$temp"
# A hard link never replaces an existing file, so a book that appeared in
# the meantime stays; where links are not possible, mv -n does the same.
ln "$temp" "$book" 2>/dev/null || mv -n "$temp" "$book" 2>/dev/null || true
if cmp -s data/B12SPBook.bxk "$book"; then
  echo "opening book installed: $book" >&2
fi
