#!/usr/bin/env bash
# The bash completion offers marqen's commands, each command's options and their values.
#   completion_test.sh COMPLETION_FILE
set -uo pipefail
system=/usr/share/bash-completion/bash_completion
if [ ! -r "$system" ]; then
  echo "bash-completion is not installed"
  exit 77
fi
# shellcheck disable=SC1090
source "$system"
# shellcheck disable=SC1090
source "$1"

failed=0
expect() {  # expect "WORDS" "COMPLETIONS"
  read -r -a COMP_WORDS <<<"$1"
  [[ $1 == *" " ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMP_LINE=$1 COMP_POINT=${#1}
  COMPREPLY=()
  _marqen marqen "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  local got
  got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ')
  if [ "$got" != "$2 " ]; then
    echo "FAIL: '$1' completes to '$got', not '$2'" >&2
    failed=1
  fi
}

expect "marqen s" "sign"
expect "marqen p" "pick"
expect "marqen pick --" "--help"
expect "marqen verify-" "verify-countersignature verify-raw"
expect "marqen cosign --pass" "--password --password-env --password-file"
expect "marqen verify-raw --store " "addressbook my"
expect "marqen --v" "--version"
expect "marqen sign --ha" "--hash"
expect "marqen sign --hash sha" "sha1 sha256 sha384 sha512"
expect "marqen sign --password-" "--password-env --password-file"
expect "marqen verify --" "--content --help --in --no-chain --revocation-level --revocation-mode --signer"
expect "marqen i" "inspect"
expect "marqen inspect --" "--help --in --json"
expect "marqen check --e" "--encryption"
expect "marqen view --store " "addressbook my"
expect "marqen certstore list --s" "--serial --signing --store"
expect "marqen certstore " "import list remove"
expect "marqen certstore list --store R" "ROOT"
expect "marqen t" "token"
expect "marqen token " "list"
expect "marqen certstore import --to" "--token"
expect "marqen sign --validate --revocation-level " "chain end none"
expect "marqen c" "certstore check content control cosign countersign"
expect "marqen control " "register run unregister"
expect "marqen control register " ""
exit $failed
