#!/bin/sh
# Pavo filling the screen with bilinear interpolation instead of its default bicubic: the
# filter qimgv draws animations with (a smooth pixmap transform), so this row and
# qimgv-fill scale the same pictures to about the same size with the same filter.
sh "$(dirname "$0")/pavo.sh"
printf '"upscale"=dword:00000001\n"largeUpscale"=dword:00000001\n"downscale"=dword:00000001\n' \
  >>"$XDG_CONFIG_HOME/Pavo/settings.reg"
