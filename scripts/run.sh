#!/usr/bin/env bash
# Installs what is needed, builds the application and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install.sh
bash scripts/build.sh plain --target quillbank_app
exec "build/plain/quillbank_app_artefacts/RelWithDebInfo/ZEM Quillbank"
