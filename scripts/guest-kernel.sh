#!/usr/bin/env bash
# Sourced by the tests on a real kernel. fetch_guest_kernel fetches Debian's
# current kernel package (linux-image-amd64 names the versioned one) once
# into build/kernel-guest/<package>/, with its image as vmlinuz and its
# modules unpacked below root/lib/modules; guest_modules then copies the named
# modules, decompressed, into a folder of the guest.
#
#   source scripts/guest-kernel.sh
#   fetch_guest_kernel                 # sets kernel_dir, kernel_release
#   guest_modules DEST hid hid-generic uhid
#   guest_libraries ROOT PROGRAM...    # their shared libraries, loader too

resolve_kernel() {
  apt-cache depends linux-image-amd64 2>/dev/null |
    awk '/Depends: linux-image-[0-9]/ {print $2; exit}'
}

fetch_guest_kernel() {
  local work=build/kernel-guest package
  mkdir -p "$work"
  package=$(resolve_kernel)
  if [ -z "$package" ]; then
    apt-get update -qq
    package=$(resolve_kernel)
  fi
  if [ -z "$package" ]; then
    echo "guest-kernel: cannot resolve linux-image-amd64 to a kernel package" >&2
    return 1
  fi
  kernel_dir="$work/$package"
  if [ ! -f "$kernel_dir/ready" ]; then
    echo "guest-kernel: fetching $package"
    rm -rf "$kernel_dir" && mkdir -p "$kernel_dir/deb" "$kernel_dir/root"
    # Stale package lists may name a version the mirror no longer has.
    (cd "$kernel_dir/deb" && apt-get download -qq "$package" 2>/dev/null) ||
      { apt-get update -qq && (cd "$kernel_dir/deb" && apt-get download -qq "$package" 2>/dev/null); }
    dpkg-deb --fsys-tarfile "$kernel_dir"/deb/*.deb |
      tar -x -C "$kernel_dir/root" --wildcards './boot/vmlinuz-*' './lib/modules/*'
    cp "$kernel_dir"/root/boot/vmlinuz-* "$kernel_dir/vmlinuz"
    rm -rf "$kernel_dir/deb" "$kernel_dir/root/boot"
    touch "$kernel_dir/ready"
  fi
  kernel_release=$(ls "$kernel_dir/root/lib/modules" | head -1)
}

# guest_modules DEST NAME...: each module NAME.ko, found by file name in the
# kernel's tree, decompressed into DEST. A missing module fails.
guest_modules() {
  local dest=$1 name found
  shift
  mkdir -p "$dest"
  for name in "$@"; do
    found=$(find "$kernel_dir/root/lib/modules" -name "$name.ko*" | head -1)
    [ -n "$found" ] || { echo "guest-kernel: module $name not in $kernel_dir" >&2; return 1; }
    case "$found" in
      *.ko) cp "$found" "$dest/$name.ko" ;;
      *.ko.xz) xz -dc "$found" > "$dest/$name.ko" ;;
      *.ko.zst) zstd -qdc "$found" > "$dest/$name.ko" ;;
      *) echo "guest-kernel: unknown module format $found" >&2; return 1 ;;
    esac
  done
}

# guest_libraries ROOT PROGRAM...: the shared libraries the programs load,
# and the dynamic loader, copied below ROOT at the paths they have here.
guest_libraries() {
  local root=$1 lib
  shift
  for lib in $(ldd "$@" | awk '$2 == "=>" && $3 ~ /^\// {print $3} $1 ~ /^\// && $2 ~ /^\(0x/ {print $1}' | sort -u); do
    mkdir -p "$root$(dirname "$lib")"
    cp -L "$lib" "$root$lib"
  done
}
