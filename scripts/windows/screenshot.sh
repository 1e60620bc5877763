#!/usr/bin/env bash
# A picture of the installed program's login window under Wine, on a virtual display, for the closing note
# of a change to the Windows build: installs the installer silently into a Wine prefix of its own (with a
# Chinese font, which a bare prefix lacks) and grabs the screen. The title bar is Wine's own drawing, in a
# font without Chinese.
#   scripts/windows/screenshot.sh OUT.png [SETUP.exe]
set -euo pipefail
source "$(dirname "$0")/common.sh"

out=${1:?usage: screenshot.sh OUT.png [SETUP.exe]}
setup=${2:-$(ls -t "$TF_REPO"/dist-windows/Taxferry-*-setup.exe 2>/dev/null | head -n1)}
[ -f "$setup" ] || { echo "no installer: scripts/windows/build.sh makes it" >&2; exit 1; }
tf_need_packages wine64 xvfb xauth x11-apps imagemagick fonts-wqy-microhei

export WINEPREFIX=$TF_CACHE/wine-shot WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=d;mshtml=d" LC_ALL=C.UTF-8
rm -rf "$WINEPREFIX"
"$TF_WINE" wineboot --init >/dev/null 2>&1
/usr/lib/wine/wineserver -w
cp /usr/share/fonts/truetype/wqy/wqy-microhei.ttc "$WINEPREFIX/drive_c/windows/Fonts/"

xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  set -e
  "$0" "$1" /S
  # In a Wine desktop of its own: Wine then draws the window frame and title, which no window manager does here.
  "$0" explorer /desktop=taxferry,800x600 "C:\\Program Files\\Taxferry\\bin\\taxferry.exe" &
  sleep 25
  xwd -root -silent | convert xwd:- -crop 800x600+0+0 +repage "$2"
  /usr/lib/wine/wineserver -k
' "$TF_WINE" "$setup" "$out"
rm -rf "$WINEPREFIX"
echo "$out"
