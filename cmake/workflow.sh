#!/usr/bin/env bash
# Runs one of the project's CMake workflow presets on a Debian machine, after
# installing what that workflow needs and the machine lacks: Debian's packages
# (through apt-get, as root or with sudo) and, for the tests, Taplo from npm.
#
#   cmake/workflow.sh run        build selfcheck and run it
#   cmake/workflow.sh test       build and run every test
#
# and likewise coverage (after test), windows, sanitize, tsan, lint, libcxx,
# fuzz, bench, package and windows-package (see CONTRIBUTING.md).
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:?"usage: cmake/workflow.sh <workflow preset>, such as run or test"}

build=(g++ cmake ninja-build libtomlplusplus-dev libutfcpp-dev libcli11-dev)
python=(python3-dev pybind11-dev)
# strace, acl and attr: the edit's tests trace its system calls and give files access lists and attributes;
# jackd2 and libjack-jackd2-dev: the JACK example and its test on a server of its own.
tests=(libgtest-dev googletest python3-jsonschema python3-pytest mypy pkgconf git strace acl attr jackd2 libjack-jackd2-dev
  "${python[@]}")
mingw=(g++-mingw-w64-x86-64-posix wine64)
clang=(clang libclang-rt-14-dev)
taplo=no
case $preset in
  run) needs=("${build[@]}") ;;
  package) needs=("${build[@]}" "${python[@]}") ;;
  test | sanitize | tsan) needs=("${build[@]}" "${tests[@]}") taplo=yes ;;
  coverage) needs=("${build[@]}" gcovr) ;;
  libcxx) needs=("${build[@]}" "${tests[@]}" "${clang[@]}" libc++-14-dev libc++abi-14-dev) taplo=yes ;;
  windows) needs=("${build[@]}" "${tests[@]}" "${mingw[@]}") taplo=yes ;;
  windows-package) needs=("${build[@]}" "${mingw[@]}") ;;
  lint) needs=("${build[@]}" "${tests[@]}" "${clang[@]}" clang-tidy clang-format libbenchmark-dev) ;;
  fuzz) needs=("${build[@]}" "${clang[@]}") ;;
  bench) needs=("${build[@]}" "${python[@]}" libbenchmark-dev hyperfine time) taplo=yes ;;
  *) echo "cmake/workflow.sh: no workflow preset named $preset" >&2 && exit 2 ;;
esac

# Installs the Debian packages among "$@" that are not installed yet.
install_missing() {
  local missing=() package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
  done
  ((${#missing[@]})) || return 0
  local as_root=()
  if ((EUID != 0)); then
    command -v sudo >/dev/null || { echo "cmake/workflow.sh: as root, install: ${missing[*]}" >&2 && exit 1; }
    as_root=(sudo)
  fi
  "${as_root[@]}" apt-get update
  DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
}

install_missing "${needs[@]}"
if [[ $taplo == yes ]]; then
  # Node.js from elsewhere brings its own npm, which Debian's npm package would conflict with.
  command -v npm >/dev/null || install_missing nodejs npm
  # Taplo, the editor toolkit the command's tests compare with, as pinned in tests/command.
  if [[ ! -x build/tools/node_modules/.bin/taplo ]] || ! cmp -s tests/command/package-lock.json build/tools/package-lock.json; then
    mkdir -p build/tools
    cp tests/command/package.json tests/command/package-lock.json build/tools/
    npm ci --prefix build/tools --no-audit --no-fund
  fi
fi

cmake --workflow --preset "$preset"
