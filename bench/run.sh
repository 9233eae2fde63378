#!/bin/sh
# Runs the inventory benchmark: builds the program and the benchmark's own
# tools, makes the test files (once; later runs reuse them) and prints every
# figure of one run. Not a test: nothing here is timed by CTest.
#
#   bench/run.sh [--build-dir DIR] [--no-sparse] [--quick]
#
# Installs what it needs with apt-get when run as root on Debian.
set -eu
here=$(cd "$(dirname "$0")" && pwd)

"$here/../scripts/install-missing-packages.sh" cmake make g++-mingw-w64-x86-64-posix \
  binutils-mingw-w64-x86-64 wine64 python3 time coreutils

exec /usr/bin/python3 -B "$here/bench.py" "$@"
