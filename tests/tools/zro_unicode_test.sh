#!/usr/bin/env bash
# zro reads and writes UTF-8 and shows every text exactly: an outline in
# many scripts survives import and show byte for byte, JSON carries the
# same texts, and an added item keeps its emoji.
set -u
# shellcheck source-path=SCRIPTDIR source=zro_test_lib.sh
source "$(dirname "$0")/zro_test_lib.sh"

cat > texts.txt <<'TEXT'
Title: Заметки 😀 Ελλάδα
Category: Работа

- [ ] Привет € ü Ω 😀
    > שלום
    > مرحبا 中文
  - [x] été with é and 👍🏽
- [ ] 𝄞 𐍈 𠜎 日本語 한국어
TEXT
"$zro" import texts.txt texts.zro || fail "import"
"$zro" show texts.zro > shown.txt || fail "show"
diff -u texts.txt shown.txt || fail "show differs from the imported text"
"$zro" export -f json -o texts.json texts.zro || fail "export"
python3 - <<'CHECK' || fail "JSON content"
import json, sys
d = json.load(open("texts.json", encoding="utf-8"))
ok = d["title"] == "Заметки 😀 Ελλάδα" and d["category"] == "Работа" and d["items"][0]["text"] == "Привет € ü Ω 😀"
sys.exit(0 if ok else 1)
CHECK
"$zro" add texts.zro "Ещё 🎉" || fail "add"
"$zro" show texts.zro | grep -q -- "- \[ \] Ещё 🎉" || fail "the added item"
finish "zro texts in many scripts as expected"
