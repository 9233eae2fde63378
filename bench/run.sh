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

need=""
command -v cmake >/dev/null 2>&1 || need="$need cmake"
command -v make >/dev/null 2>&1 || need="$need make"
command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 || need="$need g++-mingw-w64-x86-64-posix"
command -v x86_64-w64-mingw32-windres >/dev/null 2>&1 || need="$need binutils-mingw-w64-x86-64"
[ -x /usr/lib/wine/wine64 ] || need="$need wine64"
[ -x /usr/bin/python3 ] || need="$need python3"
[ -x /usr/bin/time ] || need="$need time"
command -v sha1sum >/dev/null 2>&1 || need="$need coreutils"
if [ -n "$need" ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "bench/run.sh: missing packages:$need (run as root to install them)" >&2
    exit 1
  fi
  apt-get update
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $need
fi

exec /usr/bin/python3 -B "$here/bench.py" "$@"
