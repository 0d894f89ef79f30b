#!/usr/bin/env bash
# Builds the Windows installer from the cross build's executables:
#   make-msi.sh VERSION BINDIR ICON OUTPUT
# VERSION is major.minor.patch; BINDIR holds trelvix-pulse.exe,
# trelvix-pulse-demo.exe and trelvix-pulse-cli.exe; ICON is the .ico shown in
# Apps & features. Needs wixl (Debian's wixl package, from
# scripts/install-windows-deps.sh).
set -euo pipefail
[ $# -eq 4 ] || { echo "usage: make-msi.sh VERSION BINDIR ICON OUTPUT" >&2; exit 2; }
wxs=$(realpath "$(dirname "$0")/trelvix-pulse.wxs")
output=$(realpath -m "$4")
# wixl takes the files' paths relative to where it runs: the files are
# gathered under the names the .wxs gives them.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for exe in trelvix-pulse trelvix-pulse-demo trelvix-pulse-cli; do
  ln -s "$(realpath "$2/$exe.exe")" "$work/$exe.exe"
done
ln -s "$(realpath "$3")" "$work/trelvix-pulse.ico"
cd "$work"
wixl --arch x64 -D "Version=$1" -o "$output" "$wxs"
