#!/usr/bin/env bash
# Generates the German locale that the locale tests run under. Safe to run
# again: a locale that is already there is left alone.
set -euo pipefail

if locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
  exit 0
fi
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
"${sudo_cmd[@]}" localedef -i de_DE -f UTF-8 de_DE.UTF-8
