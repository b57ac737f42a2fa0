#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the build into a scratch prefix and builds a host against it with
# pkg-config alone, as a host project would.
set -euo pipefail
build=$1 source=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
export PKG_CONFIG_PATH="$(dirname "$(find "$prefix" -name docseek.pc | head -n1)")"
plugin=$(pkg-config --variable=plugin docseek)
[ -e "$plugin" ] || { echo "pkg-config names $plugin, which is not installed" >&2; exit 1; }
# shellcheck disable=SC2046
# shellcheck disable=SC2086
c++ -std=c++20 -Wall -Wextra -Werror ${DOCSEEK_HOST_FLAGS:-} $(pkg-config --cflags docseek) "$source/tests/install/host.cpp" \
  -o "$prefix/host" -ldl
out=$("$prefix/host" "$plugin")
expected=$'pdf\ndoc\nxls\nppt\nrtf\nsogou\n10\n20\n30\n50\n100'
[ "$out" = "$expected" ] || { echo "unexpected output: $out" >&2; exit 1; }
for program in docseek docseek-engine; do
  [ -x "$prefix/bin/$program" ] || { echo "$program not installed" >&2; exit 1; }
done
"$prefix/bin/docseek" types >/dev/null
echo "installed copy works"
# A CMake host finds the same copy with find_package(docseek).
"$source/tests/package/cmake_host.sh" "$prefix" "$source" "$prefix"
[ -f "$prefix/share/man/man1/docseek.1.gz" ] || { echo "manual page not installed" >&2; exit 1; }
echo "CMake host works"
