# SPDX-License-Identifier: MIT
# bash completion for loomwise-batch                       -*- shell-script -*-
# Options come from the program's own --help, so new ones complete too; the
# arguments are directories, rule databases (.mdb) and rule texts (.json).

_loomwise_batch() {
  local cur prev words cword
  _init_completion || return

  case $prev in
    --rules | --new-rules)
      _filedir mdb
      return
      ;;
    --export-rules | --import-rules)
      _filedir json
      return
      ;;
    --explain)
      _filedir
      return
      ;;
    --encoding)
      COMPREPLY=($(compgen -W 'utf-8 windows-1252' -- "$cur"))
      return
      ;;
    --line-ends)
      COMPREPLY=($(compgen -W 'crlf any' -- "$cur"))
      return
      ;;
    --escape-text)
      COMPREPLY=($(compgen -W 'yes no' -- "$cur"))
      return
      ;;
    --page-names)
      COMPREPLY=($(compgen -W 'short full' -- "$cur"))
      return
      ;;
    --lines)
      COMPREPLY=($(compgen -W 'trim keep' -- "$cur"))
      return
      ;;
    --jobs)
      return
      ;;
    --help | --version)
      return
      ;;
  esac

  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W '$(_parse_help "$1")' -- "$cur"))
    return
  fi
  _filedir -d
} &&
  complete -F _loomwise_batch loomwise-batch

# ex: filetype=sh
