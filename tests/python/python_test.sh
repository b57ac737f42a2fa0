#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs python/ into a fresh venv as a user would (Debian's setuptools, no
# index) and runs its pytest suite against the built plug-in and engine.
set -euo pipefail
build=$1 source=$2
# Debian's interpreter, which the python3-* packages of scripts/install-deps
# serve, rather than whatever python3 comes first on PATH; $PYTHON overrides.
python=${PYTHON:-python3}
if [ -z "${PYTHON:-}" ] && [ -x /usr/bin/python3 ]; then python=/usr/bin/python3; fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# A copy, so that the build leaves nothing behind in the source tree.
cp -r "$source/python" "$scratch/src"
rm -rf "$scratch/src/build" "$scratch"/src/src/*.egg-info
# Without a pip of its own, the venv uses Debian's pip, setuptools and wheel.
"$python" -m venv --system-site-packages --without-pip "$scratch/venv"
"$scratch/venv/bin/python" -m pip install --quiet --no-index --no-build-isolation \
  --disable-pip-version-check "$scratch/src"
export DOCSEEK_PLUGIN="$build/lib/libdocseek.so"
export DOCSEEK_ENGINE="$build/bin/docseek-engine"
export DOCSEEK_SOURCE_DIR="$source"
# From the scratch folder, so that `import docseek` finds the installed copy.
cd "$scratch"
"$scratch/venv/bin/python" -m pytest -q -p no:cacheprovider "$scratch/src/tests"
