#!/usr/bin/env bash
# The Windows build checked under Wine: the engine and batch test programs, the same exports and imports of
# the demo set made by the Linux and the Windows taxferry-batch (the same bytes, the same rows), a path
# with drive letter, backslashes, spaces and Chinese, and the installer installing and uninstalling
# silently. Without the MinGW Qt in the cache it says so and does nothing (CI stays within its time).
#   scripts/windows/check.sh [TEST...]     only the named test programs (none: all of them)
set -euo pipefail
source "$(dirname "$0")/common.sh"

if ! [ -f "$TF_QT/.taxferry-built" ]; then
  echo "windows: skipped (no MinGW Qt: scripts/windows/build-qt.sh)"
  exit 0
fi
started=$(date +%s)
tf_need_packages wine64 xvfb xauth sqlite3 unzip

tests=("$@")
[ ${#tests[@]} -gt 0 ] || tests=("${TF_WINE_TESTS[@]}")
failures=()
fail() {
  echo "FAIL: $*"
  failures+=("$*")
}

# --- The builds: Windows (with the test programs) and the Linux tools to compare with.
"$TF_REPO/scripts/windows/build.sh" --tests | sed 's/^/  /'
winbin=$TF_REPO/build-windows/bin
linux=${TAXFERRY_LINUX_BUILD:-$TF_REPO/build}
if ! [ -x "$linux/bin/taxferry-batch" ] || ! [ -x "$linux/bin/taxferry-mkdb" ]; then
  cmake -S "$TF_REPO" -B "$linux" -G Ninja >/dev/null
  cmake --build "$linux" --target taxferry-batch taxferry-mkdb >/dev/null
fi

# --- Wine: a prefix of the check's own, made once; nothing of Wine's own chatter in the output. Mono and
# Gecko are not wanted (the prefix would ask to download them).
export WINEPREFIX=$TF_CACHE/wine-check WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=d;mshtml=d" LC_ALL=C.UTF-8
wine() { "$TF_WINE" "$@"; }
if ! [ -f "$WINEPREFIX/system.reg" ]; then
  wine wineboot --init >/dev/null 2>&1
  wine wineserver -w 2>/dev/null || /usr/lib/wine/wineserver -w
fi
# Windows paths of Unix ones (drive Z: is the root).
winpath() { printf 'Z:%s' "${1//\//\\}"; }
gccdir=$(dirname "$($TF_TRIPLE-g++-posix -print-libgcc-file-name)")
export WINEPATH="$(winpath "$TF_QT/bin");$(winpath "$TF_DEPS/bin");$(winpath "$gccdir");$(winpath "/usr/$TF_TRIPLE/lib")"
export QT_QPA_PLATFORM=offscreen

# --- The test programs.
echo "== test programs under Wine"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
run_test() {
  # From the build folder (drive Z:), as ctest runs them: the tests' own paths are Unix paths.
  # The log into a file: under Wine, QtTest's stdout does not reach a pipe.
  (cd "$TF_REPO/build-windows" &&
    timeout 1200 "$TF_WINE" "bin/$1.exe" -o "$(winpath "$tmp/$1.log"),txt" >"$tmp/$1.out" 2>&1)
}
for t in "${tests[@]}"; do
  t0=$(date +%s)
  if run_test "$t"; then
    status=0
  else
    status=$?
    # Wine now and then loses what a child program wrote to its pipes: a program that failed runs once
    # more, and the first failure is shown all the same.
    { grep -a '^FAIL!' -A3 "$tmp/$t.log" || true; } | head -n 20 | sed 's/^/    first run: /'
    if run_test "$t"; then status=0; else status=$?; fi
  fi
  totals=$(grep -a '^Totals:' "$tmp/$t.log" | tail -n1 | sed 's/, [0-9]* blacklisted//' || true)
  printf '  %-22s %s (%d s)\n' "$t" "${totals:-no totals}" $(($(date +%s) - t0))
  if [ $status -ne 0 ]; then
    { grep -a '^FAIL!' -A3 "$tmp/$t.log" || tail -n 5 "$tmp/$t.log"; } | head -n 40 | sed 's/^/    /' || true
    fail "$t (exit $status)"
  fi
done

# --- The demo set exported by both tools.
echo "== Linux and Windows taxferry-batch on the demo set"
base=$tmp/base
mkdir -p "$base"
"$linux/bin/taxferry-mkdb" "$base/Taxlink.db" "$TF_REPO/data/config_schema.sql" "$TF_REPO/data/config_factory.sql"
"$linux/bin/taxferry-mkdb" "$base/QORDemo.db" "$TF_REPO/data/acct_schema.sql" "$TF_REPO/data/acct_demo.sql"
# A tax code for every product, so that the XML and the workbook can be written.
sqlite3 -csv "$base/QORDemo.db" \
  "select FNumber, '1090511030000000' || printf('%03d', FItemID % 1000), substr(FName, 1, 4) from t_IcItem where FDeleted = 0" |
  sed '1i 商品编码,税收分类编码,简称' >"$base/codes.csv"
"$linux/bin/taxferry-batch" codes import "$base/codes.csv" --acct "Provider=SQLite;Data Source=$base/QORDemo.db" \
  --code-version 48.0 --config "$base/Taxlink.db" >/dev/null
template=$TF_REPO/../shared/data/platform-template-V260401.xlsx

# The Windows side works in a user folder of the prefix with a space and Chinese in its path.
winhome="$WINEPREFIX/drive_c/users/张三/文档"
winhome_w='C:\users\张三\文档'
rm -rf "$WINEPREFIX/drive_c/users/张三"
mkdir -p "$winhome"

# run_side SIDE FOLDER UNIXFOLDER ARGS...: taxferry-batch of that side, run in the folder of the databases
# (FOLDER as that side names it); stdout and stderr to out.log and err.log there, its exit status returned.
run_side() {
  local side=$1 folder=$2 unixdir=$3
  shift 3
  if [ "$side" = linux ]; then
    "$linux/bin/taxferry-batch" "$@" >"$unixdir/out.log" 2>"$unixdir/err.log"
  else
    (cd "$unixdir" && wine "$(winpath "$winbin/taxferry-batch.exe")" "$@" >"$unixdir/out.log" 2>"$unixdir/err.log")
  fi
}

for format in txt xml xlsx; do
  if [ $format = xlsx ] && ! [ -f "$template" ]; then
    echo "  xlsx: skipped (no platform template at $template)"
    continue
  fi
  for side in linux windows; do
    if [ $side = linux ]; then
      dir=$tmp/linux-$format
      mkdir -p "$dir"
      d=$dir sep=/
      out="$dir/三月 发票.$format"
    else
      dir="$winhome/$format"
      mkdir -p "$dir"
      d="$winhome_w\\$format" sep='\'
      out="$d\\三月 发票.$format"
    fi
    cp "$base/Taxlink.db" "$base/QORDemo.db" "$dir/"
    sqlite3 "$dir/Taxlink.db" "update t_BaseInfo set FFormat='$format' where FID=1"
    acct="Provider=SQLite;Data Source=$d${sep}QORDemo.db"
    config="$d${sep}Taxlink.db"
    if [ $format = xlsx ]; then
      cp "$template" "$dir/template.xlsx"
      run_side $side "$d" "$dir" template "$d${sep}template.xlsx" --config "$config" ||
        fail "$side: template install (exit $?): $(head -c 300 "$dir/err.log")"
    fi
    for round in 1 2; do
      # The second round exports the same invoices again over an older file, which must be replaced.
      extra=()
      if [ $round = 2 ]; then
        extra=(--include-exported)
        printf 'an older file\r\n' >"$dir/三月 发票.$format"
      fi
      if ! run_side $side "$d" "$dir" export --acct "$acct" --config "$config" --link 1 --out "$out" "${extra[@]}"; then
        fail "$side $format export round $round: $(head -c 300 "$dir/err.log")"
      fi
      cp "$dir/三月 发票.$format" "$dir/round$round.$format" 2>/dev/null || fail "$side $format: no file in round $round"
    done
  done
  lin=$tmp/linux-$format win="$winhome/$format"
  for round in 1 2; do
    a=$lin/round$round.$format b=$win/round$round.$format
    [ -f "$a" ] && [ -f "$b" ] || continue
    if [ $format = xlsx ]; then
      rm -rf "$tmp/za" "$tmp/zb"
      unzip -q "$a" -d "$tmp/za" && unzip -q "$b" -d "$tmp/zb"
      members=$(cd "$tmp/za" && find . -type f | wc -l)
      if diff -r "$tmp/za" "$tmp/zb" >/dev/null; then
        echo "  $format round $round: the same $members members"
      else
        fail "$format round $round: the workbooks differ: $(diff -rq "$tmp/za" "$tmp/zb" | head -n3)"
      fi
    elif cmp -s "$a" "$b"; then
      echo "  $format round $round: the same $(stat -c %s "$a") bytes"
    else
      fail "$format round $round: the files differ ($(cmp "$a" "$b" 2>&1 | head -n1))"
    fi
  done
  if [ $format != xlsx ] && [ -f "$win/round1.$format" ]; then
    # What the tax software reads ends every line with CR LF.
    if LC_ALL=C grep -qav $'\r$' "$win/round1.$format"; then
      fail "$format: a line without CR LF"
    fi
  fi
done

# --- The issued files imported by both: the same rows.
echo "== issued files imported by both"
for side in linux windows; do
  if [ $side = linux ]; then
    dir=$tmp/linux-import d=$dir sep=/
  else
    dir="$winhome/import" d="$winhome_w\\import" sep='\'
  fi
  mkdir -p "$dir/发票 文件"
  cp "$base/Taxlink.db" "$base/QORDemo.db" "$dir/"
  cp "$TF_REPO"/samples/issued_plain.txt "$TF_REPO"/samples/issued_discount.txt "$TF_REPO"/samples/issued_red.txt \
    "$dir/发票 文件/"
  run_side $side "$d" "$dir" import --acct "Provider=SQLite;Data Source=$d${sep}QORDemo.db" \
    --config "$d${sep}Taxlink.db" "$d${sep}发票 文件" ||
    fail "$side import: $(head -c 300 "$dir/err.log")"
done
dump() {
  sqlite3 -csv "$1/QORDemo.db" "select * from ICSale order by FInterID" \
    "select * from ICSaleEntry order by FInterID, FEntryID" "select * from t_ICMaxNum order by 1"
}
dump "$tmp/linux-import" >"$tmp/import-linux.csv"
dump "$winhome/import" >"$tmp/import-windows.csv"
if cmp -s "$tmp/import-linux.csv" "$tmp/import-windows.csv"; then
  echo "  the same $(wc -l <"$tmp/import-linux.csv") rows (ICSale, ICSaleEntry, t_ICMaxNum)"
else
  fail "import: the rows differ: $(diff "$tmp/import-linux.csv" "$tmp/import-windows.csv" | head -n4)"
fi
# What the tool says, the folder names aside (each side names its own).
names() { sed 's|^.*[/\\]||' "$1"; }
if diff <(names "$winhome/import/out.log") <(names "$tmp/linux-import/out.log") >/dev/null; then
  echo "  the same report on stdout: $(tail -n1 "$tmp/linux-import/out.log")"
else
  fail "import: stdout differs: $(diff <(names "$winhome/import/out.log") <(names "$tmp/linux-import/out.log") | head -n4)"
fi

# --- The installer, silently, under a virtual display (the installer makes windows even when silent).
echo "== installer"
setup=$(ls -t "$TF_REPO"/dist-windows/Taxferry-*-setup.exe | head -n1)
prog="$WINEPREFIX/drive_c/Program Files/Taxferry"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/航天金税接口"
userdata="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/Taxferry"
xvfb-run -a "$TF_WINE" "$setup" /S >/dev/null 2>&1 || fail "installer: exit $?"
if [ -f "$prog/bin/taxferry.exe" ] && [ -f "$menu/航天金税接口.lnk" ]; then
  echo "  installed: $(find "$prog" -type f | wc -l) files, Start-menu entry 航天金税接口"
else
  fail "installer: taxferry.exe or the Start-menu entry missing"
fi
# The installed tool makes the user's databases at its first start, from the installed scripts.
if wine "$(winpath "$prog/bin/taxferry-batch.exe")" codes export 'C:\codes.csv' >/dev/null 2>"$tmp/inst.err" &&
  [ -f "$userdata/Taxlink.db" ]; then
  echo "  the installed taxferry-batch made the user's databases in AppData\\Roaming\\Taxferry"
else
  fail "installed taxferry-batch: $(head -c 300 "$tmp/inst.err")"
fi
xvfb-run -a "$TF_WINE" "$(winpath "$prog/uninstall.exe")" /S >/dev/null 2>&1 || fail "uninstaller: exit $?"
# The uninstaller runs from a copy of itself and returns at once: its work is waited for.
for _ in $(seq 60); do
  [ -d "$prog" ] || break
  sleep 1
done
/usr/lib/wine/wineserver -w 2>/dev/null || true
if [ -d "$prog" ] || [ -d "$menu" ]; then
  fail "uninstaller: left $(find "$prog" "$menu" 2>/dev/null | head -n3 | tr '\n' ' ')"
elif ! [ -f "$userdata/Taxlink.db" ]; then
  fail "uninstaller: removed the user's databases"
else
  echo "  uninstalled; the user's databases stay"
fi

echo "windows: check took $(($(date +%s) - started)) s"
if [ ${#failures[@]} -gt 0 ]; then
  echo "windows: ${#failures[@]} failed:"
  printf '  %s\n' "${failures[@]}"
  exit 1
fi
echo "windows: passed"
