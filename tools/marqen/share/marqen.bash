# bash completion for marqen
# The words offered never hold spaces, so splitting compgen's output is safe.
# shellcheck disable=SC2207
_marqen() {
  local cur prev words cword
  _init_completion -s || return

  local commands="sign verify content cosign countersign rawsign verify-raw
                  verify-countersignature inspect check view certstore token base64 pick
                  control"
  if ((cword == 1)); then
    COMPREPLY=($(compgen -W "$commands --help --version" -- "$cur"))
    return
  fi

  case $prev in
    --in | --content | --out | --pfx | --password-file | --signature | --cert)
      _filedir
      return
      ;;
    --hash)
      COMPREPLY=($(compgen -W "sha256 sha384 sha512 sha1 md5" -- "$cur"))
      return
      ;;
    --revocation-mode)
      COMPREPLY=($(compgen -W "online offline" -- "$cur"))
      return
      ;;
    --revocation-level)
      COMPREPLY=($(compgen -W "none end chain" -- "$cur"))
      return
      ;;
    --store)
      case ${words[1]} in
        verify-raw | verify-countersignature | check | view)
          COMPREPLY=($(compgen -W "my addressbook" -- "$cur"))
          ;;
        *) COMPREPLY=($(compgen -W "MY ADDRESSBOOK CA ROOT" -- "$cur")) ;;
      esac
      return
      ;;
    --password-env)
      COMPREPLY=($(compgen -v -- "$cur"))
      return
      ;;
    --issuer | --serial | --document-name | --comments | --signing-time | --signer | --password | \
      --token | --at)
      return
      ;;
  esac
  [[ $cur == --*=* ]] && return

  local options
  case ${words[1]} in
    sign)
      options="--in --issuer --serial --pfx --password-file --password-env --password --hash
               --detached --der --out --document-name --comments --signing-time --validate
               --revocation-mode --revocation-level --help"
      ;;
    verify)
      options="--in --content --signer --no-chain --revocation-mode --revocation-level --help"
      ;;
    inspect) options="--in --json --help" ;;
    check)
      options="--issuer --serial --store --pfx --password-file --password-env --password
               --encryption --at --help"
      ;;
    view)
      options="--issuer --serial --store --pfx --password-file --password-env --password --cert
               --encryption --help"
      ;;
    content) options="--in --out --help" ;;
    pick) options="--help" ;;
    cosign)
      options="--in --content --issuer --serial --pfx --password-file --password-env --password
               --hash --der --out --document-name --comments --signing-time --validate
               --revocation-mode --revocation-level --help"
      ;;
    countersign)
      options="--in --signer --content --issuer --serial --pfx --password-file --password-env
               --password --hash --der --out --validate --revocation-mode --revocation-level
               --help"
      ;;
    rawsign)
      options="--in --issuer --serial --pfx --password-file --password-env --password --hash
               --der --out --validate --revocation-mode --revocation-level --help"
      ;;
    verify-raw)
      options="--in --signature --cert --pfx --password-file --password-env --password --issuer
               --serial --store --hash --validate --revocation-mode --revocation-level --help"
      ;;
    verify-countersignature)
      options="--in --signer --cert --store --validate --revocation-mode --revocation-level
               --help"
      ;;
    certstore)
      if ((cword == 2)); then
        COMPREPLY=($(compgen -W "import list remove" -- "$cur"))
        return
      fi
      options="--store --serial --issuer --token --signing --encryption --password-file
               --password-env --password --help"
      ;;
    token)
      if ((cword == 2)); then
        COMPREPLY=($(compgen -W "list" -- "$cur"))
      fi
      return
      ;;
    base64)
      if ((cword == 2)); then
        COMPREPLY=($(compgen -W "encode decode" -- "$cur"))
        return
      fi
      _filedir
      return
      ;;
    control)
      if ((cword == 2)); then
        COMPREPLY=($(compgen -W "register unregister run" -- "$cur"))
      elif ((cword == 3)) && [[ ${words[2]} == run ]]; then
        _filedir
      fi
      return
      ;;
    *) return ;;
  esac
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
  else
    _filedir
  fi
} && complete -F _marqen marqen
