#!/usr/bin/env bash
# The zro command line end to end: the bundled sample survives import and
# show unchanged, exports as JSON, takes an added item, and refuses what is
# not an outline document with exit code 1.
set -u
# shellcheck source-path=SCRIPTDIR source=zro_test_lib.sh
source "$(dirname "$0")/zro_test_lib.sh"
sample="$2"

"$zro" import "$sample" trip.zro || fail "import"
"$zro" show trip.zro > shown.txt || fail "show"
diff -u "$sample" shown.txt || fail "show differs from the imported text"
"$zro" export -f json -o trip.json trip.zro || fail "export"
python3 -c 'import json, sys; d = json.load(open("trip.json")); sys.exit(0 if d["items"][1]["note"] == "in the blue bag" else 1)' \
  || fail "JSON content"
"$zro" add trip.zro "Lock the door" --indent 0 --checked --note "twice" || fail "add"
[ "$("$zro" show trip.zro | tail -2)" = $'- [x] Lock the door\n    > twice' ] || fail "added item"
printf 'not an outline' > bogus.zro
"$zro" show bogus.zro 2> error.txt && fail "a bogus file was accepted"
grep -q '^zro: ' error.txt || fail "no error message"
grep -q "bogus.zro: " error.txt || fail "the error does not name the file"
printf -- '- a\n\tb\n' > bad.txt
"$zro" import bad.txt bad.zro 2> error.txt && fail "bad text was accepted"
grep -q 'line 2' error.txt || fail "the bad line is not named"
finish "zro command line as expected"
