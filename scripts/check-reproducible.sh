#!/bin/sh
# Proves that a commit builds to the same bytes wherever it is built: clones
# HEAD of this checkout twice, into two folders of different names and depths
# under /tmp, builds the release of each with scripts/release.sh (each in a
# build folder of its own, the second in another time zone and with another
# umask) and compares each program in the zips, then the zips, byte for byte.
#
#   scripts/check-reproducible.sh [--include-uncommitted] [--keep] [--signed ZIP]
#
# Only what is committed is checked: the clones hold HEAD, so changes not yet
# committed in this checkout play no part (the script says so when there are
# any). --include-uncommitted adds them to both clones first (the diff against
# HEAD, staged or not, and the untracked files that git does not ignore), to
# check work before it is committed. --keep leaves the clones and the builds'
# output in place.
#
# --signed ZIP also checks a signed release zip of the same commit (one that
# scripts/release.sh made with PELMAR_SIGN_PKCS12): each program in it, its
# signature removed with osslsigncode, must be the first build's byte for
# byte, every other file but SHA256SUMS identical, and SHA256SUMS must list
# the signed files' digests.
#
# Exit code 0 when both the executables and the zips are identical (and the
# signed zip is the same release), 1 when they differ, 2 when the check could
# not be made.
set -eu

usage() {
  echo "usage: $0 [--include-uncommitted] [--keep] [--signed ZIP]" >&2
  exit 2
}
include_uncommitted=false
keep=false
signed_zip=""
while [ $# -gt 0 ]; do
  case "$1" in
    --include-uncommitted) include_uncommitted=true ;;
    --keep) keep=true ;;
    --signed)
      [ $# -ge 2 ] || usage
      [ -f "$2" ] || { echo "$2: no such file" >&2; exit 2; }
      signed_zip=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
      shift
      ;;
    *) usage ;;
  esac
  shift
done

here=$(cd "$(dirname "$0")" && pwd)
"$here/install-missing-packages.sh" git
if [ -n "$signed_zip" ]; then
  "$here/install-missing-packages.sh" osslsigncode
fi
repo=$(git -C "$here" rev-parse --show-toplevel)
commit=$(git -C "$repo" rev-parse HEAD)

dirty=$(git -C "$repo" status --porcelain)
if [ -n "$dirty" ]; then
  if $include_uncommitted; then
    echo "Checking commit $commit plus the uncommitted changes of $repo:"
  else
    echo "Note: $repo has uncommitted changes; they are not part of this check,"
    echo "which builds commit $commit as it is (--include-uncommitted adds them)."
  fi
  printf '%s\n' "$dirty" | sed 's/^/  /'
fi

work=$(mktemp -d /tmp/pelmar-repro.XXXXXX)
if $keep; then
  echo "Keeping everything in $work"
else
  trap 'rm -rf "$work"' EXIT INT TERM
fi

# Two folders that differ in name, length and depth, so that any path that
# reached the binary would show.
first="$work/a/pelmar"
second="$work/second-build/in/a/much/deeper/folder/pelmar_omni_info-sources"

prepare() {
  git clone --quiet --no-checkout "$repo" "$1"
  git -C "$1" -c advice.detachedHead=false checkout --quiet "$commit"
  if $include_uncommitted && [ -n "$dirty" ]; then
    git -C "$repo" diff --binary HEAD >"$work/uncommitted.patch"
    if [ -s "$work/uncommitted.patch" ]; then
      git -C "$1" apply --whitespace=nowarn "$work/uncommitted.patch"
    fi
    (cd "$repo" && git ls-files -z --others --exclude-standard |
      xargs -0 -r tar -cf - --) | tar -xf - -C "$1"
  fi
}

build() {
  script="$1/scripts/release.sh"
  if [ ! -x "$script" ]; then
    # A commit from before the release script: build it with this one.
    echo "  (commit $commit has no scripts/release.sh; using $here/release.sh)"
    script="$here/release.sh"
  fi
  "$script" "$2" "$1" >"$2.log" 2>&1 || { cat "$2.log" >&2; exit 2; }
}

status=0
echo "Building in $first"
prepare "$first"
build "$first" "$first-out"
# The second build also runs in another time zone and with another umask,
# which must not reach the zip's times or attributes either.
echo "Building in $second (TZ=Pacific/Chatham, umask 027)"
prepare "$second"
(umask 027 && TZ=Pacific/Chatham && export TZ && build "$second" "$second-out")

first_zip=$(ls "$first-out"/*.zip)
second_zip=$(ls "$second-out"/*.zip)
# Every file of the first zip, taken from each zip; one that another zip
# lacks comes out as an empty file there, and so differs. Files that only
# another zip holds are named.
mkdir "$work/first" "$work/second" "$work/signed"
/usr/bin/python3 - "$first_zip" "$work/first" "$second_zip" "$work/second" \
  ${signed_zip:+"$signed_zip" "$work/signed"} >"$work/extra" <<'EOF'
import os
import sys
import zipfile

with zipfile.ZipFile(sys.argv[1]) as archive:
    names = archive.namelist()
for zip_path, folder in zip(sys.argv[1::2], sys.argv[2::2]):
    with zipfile.ZipFile(zip_path) as archive:
        present = set(archive.namelist())
        for name in names:
            with open(os.path.join(folder, name), "wb") as out:
                out.write(archive.read(name) if name in present else b"")
        for name in sorted(present - set(names)):
            print(f"{os.path.basename(zip_path)} also holds {name}, which the first build lacks")
EOF
if [ -s "$work/extra" ]; then
  echo
  cat "$work/extra"
  status=1
fi

for first_exe in "$work/first"/*.exe; do
  program=$(basename "$first_exe")
  second_exe="$work/second/$program"
  echo
  echo "$program"
  sha256sum "$first_exe" "$second_exe" | sed "s|$first_exe|built in $first|; s|$second_exe|built in $second|; s/^/  /"
  if cmp -s "$first_exe" "$second_exe"; then
    echo "  identical ($(wc -c <"$first_exe") bytes)"
  else
    echo "  DIFFERENT: first differing bytes (offset, then octal values):"
    cmp -l "$first_exe" "$second_exe" | head -n 10 | sed 's/^/    /'
    x86_64-w64-mingw32-objdump -p "$first_exe" 2>/dev/null | tail -n +3 >"$work/first.headers" || true
    x86_64-w64-mingw32-objdump -p "$second_exe" 2>/dev/null | tail -n +3 >"$work/second.headers" || true
    diff "$work/first.headers" "$work/second.headers" | head -n 20 | sed 's/^/    /' || true
    status=1
  fi
done

echo "$(basename "$first_zip")"
sha256sum "$first_zip" "$second_zip" | sed "s|$work/||; s/^/  /"
if cmp -s "$first_zip" "$second_zip"; then
  echo "  identical ($(wc -c <"$first_zip") bytes)"
else
  echo "  DIFFERENT"
  status=1
fi

if [ -n "$signed_zip" ]; then
  echo
  echo "$signed_zip (signed), against the build in $first"
  for first_file in "$work/first"/*; do
    file=$(basename "$first_file")
    signed_file="$work/signed/$file"
    case "$file" in
      SHA256SUMS) continue ;;
      *.exe)
        if ! osslsigncode remove-signature -in "$signed_file" -out "$work/unsigned.exe" \
          >"$work/remove.log" 2>&1; then
          echo "  $file: NOT SIGNED (or unreadable): $(grep -v '^PE checksum' "$work/remove.log" | head -n 1)"
          status=1
          continue
        fi
        signed_file="$work/unsigned.exe"
        what_file="$file, its signature removed"
        ;;
      *) what_file=$file ;;
    esac
    if cmp -s "$first_file" "$signed_file"; then
      echo "  $what_file: identical"
    else
      echo "  $what_file: DIFFERENT"
      status=1
    fi
    rm -f "$work/unsigned.exe"
  done
  if (cd "$work/signed" && sha256sum --quiet -c SHA256SUMS) >"$work/sums.log" 2>&1; then
    echo "  SHA256SUMS: lists the signed files' digests"
  else
    echo "  SHA256SUMS: DOES NOT MATCH the signed files"
    sed 's/^/    /' "$work/sums.log"
    status=1
  fi
fi

echo
what="commit $commit"
if $include_uncommitted && [ -n "$dirty" ]; then
  what="$what with the uncommitted changes"
fi
if [ "$status" -eq 0 ]; then
  echo "Reproducible: $what builds to the same bytes in both folders."
  if [ -n "$signed_zip" ]; then
    echo "The signed release is that build, with signatures added."
  fi
else
  echo "NOT reproducible: see the differences above."
fi
exit "$status"
