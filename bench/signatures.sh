#!/bin/sh
# Runs the signatures benchmark: builds the utility and pelmar_omni_signatures,
# lays out one realistic installation with every file signed or catalogued,
# and prints the two programs' times side by side.
# Not a test: nothing here is timed by CTest.
#
#   bench/signatures.sh [--build-dir DIR] [--quick]
#
# Installs what it needs with apt-get when run as root on Debian.
set -eu
here=$(cd "$(dirname "$0")" && pwd)

"$here/../scripts/install-missing-packages.sh" cmake make g++-mingw-w64-x86-64-posix \
  binutils-mingw-w64-x86-64 wine64 python3 time openssl osslsigncode python3-asn1crypto

exec /usr/bin/python3 -B "$here/signatures.py" "$@"
