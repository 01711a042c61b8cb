#!/bin/sh
# qimgv scaling pictures smaller than its window up to fill it, as Pavo does with fit to
# screen on (its default): the animation benchmark's like-for-like row for Pavo's own.
# expandLimit=0 lets it scale up by any factor (its default stops at twice).
sh "$(dirname "$0")/qimgv.sh"
printf 'expandImage=true\nexpandLimit=0\n' >>"$XDG_CONFIG_HOME/qimgv/qimgv.conf"
