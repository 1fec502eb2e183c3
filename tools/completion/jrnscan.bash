# bash completion for jrnscan                              -*- shell-script -*-
#
# Installed as bash-completion/completions/jrnscan; it can also be sourced
# by hand. Needs nothing but bash itself.

_jrnscan_short_opts='-v -n -t -s -x -r -p -o -a -M -f'
# Short options that take a value.
_jrnscan_short_args='ntsxrpoM'
# --undo's transaction id is optional (--undo=TXN or the next word): a flag.
_jrnscan_long_flags='--help --version --verbose --all --json --stats --check --strict
  --progress --no-progress --follow --offsets --utc --list-opcodes --list-kinds
  --recursive --txns --sessions --undo'
# Long options that take a value, as "--name=value" or "--name value".
_jrnscan_long_args='--node --time --seq --txn --record --page --opcode --map --escape
  --name-memory --top --limit --kind --since --until --save --order --member-limit
  --image-memory --history --as-of --transaction --session --by --txn-table
  --session-table --undo-records --nodes-per-name --early-nodes'
_jrnscan_kinds='REC PAGE CLUSTER NODEMETA BEFORE_IMAGE AUDIT CONTEXT SLAVE_SYNC'
# Used when the program cannot list its opcodes itself.
_jrnscan_opcodes='EOT IGNORE CHECKPOINT BEGIN NODE NODEDELETE NODEPAGE NODECLUSTER
  NODELISTPAGE NODELISTPAGEHEAD NODELISTITEM NODELISTITEMSET NODELISTFILLITEM FIXREC
  FIXREC_META FIXREC_NEWCLUSTER BTREE SYSCAT POOL VOL_EXTEND VOL_REDIR NEW_NODEPAGE
  POOL_ITEMSIZE POOL_FLIST FWR_AUDIT BTREE_FWR POOL_UPDATE FWR_SERIAL'

# Whether WORD is a long option that takes a value.
_jrnscan_takes_value() {
  local word=$1 opt
  for opt in $_jrnscan_long_args; do
    [[ $word == "$opt" ]] && return 0
  done
  return 1
}

# All long options, those taking a value written "--name=".
_jrnscan_long_opts() {
  local opt list=$_jrnscan_long_flags
  for opt in $_jrnscan_long_args; do
    list+=" $opt="
  done
  printf '%s\n' "$list"
}

# Opcode names from "PROGRAM --list-opcodes" ("<code> <NAME>" per line),
# each once; the built-in list when the program gives none.
_jrnscan_opcode_names() {
  local prog=$1 out code name rest names=''
  local -A seen=()
  # shellcheck disable=SC2088 # the word as typed, tilde and all
  if [[ $prog == "~/"* ]]; then
    prog=$HOME/${prog#"~/"}
  fi
  if [[ $prog == */* ]]; then
    [[ -x $prog && ! -d $prog ]] || prog=''
  else
    prog=jrnscan
    type -P "$prog" >/dev/null 2>&1 || prog=''
  fi
  if [[ -n $prog ]] && out=$("$prog" --list-opcodes 2>/dev/null </dev/null); then
    while read -r code name rest; do
      [[ $code =~ ^(0[xX])?[0-9A-Fa-f]+$ && $name =~ ^[A-Za-z_][A-Za-z0-9_]*$ ]] || continue
      [[ -n ${seen[$name]-} ]] && continue
      seen[$name]=1
      names+=" $name"
    done <<<"$out"
  fi
  printf '%s\n' "${names:-$_jrnscan_opcodes}"
}

# Fills COMPREPLY with the values of option OPT that start with VALUE; each
# reply starts with PREFIX (the "--name=" when it is part of the word).
_jrnscan_values() {
  local prog=$1 opt=$2 value=$3 prefix=$4 list done_part last kind
  case $opt in
    -o | --opcode)
      list=$(_jrnscan_opcode_names "$prog")
      # Opcode patterns are case-insensitive; the names are upper case.
      mapfile -t COMPREPLY < <(compgen -W "$list" -P "$prefix" -- "${value^^}")
      ;;
    --kind)
      # A comma-separated list: complete its last item, leaving out the
      # kinds already given.
      done_part='' last=$value
      if [[ $value == *,* ]]; then
        done_part=${value%,*},
        last=${value##*,}
      fi
      list=''
      for kind in $_jrnscan_kinds; do
        [[ ,${done_part^^} == *",$kind,"* ]] || list+=" $kind"
      done
      mapfile -t COMPREPLY < <(compgen -W "$list" -P "$prefix$done_part" -- "${last^^}")
      compopt -o nospace 2>/dev/null || :
      ;;
    --escape)
      mapfile -t COMPREPLY < <(compgen -W 'auto always never' -P "$prefix" -- "$value")
      ;;
    -M | --map)
      _jrnscan_paths -f "$value" "$prefix"
      ;;
    --save)
      _jrnscan_paths -d "$value" "$prefix"
      ;;
    --order)
      mapfile -t COMPREPLY < <(compgen -W 'given sequence' -P "$prefix" -- "$value")
      ;;
    --by)
      mapfile -t COMPREPLY < <(compgen -W 'records duration nodes' -P "$prefix" -- "$value")
      ;;
    *)
      # Numbers, ranges and times: nothing to offer.
      COMPREPLY=()
      ;;
  esac
  return 0
}

# File (-f) or directory (-d) names starting with VALUE, behind PREFIX.
_jrnscan_paths() {
  local what=$1 value=$2 prefix=$3 i
  mapfile -t COMPREPLY < <(compgen "$what" -- "$value")
  if [[ -n $prefix ]]; then
    for i in "${!COMPREPLY[@]}"; do
      COMPREPLY[i]=$prefix${COMPREPLY[i]}
    done
  else
    compopt -o filenames 2>/dev/null || :
  fi
}

_jrnscan() {
  local cword=$COMP_CWORD
  local cur=${COMP_WORDS[cword]-} prog=${COMP_WORDS[0]-jrnscan}
  local i word rest letter pending='' in_value='' after_colon=''
  COMPREPLY=()

  # Walk the words before the cursor the way the option parser does, to
  # learn whether the cursor is on an option's value or past "--".
  for ((i = 1; i < cword; i++)); do
    word=${COMP_WORDS[i]}
    if [[ -n $pending ]]; then
      # "--name=value" reaches us as "--name" "=" "value".
      if [[ $pending == --* && $word == = && ${COMP_WORDS[i - 1]} == "$pending" ]]; then
        continue
      fi
      pending='' in_value=1 after_colon=''
      continue
    fi
    if [[ -n $in_value ]]; then
      # Ranges and times hold colons, which split them into several words.
      if [[ $word == : ]]; then
        after_colon=1
        continue
      elif [[ -n $after_colon ]]; then
        after_colon=''
        continue
      fi
      in_value=''
    fi
    case $word in
      --)
        _jrnscan_paths -f "$cur" ''
        return 0
        ;;
      -help | -version)
        # Only valid alone; nothing follows.
        ((i == 1)) && return 0
        ;;
      --*=*) ;;
      --*)
        _jrnscan_takes_value "$word" && pending=$word
        ;;
      -?*)
        # A cluster of short options; a letter that takes a value takes
        # the rest of the word, or the next word when nothing is left.
        rest=${word#-}
        while [[ -n $rest ]]; do
          letter=${rest:0:1}
          rest=${rest:1}
          if [[ $_jrnscan_short_args == *"$letter"* ]]; then
            [[ -z $rest ]] && pending=-$letter
            break
          fi
        done
        ;;
    esac
  done

  if [[ -n $pending ]]; then
    [[ $cur == = ]] && cur=''
    _jrnscan_values "$prog" "$pending" "$cur" ''
    return 0
  fi
  # Inside a range or a time: nothing to offer.
  [[ -n $in_value && ($cur == : || -n $after_colon) ]] && return 0

  case $cur in
    --*=*)
      # "--name=value" as one word (no "=" in COMP_WORDBREAKS).
      if _jrnscan_takes_value "${cur%%=*}"; then
        _jrnscan_values "$prog" "${cur%%=*}" "${cur#*=}" "${cur%%=*}="
      fi
      ;;
    --*)
      mapfile -t COMPREPLY < <(compgen -W "$(_jrnscan_long_opts)" -- "$cur")
      # "--name=" wants its value right behind it.
      if ((${#COMPREPLY[@]} == 1)) && [[ ${COMPREPLY[0]} == *= ]]; then
        compopt -o nospace 2>/dev/null || :
      fi
      ;;
    -[oM]?*)
      # A value glued to its letter ("-oNODE", "-Mnodes.map").
      _jrnscan_values "$prog" "${cur:0:2}" "${cur:2}" "${cur:0:2}"
      ;;
    -*)
      local words
      words="$_jrnscan_short_opts $(_jrnscan_long_opts)"
      ((cword == 1)) && words+=' -help -version'
      mapfile -t COMPREPLY < <(compgen -W "$words" -- "$cur")
      ;;
    *)
      _jrnscan_paths -f "$cur" ''
      ;;
  esac
  return 0
} &&
  complete -F _jrnscan jrnscan
