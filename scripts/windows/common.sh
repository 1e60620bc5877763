# Shared by the Windows scripts: where the cross-built libraries live and how Debian packages get installed.
# Sourced, not run.

TF_REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
TF_CACHE=${XDG_CACHE_HOME:-$HOME/.cache}/taxferry
# Qt for MinGW-w64 (its own prefix, as the issue names it) and the other libraries (SQLite, zlib with
# minizip, QtKeychain) in a prefix next to it.
TF_QT=$TF_CACHE/qt-mingw
TF_DEPS=$TF_CACHE/mingw-deps
TF_TOOLCHAIN=$TF_REPO/cmake/windows/mingw-w64.cmake
TF_TRIPLE=x86_64-w64-mingw32
# Debian installs the 64-bit loader off PATH (the wine package adds the wrapper).
TF_WINE=/usr/lib/wine/wine64

# The test programs of the engines and the batch tool, run under Wine by check.sh. test_mapping_taxcodes
# is left out: its window cases never end under Wine (QtTest's watchdog stops them after 300 s).
TF_WINE_TESTS=(test_common test_xlsx test_links_rules test_linkstore test_formats test_workbook
  test_export_engine test_export_batch test_import test_writeback test_merge test_platformlist
  test_platform_export test_platform_refusals test_loop_edges test_link_start)

tf_log() { printf '%s\n' "$*" >&2; }

# Installs the Debian packages that are missing; as root directly, otherwise through sudo.
tf_need_packages() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  tf_log "installing from Debian: ${missing[*]}"
  local sudo=
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# The number of parallel jobs: every core but none spare on a small machine.
tf_jobs() { nproc; }

# Debian's source archive, in a sources file of our own: the same URIs and suites as the machine's own
# Debian entries (deb822 or one-line), main only. Run once; apt-get source needs it.
TF_SRC_LIST=/etc/apt/sources.list.d/taxferry-src.sources
tf_enable_sources() {
  [ -f "$TF_SRC_LIST" ] && return 0
  local sudo= tmp
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  tmp=$(mktemp)
  # deb822 stanzas whose URIs are Debian's archive.
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk 'BEGIN { RS=""; FS="\n" }
      {
        types=""; uris=""; suites=""; signed=""
        for (i = 1; i <= NF; i++) {
          if ($i ~ /^Types:/) types=$i
          else if ($i ~ /^URIs:/) uris=$i
          else if ($i ~ /^Suites:/) suites=$i
          else if ($i ~ /^Signed-By:/) signed=$i
        }
        if (types ~ /[[:space:]]deb([[:space:]]|$)/ && uris ~ /debian/) {
          print "Types: deb-src"; print uris; print suites; print "Components: main"
          if (signed != "") print signed
          print ""
        }
      }' "$f" >>"$tmp"
  done
  # One-line entries.
  if [ -f /etc/apt/sources.list ]; then
    awk '$1 == "deb" && $2 ~ /debian/ && $2 !~ /^\[/ {
           print "Types: deb-src"; print "URIs: " $2; print "Suites: " $3; print "Components: main"; print "" }' \
      /etc/apt/sources.list >>"$tmp"
  fi
  if ! [ -s "$tmp" ]; then
    rm -f "$tmp"
    tf_log "no Debian archive entry found in /etc/apt: cannot enable its source archive"
    return 1
  fi
  $sudo install -m 0644 "$tmp" "$TF_SRC_LIST"
  rm -f "$tmp"
  $sudo apt-get update -qq
}

# Downloads a source package's files (dsc, orig tarball, debian tarball) into DIR, at the version DEBIAN
# ships, or the exact VERSION given: tf_source PACKAGE[=VERSION] DIR.
tf_source() {
  mkdir -p "$2"
  (cd "$2" && apt-get source --download-only -qq "$1")
}
