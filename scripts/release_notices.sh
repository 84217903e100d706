#!/usr/bin/env bash
# Writes a notices file for a release artefact: TEMPLATE with each mark
#   <<licence text of the SDK file PATH>>   the SDK's PATH as plain text
#   <<licence body of the SDK file PATH>>   its licence terms (from
#                                          "Redistribution"), indented as a
#                                          Debian copyright file wants them
# replaced from the VST3 SDK at SDK_ROOT, and the lines starting with "#"
# left out. The Steinberg texts are not kept in this repository; they come
# from the SDK the release is built with.
#   scripts/release_notices.sh SDK_ROOT TEMPLATE > OUT
set -euo pipefail
sdk=$1
template=$2
fail() { echo "release notices: $*" >&2; exit 1; }

# A licence file of the SDK without carriage returns, comment rulers, comment
# marks and trailing blanks.
plain() {
  [ -f "$sdk/$1" ] || fail "the SDK at $sdk has no $1"
  tr -d '\r' < "$sdk/$1" | sed -e '/^\/\/--*$/d' -e 's|^// \{0,1\}||' -e 's/[[:space:]]*$//'
}

while IFS= read -r line || [ -n "$line" ]; do
  case $line in
    "#"*) ;;
    "<<licence text of the SDK file "*">>")
      path=${line#"<<licence text of the SDK file "}; plain "${path%">>"}" ;;
    " <<licence body of the SDK file "*">>")
      path=${line#" <<licence body of the SDK file "}
      body=$(plain "${path%">>"}" | sed -n '/^Redistribution/,$p')
      [ -n "$body" ] || fail "no licence terms in the SDK's ${path%">>"}"
      sed -e 's/^$/./' -e 's/^/ /' <<< "$body" ;;
    *"<<"*">>"*) fail "unknown mark in $template: $line" ;;
    *) printf '%s\n' "$line" ;;
  esac
done < "$template"
