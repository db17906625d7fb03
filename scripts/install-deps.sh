#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running need.
set -euo pipefail
# libssl-dev and zlib1g-dev: the headers the gSOAP runtime variant with OpenSSL
# and compression (gsoapssl++) includes; liblsan0: the leak checker the release
# tests preload; systemd: the unit file check;
# help2man: the manual pages; python3-zeep and python3-lxml: the service
# description's test, with a SOAP toolkit of another kind; openssl: the TLS
# tests make their certificates with it; ca-certificates: the system's trusted
# certificates, which https endpoints are verified against; libpq-dev: the
# server's PostgreSQL store; postgresql: the throw-away clusters the tests run it on;
# python3-dev, pybind11-dev, python3-pybind11 and python3-numpy: the Python
# module; python3-pytest: its tests; python3-venv, python3-pip and
# python3-setuptools: its `pip install ./python` check (matplotlib, for the
# README's example only, is not needed: python3-matplotlib); libjs-chart.js: the
# web view's charts; chromium, chromium-driver and python3-selenium: its tests
# in a real browser; haproxy, socat and curl: the balancer example and its rolling
# restart, tested.
packages=(cmake ninja-build g++ liblsan0 pkg-config gsoap libgsoap-dev libssl-dev zlib1g-dev libsqlite3-dev
          libgtest-dev googletest liblapack-dev nlohmann-json3-dev systemd help2man python3-zeep python3-lxml
          openssl ca-certificates libpq-dev postgresql
          python3-dev pybind11-dev python3-pybind11 python3-numpy python3-pytest python3-venv python3-pip
          python3-setuptools libjs-chart.js chromium chromium-driver python3-selenium
          haproxy socat curl)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "All build packages are installed."
  exit 0
fi
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "Installing: ${missing[*]}"
$SUDO apt-get update
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "${missing[@]}"
