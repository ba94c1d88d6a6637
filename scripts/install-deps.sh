#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the demo need.
# Idempotent: packages already present are not touched and apt is not refreshed.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  fdisk libcap2-bin e2fsprogs coreutils
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  clang llvm libclang-rt-14-dev libfuzzer-14-dev clang-tidy clang-format
  qtbase5-dev qttools5-dev-tools qtbase5-dev-tools libqt5network5 libqt5svg5-dev
  qttranslations5-l10n
  libssl-dev libxxhash-dev
  util-linux udev xvfb libfuse3-dev
  icewm xdotool imagemagick x11-utils
  debhelper dpkg-dev fakeroot lintian groff desktop-file-utils appstream
  acl man-db poppler-utils
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages: ${missing[*]}" >&2
  echo "install-deps: run this script as root (or install them with apt-get)" >&2
  exit 1
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
