#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the .deb with cpack and checks it without installing it system-wide:
# its file list and control fields, then an unpacked copy (dpkg -x) whose CLI,
# manual page, pkg-config file and CMake package must all work in place.
set -euo pipefail
build=$1 source=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "package test: $*" >&2; exit 1; }

version=$(grep -m1 -o 'CPACK_PACKAGE_VERSION "[^"]*"' "$build/CPackConfig.cmake" | cut -d'"' -f2)
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >/dev/null
debs=("$scratch"/out/docseek_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one docseek_*.deb, got: ${debs[*]}"
deb=${debs[0]}

contents=$(dpkg -c "$deb" | awk '{print $6}')
for path in ./usr/bin/docseek ./usr/bin/docseek-engine ./usr/lib/libdocseek.so.0 \
  ./usr/include/docseek/plugin.h ./usr/include/docseek/string_list.hpp \
  ./usr/lib/pkgconfig/docseek.pc ./usr/lib/cmake/docseek/docseekConfig.cmake \
  ./usr/lib/cmake/docseek/docseekConfigVersion.cmake ./usr/share/man/man1/docseek.1.gz; do
  grep -qx -- "$path" <<<"$contents" || fail "$path is not in the package"
done
if grep -v '^\./usr/' <<<"$contents" | grep -qv '^\./$'; then
  fail "files outside /usr: $(grep -v '^\./usr/' <<<"$contents")"
fi

[ "$(dpkg-deb -f "$deb" Package)" = docseek ] || fail "Package field"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "Version is not $version"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libcurl4 libglib2.0-0 libgumbo1; do
  grep -q "$library" <<<"$depends" || fail "Depends lacks $library: $depends"
done
dpkg -I "$deb" >/dev/null

root=$scratch/root
dpkg -x "$deb" "$root"
usr=$root/usr
"$usr/bin/docseek" --help | grep -q '^Usage: docseek' || fail "docseek --help"
# The CLI finds the plug-in beside itself in the unpacked tree.
[ "$("$usr/bin/docseek" types | tr '\n' ' ')" = "pdf doc xls ppt rtf sogou " ] ||
  fail "docseek types from the unpacked package"
"$usr/bin/docseek-engine" --help >/dev/null 2>&1 || fail "docseek-engine --help"

warnings=$(MANWIDTH=80 man --warnings -l "$usr/share/man/man1/docseek.1.gz" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man reports: $warnings"
page=$(MANWIDTH=80 man -l "$usr/share/man/man1/docseek.1.gz" 2>/dev/null)
grep -q '^NAME' <<<"$page" || fail "the manual page has no NAME section"
# Every option the program lists is documented.
for option in $("$usr/bin/docseek" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
  grep -q -- "$option" <<<"$page" || fail "the manual page does not mention $option"
done

# Hosts built against the unpacked copy, with pkg-config and with CMake.
export PKG_CONFIG_PATH=$usr/lib/pkgconfig
plugin=$(pkg-config --variable=plugin docseek)
[ -e "$plugin" ] || fail "pkg-config names $plugin, which is not in the package"
# shellcheck disable=SC2046
c++ -std=c++20 -Wall -Wextra -Werror $(pkg-config --cflags docseek) \
  "$source/tests/install/host.cpp" -o "$scratch/c_host" -ldl
[ "$("$scratch/c_host" "$plugin" | wc -l)" -eq 11 ] || fail "pkg-config host"
"$source/tests/package/cmake_host.sh" "$usr" "$source" "$scratch"

# Installable as it stands: apt resolves its dependencies (a simulation only).
if command -v apt-get >/dev/null; then
  apt-get -s -qq install "$deb" >"$scratch/apt.log" 2>&1 ||
    fail "apt-get cannot install it: $(cat "$scratch/apt.log")"
fi
echo "package $(basename "$deb") checked"
