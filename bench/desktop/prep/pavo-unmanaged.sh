#!/bin/sh
# Pavo with colour management off: the colour-managed runs' baseline.
sh "$(dirname "$0")/pavo.sh"
echo '"colourManagement"=hex:00' >>"$XDG_CONFIG_HOME/Pavo/settings.reg"
