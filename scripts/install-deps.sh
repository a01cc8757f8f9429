#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the demo need.
# Idempotent: packages already present are skipped, and the package lists are
# refreshed once, only when something is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git ca-certificates
  clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  zlib1g-dev libbrotli-dev libzstd-dev libsqlite3-dev libmbedtls-dev libssl-dev libcurl4-openssl-dev libnghttp2-dev
  libcpp-httplib-dev nlohmann-json3-dev rapidjson-dev libplist-dev libicu-dev libpcre2-dev uuid-dev libexpat1-dev
  libcairo2-dev libpango1.0-dev libpng-dev libjpeg-dev libgif-dev libtiff-dev libopenjp2-7-dev libwebp-dev
  fonts-wqy-microhei tzdata
  libwebkit2gtk-4.1-dev libgtk-3-dev libxtst-dev
  xvfb xauth libgl1-mesa-dri libglx-mesa0 libegl-mesa0 libgbm1
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
