#!/usr/bin/env bash
# Checks the installed documentation against the program: every long option that
# `kerro-cli --help` shows is described in the man page and offered by the bash
# completion, and the man page renders without warnings.
# Usage: check_docs.sh KERRO_CLI MAN_PAGE COMPLETION
set -euo pipefail
cli=$1 man_page=$2 completion=$3
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

if command -v groff >/dev/null; then
  warnings=$(groff -man -ww -z "$man_page" 2>&1)
  if [ -n "$warnings" ]; then
    echo "man page: groff warns:" >&2
    echo "$warnings" >&2
    failed=1
  fi
fi
exit $failed
