#!/usr/bin/env bash
# Removes what scripts/install.sh put in place, as its install record lists
# it: the program, the desktop entry, the icons, the `tamsel` command, and
# the folders the install created once they are empty. The user's settings,
# preview file and macros stay beside the program unless --purge is given.
#
# Usage: scripts/uninstall.sh [--purge]
#   TAMSEL_PREFIX  the program folder (default ~/.local/opt/tamsel)
set -euo pipefail

prefix="${TAMSEL_PREFIX:-$HOME/.local/opt/tamsel}"
record="$prefix/.install-record"
user_files=(tamsel.ini tamsel.ini.lock tamsel.tex tamsel-macros.tex)

purge=""
case "${1:-}" in
  "") ;;
  --purge) purge=1 ;;
  *) echo "usage: uninstall.sh [--purge]" >&2; exit 2 ;;
esac

if [ ! -f "$record" ] && [ -z "$purge" ]; then
  echo "Nothing to remove: $prefix holds no install record."
  exit 0
fi

folders=()
if [ -f "$record" ]; then
  while IFS= read -r line; do
    kind="${line%% *}"
    path="${line#* }"
    case "$kind" in
      file) if [ -f "$path" ] || [ -L "$path" ]; then rm -f -- "$path"; fi ;;
      dir) folders+=("$path") ;;
    esac
  done <"$record"
fi

kept=()
for name in "${user_files[@]}"; do
  [ -e "$prefix/$name" ] || continue
  if [ -n "$purge" ]; then rm -f -- "$prefix/$name"; else kept+=("$prefix/$name"); fi
done
rm -f -- "$record"

# Deepest folders first; a folder that still holds anything stays.
remaining=()
if [ ${#folders[@]} -gt 0 ]; then
  while IFS= read -r folder; do
    rmdir -- "$folder" 2>/dev/null || true
    if [ -d "$folder" ]; then remaining+=("dir $folder"); fi
  done < <(printf '%s\n' "${folders[@]}" | awk '{ print length($0) "\t" $0 }' | sort -rn | cut -f2-)
fi
# The folders that stay because the user's files are in them stay recorded,
# so that a later --purge still removes them.
if [ ${#kept[@]} -gt 0 ] && [ ${#remaining[@]} -gt 0 ]; then
  printf '%s\n' "${remaining[@]}" >"$record"
fi

echo "Tamsel is uninstalled."
if [ ${#kept[@]} -gt 0 ]; then
  echo "Kept (remove them with: scripts/uninstall.sh --purge):"
  printf '  %s\n' "${kept[@]}"
fi
