#!/usr/bin/env bash
# Installs what is missing, then configures and builds into build/: everything
# (both deliverables, template with 32 samples per frame and template-64 with
# 64, the tests and the benchmarks), or only the targets named as arguments.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/install-deps.sh"
# nvcc lives outside PATH on our machines; CMake finds it through CUDACXX.
if [ -z "${CUDACXX:-}" ] && ! command -v nvcc >/dev/null && [ -x /usr/local/cuda/bin/nvcc ]; then
  export CUDACXX=/usr/local/cuda/bin/nvcc
fi
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
if [ "$#" -gt 0 ]; then
  cmake --build "$root/build" -j"$(nproc)" --target "$@"
else
  cmake --build "$root/build" -j"$(nproc)"
fi
