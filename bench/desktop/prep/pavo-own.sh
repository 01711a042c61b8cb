#!/bin/sh
# Pavo showing pictures at their own size (fit to screen off), as qimgv and eog show
# pictures smaller than their window: the animation benchmark's like-for-like row.
sh "$(dirname "$0")/pavo.sh"
echo '"fitToScreen"=hex:00' >>"$XDG_CONFIG_HOME/Pavo/settings.reg"
