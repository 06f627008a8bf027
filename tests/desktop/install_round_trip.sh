#!/usr/bin/env bash
# Installs twice for a user whose home needs quoting in a desktop entry; uninstalls only that,
# the user's files staying until --purge. Usage: install_round_trip.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir="$1"; build="$2"
top=$(mktemp -d); trap 'rm -rf "$top"' EXIT
export HOME="$top/home \$dir \"quoted\" 100%" XDG_DATA_HOME=
fail() { echo "FAIL: $*"; exit 1; }
tree() { (cd "$HOME" && find . | sort); }

mkdir -p "$HOME/.local/share/applications" "$HOME/.local/bin"
touch "$HOME/.local/share/applications/other.desktop" "$HOME/.local/bin/other"
before=$(tree)
for _ in 1 2; do bash "$source_dir/scripts/install.sh" "$build" >/dev/null; done
entry="$HOME/.local/share/applications/tamsel.desktop"
desktop-file-validate "$entry" || fail "the entry does not validate"
grep -qxF "TryExec=$HOME/.local/opt/tamsel/tamsel" "$entry" || fail "TryExec is not the program"
for icon in {16x16,22x22,24x24,32x32,48x48,64x64,128x128,256x256}/apps/tamsel.png scalable/apps/tamsel.svg; do
  [ -s "$HOME/.local/share/icons/hicolor/$icon" ] || fail "no $icon"
done
grep -qF "$(printf 'exec %q' "$HOME/.local/opt/tamsel/tamsel")" "$HOME/.local/bin/tamsel" && [ -x "$HOME/.local/bin/tamsel" ] \
  || fail "no tamsel command"

user_files=(tamsel.ini tamsel.tex tamsel-macros.tex)
for name in "${user_files[@]}"; do echo kept >"$HOME/.local/opt/tamsel/$name"; done
bash "$source_dir/scripts/uninstall.sh" >/dev/null
for name in "${user_files[@]}"; do [ "$(cat "$HOME/.local/opt/tamsel/$name")" = kept ] || fail "$name went"; done
bash "$source_dir/scripts/uninstall.sh" --purge >/dev/null
[ "$(tree)" = "$before" ] || fail "the home folder differs: $(diff <(echo "$before") <(tree))"

# A changed record: what it names outside the install (a file, through "..",
# through a link in the program folder, an empty folder) stays, and is named.
for _ in 1 2; do bash "$source_dir/scripts/install.sh" "$build" >/dev/null; done
opt="$HOME/.local/opt/tamsel"
mkdir -p "$HOME/victim/empty"
echo thesis >"$HOME/victim/thesis.tex"
echo kept >"$HOME/victim/linked.tex"
ln -s "$HOME/victim" "$opt/out"
printf '%s\n' "file $HOME/victim/thesis.tex" "file $opt/../../../victim/thesis.tex" \
  "file $opt/out/linked.tex" "dir $HOME/victim/empty" >>"$opt/.install-record"
refusals=$(bash "$source_dir/scripts/uninstall.sh" 2>&1 >/dev/null)
[ "$(cat "$HOME/victim/thesis.tex")" = thesis ] || fail "a file outside the install went"
[ "$(cat "$HOME/victim/linked.tex")" = kept ] || fail "a file behind a link went"
[ -d "$HOME/victim/empty" ] || fail "a folder outside the install went"
[ "$(grep -c "^  /" <<<"$refusals")" -eq 4 ] || fail "the refusals are not all named: $refusals"
rm -rf "$HOME/victim" "$opt/out"
bash "$source_dir/scripts/uninstall.sh" --purge >/dev/null
[ "$(tree)" = "$before" ] || fail "after a changed record, the home folder differs: $(diff <(echo "$before") <(tree))"

# --purge takes every file the program makes, records and temporary copies
# included, and the folder; a second run finds nothing and says so.
for _ in 1 2; do bash "$source_dir/scripts/install.sh" "$build" >/dev/null; done
for name in tamsel.ini tamsel.ini.lock tamsel.ini.Ab3dE9 tamsel.tex "tamsel.tex.root@:0" "tamsel.tex.root@:0.running" \
  "tamsel.tex.root@:0.crashed-20260101-120000" "tamsel.tex.root@:0.running.x1Y2z3" tamsel-macros.tex; do
  echo x >"$opt/$name"
done
bash "$source_dir/scripts/uninstall.sh" >/dev/null
bash "$source_dir/scripts/uninstall.sh" --purge >/dev/null
bash "$source_dir/scripts/uninstall.sh" --purge >/dev/null
[ "$(tree)" = "$before" ] || fail "purged twice, the home folder differs: $(diff <(echo "$before") <(tree))"
echo "3 passed, 0 failed"
