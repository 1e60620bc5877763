#!/usr/bin/env bash
# An install into a fresh prefix as a user gets it: the files in place, the installed batch tool making
# Taxlink.db and the demo set in a new user's data folder and exporting from them, and the .deb package.
#   check-install.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix=$tmp/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/taxferry bin/taxferry-batch bin/taxferry-mkdb \
         share/taxferry/config_schema.sql share/taxferry/config_factory.sql \
         share/taxferry/acct_schema.sql share/taxferry/acct_demo.sql share/taxferry/samples/issued_plain.txt \
         share/applications/taxferry.desktop share/icons/hicolor/scalable/apps/taxferry.svg; do
  [ -e "$prefix/$f" ] || fail "$f not installed"
done
grep -qx 'Name=航天金税接口' "$prefix/share/applications/taxferry.desktop" || fail "desktop entry without its Chinese name"
grep -qx 'Exec=taxferry' "$prefix/share/applications/taxferry.desktop" || fail "desktop entry does not start taxferry"

# A new user: nothing in the data folder yet, no --config.
export HOME=$tmp/home XDG_DATA_HOME=$tmp/home/data XDG_CONFIG_HOME=$tmp/home/config
mkdir -p "$HOME"
userdir=$XDG_DATA_HOME/Taxferry
"$prefix/bin/taxferry-batch" export --acct "Provider=SQLite;Data Source=$userdir/QORDemo.db" --link 1 \
  --out "$tmp/out.txt" --filter "2026-01-01|2026-12-31" 2>"$tmp/stderr" || { cat "$tmp/stderr" >&2; fail "export"; }
[ -f "$userdir/Taxlink.db" ] || fail "no per-user Taxlink.db"
[ -f "$userdir/QORDemo.db" ] || fail "no per-user demo set"
head -c 8 "$tmp/out.txt" | grep -q SJJK0101 || fail "export file"
[ ! -e "$prefix/bin/Taxlink.db" ] || fail "Taxlink.db made beside the installed program"
# A second start keeps the user's database as it is (the invoices went out already: asked for again).
touch -d '2001-01-01' "$userdir/Taxlink.db"
"$prefix/bin/taxferry-batch" export --acct "Provider=SQLite;Data Source=$userdir/QORDemo.db" --link 1 \
  --out "$tmp/out2.txt" --filter "2026-01-01|2026-12-31" --include-exported 2>/dev/null || fail "second export"
[ "$(stat -c %Y "$userdir/Taxlink.db")" -lt 1000000000 ] || fail "Taxlink.db made again"

# The package.
(cd "$tmp" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/pkg" >"$tmp/cpack.log" 2>&1) ||
  { cat "$tmp/cpack.log" >&2; fail "cpack"; }
deb=$(ls "$tmp"/pkg/*.deb)
contents=$(dpkg-deb -c "$deb")
for f in ./usr/bin/taxferry ./usr/bin/taxferry-batch ./usr/share/applications/taxferry.desktop \
         ./usr/share/icons/hicolor/scalable/apps/taxferry.svg ./usr/share/taxferry/config_schema.sql; do
  grep -q " $f\$" <<<"$contents" || fail "$f not in the package"
done
depends=$(dpkg-deb -f "$deb" Depends)
for p in libqt6widgets6 libqt6sql6-sqlite qt6-translations-l10n; do
  grep -q "$p" <<<"$depends" || fail "package does not depend on $p: $depends"
done
echo "installed, per-user databases made, package $(basename "$deb") checked"
