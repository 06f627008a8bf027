#!/usr/bin/env bash
# Installs the built program for a user whose home folder name needs quoting
# in a desktop entry, validates the entry, and uninstalls: only what the
# install put there goes, the user's files stay until --purge.
# Usage: install_round_trip.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir="$1"; build="$2"
top=$(mktemp -d); trap 'rm -rf "$top"' EXIT
export HOME="$top/home \$dir \"quoted\" 100%" XDG_DATA_HOME=
fail() { echo "FAIL: $*"; exit 1; }
tree() { (cd "$HOME" && find . | sort); }

mkdir -p "$HOME/.local/share/applications" "$HOME/.local/bin"
touch "$HOME/.local/share/applications/other.desktop" "$HOME/.local/bin/other"
before=$(tree)
bash "$source_dir/scripts/install.sh" "$build" >/dev/null
bash "$source_dir/scripts/install.sh" "$build" >/dev/null
entry="$HOME/.local/share/applications/tamsel.desktop"
desktop-file-validate "$entry" || fail "the entry does not validate"
grep -qxF "TryExec=$HOME/.local/opt/tamsel/tamsel" "$entry" || fail "TryExec is not the program"
for size in 16x16 22x22 24x24 32x32 48x48 64x64 128x128 256x256; do
  [ -s "$HOME/.local/share/icons/hicolor/$size/apps/tamsel.png" ] || fail "no $size icon"
done
[ -s "$HOME/.local/share/icons/hicolor/scalable/apps/tamsel.svg" ] || fail "no scalable icon"
[ -x "$HOME/.local/bin/tamsel" ] || fail "no tamsel command"
grep -qF "$(printf 'exec %q' "$HOME/.local/opt/tamsel/tamsel")" "$HOME/.local/bin/tamsel" || fail "command starts something else"

user_files=(tamsel.ini tamsel.tex tamsel-macros.tex)
for name in "${user_files[@]}"; do echo kept >"$HOME/.local/opt/tamsel/$name"; done
bash "$source_dir/scripts/uninstall.sh" >/dev/null
for name in "${user_files[@]}"; do
  [ "$(cat "$HOME/.local/opt/tamsel/$name")" = kept ] || fail "$name did not stay"
done
[ ! -e "$entry" ] && [ ! -e "$HOME/.local/bin/tamsel" ] && [ ! -e "$HOME/.local/opt/tamsel/tamsel" ] \
  || fail "the program is still installed"
bash "$source_dir/scripts/uninstall.sh" --purge >/dev/null
[ "$(tree)" = "$before" ] || fail "the home folder differs: $(diff <(echo "$before") <(tree))"
echo "1 passed, 0 failed"
