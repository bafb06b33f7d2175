#!/usr/bin/env bash
# no_display_test.sh TILLVANE VERSION
# --version and --help answer on a machine without a display, with the desktop's own
# platform asked for: they are read before the platform starts.
set -euo pipefail
exe=$1
version=$2
failures=0
fail() {
  echo "FAILED: $*" >&2
  failures=$((failures + 1))
}
run() { env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "$@"; }

out=$(run "$exe" --version 2>&1) || fail "--version ended with $?: $out"
[ "$out" = "Tillvane $version" ] || fail "--version says: $out"

out=$(LANG=en_US.UTF-8 run "$exe" --help 2>&1) || fail "--help ended with $?: $out"
grep -q -- '--lang <en|zh>' <<<"$out" || fail "--help in English lists no --lang: $out"
grep -q 'Configuration file: ' <<<"$out" || fail "--help in English names no configuration file: $out"

out=$(LANG=C run "$exe" --help 2>&1) || fail "--help under the C locale ended with $?: $out"
grep -q '配置文件：' <<<"$out" || fail "--help under the C locale is not in Chinese: $out"

out=$(LANG=C run "$exe" --lang en --help 2>&1) || fail "--lang en --help ended with $?: $out"
grep -q 'Configuration file: ' <<<"$out" || fail "--lang en --help is not in English: $out"

if out=$(run "$exe" --lang fr 2>&1); then
  fail "--lang fr started the program"
fi
grep -q 'fr' <<<"$out" || fail "--lang fr does not name the value: $out"

[ "$failures" -eq 0 ] || exit 1
echo "no display: all checks passed"
