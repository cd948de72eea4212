#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the screenshots need. Idempotent and quiet.
set -eu
pkgs=(build-essential cmake ninja-build ccache pkg-config
      qt6-base-dev qt6-base-dev-tools libgl-dev qt6-translations-l10n
      libsqlite3-dev sqlite3 libxlsxwriter-dev libzip-dev libfreexl-dev
      libpq-dev postgresql
      fonts-dejavu-core fonts-liberation2 poppler-utils
      xvfb x11-apps x11-xkb-utils imagemagick xdotool
      clang libclang-rt-14-dev
      python3 python3-openpyxl python3-xlwt libreoffice-calc-nogui locales)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq >/dev/null
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
