#!/usr/bin/env bash
# Sets up everything on Debian 12 (as root), builds, and then either runs the
# utility under Wine ("run") or runs every test through CTest ("test").
set -euo pipefail

usage() { echo "usage: $0 run|test" >&2; exit 2; }
[ $# -eq 1 ] || usage
action=$1
case $action in run|test) ;; *) usage ;; esac

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/install-missing-packages.sh cmake make mingw-w64 wine64 googletest python3 python3-pefile \
  openssl osslsigncode python3-asn1crypto
scripts/install-powershell.sh

cmake --preset mingw >/dev/null
cmake --build --preset mingw

case $action in
  run) exec build/mingw/wine-run build/mingw/src/app/pelmar_omni_info.exe ;;
  test) exec ctest --preset mingw ;;
esac
