#!/usr/bin/env bash
# zro's editing, category, search and check commands end to end: each edit
# on a document, the category database with its limit and the folder rewrite,
# search with filters and JSON, check over the fuzz corpora, salvage, the
# exit codes, clear refusals of damaged and foreign input that leave it
# unchanged, and no file left in the folder zro runs in.
set -u
# shellcheck source-path=SCRIPTDIR source=zro_test_lib.sh
source "$(dirname "$0")/zro_test_lib.sh"
mkdir here home
cd here || exit 1
sample="$2"
corpus="$3"
export HOME="$work/home"
unset XDG_STATE_HOME
# expect CODE DESCRIPTION COMMAND...: the command exits with CODE.
expect() {
  local code=$1 what=$2
  shift 2
  "$@" > out.txt 2> err.txt
  local got=$?
  [ "$got" -eq "$code" ] || { fail "$what: exit $got, expected $code"; cat err.txt; }
}
shown() { "$zro" show "$1" | tail -n +4; }

# Conventions.
expect 0 "--version" "$zro" --version
grep -q '^zro [0-9]' out.txt || fail "no version printed"
expect 2 "an unknown option" "$zro" show --bogus x.zro
expect 2 "no subcommand" "$zro"
expect 2 "a missing file" "$zro" tick missing.zro 0

# Each edit.
"$zro" import "$sample" trip.zro || fail "import"
expect 0 "tick" "$zro" tick trip.zro 0 3
expect 0 "untick" "$zro" untick trip.zro 5
expect 0 "fold" "$zro" fold trip.zro 0
expect 0 "unfold" "$zro" unfold trip.zro 3
expect 0 "set-text" "$zro" set-text trip.zro 2 "Phone charger"
expect 0 "set-note" "$zro" set-note trip.zro 2 $'white cable\nin the drawer'
expect 0 "add" "$zro" add trip.zro "Snacks" --at 1 --level 1
expect 0 "move" "$zro" move trip.zro 6 0
expect 0 "delete" "$zro" delete trip.zro 5
expect 0 "set-title" "$zro" set-title trip.zro "Long weekend"
expect 0 "set-category" "$zro" set-category trip.zro Holidays
expected=$'- [ ] Book the train\n    > the 8:15, platform 3\n    > seats in coach C\n+ [x] Pack\n  - [ ] Snacks\n  - [x] Passport\n      > in the blue bag\n  - [ ] Phone charger\n      > white cable\n      > in the drawer\n- [x] Water the plants'
[ "$(shown trip.zro)" = "$expected" ] || { fail "edited document"; shown trip.zro; }
"$zro" show trip.zro | head -2 | grep -qx 'Category: Holidays' || fail "category not set"
"$zro" export -f json -o trip.json trip.zro
python3 -c 'import json; d = json.load(open("trip.json")); assert d["title"] == "Long weekend", d["title"]; assert 4 in d["deletedIds"] and 5 in d["deletedIds"], d["deletedIds"]' \
  || fail "title or deleted ids (Books and its sub-item)"
expect 2 "an item that is not there" "$zro" tick trip.zro 40
expect 2 "a level with no parent" "$zro" add trip.zro "x" --at 0 --level 1

# Categories.
expect 2 "a missing database" "$zro" category list none.db
for name in Work Home; do expect 0 "category add $name" "$zro" category add cats.db "$name"; done
expect 1 "a name twice" "$zro" category add cats.db Work
"$zro" category list cats.db > list.txt
[ "$(cut -f2,3 list.txt)" = $'0\tUnfiled\n129\tWork\n130\tHome' ] || { fail "category list"; cat list.txt; }
mkdir docs
"$zro" import "$sample" docs/a.zro && "$zro" set-category docs/a.zro Work
"$zro" import "$sample" docs/b.zro && "$zro" set-category docs/b.zro Home
before=$(md5sum cats.db docs/a.zro docs/b.zro)
expect 0 "rename --dry-run" "$zro" category rename cats.db Work Job --folder docs --dry-run
grep -q 'docs/a.zro' out.txt || fail "the dry run does not list a.zro"
grep -q 'docs/b.zro' out.txt && fail "the dry run lists b.zro"
[ "$(md5sum cats.db docs/a.zro docs/b.zro)" = "$before" ] || fail "the dry run changed files"
expect 0 "rename" "$zro" category rename cats.db Work Job --folder docs
"$zro" show docs/a.zro | grep -qx 'Category: Job' || fail "a.zro not renamed"
"$zro" show docs/b.zro | grep -qx 'Category: Home' || fail "b.zro renamed"
expect 0 "delete" "$zro" category delete cats.db Job --folder docs
"$zro" show docs/a.zro | grep -qx 'Category: Unfiled' || fail "a.zro not unfiled"
"$zro" category list cats.db | grep -q Job && fail "Job still listed"
"$zro" category list --all cats.db | grep -q $'Job\t(deleted)' || fail "Job not listed as deleted"
expect 1 "delete the unfiled category" "$zro" category delete cats.db Unfiled
expect 0 "undelete" "$zro" category undelete cats.db Job
"$zro" category list cats.db | grep -q $'\tJob$' || fail "Job not back"
for i in $(seq 1 13); do "$zro" category add cats.db "C$i" || fail "adding C$i"; done
expect 1 "a 17th category" "$zro" category add cats.db C14
grep -q '16' err.txt || fail "the limit is not named"

# Search.
expect 0 "search" "$zro" search pass docs trip.zro -i --json
python3 -c '
import json
found = json.load(open("out.txt"))
assert sorted((m["file"], m["index"]) for m in found) == [("docs/a.zro", 1), ("docs/b.zro", 1), ("trip.zro", 3)], found
assert all(m["text"] == "Passport" and m["checked"] and m["note"] == "in the blue bag" for m in found), found
' || fail "search JSON"
expect 0 "search by note, category" "$zro" search coach --in note --category Home docs
[ "$(cat out.txt)" = "docs/b.zro:5: Book the train" ] || { fail "search in notes"; cat out.txt; }
expect 1 "search with no match" "$zro" search Passport --unchecked docs
expect 2 "search with checked and unchecked" "$zro" search x --checked --unchecked docs

# Check and salvage.
expect 0 "check sound documents" "$zro" check trip.zro docs
python3 - <<'PY'
data = bytearray(open("trip.zro", "rb").read())
rows = [i for i in range(len(data)) if data[i:i + 4] == b"PK\x01\x02"]
open("cut.zro", "wb").write(data[:rows[3] + 6])
flipped = bytearray(data)
flipped[rows[2] + 5] ^= 0x40
open("flipped.zro", "wb").write(flipped)
open("foreign.zro", "wb").write(b"%PDF-1.4 not an outline at all")
PY
expect 1 "check a damaged document" "$zro" check cut.zro
grep -q 'row 3' out.txt || { fail "the damaged row is not named"; cat out.txt; }
expect 2 "check a foreign file" "$zro" check foreign.zro
grep -q 'not an outline document' out.txt || fail "foreign file not named as such"
expect 0 "salvage" "$zro" salvage flipped.zro saved.zro
[ "$(shown saved.zro | grep -c .)" -eq "$(( $(shown trip.zro | grep -c .) - 1 ))" ] || fail "salvage lost more than row 2 (Snacks)"
expect 0 "check the salvaged document" "$zro" check saved.zro
expect 2 "salvage over an existing file" "$zro" salvage flipped.zro saved.zro
mapfile -t seeds < <(find "$corpus/outline_fuzz" "$corpus/database_fuzz" -type f)
"$zro" check "${seeds[@]}" > /dev/null 2> err.txt
code=$?
[ "$code" -eq 1 ] || [ "$code" -eq 2 ] || { fail "check over the corpora: exit $code"; head err.txt; }

# Damaged and foreign input: a clear message, a non-zero exit, no change
# (show, export and import belong to the format commands' own test).
for bad in cut.zro flipped.zro foreign.zro; do
  sum=$(md5sum "$bad")
  for command in "add $bad x" "tick $bad 0" "untick $bad 0" "fold $bad 0" \
                 "unfold $bad 0" "set-text $bad 0 x" "set-note $bad 0 x" "move $bad 0 1" "delete $bad 0" \
                 "set-title $bad x" "set-category $bad x" "search x $bad"; do
    # shellcheck disable=SC2086
    "$zro" $command > /dev/null 2> err.txt
    code=$?
    { [ "$code" -eq 1 ] || [ "$code" -eq 2 ]; } || fail "$command: exit $code"
    grep -q "^zro: .*$bad" err.txt || { fail "$command: no message naming $bad"; cat err.txt; }
  done
  [ "$(md5sum "$bad")" = "$sum" ] || fail "$bad was changed"
done
expect 2 "a foreign category database" "$zro" category add foreign.zro Work
grep -q 'foreign.zro' err.txt || fail "the foreign database is not named"

# Nothing left where zro ran; the trace log went to the state folder.
leftover=$(ls -A | grep -vxE 'trip.zro|trip.json|cats.db|docs|cut.zro|flipped.zro|foreign.zro|saved.zro|out.txt|err.txt|list.txt')
[ -z "$leftover" ] || fail "zro left files behind: $leftover"
[ -f "$HOME/.local/state/zro/FileIO.txt" ] || fail "no trace log in the state folder"
finish "zro editing, categories, search and check as expected"
