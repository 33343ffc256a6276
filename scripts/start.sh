#!/usr/bin/env bash
# Installs what is missing, builds the server and starts it on the bundled configuration in runtime/.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_deps
configure_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cd "$ROOT/runtime"
exec "$ROOT/build/bin/Server" "$@"
