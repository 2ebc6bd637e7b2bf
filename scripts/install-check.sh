#!/usr/bin/env bash
# Configures with only a compiler's needs (no tests, benchmarks or GUI),
# installs into a staging directory and builds the examples against the
# installed tree twice: with pkg-config and with find_package(qola).
# Usage: scripts/install-check.sh [SHARED=ON|OFF]
set -euo pipefail
cd "$(dirname "$0")/.."
shared=${1:-ON}
work=${TMPDIR:-/tmp}/qola-install-check-$shared
rm -rf "$work"
cmake -S . -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DBUILD_SHARED_LIBS="$shared" -DBUILD_TESTING=OFF -DQOLA_BUILD_GUI=OFF -DQOLA_BUILD_BENCH=OFF \
  -DQOLA_WERROR=ON > /dev/null
cmake --build "$work/build" -j "$(nproc)"
DESTDIR="$work/stage" cmake --install "$work/build" > /dev/null
stage=$work/stage/usr
libdir=$(cd "$stage" && dirname "$(find lib* -name qola.pc | head -1)" | xargs dirname)
export LD_LIBRARY_PATH="$stage/$libdir"

# pkg-config, with the prefix moved to the staging directory.
export PKG_CONFIG_PATH="$stage/$libdir/pkgconfig"
flags=(--define-variable=prefix="$stage")
cc -std=c99 -Wall -Wextra -Werror examples/roundtrip.c -o "$work/c-pc" \
  $(pkg-config "${flags[@]}" --cflags --libs qola) -lm
c++ -std=c++20 -Wall -Wextra -Werror examples/roundtrip.cpp -o "$work/cpp-pc" \
  $(pkg-config "${flags[@]}" --cflags --libs qola)
"$work/c-pc" > /dev/null
"$work/cpp-pc" > /dev/null

# find_package(qola).
cmake -S examples -B "$work/examples" -G Ninja -DCMAKE_PREFIX_PATH="$stage" > /dev/null
cmake --build "$work/examples" > /dev/null
"$work/examples/roundtrip_c" > /dev/null
"$work/examples/roundtrip_cpp" > /dev/null
test -f "$stage/share/man/man1/qola.1"
test -f "$stage/share/bash-completion/completions/qola"
test -f "$stage/share/mime/packages/qola.xml"
echo "install check ($shared): library, header, qola.pc, CMake package, CLI, man page and file type; examples pass"
