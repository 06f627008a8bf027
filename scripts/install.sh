#!/usr/bin/env bash
# Installs a built Tamsel for the user: the program into a folder of its own,
# a desktop entry for the applications menu, the icon in the icon theme's
# sizes and a `tamsel` command in ~/.local/bin. Every file and folder it
# creates is written to the program folder's install record, from which
# scripts/uninstall.sh removes exactly those again. Installing again over an
# earlier install keeps that record whole.
#
# Usage: scripts/install.sh BUILD_DIR
#   TAMSEL_PREFIX  the program folder (default ~/.local/opt/tamsel)
#   XDG_DATA_HOME  where the entry and the icons go (default ~/.local/share)
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:?usage: install.sh BUILD_DIR}"
prefix="${TAMSEL_PREFIX:-$HOME/.local/opt/tamsel}"
data="${XDG_DATA_HOME:-}"
# A relative XDG_DATA_HOME is to be ignored, as the base directory rules say.
if [ "${data#/}" = "$data" ]; then data="$HOME/.local/share"; fi
bin="$HOME/.local/bin"
record="$prefix/.install-record"
icon_sizes=(16 22 24 32 48 64 128 256)

fail() { echo "install.sh: $*" >&2; exit 1; }

# The record holds one path a line; a path with a line break could not be
# written into it, nor into the desktop entry.
for path in "$prefix" "$data" "$bin"; do
  case "$path" in
    /*) ;;
    *) fail "not an absolute path: $path" ;;
  esac
  [[ "$path" != *[[:cntrl:]]* ]] || fail "a folder name holds a control character: $path"
done

pending=()
note() { pending+=("$1 $2"); }

# Creates a folder and its missing parents, noting each one it creates.
make_folder() {
  local folder="$1" missing=()
  while [ ! -e "$folder" ]; do
    missing+=("$folder")
    folder="$(dirname "$folder")"
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  mkdir -p -- "$1"
  local i
  for ((i = ${#missing[@]} - 1; i >= 0; i--)); do note dir "${missing[i]}"; done
}

put_file() {
  local source="$1" target="$2" mode="$3"
  make_folder "$(dirname "$target")"
  install -m "$mode" -- "$source" "$target"
  note file "$target"
}

# The text of a desktop entry's string value: a backslash is written twice.
entry_string() {
  local text="$1"
  printf '%s' "${text//\\/\\\\}"
}

# One argument of the entry's Exec line: quoted, with the characters that are
# special inside the quotes escaped, and a percent sign doubled so that it is
# not taken for a field code.
exec_argument() {
  local text="$1"
  text="${text//\\/\\\\}"
  text="${text//\"/\\\"}"
  text="${text//\`/\\\`}"
  text="${text//\$/\\\$}"
  text="${text//%/%%}"
  entry_string "\"$text\""
}

write_entry() {
  local target="$1" executable="$2" line exec tryexec
  exec="$(exec_argument "$executable")"
  tryexec="$(entry_string "$executable")"
  while IFS= read -r line; do
    line="${line//@EXEC@/"$exec"}"
    line="${line//@TRYEXEC@/"$tryexec"}"
    printf '%s\n' "$line"
  done <"$root/desktop/tamsel.desktop.in" >"$target"
}

# The command on the PATH starts the installed program; as root the web
# engine needs its sandbox switched off, as scripts/run.sh does.
write_command() {
  local target="$1" executable="$2"
  {
    echo '#!/bin/sh'
    echo '# Starts Tamsel; written by its install, removed by its uninstall.'
    echo 'if [ "$(id -u)" -eq 0 ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi'
    printf 'exec %q "$@"\n' "$executable"
  } >"$target"
}

# The program itself, with the files CMake installed.
make_folder "$prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
# CMake's list has no line break after its last line, and writes "/./" for
# files installed into the folder itself.
while IFS= read -r installed || [ -n "$installed" ]; do
  note file "${installed//\/.\//\/}"
done <"$build/install_manifest.txt"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

write_entry "$work/tamsel.desktop" "$prefix/tamsel"
put_file "$work/tamsel.desktop" "$data/applications/tamsel.desktop" 644

put_file "$root/desktop/icons/tamsel.svg" "$data/icons/hicolor/scalable/apps/tamsel.svg" 644
for size in "${icon_sizes[@]}"; do
  put_file "$root/desktop/icons/tamsel-$size.png" "$data/icons/hicolor/${size}x${size}/apps/tamsel.png" 644
done

write_command "$work/tamsel" "$prefix/tamsel"
put_file "$work/tamsel" "$bin/tamsel" 755

# The record of an earlier install keeps the folders that one created.
{
  if [ -f "$record" ]; then cat "$record"; fi
  printf '%s\n' "${pending[@]}"
} | awk '!seen[$0]++' >"$record.new"
mv -f -- "$record.new" "$record"

echo "Installed for $(id -un): $prefix/tamsel, $data/applications/tamsel.desktop, $bin/tamsel"
case ":$PATH:" in
  *":$bin:"*) ;;
  *) echo "Note: $bin is not on your PATH yet; it is added at your next login when the folder exists." ;;
esac
