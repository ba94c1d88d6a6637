#!/usr/bin/env bash
# Builds the Debian packages vix and vix-sim with dpkg-buildpackage, from a copy of the
# project's files in build-package/ (dpkg-buildpackage writes into the source folder
# and its parent). The packages land in build-package/.
#
#   JOBS              parallel build jobs (default 2)
#   VIX_PACKAGE_DIR   output folder (default: build-package)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=${VIX_PACKAGE_DIR:-$root/build-package}
jobs=${JOBS:-2}
started=$(date +%s)

version=$(dpkg-parsechangelog -l "$root/debian/changelog" -S Version)
source_dir=$out/vix-$version
log=$out/package-build.log

rm -rf "$source_dir"
rm -f "$out"/*.deb "$out"/*.ddeb "$out"/*.changes "$out"/*.buildinfo
mkdir -p "$source_dir"

# The project's files only: tracked and new ones, without build folders or ignored files.
if git -C "$root" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git -C "$root" ls-files -z --cached --others --exclude-standard |
        (cd "$root" && tar --null --ignore-failed-read -T - -cf -) | tar -xf - -C "$source_dir"
else
    (cd "$root" && tar --exclude='./build*' -cf - .) | tar -xf - -C "$source_dir"
fi

echo "package: building vix $version in ${out#"$root"/} (log: ${log#"$root"/})"
if ! (cd "$source_dir" &&
      DEB_BUILD_OPTIONS="parallel=$jobs ${DEB_BUILD_OPTIONS-}" \
          dpkg-buildpackage -b -us -uc) >"$log" 2>&1; then
    tail -n 40 "$log" >&2
    echo "package: dpkg-buildpackage failed; the whole output is in $log" >&2
    exit 1
fi
echo "package: built in $(($(date +%s) - started)) s:"
ls -1 "$out"/*.deb
