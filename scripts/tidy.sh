#!/usr/bin/env bash
# Runs clang-tidy with the project's .clang-tidy over the program's sources, using the compile
# commands of the build folder given as $1 (default: build). Fails on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
# Every source of the program and its tests; the benchmarks are measuring scripts' helpers.
mapfile -t sources < <(git ls-files '*.cpp' ':!:bench/*')
run-clang-tidy -quiet -p "$build" -j "$(nproc)" "${sources[@]/#/$PWD/}"
