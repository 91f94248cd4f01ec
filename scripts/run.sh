#!/usr/bin/env bash
# Installs what is needed, builds, and starts Tessek. On the first start the program
# folder (build/bin) gets a Tessek.ini whose port is the built-in simulated LM "SIM",
# so the program can be tried without a car.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh build
ini=build/bin/Tessek.ini
if [ ! -e "$ini" ]; then
  printf '[ComPort]\r\nPort=SIM\r\n' > "$ini"
fi
exec build/bin/tessek "$@"
