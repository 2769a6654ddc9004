#!/usr/bin/env bash
# Checks the installed documentation against the programs: every long option that
# `kerro-cli --help` shows is described in its man page and offered by the bash
# completion; with the dialog program, every option of `kerro --help` (which prints
# without a display) is in the dialog's man page; and the man pages render without
# warnings.
# Usage: check_docs.sh KERRO_CLI MAN_PAGE COMPLETION [KERRO KERRO_MAN_PAGE]
set -euo pipefail
cli=$1 man_page=$2 completion=$3
dialog=${4:-} dialog_man_page=${5:-}
failed=0

options=$("$cli" --help | grep -oE '^ +-[^ ]+' | grep -oE -- '--[a-z0-9-]+' | sort -u)
[ -n "$options" ] || { echo "no options found in $cli --help" >&2; exit 1; }

for option in $options; do
  escaped=${option//-/\\-}
  if ! grep -qF -- "$escaped" "$man_page"; then
    echo "man page: $option is not described (looked for '$escaped')" >&2
    failed=1
  fi
done

offered=$(PATH="$(dirname "$cli"):$PATH" bash -c '
  source "$1"
  COMP_WORDS=(kerro-cli --) COMP_CWORD=1
  _kerro_cli
  printf "%s\n" "${COMPREPLY[@]}"' _ "$completion")
for option in $options; do
  if ! grep -qx -- "$option" <<<"$offered"; then
    echo "bash completion: $option is not offered" >&2
    failed=1
  fi
done

# An option's listed values complete after it, and section files beside schematics.
values=$(mktemp -d)
touch "$values/B.CE2" "$values/B.CE2-01" "$values/B.txt"
completed=$(cd "$values" && PATH="$(dirname "$cli"):$PATH" bash -c '
  source "$1"
  COMP_WORDS=(kerro-cli --order "") COMP_CWORD=2
  _kerro_cli
  printf "order:%s\n" "${COMPREPLY[@]}"
  COMP_WORDS=(kerro-cli B) COMP_CWORD=1
  _kerro_cli
  printf "file:%s\n" "${COMPREPLY[@]}"' _ "$completion")
rm -rf "$values"
for expected in order:columns order:rows file:B.CE2 file:B.CE2-01; do
  if ! grep -qx -- "$expected" <<<"$completed"; then
    echo "bash completion: ${expected#*:} is not offered (${expected%%:*})" >&2
    failed=1
  fi
done
if grep -qx -- "file:B.txt" <<<"$completed"; then
  echo "bash completion: B.txt is offered as a schematic" >&2
  failed=1
fi

if [ -n "$dialog" ]; then
  dialog_options=$(env -u DISPLAY -u WAYLAND_DISPLAY "$dialog" --help |
                   grep -E '^ +-' | grep -oE -- '--[a-z][a-z0-9-]*' | sort -u)
  [ -n "$dialog_options" ] || { echo "no options found in $dialog --help" >&2; exit 1; }
  for option in $dialog_options; do
    if ! grep -qF -- "${option//-/\\-}" "$dialog_man_page"; then
      echo "man page of kerro: $option is not described" >&2
      failed=1
    fi
  done
  env -u DISPLAY -u WAYLAND_DISPLAY "$dialog" --version | grep -qE '^kerro [0-9]' ||
    { echo "kerro --version printed no version" >&2; failed=1; }
fi

if command -v groff >/dev/null; then
  for page in "$man_page" $dialog_man_page; do
    warnings=$(groff -man -ww -z "$page" 2>&1)
    if [ -n "$warnings" ]; then
      echo "man page $page: groff warns:" >&2
      echo "$warnings" >&2
      failed=1
    fi
  done
fi
exit $failed
