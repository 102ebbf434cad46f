#!/usr/bin/env bash
# Installs what building and testing the project needs on Debian 12.
# Idempotent: only missing packages are installed.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  zlib1g-dev  # CRC-32 of the rollback journal
  tzdata python3 python3-pil
  libpng-dev libjpeg62-turbo-dev libgif-dev liblz4-dev
  libcli11-dev nlohmann-json3-dev
  pkg-config help2man dpkg-dev file mono-mcs mono-runtime
  # gadgetkit's desktop services and their tests: GTK 3 dialogs, the CUPS
  # client library, xdg-email; an X server, xdotool and a CUPS daemon the
  # tests start themselves; dpkg-deb for rtsetup's test package (dpkg).
  libgtk-3-dev libcups2-dev xdg-utils xvfb xauth xdotool cups-daemon cups-client
  libsqlite3-dev sqlite3
  libpugixml-dev libmd4c-dev libxml2-utils chromium
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
