#!/usr/bin/env bash
# kerro-cli with the real pre-commit and git: the hooks of .pre-commit-hooks.yaml fail on a
# broken board and pass on a clean one, and `git diff` of a renumbered board, with
# `kerro-cli -q --list` as its textconv driver, shows the changed references.
# Usage: hooks_test.sh KERRO_CLI SOURCE_CHECKOUT DEMO_FOLDER WORK
set -euo pipefail
cli=$1 source=$2 demo=$3 work=$4
rm -rf "$work" && mkdir -p "$work"
export PATH="$(dirname "$cli"):$PATH" PRE_COMMIT_HOME="$work/pre-commit-home"
export GIT_CONFIG_GLOBAL=/dev/null GIT_CONFIG_NOSYSTEM=1
export GIT_AUTHOR_NAME=test GIT_AUTHOR_EMAIL=test@example.invalid
export GIT_COMMITTER_NAME=test GIT_COMMITTER_EMAIL=test@example.invalid
fail() { echo "hooks_test: $*" >&2; exit 1; }

# The hooks as this checkout defines them, at a commit of their own, so that the test
# sees the working tree's file even before it is committed.
hooks=$work/hooks-repo
git init -q "$hooks"
cp "$source/.pre-commit-hooks.yaml" "$hooks/"
git -C "$hooks" add .pre-commit-hooks.yaml && git -C "$hooks" commit -qm hooks
rev=$(git -C "$hooks" rev-parse HEAD)

# A numbered one-sheet board beside its libraries (the first sheet of the demo).
board=$work/board
git init -q "$board"
cp "$demo"/* "$board/"
(cd "$board" && kerro-cli -q --auto DEMO.CE2 && rm -f DEMO.CE2-01 ./*'$'*)
cat >"$board/.pre-commit-config.yaml" <<CONFIG
repos:
  - repo: $hooks
    rev: $rev
    hooks:
      - id: kerro-lint
      - id: kerro-check
        args: [--auto]
CONFIG
printf '*.CE2 diff=kerro\n' >"$board/.gitattributes"
git -C "$board" config diff.kerro.textconv 'kerro-cli -q --list'
git -C "$board" add -A && git -C "$board" commit -qm "numbered board"
(cd "$board" && pre-commit run --all-files) >"$work/clean.log" 2>&1 ||
  { cat "$work/clean.log"; fail "the hooks fail on a clean board"; }

# Broken: R1 made unnumbered, which --lint reports and --check would number.
printf 'old_reference,new_reference\nR1,R?\n' >"$work/break.csv"
(cd "$board" && kerro-cli -q --apply "$work/break.csv" DEMO.CE2 && rm -f ./*'$'*)
if (cd "$board" && pre-commit run --all-files) >"$work/broken.log" 2>&1; then
  cat "$work/broken.log"; fail "the hooks pass on a broken board"
fi
grep -q 'unnumbered reference' "$work/broken.log" || { cat "$work/broken.log"; fail "no finding shown"; }
grep -q 'kerro-cli --check.*Failed' "$work/broken.log" || { cat "$work/broken.log"; fail "check passed"; }

# git diff through kerro-cli --list: the renamed reference, old and new.
diff=$(git -C "$board" diff DEMO.CE2)
grep -qE '^-.* R1 +RES$' <<<"$diff" || { echo "$diff"; fail "git diff lacks the old R1"; }
grep -qE '^\+.* R\? +RES$' <<<"$diff" || { echo "$diff"; fail "git diff lacks the new R?"; }
echo "hooks_test: pre-commit and git diff behave"
