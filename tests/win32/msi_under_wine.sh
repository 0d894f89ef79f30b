#!/usr/bin/env bash
# The installer under Wine's msiexec, in the Wine prefix of the run
# (scripts/test-windows.sh): installed quietly it puts the three executables
# in Program Files and the two Start-menu entries in place and registers in
# Apps & features with its version and an uninstaller; a newer version
# replaces it, an older one is refused; uninstalled, nothing is left.
#   msi_under_wine.sh MSI MAKE-MSI BINDIR ICON VERSION
set -uo pipefail
msi=$1 make_msi=$2 bindir=$3 icon=$4 version=$5
: "${WINEPREFIX:?run through scripts/test-windows.sh, which makes the Wine prefix}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The next version of the same files, to upgrade to.
newer=${version%.*}.$((${version##*.} + 1))
bash "$make_msi" "$newer" "$bindir" "$icon" "$work/newer.msi" || exit 1

dir="$WINEPREFIX/drive_c/Program Files/Trelvix Pulse Generator"
# The entries go to the Start menu of all users; Wine's msiexec puts them in
# the installing user's, so either counts.
menus=("$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Trelvix Pulse Generator"
  "$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Trelvix Pulse Generator")
menu_entry() { ls "${menus[0]}/$1" "${menus[1]}/$1" 2>/dev/null | head -1; }
uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
product_code() { msiinfo export "$1" Property | tr -d '\r' | sed -n 's/^ProductCode\t//p'; }
registered() {  # registered CODE VALUE: the value in the product's Apps & features entry
  wine reg query "$uninstall\\$1" /v "$2" 2>/dev/null | tr -d '\r' |
    sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
}
msiexec() { wine msiexec "$@" >/dev/null 2>&1; }

failed=0
check() {  # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what" >&2; failed=1; fi
}
installed_as() {  # installed_as VERSION CODE: files, entries and registration in place
  local exe
  for exe in trelvix-pulse trelvix-pulse-demo trelvix-pulse-cli; do
    cmp -s "$bindir/$exe.exe" "$dir/$exe.exe" || { echo "  $exe.exe missing or different"; return 1; }
  done
  grep -qa 'trelvix-pulse.exe' "$(menu_entry "Trelvix Pulse Generator.lnk")" ||
    { echo "  no tool entry"; return 1; }
  grep -qa 'trelvix-pulse-demo.exe' "$(menu_entry "Trelvix Pulse Generator demo.lnk")" ||
    { echo "  no demo entry"; return 1; }
  [ "$(registered "$2" DisplayName)" = "Trelvix Pulse Generator" ] || { echo "  no name"; return 1; }
  [ "$(registered "$2" DisplayVersion)" = "$1" ] || { echo "  version $(registered "$2" DisplayVersion)"; return 1; }
  registered "$2" UninstallString | grep -qi "msiexec.exe /X$2" || { echo "  no uninstaller"; return 1; }
}
nothing_left() {
  [ ! -e "$dir" ] && [ ! -e "${menus[0]}" ] && [ ! -e "${menus[1]}" ] &&
    [ -z "$(registered "$1" DisplayName)" ]
}

code=$(product_code "$msi")
newer_code=$(product_code "$work/newer.msi")
check "the two builds have product codes of their own" \
  test -n "$code" -a -n "$newer_code" -a "$code" != "$newer_code"

msiexec /i "$msi" /qn
check "msiexec /i: $version installed" installed_as "$version" "$code"
cli_version=$(wine "C:\\Program Files\\Trelvix Pulse Generator\\trelvix-pulse-cli.exe" --version 2>/dev/null | tr -d '\r')
check "the installed command line runs" test "$cli_version" = "trelvix-pulse-cli $version"

msiexec /i "$work/newer.msi" /qn
check "msiexec /i of $newer: replaces $version" installed_as "$newer" "$newer_code"
check "msiexec /i of $newer: $version is no longer registered" test -z "$(registered "$code" DisplayName)"

msiexec /i "$msi" /qn
check "msiexec /i of the older $version: refused, $newer stays" installed_as "$newer" "$newer_code"
check "msiexec /i of the older $version: not registered" test -z "$(registered "$code" DisplayName)"

msiexec /x "$work/newer.msi" /qn
check "msiexec /x: nothing left" nothing_left "$newer_code"

[ "$failed" -eq 0 ] && echo "the installer installs, upgrades and uninstalls under Wine"
exit "$failed"
