#!/bin/sh
# Builds the release zip of the Pelmar Omni Print Driver Information Utility
# and its companion programs.
#
#   scripts/release.sh OUT_DIR [SOURCE_DIR]
#
# SOURCE_DIR (default: the checkout this script belongs to) is built in a
# fresh folder under /tmp, and OUT_DIR receives
#   pelmar_omni_info-<version>-win-x64.zip         the programs, USAGE.txt,
#                                                  README.md, the scripts in
#                                                  rollout/, SHA256SUMS
#   pelmar_omni_info-<version>-win-x64.zip.sha256  the zip's own digest
# The same commit gives the same bytes, in any folder: the executables carry
# no link time and no path, and the zip's entries are sorted, stored with one
# fixed time (SOURCE_DATE_EPOCH, by default the commit's time) and fixed
# attributes. scripts/check-reproducible.sh proves it.
#
# Signing: when PELMAR_SIGN_PKCS12 names a .pfx file, every program is given
# an Authenticode signature with its certificate and key (osslsigncode)
# before SHA256SUMS and the zip are made, so that both cover the signed
# files. The .pfx password comes from PELMAR_SIGN_PASSWORD (none when unset);
# PELMAR_SIGN_TIMESTAMP_URL, when set, names an RFC 3161 time-stamp server.
# Each signed program, its signature removed again, must give back the
# unsigned build byte for byte, or the release fails: a signed release stays
# reproducible (scripts/check-reproducible.sh --signed ZIP checks one).
#
# Installs what it needs with apt-get when run as root on Debian.
set -eu

usage() {
  echo "usage: $0 OUT_DIR [SOURCE_DIR]" >&2
  exit 2
}
[ $# -ge 1 ] && [ $# -le 2 ] || usage
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$1"
out_dir=$(cd "$1" && pwd)
source_dir=$(cd "${2:-$here/..}" && pwd)
[ -f "$source_dir/CMakePresets.json" ] || { echo "$source_dir: no CMakePresets.json" >&2; exit 2; }

# The release's programs, one a line: the CMake target, the .exe it builds
# (relative to the build folder), and what it does, for USAGE.txt.
programs=$(cat <<'EOF'
pelmar_omni_info src/app/pelmar_omni_info.exe takes the inventory of the driver files
pelmar_omni_compare src/compare/pelmar_omni_compare.exe compares inventories with a baseline
pelmar_omni_signatures src/signatures/pelmar_omni_signatures.exe checks that each driver file is still signed
EOF
)

signing=false
if [ -n "${PELMAR_SIGN_PKCS12:-}" ]; then
  if [ ! -f "$PELMAR_SIGN_PKCS12" ] || [ ! -r "$PELMAR_SIGN_PKCS12" ]; then
    echo "PELMAR_SIGN_PKCS12: $PELMAR_SIGN_PKCS12 is not a readable file" >&2
    exit 2
  fi
  signing=true
elif [ -n "${PELMAR_SIGN_PASSWORD:-}${PELMAR_SIGN_TIMESTAMP_URL:-}" ]; then
  # A release meant to be signed must not come out unsigned.
  echo "PELMAR_SIGN_PASSWORD or PELMAR_SIGN_TIMESTAMP_URL is set, but PELMAR_SIGN_PKCS12 is not" >&2
  exit 2
fi

"$here/install-missing-packages.sh" cmake make g++-mingw-w64-x86-64-posix \
  binutils-mingw-w64-x86-64 python3 git
if $signing; then
  "$here/install-missing-packages.sh" osslsigncode
fi

work=$(mktemp -d /tmp/pelmar-release.XXXXXX)
trap 'rm -rf "$work"' EXIT INT TERM

# Which sources these are, for the usage text and the zip's timestamps.
revision="not a git checkout"
if git -C "$source_dir" rev-parse --verify -q HEAD >/dev/null 2>&1; then
  revision="commit $(git -C "$source_dir" rev-parse HEAD)"
  if [ -n "$(git -C "$source_dir" status --porcelain --untracked-files=no)" ]; then
    revision="$revision with uncommitted changes"
  fi
  : "${SOURCE_DATE_EPOCH:=$(git -C "$source_dir" log -1 --format=%ct HEAD)}"
fi
# Zip timestamps cannot go before 1980.
: "${SOURCE_DATE_EPOCH:=315532800}"
export SOURCE_DATE_EPOCH

echo "Building $source_dir ($revision) in $work/build" >&2
(cd "$source_dir" && cmake --preset mingw -B "$work/build" -DPELMAR_BUILD_TESTS=OFF) >"$work/configure.log" 2>&1 ||
  { cat "$work/configure.log" >&2; exit 1; }
# shellcheck disable=SC2046
cmake --build "$work/build" --target $(printf '%s\n' "$programs" | cut -d' ' -f1) -j2 \
  >"$work/build.log" 2>&1 ||
  { cat "$work/build.log" >&2; exit 1; }
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$work/build/CMakeCache.txt")
[ -n "$version" ] || { echo "no project version in the CMake cache" >&2; exit 1; }

# sign INPUT OUTPUT
sign() {
  set -- sign -in "$1" -out "$2" -pkcs12 "$PELMAR_SIGN_PKCS12" -h sha256
  if [ -n "${PELMAR_SIGN_TIMESTAMP_URL:-}" ]; then
    set -- "$@" -ts "$PELMAR_SIGN_TIMESTAMP_URL"
  fi
  # The password goes through a pipe, never on a command line that others
  # could read in the process list.
  if [ -n "${PELMAR_SIGN_PASSWORD:-}" ]; then
    printf '%s' "$PELMAR_SIGN_PASSWORD" | osslsigncode "$@" -readpass -
  else
    osslsigncode "$@" </dev/null
  fi
}

stage="$work/stage"
mkdir "$stage"
if $signing; then
  echo "Signing with $PELMAR_SIGN_PKCS12" >&2
fi
executables=""
while read -r _ path _; do
  program=${path##*/}
  if $signing; then
    sign "$work/build/$path" "$stage/$program" >"$work/sign.log" 2>&1 ||
      { echo "$program: signing failed" >&2; cat "$work/sign.log" >&2; exit 1; }
    osslsigncode remove-signature -in "$stage/$program" -out "$work/unsigned.exe" \
      >"$work/sign.log" 2>&1 || { cat "$work/sign.log" >&2; exit 1; }
    if ! cmp -s "$work/unsigned.exe" "$work/build/$path"; then
      echo "$program: with its signature removed it differs from the unsigned build" >&2
      exit 1
    fi
    rm "$work/unsigned.exe"
  else
    cp "$work/build/$path" "$stage/"
  fi
  executables="$executables $program"
done <<EOF
$programs
EOF
name="pelmar_omni_info-$version-win-x64"

# Windows line endings: the texts are read on Windows servers, where older
# Notepads show a file of bare line feeds as one line. USAGE.txt gets a user
# started; README.md, shipped beside it, says the rest. The rollout scripts
# that README.md shows ship beside the programs, as collect.cmd expects, with
# the same line ends as README.md, so that each is the same bytes as its copy
# there; cmd reads a batch file of bare line feeds wrongly at times.
sed 's/$/\r/' "$source_dir/README.md" >"$stage/README.md"
scripts=""
for script in "$source_dir"/rollout/*; do
  sed 's/$/\r/' "$script" >"$stage/${script##*/}"
  scripts="$scripts ${script##*/}"
done
{
  cat <<EOF
Pelmar Omni Print Driver Information Utility $version
Built from $revision.

This zip holds
EOF
  while read -r _ path description; do
    printf '  %-28s %s\n' "${path##*/}" "$description"
  done <<EOF
$programs
EOF
  cat <<EOF
  README.md                    the guide
  collect.cmd                  collects inventories (Configuration Manager, Intune)
  collect-remote.ps1           collects inventories through PowerShell remoting
  detect.ps1, remediate.ps1    an Intune Remediation of the signature check
  discover.ps1                 an Intune custom compliance discovery script,
  pelmar-rules.json            and its rules
  SHA256SUMS                   the SHA-256 digest of each of these files

Unpack the zip into a folder that only administrators can write to, such as
C:\Program Files\Pelmar Omni Info (README.md says why). Running the programs
needs no administrator rights, and they only read. In a Command Prompt, save
the inventory in a folder of yours and read the exit code:

    cd /d "%USERPROFILE%\Documents"
    "%ProgramFiles%\Pelmar Omni Info\pelmar_omni_info.exe" > PC-0042.txt
    echo %ERRORLEVEL%

0: PC-0042.txt holds the whole table; send it to Pelmar support. 1: one line
on the screen says what failed; send that line too.

README.md, beside this file, says the rest: checking this download (the
programs' signature, then the zip's SHA-256), what goes where (in cmd and in
PowerShell), exit codes, every failure line with what it means and what to do,
the supported Windows versions, comparing with a known-good machine, checking
signatures, collecting inventories from many machines, and Intune. It is plain
text with Markdown marks. Notepad shows it as it is (turn word wrap on for the
long table lines); a Markdown viewer shows its tables as tables, e.g. Visual
Studio Code's preview (Ctrl+Shift+V).
EOF
} | sed 's/$/\r/' >"$stage/USAGE.txt"

# shellcheck disable=SC2086
(cd "$stage" && sha256sum $executables USAGE.txt README.md $scripts >SHA256SUMS)

/usr/bin/python3 - "$stage" "$out_dir/$name.zip" <<'EOF'
import os
import sys
import time
import zipfile

stage, target = sys.argv[1], sys.argv[2]
stamp = time.gmtime(max(int(os.environ["SOURCE_DATE_EPOCH"]), 315532800))[:6]
partial = target + ".partial"
with zipfile.ZipFile(partial, "w") as archive:
    for name in sorted(os.listdir(stage)):
        entry = zipfile.ZipInfo(name, date_time=stamp)
        # Written as by Windows, with the archive attribute alone, so nothing
        # of this machine (owner, umask, time zone) gets in.
        entry.create_system = 0
        entry.external_attr = 0x20
        entry.compress_type = zipfile.ZIP_DEFLATED
        with open(os.path.join(stage, name), "rb") as source:
            archive.writestr(entry, source.read(), compresslevel=9)
os.replace(partial, target)
EOF
(cd "$out_dir" && sha256sum "$name.zip" >"$name.zip.sha256")

echo "$out_dir/$name.zip"
(cd "$stage" && sed 's/^/  /' SHA256SUMS)
echo "  $(cat "$out_dir/$name.zip.sha256")"
