#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds tests/package/cmake_host against the docseek installed under PREFIX
# and checks that the host loads the plug-in find_package(docseek) names.
set -euo pipefail
prefix=$1 source=$2 scratch=$3
generator=()
if command -v ninja >/dev/null; then generator=(-G Ninja); fi
cmake -S "$source/tests/package/cmake_host" -B "$scratch/cmake_host" "${generator[@]}" \
  -DCMAKE_PREFIX_PATH="$prefix" -DDOCSEEK_HOST_SOURCE="$source/tests/install/host.cpp" >/dev/null
cmake --build "$scratch/cmake_host" >/dev/null
plugin=$(cat "$scratch/cmake_host/plugin_path.txt")
case "$plugin" in
  "$prefix"/*) ;;
  *) echo "find_package(docseek) names $plugin, outside $prefix" >&2; exit 1 ;;
esac
out=$("$scratch/cmake_host/host" "$plugin")
expected=$'pdf\ndoc\nxls\nppt\nrtf\nsogou\n10\n20\n30\n50\n100'
[ "$out" = "$expected" ] || { echo "CMake host printed: $out" >&2; exit 1; }
