#!/usr/bin/env bash
# Checks that a document names exactly the long options `kavreto --help` lists
# (and, for the manual page, the version `kavreto --version` prints).
#   check-options.sh KAVRETO man PAGE          the manual page (roff source)
#   check-options.sh KAVRETO completion FILE   the bash completion
#   check-options.sh - complete FILE           the completion completes options,
#                                              size names and presentations
# Exits 0 when they agree, 1 with the options that differ, 77 when a needed
# tool is missing (CTest shows the test as skipped).
set -euo pipefail
kavreto=$1 kind=$2 file=$3

long_options() { grep -o -E -- '--[a-z][a-z0-9-]*' | sort -u; }

if [[ $kind == complete ]]; then
  helpers=/usr/share/bash-completion/bash_completion
  [[ -r $helpers ]] || { echo "SKIP: bash-completion is not installed"; exit 77; }
  file=$(realpath "$file")
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
  touch "$scratch/talk.ppt" "$scratch/deck.odp" "$scratch/notes.txt" "$scratch/old.mp4"
  mkdir "$scratch/videos"
  cd "$scratch"
  # complete WORD... : what the completion offers for the last word
  complete_line() {
    bash --norc -c '
      source "$1"; source "$2"; shift 2
      COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
      COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
      _kavreto kavreto "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
      printf "%s\n" "${COMPREPLY[@]}" | sort' _ "$helpers" "$file" "$@"
  }
  failures=0
  expect() {  # expect "WANTED LINES" WORD...
    local wanted=$1; shift
    local got; got=$(complete_line "$@")
    if [[ "$got" != "$wanted" ]]; then
      printf 'completing "%s": expected [%s], got [%s]\n' "$*" "${wanted//$'\n'/ }" "${got//$'\n'/ }"
      failures=1
    fi
  }
  expect $'convert' kavreto con
  expect $'--size' kavreto convert talk.ppt --si
  expect $'1080p\n352x288\n4k\n640x480\n720p\n720x540\nauto' kavreto convert talk.ppt --size ''
  expect $'720p\n720x540' kavreto convert talk.ppt --size=72
  expect $'mov\nmp4\nmpg' kavreto convert talk.ppt --output-dir videos --format m
  expect $'bar\njson' kavreto convert talk.ppt out.mp4 --progress ''
  expect $'videos' kavreto convert talk.ppt --output-dir ''
  expect $'deck.odp\ntalk.ppt\nvideos' kavreto convert ''
  expect $'deck.odp\nold.mp4\ntalk.ppt\nvideos' kavreto convert --size 720p talk.ppt ''
  expect '' kavreto convert talk.ppt --fps ''
  exit $failures
fi

help=$(QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$kavreto" --help) || {
  echo "\`$kavreto --help\` failed"; exit 1; }
listed=$(long_options <<<"$help")

case $kind in
  man)
    # The page's own text: no comment lines, \- as a plain minus, no font changes.
    named=$(grep -v '^\.\\"' "$file" | sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' | long_options)
    # Its header names the version that `kavreto --version` prints.
    version=$(QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$kavreto" --version | awk '{ print $NF }')
    grep -q "^\.TH KAVRETO 1 .*\"KAVRETO $version\"" "$file" || {
      echo "$file: the .TH line does not name version $version:" "$(grep '^\.TH' "$file")"
      exit 1
    } ;;
  completion)
    named=$(grep -v '^[[:space:]]*#' "$file" | long_options) ;;
  *)
    echo "unknown kind: $kind"; exit 2 ;;
esac

missing=$(comm -23 <(echo "$listed") <(echo "$named"))
extra=$(comm -13 <(echo "$listed") <(echo "$named"))
if [[ -n $missing || -n $extra ]]; then
  [[ -z $missing ]] || echo "$file lacks options that \`kavreto --help\` lists:" $missing
  [[ -z $extra ]] || echo "$file names options that \`kavreto --help\` does not list:" $extra
  exit 1
fi
echo "$file names the same $(wc -l <<<"$listed") long options as \`kavreto --help\`"
