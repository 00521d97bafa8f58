#!/usr/bin/env bash
# Set-up, build, then show what Ravelin does on an archive written by its own writer.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh
./scripts/build.sh build >/dev/null
mkdir -p build/demo
./build/tools/ravelin-bake demo-archive build/demo/demo.dat
./build/tools/ravelin-bake dat info build/demo/demo.dat
