#!/usr/bin/env bash
# Formats the status page's script and style as .jsbeautifyrc says (Debian's node-js-beautify), or
# with --check fails when one of them is not formatted so.
set -euo pipefail
cd "$(dirname "$0")/.."
# Debian's beautifier lives in Debian's module folder, which a Node.js from elsewhere does not read.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
check=0
[ "${1:-}" = --check ] && check=1
status=0
for file in serve/page/*.js serve/page/*.css; do
  case $file in
    *.js) tool=js-beautify ;;
    *.css) tool=css-beautify ;;
  esac
  if [ $check = 1 ]; then
    if ! "$tool" --config .jsbeautifyrc "$file" | diff -u "$file" - >&2; then
      echo "$file is not formatted (make format)" >&2
      status=1
    fi
  else
    "$tool" --config .jsbeautifyrc -r "$file" >/dev/null
  fi
done
exit $status
