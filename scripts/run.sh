#!/usr/bin/env bash
# Installs what is needed, builds, and starts Tessek. On the first start the program
# folder (build/bin) gets a Tessek.ini whose port is the built-in simulated LM "SIM" and
# whose eight logged slots show engine speed, road speed, boost, temperatures, throttle,
# knock, spark and O2, so the program can be tried without a car. Its wideband controller
# is the built-in simulated one, "SIM-WB", so AFR shows in Tessek Live and the data logs;
# a Tessek.ini without a [Wideband] section gets that section as well, and one without a
# [ComPort] section (written by a window that kept only its units, say) the port "SIM".
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh build
ini=build/bin/Tessek.ini
if [ ! -e "$ini" ]; then
  printf '[ComPort]\nPort=SIM\n\n[CurrentSet]\n1=8F\n2=69\n3=86\n4=9A\n5=98\n6=A0\n7=72\n8=9C\n' > "$ini"
fi
if ! grep -qi '^\[ComPort\]' "$ini"; then
  printf '\n[ComPort]\nPort=SIM\n' >> "$ini"
fi
if ! grep -qi '^\[Wideband\]' "$ini"; then
  printf '\n[Wideband]\nPort=SIM-WB\nProtocol=mts\n' >> "$ini"
fi
exec build/bin/tessek "$@"
