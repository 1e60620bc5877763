#!/usr/bin/env bash
# An install into a fresh prefix as a user gets it: the files in place, the manual pages opening with man,
# the desktop entry and the metainfo valid and naming each other, the installed batch tool making
# Taxlink.db and the demo set in a new user's data folder and exporting from them, and the database maker
# keeping an earlier database when a script fails.
#   check-install.sh BUILD_DIR VERSION
set -euo pipefail
build=$(cd "$1" && pwd)
version=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

id=com.orvane.Taxferry
pages=(taxferry taxferry-batch taxferry-mkdb)
prefix=$tmp/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
files=(bin/taxferry bin/taxferry-batch bin/taxferry-mkdb
       share/taxferry/config_schema.sql share/taxferry/config_factory.sql share/taxferry/acct_schema.sql
       share/taxferry/acct_demo.sql share/taxferry/acct_schema_pg.sql share/taxferry/samples/issued_plain.txt
       share/applications/$id.desktop share/metainfo/$id.metainfo.xml
       share/icons/hicolor/scalable/apps/$id.svg
       share/doc/taxferry/copyright share/doc/taxferry/changelog.Debian.gz)
for page in "${pages[@]}"; do files+=(share/man/man1/$page.1.gz share/man/zh_CN/man1/$page.1.gz); done
for f in "${files[@]}"; do
  [ -e "$prefix/$f" ] || fail "$f not installed"
done
for size in 16 24 32 48 64 128 256; do
  png=$prefix/share/icons/hicolor/${size}x$size/apps/$id.png
  kind=$(file "$png")
  grep -q "PNG image data, $size x $size," <<<"$kind" || fail "icon ${size}x$size: $kind"
done

# The desktop entry starts the program with its icon, in English and in Chinese.
desktop=$prefix/share/applications/$id.desktop
desktop-file-validate "$desktop" || fail "desktop entry not valid"
for line in 'Name=Taxferry' 'Name[zh_CN]=航天金税接口' 'Exec=taxferry' "Icon=$id"; do
  grep -qxF "$line" "$desktop" || fail "desktop entry without $line"
done
grep -q '^Comment\[zh_CN\]=' "$desktop" || fail "desktop entry without a Chinese comment"

# The metainfo is valid (no error, warning or remark), launches the installed desktop entry and names this
# version as its latest release.
metainfo=$prefix/share/metainfo/$id.metainfo.xml
appstreamcli validate --no-net "$metainfo" >"$tmp/validate.log" 2>&1 || { cat "$tmp/validate.log" >&2; fail "metainfo"; }
! grep -E '^[EWI]: ' "$tmp/validate.log" || fail "metainfo has remarks"
grep -qF "<id>$id</id>" "$metainfo" || fail "metainfo id is not $id"
grep -qF "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" || fail "metainfo launches another entry"
grep -m1 '<release ' "$metainfo" | grep -qF "version=\"$version\"" || fail "metainfo's latest release is not $version"
first=$(zcat "$prefix/share/doc/taxferry/changelog.Debian.gz" | sed -n 1p)
grep -qF "taxferry ($version-" <<<"$first" || fail "changelog does not start with $version: $first"

# Every manual page opens with man, in English and in Chinese, and groff has nothing to say about it.
for page in "${pages[@]}"; do
  for language in C zh_CN; do
    case $language in C) name=NAME dir=man1 ;; *) name=名称 dir=zh_CN/man1 ;; esac
    text=$(MANPATH=$prefix/share/man MANWIDTH=80 man -L "$language" "$page" 2>"$tmp/man.err") ||
      { cat "$tmp/man.err" >&2; fail "man $page ($language)"; }
    grep -qx "$name" <<<"$text" || fail "man $page ($language) has no $name section"
    grep -q "^ *$page - " <<<"$text" || fail "man $page ($language) does not name $page"
    grep -qF "Taxferry $version" <<<"$text" || fail "man $page ($language) is not of version $version"
    warnings=$(MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$prefix/share/man/$dir/$page.1.gz" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "groff on $dir/$page.1: $warnings"
  done
done

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

# The database maker: a database made again over an earlier one replaces it; a script that fails leaves the
# earlier one as it was, and no file beside it.
share=$prefix/share/taxferry
mkdir "$tmp/mkdb"
db=$tmp/mkdb/acct.db
"$prefix/bin/taxferry-mkdb" "$db" "$share/acct_schema.sql" 2>/dev/null || fail "mkdb"
"$prefix/bin/taxferry-mkdb" "$db" "$share/acct_schema.sql" "$share/acct_demo.sql" 2>/dev/null || fail "mkdb again"
rows=$(sqlite3 "$db" 'select count(*) from ICSale')
[ "$rows" -gt 0 ] || fail "mkdb did not replace the earlier database"
printf 'create table Broken (;\n' >"$tmp/broken.sql"
if "$prefix/bin/taxferry-mkdb" "$db" "$share/acct_schema.sql" "$tmp/broken.sql" 2>"$tmp/mkdb.err"; then
  fail "mkdb succeeded with a broken script"
fi
[ "$(sqlite3 "$db" 'select count(*) from ICSale')" = "$rows" ] || fail "a failed mkdb lost the earlier database"
[ "$(ls "$tmp/mkdb")" = acct.db ] || fail "a failed mkdb left files: $(ls "$tmp/mkdb")"
echo "installed; manual pages, desktop entry and metainfo checked; per-user databases made"
