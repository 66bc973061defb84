#!/bin/sh
# Stages `make install` in a temporary DESTDIR and checks what lands there: the file list and
# modes, the menu entry, the icon, the manual pages, that the installed program runs, and that
# the uninstall script removes it all again.
#   staged_install_test.sh BUILD_DIR SOURCE_DIR VERSION WITH_WINDOW(0|1)
set -u
build=$1 src=$2 version=$3 window=$4
stage=$(mktemp -d)
work=$(mktemp -d)
trap 'rm -rf "$stage" "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

DESTDIR=$stage cmake --install "$build" --prefix /usr/local --component quelbro >"$work/log" 2>&1 ||
  { cat "$work/log"; echo "FAIL: cmake --install"; exit 1; }

# The file list with each file's mode, against the expected one (without the window program's
# files when it is not built).
if [ "$window" = 1 ]; then
  cat "$src/tests/install/expected-files.txt" >"$work/expected"
else
  grep -v quelbro-win "$src/tests/install/expected-files.txt" >"$work/expected"
fi
(cd "$stage" && find . \( -type f -o -type l \) -print |
  sed 's|^\./||' | sort | while IFS= read -r f; do echo "$f $(stat -c %a "$f")"; done) >"$work/found"
if ! diff -u "$work/expected" "$work/found"; then fail "installed files differ from the list"; fi
root=$stage/usr/local

# The manual pages: version on the title line, no troff warnings, a name line for whatis.
for page in quelbro-con $( [ "$window" = 1 ] && echo quelbro-win ); do
  gz=$root/share/man/man1/$page.1.gz
  [ -f "$gz" ] || continue
  zcat "$gz" >"$work/$page.1" || fail "$page.1.gz is not a gzip file"
  grep -q "^\.TH $(echo "$page" | tr a-z A-Z) 1 \"[^\"]*\" \"quelbro $version\"" "$work/$page.1" ||
    fail "$page.1 does not carry version $version on its title line"
  warnings=$(groff -ww -z -man "$work/$page.1" 2>&1)
  [ -z "$warnings" ] || fail "$page.1: groff warns: $warnings"
  lexgrog "$work/$page.1" | grep -q "\"$page - " || fail "$page.1 has no name line for whatis"
done

# The menu entry validates, starts the installed program and names the installed icon.
if [ "$window" = 1 ]; then
  entry=$root/share/applications/quelbro-win.desktop
  out=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate: $out"
  [ -z "$out" ] || fail "desktop-file-validate: $out"
  exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
  [ -x "$root/bin/$exec_name" ] || fail "Exec=$exec_name is not an installed program"
  icon_name=$(sed -n 's/^Icon=//p' "$entry")
  [ -f "$root/share/icons/hicolor/scalable/apps/$icon_name.svg" ] ||
    fail "Icon=$icon_name is not the installed icon"
  xmllint --noout "$root/share/icons/hicolor/scalable/apps/quelbro-win.svg" ||
    fail "the icon is not well-formed XML"
fi

# The installed console program runs: the banner, then Q ends it with status 0.
screen=$(echo Q | "$root/bin/quelbro-con" 2>&1)
status=$?
[ "$status" -eq 0 ] || fail "installed quelbro-con ended with status $status"
echo "$screen" | grep -q "Maximum Likelihood Estimation of Binormal ROC Curves" ||
  fail "installed quelbro-con did not show its banner"

# Uninstalling removes every installed file and this program's own folders, nothing else.
sed "s|^|$stage|" "$build/install_manifest_quelbro.txt" >"$work/installed"
mkdir -p "$root/share/doc/other"
sh "$src/scripts/uninstall" "$work/installed" >/dev/null
left=$(cd "$stage" && find . -type f)
[ -z "$left" ] || fail "left after uninstall: $left"
[ ! -e "$root/share/doc/quelbro" ] || fail "share/doc/quelbro left after uninstall"
[ -d "$root/share/doc/other" ] || fail "uninstall removed a folder that is not its own"

[ "$failures" -eq 0 ] && echo "staged install: all checks passed"
[ "$failures" -eq 0 ]
