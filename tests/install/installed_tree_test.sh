#!/usr/bin/env bash
# installed_tree_test.sh BUILD_DIR SOURCE_DIR
# Installs the build into a scratch DESTDIR with the prefix /usr, as the package does,
# and checks what a desktop and the packaging tools see there.
set -euo pipefail
build=$1
src=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
root=$scratch/root
failures=0
fail() {
  echo "FAILED: $*" >&2
  failures=$((failures + 1))
}

DESTDIR=$root cmake --install "$build" --prefix /usr >"$scratch/install.log"

# Every file and link where it belongs, nothing more.
grep -v '^#' "$src/packaging/package-contents.txt" >"$scratch/expected"
"$src/packaging/list-contents" "$root" >"$scratch/actual"
diff -u "$scratch/expected" "$scratch/actual" || fail "the installed tree differs from packaging/package-contents.txt"

# The links lead where they say: the command into the program folder, the program
# folder's configuration to the one under /etc (present in the same tree).
[ "$(readlink -f "$root/usr/bin/tillvane")" = "$root/usr/lib/tillvane/tillvane" ] ||
  fail "bin/tillvane does not lead to the program folder's executable"
[ -x "$root/usr/lib/tillvane/tillvane" ] || fail "the program is not executable"
[ -f "$root$(readlink "$root/usr/lib/tillvane/Tillvane.ini")" ] ||
  fail "the program folder's Tillvane.ini leads to no file of the tree"
cmp -s "$root/etc/tillvane/Tillvane.ini" "$src/data/Tillvane.ini" ||
  fail "/etc/tillvane/Tillvane.ini is not the shipped configuration"

# The program finds its run-time libraries beside itself.
readelf -d "$root/usr/lib/tillvane/tillvane" | grep -q 'RUNPATH.*\[\$ORIGIN\]' ||
  fail "the program has no RUNPATH \$ORIGIN"

# The manual pages are compressed and format without warnings.
for page in "$root"/usr/share/man/man1/*.1.gz; do
  gzip -t "$page" || fail "$page is not a valid gzip file"
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 "$page" 2>&1 >/dev/null || true)
  [ -z "$warnings" ] || fail "$page: $warnings"
done

# The icons: the drawing and its pictures at the sizes their folders name.
for size in 48 256; do
  png=$root/usr/share/icons/hicolor/${size}x${size}/apps/org.tillvane.Tillvane.png
  file "$png" | grep -q "PNG image data, $size x $size" || fail "$png is not a $size pixel PNG"
done

# The desktop file and the metainfo pass their validators with no error or warning.
desktop=$root/usr/share/applications/org.tillvane.Tillvane.desktop
if ! out=$(desktop-file-validate "$desktop" 2>&1) || [ -n "$out" ]; then
  fail "desktop-file-validate: $out"
fi
metainfo=$root/usr/share/metainfo/org.tillvane.Tillvane.metainfo.xml
for check in "validate --no-net $metainfo" "validate-tree --no-net $root"; do
  # shellcheck disable=SC2086
  if ! out=$(appstreamcli $check 2>&1) || grep -qE '^(E|W):' <<<"$out"; then
    fail "appstreamcli $check: $out"
  fi
done
# The metainfo names the desktop file and the icon that are installed.
grep -q '<launchable type="desktop-id">org.tillvane.Tillvane.desktop</launchable>' "$metainfo" ||
  fail "the metainfo does not launch the installed desktop file"
grep -qx 'Icon=org.tillvane.Tillvane' "$desktop" || fail "the desktop file names another icon"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "installed tree: all checks passed"
