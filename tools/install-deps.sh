#!/usr/bin/env bash
# Makes sure this machine has what the build needs, installing what is
# missing with apt-get.
#
#   tools/install-deps.sh [build|test]
#
#   build  a C++ compiler, CMake, make and the libraries for tar archives
#          and compressed logs (libarchive-dev, zlib1g-dev, libzstd-dev,
#          liblzma-dev, libbz2-dev): enough for the tool and fwgen
#   test   the same plus GoogleTest (libgtest-dev), the JSON Schema
#          validator for /usr/bin/python3 (python3-jsonschema), Node.js and
#          npm (nodejs, npm) and the tools the package test reads a .deb
#          and a man page with (dpkg, man-db); then, with npm, the SQL
#          engine that the tests run the recipes of share/sql on: the
#          version of @duckdb/node-api that tools/duckdb/package.json names,
#          into tools/duckdb/node_modules (for the tests only: the tool
#          never uses it); the default
#
# JRNSCAN_DEPS=build|test chooses the same when no argument is given.
# Prints nothing when everything is there. Runs apt-get directly as root,
# otherwise through "sudo -n"; when neither can work it names the Debian
# packages to install and exits with status 1.
set -euo pipefail

what=${1:-${JRNSCAN_DEPS:-test}}
case $what in
  build | test) ;;
  *)
    echo "usage: $0 [build|test]" >&2
    exit 2
    ;;
esac

have_gtest() {
  local inc lib
  for inc in /usr/include /usr/local/include ""; do
    [ -n "$inc" ] && [ -f "$inc/gtest/gtest.h" ] && break
  done
  [ -n "$inc" ] || return 1
  # CMake finds the package through its config file.
  for lib in /usr/lib /usr/lib/* /usr/lib64 /usr/local/lib /usr/local/lib/* /usr/local/lib64; do
    [ -f "$lib/cmake/GTest/GTestConfig.cmake" ] && return 0
  done
  return 1
}

have_jsonschema() {
  [ -x /usr/bin/python3 ] &&
    /usr/bin/python3 -c 'from jsonschema import Draft202012Validator' >/dev/null 2>&1
}

missing_packages() {
  local list=()
  command -v g++ >/dev/null 2>&1 || command -v c++ >/dev/null 2>&1 || list+=(g++)
  command -v cmake >/dev/null 2>&1 || list+=(cmake)
  command -v make >/dev/null 2>&1 || list+=(make)
  local header package
  for header in archive.h:libarchive-dev zlib.h:zlib1g-dev zstd.h:libzstd-dev \
    lzma.h:liblzma-dev bzlib.h:libbz2-dev; do
    package=${header#*:}
    [ -f "/usr/include/${header%%:*}" ] || list+=("$package")
  done
  # The archive tests compress with the command-line tools.
  if [ "$what" = test ]; then
    local tool
    for tool in gzip:gzip zstd:zstd xz:xz-utils bzip2:bzip2 tar:tar; do
      command -v "${tool%%:*}" >/dev/null 2>&1 || list+=("${tool#*:}")
    done
  fi
  if [ "$what" = test ] && ! have_gtest; then
    list+=(libgtest-dev)
  fi
  # The schema test runs the system's Python, whatever python3 is first in
  # PATH.
  if [ "$what" = test ] && ! have_jsonschema; then
    list+=(python3-jsonschema)
  fi
  # The SQL recipes' test runs on Node.js; the package test unpacks the .deb
  # and shows its man page.
  if [ "$what" = test ]; then
    command -v node >/dev/null 2>&1 || list+=(nodejs)
    command -v npm >/dev/null 2>&1 || list+=(npm)
    command -v dpkg-deb >/dev/null 2>&1 || list+=(dpkg)
    command -v man >/dev/null 2>&1 || list+=(man-db)
  fi
  echo "${list[@]}"
}

# The npm package of the SQL engine, at the version tools/duckdb/package.json
# pins, with the native binding of this machine: loading it proves both.
duckdb_dir=$(cd "$(dirname "$0")" && pwd)/duckdb
have_duckdb() {
  (cd "$duckdb_dir" && node -e '
    const want = require("./package.json").dependencies["@duckdb/node-api"];
    const got = require("@duckdb/node-api/package.json").version;
    if (got !== want) process.exit(1);
    require("@duckdb/node-api");' >/dev/null 2>&1)
}

install_duckdb() {
  [ "$what" = test ] || return 0
  have_duckdb && return 0
  echo "install-deps: installing the SQL engine for the tests with npm into $duckdb_dir/node_modules" >&2
  if ! (cd "$duckdb_dir" && npm install --no-package-lock --no-audit --no-fund --loglevel=error) ||
    ! have_duckdb; then
    echo "install-deps: npm could not install @duckdb/node-api into $duckdb_dir/node_modules;" >&2
    echo "  the SQL recipes' test needs it: run (cd tools/duckdb && npm install)" >&2
    exit 1
  fi
}

missing=$(missing_packages)
if [ -z "$missing" ]; then
  install_duckdb
  exit 0
fi

give_up() {
  echo "install-deps: missing Debian packages: $missing" >&2
  echo "install-deps: $1; install them with:" >&2
  echo "    apt-get update && apt-get install $missing" >&2
  echo "  (as root, or with sudo)" >&2
  exit 1
}

command -v apt-get >/dev/null 2>&1 || give_up "apt-get is not available"
if [ "$(id -u)" -eq 0 ]; then
  as_root=()
elif ! command -v sudo >/dev/null 2>&1; then
  give_up "not root, and there is no sudo"
elif sudo -n true 2>/dev/null; then
  as_root=(sudo -n)
else
  give_up "not root, and sudo wants a password"
fi

echo "install-deps: installing $missing" >&2
# shellcheck disable=SC2086 # $missing is a list of package names
if ! "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q ||
  ! "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -q --no-install-recommends $missing; then
  give_up "apt-get failed"
fi

still=$(missing_packages)
if [ -n "$still" ]; then
  missing=$still
  give_up "still missing after apt-get"
fi
install_duckdb
