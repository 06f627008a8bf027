#!/usr/bin/env bash
# Removes what scripts/install.sh put in place, as its install record lists
# it: the program, the desktop entry, the icons, the `tamsel` command, and
# the folders the install created once they are empty. The user's settings,
# preview file, records and macros stay beside the program unless --purge is
# given.
#
# The record is a file in the user's folder and may have been changed: only
# paths the install itself writes are removed (files in the program folder,
# the entry, the icons, the command; folders on the way to those), checked
# with every link of their folder resolved; a link itself is removed, never
# what it points to. Anything else the record names is refused and reported.
#
# Usage: scripts/uninstall.sh [--purge]
#   TAMSEL_PREFIX  the program folder (default ~/.local/opt/tamsel)
#   XDG_DATA_HOME  where the entry and the icons went (default ~/.local/share)
set -euo pipefail

prefix="${TAMSEL_PREFIX:-$HOME/.local/opt/tamsel}"
data="${XDG_DATA_HOME:-}"
if [ "${data#/}" = "$data" ]; then data="$HOME/.local/share"; fi
bin="$HOME/.local/bin"
record="$prefix/.install-record"

purge=""
case "${1:-}" in
  "") ;;
  --purge) purge=1 ;;
  *) echo "usage: uninstall.sh [--purge]" >&2; exit 2 ;;
esac

if [ ! -f "$record" ] && { [ -z "$purge" ] || [ ! -d "$prefix" ]; }; then
  echo "Nothing to remove: $prefix holds no install record."
  exit 0
fi

refused=()
refuse() { refused+=("$1 ($2)"); }

# A folder with every link resolved; empty when it does not exist.
resolved() { realpath -e -- "$1" 2>/dev/null || true; }

# Whether a path names itself plainly: absolute, no "." or ".." parts, no
# control character.
is_plain() {
  case "$1" in
    /*) ;;
    *) return 1 ;;
  esac
  case "/$1/" in
    */./* | */../*) return 1 ;;
  esac
  [[ "$1" != *[[:cntrl:]]* ]]
}

# Whether the path (its folder resolved) is inside the folder (resolved).
is_inside() {
  local path="$1" folder="$2" parent
  [ -n "$folder" ] || return 1
  parent="$(resolved "$(dirname -- "$path")")"
  [ -n "$parent" ] || return 1
  parent="$parent/$(basename -- "$path")"
  case "$parent" in
    "$folder"/*) return 0 ;;
  esac
  return 1
}

real_prefix="$(resolved "$prefix")"
real_data="$(resolved "$data")"
real_bin="$(resolved "$bin")"
real_home="$(resolved "$HOME")"

# The files the install writes: anything in the program folder, the entry,
# the icons and the command.
is_installed_file() {
  local path="$1" name parent
  name="$(basename -- "$path")"
  parent="$(resolved "$(dirname -- "$path")")"
  [ -n "$parent" ] || return 1
  is_inside "$path" "$real_prefix" && return 0
  [ -n "$real_bin" ] && [ "$parent/$name" = "$real_bin/tamsel" ] && return 0
  [ -n "$real_data" ] || return 1
  case "$parent/$name" in
    "$real_data"/applications/tamsel.desktop) return 0 ;;
    "$real_data"/icons/hicolor/*/apps/tamsel.png | "$real_data"/icons/hicolor/*/apps/tamsel.svg) return 0 ;;
  esac
  return 1
}

# The folders the install may create: the ones it writes into and those below
# them, and the missing parents of those inside the home folder.
is_installed_folder() {
  local path="$1" real root
  [ -d "$path" ] && [ ! -L "$path" ] || return 1
  real="$(resolved "$path")"
  for root in "$real_prefix" "$real_bin" "$real_data/applications" "$real_data/icons"; do
    [ -n "$root" ] || continue
    [ "$real" = "$root" ] && return 0
    case "$root/" in
      "$real"/*) case "$real" in "$real_home"/*) return 0 ;; esac ;;
    esac
    case "$real" in
      "$root"/*) return 0 ;;
    esac
  done
  return 1
}

folders=()
if [ -f "$record" ]; then
  while IFS= read -r line || [ -n "$line" ]; do
    kind="${line%% *}"
    path="${line#* }"
    if ! is_plain "$path"; then
      refuse "$path" "not a plain absolute path"
      continue
    fi
    case "$kind" in
      file)
        [ -e "$path" ] || [ -L "$path" ] || continue
        if [ -d "$path" ] && [ ! -L "$path" ]; then
          refuse "$path" "a folder listed as a file"
        elif is_installed_file "$path"; then
          rm -f -- "$path"
        else
          refuse "$path" "not a place the install writes"
        fi
        ;;
      dir)
        [ -e "$path" ] || [ -L "$path" ] || continue
        if is_installed_folder "$path"; then folders+=("$path"); else refuse "$path" "not a folder the install makes"; fi
        ;;
      *) refuse "$line" "not a line of an install record" ;;
    esac
  done <"$record"
fi

# What the program makes beside itself: the settings and their lock and
# temporary copies, the preview file, the records of the last text (also a
# text kept aside after a crash) and their temporary copies, the macros file,
# the history with its lock, its temporary copies and damaged ones set aside.
user_patterns=(tamsel.ini tamsel.ini.lock 'tamsel.ini.??????' tamsel.tex 'tamsel.tex.*' tamsel-macros.tex
  tamsel.history 'tamsel.history.*')
kept=()
shopt -s nullglob
for pattern in "${user_patterns[@]}"; do
  for path in "$prefix"/$pattern; do
    [ -e "$path" ] || [ -L "$path" ] || continue
    if [ -z "$purge" ]; then
      kept+=("$path")
    elif [ -d "$path" ] && [ ! -L "$path" ]; then
      kept+=("$path (a folder: the program makes no folder of that name)")
    elif [ ! -L "$path" ] && [ "$(stat -c %u -- "$path")" != "$(id -u)" ]; then
      kept+=("$path (owned by another user: not made by your program)")
    else
      rm -f -- "$path"
    fi
  done
done
shopt -u nullglob
rm -f -- "$record"

# With --purge the program folder goes too, once it is empty.
if [ -n "$purge" ] && [ -d "$prefix" ] && [ ! -L "$prefix" ]; then folders+=("$prefix"); fi

# Deepest folders first; a folder that still holds anything stays.
remaining=()
if [ ${#folders[@]} -gt 0 ]; then
  while IFS= read -r folder; do
    rmdir -- "$folder" 2>/dev/null || true
    if [ -d "$folder" ]; then remaining+=("dir $folder"); fi
  done < <(printf '%s\n' "${folders[@]}" | awk '!seen[$0]++ { print length($0) "\t" $0 }' | sort -rn | cut -f2-)
fi
# The folders that stay because files are left in them stay recorded, so
# that a later --purge still removes them.
if [ ${#remaining[@]} -gt 0 ] && [ -d "$prefix" ] && [ ! -L "$prefix" ]; then
  printf '%s\n' "${remaining[@]}" >"$record"
fi

echo "Tamsel is uninstalled."
if [ ${#refused[@]} -gt 0 ]; then
  echo "Not removed, though the install record names them (the record was changed):" >&2
  printf '  %s\n' "${refused[@]}" >&2
fi
if [ ${#kept[@]} -gt 0 ]; then
  if [ -z "$purge" ]; then
    echo "Kept (remove them with: scripts/uninstall.sh --purge):"
  else
    echo "Kept:"
  fi
  printf '  %s\n' "${kept[@]}"
fi
if [ -n "$purge" ] && [ -d "$prefix" ]; then
  echo "Kept $prefix: it still holds files the program did not make."
fi
