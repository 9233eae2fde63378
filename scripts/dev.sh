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

packages=(cmake make mingw-w64 wine64 googletest python3 python3-pefile)
missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}" >&2
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

cmake --preset mingw >/dev/null
cmake --build --preset mingw

case $action in
  run) exec build/mingw/wine-run build/mingw/src/app/pelmar_omni_info.exe ;;
  test) exec ctest --preset mingw ;;
esac
