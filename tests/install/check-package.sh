#!/usr/bin/env bash
# The Debian package as a Debian developer checks it: built from a hardened build of its own
# (scripts/package.sh), its files and dependencies, hardened and stripped programs, and lintian with no
# error and no warning (the remaining remarks are printed).
#   check-package.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source=$(cd "$1" && pwd)
build=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

start=$SECONDS
"$source/scripts/package.sh" "$build" >"$tmp/package.log" 2>&1 || { cat "$tmp/package.log" >&2; fail "package build"; }
deb=$(tail -n1 "$tmp/package.log")
echo "package built in $((SECONDS - start)) s: $(basename "$deb")"

id=com.orvane.Taxferry
contents=$(dpkg-deb -c "$deb")
files=(./usr/bin/taxferry ./usr/bin/taxferry-batch ./usr/bin/taxferry-mkdb ./usr/share/taxferry/config_schema.sql
       ./usr/share/applications/$id.desktop ./usr/share/metainfo/$id.metainfo.xml
       ./usr/share/icons/hicolor/scalable/apps/$id.svg ./usr/share/icons/hicolor/48x48/apps/$id.png
       ./usr/share/doc/taxferry/copyright ./usr/share/doc/taxferry/changelog.Debian.gz
       ./usr/share/man/man1/taxferry-batch.1.gz ./usr/share/man/zh_CN/man1/taxferry-batch.1.gz)
for f in "${files[@]}"; do
  grep -q " $f\$" <<<"$contents" || fail "$f not in the package"
done
depends=$(dpkg-deb -f "$deb" Depends)
for p in libqt6widgets6 libqt6sql6-sqlite qt6-translations-l10n libqt6svg6; do
  grep -q "\b$p\b" <<<"$depends" || fail "package does not depend on $p: $depends"
done
! grep -q 'qt6-qpa-plugins' <<<"$depends" || fail "package depends on qt6-qpa-plugins: $depends"

# The programs: stripped, read-only relocations bound at start, the stack protector; the checked variants
# of the C library's functions show that _FORTIFY_SOURCE reached the compiler.
dpkg-deb -x "$deb" "$tmp/root"
fortified=0
for program in taxferry taxferry-batch taxferry-mkdb; do
  bin=$tmp/root/usr/bin/$program
  # Whole outputs first: grep -q leaving a pipe early would fail the pipeline (pipefail).
  kind=$(file "$bin") headers=$(readelf -lW "$bin") dynamic=$(readelf -dW "$bin") symbols=$(readelf --dyn-syms -W "$bin")
  grep -q ', stripped' <<<"$kind" || fail "$program is not stripped: $kind"
  grep -q GNU_RELRO <<<"$headers" || fail "$program without RELRO"
  grep -Eq 'BIND_NOW|FLAGS_1.*NOW' <<<"$dynamic" || fail "$program without -z now"
  grep -q __stack_chk_fail <<<"$symbols" || fail "$program without the stack protector"
  if grep -Eq ' __[a-z_]+_chk(@|$)' <<<"$symbols"; then fortified=$((fortified + 1)); fi
done
[ "$fortified" -gt 0 ] || fail "no program uses the fortified functions"

start=$SECONDS
lintian --display-info --fail-on error,warning "$deb" >"$tmp/lintian.log" 2>&1 || status=$?
echo "lintian in $((SECONDS - start)) s"
if grep -E '^[EW]: ' "$tmp/lintian.log" || [ "${status:-0}" -ne 0 ]; then
  cat "$tmp/lintian.log" >&2
  fail "lintian"
fi
grep -E '^[IPX]: ' "$tmp/lintian.log" | sed 's/^/lintian remark: /' || true
echo "package $(basename "$deb") checked"
