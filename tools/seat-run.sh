#!/usr/bin/env bash
# Runs a Linux program (an end-to-end test) on the display and the Wine
# prefix of its seat, which the Windows programs it starts then use too.
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
exec "$@"
