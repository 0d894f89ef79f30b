#!/usr/bin/env bash
# clang-tidy over the Windows-only sources, parsed as the cross build sees
# them: the mingw-w64 target with its libstdc++ and Windows headers (the
# compiler intrinsics are clang's own).
set -euo pipefail
cd "$(dirname "$0")/.."
[ -f build/mingw/compile_commands.json ] || cmake --preset mingw >/dev/null

gcc_dir=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")
args=(--quiet -p build/mingw
  --extra-arg-before=--target=x86_64-w64-mingw32
  --extra-arg=-Wno-unknown-warning-option)
for dir in "$gcc_dir/include/c++" "$gcc_dir/include/c++/x86_64-w64-mingw32" \
           "$gcc_dir/include/c++/backward" \
           /usr/x86_64-w64-mingw32/include; do
  args+=("--extra-arg=-isystem$dir")
done

mapfile -t sources < <(git ls-files 'hid/win32/*.cpp' 'ui/win32/*.cpp' 'apps/win32/*.cpp' \
                                     'tests/wine-guest/RequestChannel.cpp' \
                                     'apps/cli/win32_main.cpp' 'dnssd/WindowsAnnouncer.cpp' \
                                     'tests/win32/*.cpp')
clang-tidy "${args[@]}" "${sources[@]}"
