#!/bin/sh
# Runs the compare benchmark: builds the utility and pelmar_omni_compare,
# makes 10,000 inventories from one real report and prints how fast and in
# how much memory one compare goes through 100, 1,000 and 10,000 of them.
# Not a test: nothing here is timed by CTest.
#
#   bench/compare.sh [--build-dir DIR]
#
# Installs what it needs with apt-get when run as root on Debian.
set -eu
here=$(cd "$(dirname "$0")" && pwd)

"$here/../scripts/install-missing-packages.sh" cmake make g++-mingw-w64-x86-64-posix \
  binutils-mingw-w64-x86-64 wine64 python3 time

exec /usr/bin/python3 -B "$here/compare.py" "$@"
