#!/usr/bin/env bash
# Configures with only a compiler's needs (no tests or GUI), installs into a
# staging directory and builds consumers against the installed tree: the
# examples with pkg-config and with find_package(qola), a C-only program
# against the static library both ways, the C++ layer as C++17. Then the
# packaging traps: both libraries and one qola.pc from one configure, the
# shared library's exports, the benchmarks beside a shared build, the table
# generator when cross-building, and lintian on packages made from the stage.
# Usage: scripts/install-check.sh [SHARED=ON|OFF]   (what the programs link)
set -euo pipefail
cd "$(dirname "$0")/.."
shared=${1:-ON}
work=${TMPDIR:-/tmp}/qola-install-check-$shared
rm -rf "$work"
# The benchmarks need internals the shared library hides: they must link anyway.
cmake -S . -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DBUILD_SHARED_LIBS="$shared" -DBUILD_TESTING=OFF -DQOLA_BUILD_GUI=OFF -DQOLA_BUILD_BENCH="$shared" \
  -DQOLA_WERROR=ON > /dev/null
cmake --build "$work/build" -j "$(nproc)"
DESTDIR="$work/stage" cmake --install "$work/build" > /dev/null
stage=$work/stage/usr
libdir=$(cd "$stage" && dirname "$(find lib* -name qola.pc | head -1)" | xargs dirname)
export LD_LIBRARY_PATH="$stage/$libdir"

# Both libraries from the one configure, and the shared one exports the header's functions only.
test -f "$stage/$libdir/libqola.a"
test -L "$stage/$libdir/libqola.so"
tests/library/exported-symbols.sh "$stage/$libdir/libqola.so" "$stage/include/qola/qola.h"

# pkg-config, with the prefix moved to the staging directory.
export PKG_CONFIG_PATH="$stage/$libdir/pkgconfig"
flags=(--define-variable=prefix="$stage")
cc -std=c99 -Wall -Wextra -Werror examples/roundtrip.c -o "$work/c-pc" \
  $(pkg-config "${flags[@]}" --cflags --libs qola) -lm
for standard in c++17 c++20; do
  c++ -std=$standard -Wall -Wextra -Werror examples/roundtrip.cpp -o "$work/cpp-pc-$standard" \
    $(pkg-config "${flags[@]}" --cflags --libs qola)
  "$work/cpp-pc-$standard" > /dev/null
done
"$work/c-pc" > /dev/null

# The static library from a C program: pkg-config --static names every
# library once and no folder but the library's own. Read without moving the
# prefix: a moved prefix would move the system libraries' folders as well.
static_libs=$(pkg-config --static --libs qola)
if [ "$(echo $static_libs | tr ' ' '\n' | sort | uniq -d)" != "" ]; then
  echo "qola.pc --static lists a flag twice: $static_libs"; exit 1
fi
if echo "$static_libs" | tr ' ' '\n' | grep -- '^-L' | grep -qv "^-L$stage/$libdir\$"; then
  echo "qola.pc --static names another folder: $static_libs"; exit 1
fi
cc -std=c99 examples/roundtrip.c -o "$work/c-static-pc" $(pkg-config "${flags[@]}" --cflags qola) \
  $(echo "$static_libs" | sed "s|-lqola|$stage/$libdir/libqola.a|") -lm
"$work/c-static-pc" > /dev/null

# find_package(qola): the examples against the shared library, and a C-only
# project against the static one.
cmake -S examples -B "$work/examples" -G Ninja -DCMAKE_PREFIX_PATH="$stage" > /dev/null
cmake --build "$work/examples" > /dev/null
"$work/examples/roundtrip_c" > /dev/null
"$work/examples/roundtrip_cpp" > /dev/null
mkdir -p "$work/c-only"
cp examples/roundtrip.c "$work/c-only/"
cat > "$work/c-only/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(c_only LANGUAGES C)
find_package(qola REQUIRED)
add_executable(roundtrip_static roundtrip.c)
target_link_libraries(roundtrip_static PRIVATE qola::qola_static m)
CMAKE
cmake -S "$work/c-only" -B "$work/c-only/build" -G Ninja -DCMAKE_PREFIX_PATH="$stage" > /dev/null
cmake --build "$work/c-only/build" > /dev/null
"$work/c-only/build/roundtrip_static" > /dev/null

test -f "$stage/share/man/man1/qola.1"
test -f "$stage/share/bash-completion/completions/qola"
test -f "$stage/share/mime/packages/qola.xml"
test -f "$stage/share/doc/qola/LICENSE"
test -f "$stage/share/doc/qola/README.md"

# Cross-building: the table generator must run on the build machine. The
# configure below claims a foreign target, so a generator built for the
# target could not run; the tables must still come out.
cmake -S . -B "$work/cross" -G Ninja -DCMAKE_SYSTEM_NAME=Linux -DCMAKE_SYSTEM_PROCESSOR=x86_64 \
  -DCMAKE_CROSSCOMPILING_EMULATOR=/bin/false -DBUILD_TESTING=OFF -DQOLA_BUILD_GUI=OFF \
  -DQOLA_BUILD_BENCH=OFF > /dev/null
cmake --build "$work/cross" --target qola_tables > /dev/null
cmp "$work/cross/src/TransformTableData.cpp" "$work/build/src/TransformTableData.cpp"

scripts/lintian-check.sh "$work/stage" "$work/deb"
echo "install check ($shared): both libraries, exports, qola.pc (shared and --static), CMake package" \
  "(C++ and C-only static), C++17, licence, man page, cross-built tables, lintian; examples pass"
