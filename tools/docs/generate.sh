#!/usr/bin/env bash
# Writes the manual pages and bash completions of talixdb and talixdb-server
# into OUTDIR, from what the built programs say in --help:
#   OUTDIR/man/talixdb.1, OUTDIR/man/talixdb-server.1 (help2man)
#   OUTDIR/completions/talixdb, OUTDIR/completions/talixdb-server
# Usage: generate.sh TALIXDB TALIXDB_SERVER OUTDIR
set -euo pipefail
talixdb=$1
server=$2
out=$3
mkdir -p "$out/man" "$out/completions"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# The block of lines after the heading line $1 up to the next empty line.
block() { awk -v heading="$1" '$0 == heading { on = 1; next } on && /^$/ { exit } on { print }'; }
# First words of a block: subcommand or action names.
names() { block "$1" | awk 'NF { print $1 }'; }
# Options of a help text's option lines ("  -o, --output FILE  text"), one per
# line: NAME VALUE, VALUE "-" for a flag.
options() {
  awk '$1 ~ /^-/ {
         n = 0; value = "-"
         for (i = 1; i <= NF; i++) {
           if ($i ~ /^-/) { sub(/,$/, "", $i); opt[++n] = $i }
           else { if ($i ~ /^[A-Z][A-Z0-9.]*$/) value = $i; break }
         }
         for (i = 1; i <= n; i++) print opt[i], value
       }'
}
# Words of a list, one line: "a b c".
words() { tr '\n' ' ' | sed 's/ *$//'; }
# Roff-safe text for a no-fill block.
roff() { sed -e 's/\\/\\e/g' -e 's/-/\\-/g' -e "s/^\\([.']\\)/\\\\\\&\\1/"; }
# A command's help without the closing pointer to the global options.
own_help() { "$talixdb" "$@" --help | awk '/^Global options \(--server/ { exit } { print }'; }

# ---- talixdb: every family and action, with its options --------------------
"$talixdb" --help > "$scratch/program"
families=$(names "Subcommands:" < "$scratch/program")
globals=$(block "Global options (anywhere on the line; a value as --opt VALUE or --opt=VALUE):" \
            < "$scratch/program" | options)
[ -n "$families" ] && [ -n "$globals" ] || { echo "generate.sh: cannot read $talixdb --help" >&2; exit 1; }

include="$scratch/talixdb.h2m"
echo "[SUBCOMMANDS]" > "$include"
action_cases=""
option_cases=""
argument_cases=""
all_options="$globals"
for family in $families; do
  actions=$("$talixdb" "$family" --help | names "Actions:")
  if [ -z "$actions" ]; then
    commands="$family"
  else
    action_cases+="    $family) echo '$(echo "$actions" | words)' ;;"$'\n'
    commands=$(for action in $actions; do echo "$family $action"; done)
  fi
  while read -r f a; do
    help=$(own_help $f $a)
    { echo ".SS \"talixdb $f${a:+ $a}\""; echo ".nf"; echo "$help" | roff; echo ".fi"; } >> "$include"
    opts=$(echo "$help" | block "Options:" | options)
    option_cases+="    '$f/$a') echo '$(echo "$opts" | awk '$1 ~ /^--/ { print $1 }' | words)' ;;"$'\n'
    # The arguments of the synopsis ("usage: talixdb report list MODELPATH SOLVER [SURFACE] [options]").
    synopsis=$(echo "$help" | awk -v n="$(echo "talixdb $f${a:+ $a}" | wc -w)" '
      /^usage:/ { for (i = n + 2; i <= NF; i++) if ($i != "[options]") { gsub(/[][]/, "", $i); printf "%s ", $i }; exit }')
    argument_cases+="    '$f/$a') echo '${synopsis% }' ;;"$'\n'
    all_options+=$'\n'"$opts"
  done <<< "$commands"
done
value_options=$(echo "$all_options" | awk 'NF && $2 != "-" { print $1 }' | sort -u | words)
path_options=$(echo "$all_options" | awk '$2 ~ /FILE|DIR/ { print $1 }' | sort -u | words)
global_options=$(echo "$globals" | awk '$1 ~ /^--/ { print $1 }' | words)

cat > "$out/completions/talixdb" <<SCRIPT
# bash completion for talixdb, generated from "talixdb --help" at build time.

_talixdb_actions() {
  case \$1 in
$action_cases  esac
}

_talixdb_options() {
  case \$1 in
$option_cases  esac
}

_talixdb_arguments() {
  case \$1 in
$argument_cases  esac
}

# The catalogue as paths (CATEGORY, CATEGORY/TYPE, .../MODEL, .../SOLVER), read
# with the line's own global options, but only when no password must be asked
# for: TALIXDB_PASSWORD, a password option on the line, or a login file.
_talixdb_catalogue() {
  local -a globals=()
  local i word ask=1
  for ((i = 1; i < \${#words[@]} - 1; i++)); do
    word=\${words[i]}
    case \$word in
      --server|--user|--domain|--password|--password-file) globals+=("\$word" "\${words[i+1]}"); ((i++)) ;;
      --server=*|--user=*|--domain=*|--password=*|--password-file=*) globals+=("\$word") ;;
    esac
    [[ \$word == --password* ]] && ask=0
  done
  [[ -n \$TALIXDB_PASSWORD || -f \${TALIXDB_LOGIN_FILE:-\${XDG_CONFIG_HOME:-\$HOME/.config}/talixdb/logins} ]] && ask=0
  ((ask)) && return
  "\${words[0]}" "\${globals[@]}" --timeout 3 browse </dev/null 2>/dev/null | awk '
    /^      solver / { print c "/" t "/" m "/" substr(\$0, 14); next }
    /^    [^ ]/ { m = substr(\$0, 5); print c "/" t "/" m; next }
    /^  [^ ]/ { t = substr(\$0, 3); print c "/" t; next }
    /^[^ ]/ { c = \$0; print c }'
}

# Remote names for the argument at \$2 (from 0) of a command whose synopsis is
# \$1, given the arguments before it (\$3...).
_talixdb_remote() {
  local -a synopsis=(\$1)
  local at=\$2
  shift 2
  # A path stands for the names it joins (MODELPATH SOLVER, CATEGORY TYPE MODEL).
  if [[ \${synopsis[0]} == MODELPATH && \${synopsis[1]} == SOLVER && \$1 == */*/*/* ]]; then synopsis=(SOLVERPATH "\${synopsis[@]:2}");
  elif [[ \${synopsis[0]} == CATEGORY && \${synopsis[1]} == TYPE && \$1 == */* ]]; then synopsis=(MODELPATH "\${synopsis[@]:3}"); fi
  local kind=\${synopsis[at]} depth prefix=
  case \$kind in
    CATEGORY) depth=1 ;;
    TYPE) depth=2 prefix=\$1/ ;;
    MODEL) depth=3 prefix=\$1/\$2/ ;;
    MODELPATH) depth='3|4' ;;
    SOLVER) depth=4 prefix=\$1/ ;;
    SOLVERPATH) depth=4 ;;
    REMOTE) depth='1|2|3' ;;
    *) return 1 ;;
  esac
  local path list=
  while read -r path; do
    [[ \$path == "\$prefix"* ]] || continue
    local slashes=\${path//[^\/]/}
    [[ \$((\${#slashes} + 1)) == @(\$depth) ]] && list+=" \${path#"\$prefix"}"
  done < <(_talixdb_catalogue)
  COMPREPLY=(\$(compgen -W "\$list" -- "\$cur"))
}

_talixdb() {
  local takes_value=' $value_options ' paths=' $path_options '
  # The word being completed as bash splits it (also at "=" and ":"), and the
  # words of the line so far split at blanks only.
  local cur=\${COMP_WORDS[COMP_CWORD]}
  [[ \$cur == = ]] && cur=
  local -a words
  read -ra words <<< "\${COMP_LINE:0:COMP_POINT}"
  [[ \${COMP_LINE:COMP_POINT-1:1} == [[:space:]] ]] && words+=("")
  local n=\${#words[@]} option=
  # The value of an option: "--opt VALUE" or "--opt=VALUE".
  if [[ \${words[n-1]} == --*=* ]]; then option=\${words[n-1]%%=*}
  elif [[ \$n -ge 2 && \$takes_value == *" \${words[n-2]} "* ]]; then option=\${words[n-2]}
  fi
  if [[ -n \$option ]]; then
    if [[ \$paths == *" \$option "* ]]; then COMPREPLY=(\$(compgen -f -- "\$cur")); else COMPREPLY=(); fi
    return
  fi
  local family= action= i word
  local -a given=()
  for ((i = 1; i < n - 1; i++)); do
    word=\${words[i]}
    if [[ \$word == -* ]]; then
      [[ \$takes_value == *" \$word "* ]] && ((i++))
    elif [[ -z \$family ]]; then family=\$word
    elif [[ -z \$action && -n \$(_talixdb_actions "\$family") ]]; then action=\$word
    else given+=("\$word")
    fi
  done
  if [[ \$cur == -* ]]; then
    COMPREPLY=(\$(compgen -W "$global_options \$(_talixdb_options "\$family/\$action")" -- "\$cur"))
  elif [[ -z \$family ]]; then
    COMPREPLY=(\$(compgen -W "$(echo "$families" | words)" -- "\$cur"))
  elif [[ -z \$action && -n \$(_talixdb_actions "\$family") ]]; then
    COMPREPLY=(\$(compgen -W "\$(_talixdb_actions "\$family")" -- "\$cur"))
  else
    _talixdb_remote "\$(_talixdb_arguments "\$family/\$action")" \${#given[@]} "\${given[@]}" ||
      COMPREPLY=(\$(compgen -f -- "\$cur"))
  fi
}
complete -o filenames -F _talixdb talixdb
SCRIPT

printf '[SEE ALSO]\n.BR talixdb\\-server (1);\nthe README of TALIXDBAPI, which shows the formats of the JSON files and of the PCA\nmodes file.\n' >> "$include"
"${HELP2MAN:-help2man}" --no-info --section 1 --name "command-line tool for a TALIXDBAPI model database" \
  --include "$include" --output "$out/man/talixdb.1" "$talixdb"

# ---- talixdb-server ----------------------------------------------------------
server_options=$("$server" --help | options)
[ -n "$server_options" ] || { echo "generate.sh: cannot read $server --help" >&2; exit 1; }
server_value_cases=$(echo "$server_options" | awk '
  $2 ~ /DIR/ { print "    " $1 ") COMPREPLY=($(compgen -d -- \"$cur\")); return ;;" ; next }
  $2 ~ /FILE/ { print "    " $1 ") COMPREPLY=($(compgen -f -- \"$cur\")); return ;;" ; next }
  $2 != "-" { print "    " $1 ") COMPREPLY=(); return ;;" }')
cat > "$out/completions/talixdb-server" <<SCRIPT
# bash completion for talixdb-server, generated from "talixdb-server --help" at build time.

_talixdb_server() {
  local cur=\${COMP_WORDS[COMP_CWORD]} prev=\${COMP_WORDS[COMP_CWORD-1]}
  # "--opt=VALUE": bash splits at "=".
  if [[ \$cur == = ]]; then cur=; elif [[ \$prev == = && \$COMP_CWORD -ge 2 ]]; then prev=\${COMP_WORDS[COMP_CWORD-2]}; fi
  case \$prev in
$server_value_cases
  esac
  COMPREPLY=(\$(compgen -W "$(echo "$server_options" | awk '$1 ~ /^--/ { print $1 }' | words)" -- "\$cur"))
}
complete -o filenames -F _talixdb_server talixdb-server
SCRIPT

printf '[SEE ALSO]\n.BR talixdb (1);\nthe README of TALIXDBAPI (accounts, TLS, PostgreSQL stores, running as a service).\n' \
  > "$scratch/server.h2m"
"${HELP2MAN:-help2man}" --no-info --section 1 --name "stand-in repository server for TALIXDBAPI" \
  --include "$scratch/server.h2m" --output "$out/man/talixdb-server.1" "$server"
