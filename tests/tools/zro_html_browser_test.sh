#!/usr/bin/env bash
# The HTML export in a real browser (headless Chromium): every item whose
# parents are open is shown, items under a closed item are not, checked
# items are ticked, every drawing decodes; and a screenshot shows the
# drawing's pixels and a ticked box.
set -u
# shellcheck source-path=SCRIPTDIR source=zro_test_lib.sh
source "$(dirname "$0")/zro_test_lib.sh"
python=/usr/bin/python3  # the system interpreter, with Pillow
browser() {
  timeout 120 chromium --headless --no-sandbox --disable-gpu --no-first-run --user-data-dir="$work/profile" \
    --allow-file-access-from-files --hide-scrollbars "$@" 2> browser.log
}

"$python" - <<'PY' || fail "making the source"
import base64, io, json
from PIL import Image
def png(size, colour):
    out = io.BytesIO(); Image.new("RGB", size, colour).save(out, "PNG"); return base64.b64encode(out.getvalue()).decode()
def item(indent, text, checked=False, expanded=True, drawing=None):
    entry = {"indent": indent, "text": text, "note": "", "checked": checked, "expanded": expanded}
    if drawing: entry["drawing"] = {"png": drawing}
    return entry
json.dump({"title": "Browser check", "items": [
    item(0, "open parent", checked=True), item(1, "shown child"),
    item(0, "closed parent", expanded=False), item(1, "hidden child", checked=True, drawing=png((4, 4), (0, 0, 255))),
    item(0, "ticked with a drawing", checked=True, drawing=png((60, 40), (255, 0, 0))),
    item(0, "not ticked")]}, open("source.json", "w"))
PY
"$zro" import source.json doc.zro || fail "import"
"$zro" export doc.zro -o doc.html || fail "export HTML"

# The page is read from inside a frame, once it has loaded.
cat > probe.html <<'HTML'
<!DOCTYPE html><html><body><iframe id="page" src="doc.html" width="800" height="600"></iframe><pre id="result"></pre>
<script>
document.getElementById("page").onload = () => {
  const doc = document.getElementById("page").contentDocument;
  const items = {};
  for (const text of doc.querySelectorAll(".text")) {
    const box = text.parentElement.querySelector("input[type=checkbox]");
    items[text.textContent] = {shown: text.checkVisibility(), ticked: box.checked};
  }
  const images = [...doc.images].map(i => i.complete && i.naturalWidth > 0);
  document.getElementById("result").textContent = "RESULT" + ":" + JSON.stringify({items, images});
};
</script></body></html>
HTML
browser --virtual-time-budget=10000 --dump-dom "file://$work/probe.html" > dom.html || fail "the browser did not run (see below)"
grep -o 'RESULT:[^<]*' dom.html | sed 's/^RESULT://; s/&quot;/"/g' > result.json
"$python" - <<'PY' || fail "what the browser shows: $(cat result.json)"
import json, sys
r = json.load(open("result.json"))
expected = {"open parent": (True, True), "shown child": (True, False), "closed parent": (True, False),
            "hidden child": (False, True), "ticked with a drawing": (True, True), "not ticked": (True, False)}
got = {k: (v["shown"], v["ticked"]) for k, v in r["items"].items()}
sys.exit(0 if got == expected and r["images"] == [True, True] else 1)
PY

browser --window-size=800,600 --screenshot="$work/shot.png" "file://$work/doc.html" > /dev/null || fail "no screenshot"
"$python" - <<'PY' || fail "the screenshot shows no drawing or no ticked box"
import sys
from PIL import Image
pixels = list(Image.open("shot.png").convert("RGB").getdata())
red = sum(1 for p in pixels if p == (255, 0, 0))
blue = sum(1 for p in pixels if p == (0, 0, 255))
# The ticked boxes take the page's accent colour, #22aa77.
accent = sum(1 for r, g, b in pixels if abs(r - 0x22) < 40 and abs(g - 0xAA) < 40 and abs(b - 0x77) < 40)
print(f"red {red}, blue {blue}, accent {accent}")
sys.exit(0 if red == 60 * 40 and blue == 0 and accent > 20 else 1)
PY
[ $status -ne 0 ] && tail -5 browser.log
finish "the HTML export shows as the outline"
