# bash completion for vontralek-cli: options from the program's own --help;
# after an option that takes a value, the words it names (a|b|c); else files.
_vontralek_cli() {
  local cur prev words
  cur=${COMP_WORDS[COMP_CWORD]}
  prev=${COMP_WORDS[COMP_CWORD - 1]}
  local help
  help=$("${COMP_WORDS[0]}" --help 2>/dev/null) || return
  # A value list written "--option a|b|c" in the help.
  local choices
  choices=$(printf '%s\n' "$help" | sed -n "s/^ *${prev}[ =]\([A-Za-z0-9_-]*\(|[A-Za-z0-9_-]*\)\+\).*/\1/p" | head -n1)
  if [[ -n $choices ]]; then
    mapfile -t COMPREPLY < <(compgen -W "${choices//|/ }" -- "$cur")
    return
  fi
  if [[ $cur == -* ]]; then
    words=$(printf '%s\n' "$help" | grep -o -- '--[A-Za-z0-9][A-Za-z0-9-]*' | sort -u)
    mapfile -t COMPREPLY < <(compgen -W "$words" -- "$cur")
    return
  fi
  mapfile -t COMPREPLY < <(compgen -f -- "$cur")
}
complete -o filenames -F _vontralek_cli vontralek-cli
