#!/usr/bin/env bash
# Installs what is missing, then configures and builds both deliverables
# (template: 32 samples per frame, template-64: 64) into build/.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/install-deps.sh"
# nvcc lives outside PATH on our machines; CMake finds it through CUDACXX.
if [ -z "${CUDACXX:-}" ] && ! command -v nvcc >/dev/null && [ -x /usr/local/cuda/bin/nvcc ]; then
  export CUDACXX=/usr/local/cuda/bin/nvcc
fi
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build" -j"$(nproc)"
