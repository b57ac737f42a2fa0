#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Checks that a built ELF file carries the hardening the build asks for: a read-only
# relocation segment, bindings resolved at load time (so the GOT can be made read-only), the
# stack protector and fortified libc calls.
#   check_hardening.sh FILE [--fortified]
set -euo pipefail
file=$1
fail=0
# Read everything first: grep -q leaving a pipe early would fail the pipeline.
program_headers=$(readelf -lW "$file")
dynamic=$(readelf -dW "$file")
undefined=$(nm -D --undefined-only "$file")
check() {
  if eval "$2"; then echo "ok: $1"; else echo "MISSING: $1" >&2; fail=1; fi
}
check "GNU_RELRO segment" 'grep -q GNU_RELRO <<<"$program_headers"'
check "BIND_NOW" 'grep -Eq "BIND_NOW|FLAGS.*\bNOW\b" <<<"$dynamic"'
check "stack protector (__stack_chk_fail)" 'grep -q __stack_chk_fail <<<"$undefined"'
# Only a file that makes a fortifiable call shows it (the plug-in makes none the compiler
# cannot check statically); --fortified asks for it.
if [ "${2:-}" = "--fortified" ]; then
  check "_FORTIFY_SOURCE (__*_chk calls)" 'grep -Eq "__[a-z0-9_]+_chk(@|$)" <<<"$undefined"'
fi
check "no executable stack" '! grep GNU_STACK <<<"$program_headers" | grep -q RWE'

exit $fail
