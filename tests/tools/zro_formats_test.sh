#!/usr/bin/env bash
# The zro format commands end to end: a document with drawings of several
# depths goes to OPML (well-formed by xmllint), JSON and Markdown and back;
# its drawings come out as PNG and BMP files that decode to the same pixels;
# an image file attaches in place; an import over an existing document
# replaces it only when the new one is complete; and damaged or foreign
# input to every command is refused with a message and a non-zero exit
# code, leaving every input file as it was.
set -u
# shellcheck source-path=SCRIPTDIR source=zro_test_lib.sh
source "$(dirname "$0")/zro_test_lib.sh"
python=/usr/bin/python3  # the system interpreter, with Pillow
# Runs zro expecting failure with exit code $1 and a "zro: " message.
refused() {
  local code=$1; shift
  "$zro" "$@" > /dev/null 2> error.txt
  local got=$?
  [ "$got" -eq "$code" ] || fail "zro $* exited $got, not $code"
  grep -q '^zro: ' error.txt || fail "zro $*: no message"
}

# A document whose drawings are PNG pictures Pillow makes at 1, 4 (as 16
# colours), 8 and 24 bits.
"$python" - <<'PY' || fail "making the source"
import base64, io, json
from PIL import Image
def png(image):
    out = io.BytesIO(); image.save(out, "PNG"); return base64.b64encode(out.getvalue()).decode()
items = []
for i, mode in enumerate(["1", "P", "L", "RGB"]):
    image = Image.new(mode, (9, 5))
    for x in range(9):
        for y in range(5):
            image.putpixel((x, y), ((x * 40 + y * 9) % 256, (y * 50) % 256, x * 20) if mode == "RGB" else (x + y) % (2 if mode == "1" else 16))
    items.append({"id": i + 1, "indent": min(i, 1), "text": f"drawing {mode}", "note": "", "checked": i % 2 == 1,
                  "expanded": True, "drawing": {"png": png(image)}})
items.append({"id": 9, "indent": 0, "text": "Caf\u00e9 \u20ac", "note": "two\n\nlines  ", "checked": True, "expanded": False})
items.append({"id": 10, "indent": 1, "text": "inside", "note": "", "checked": False, "expanded": True})
json.dump({"title": "Pictures", "category": "Art", "private": True, "deletedIds": [3, 4], "items": items},
          open("source.json", "w"))
PY
"$zro" import source.json doc.zro || fail "import JSON"
"$zro" export doc.zro -o doc.json || fail "export JSON"
for form in opml md; do
  "$zro" export doc.zro -o "doc.$form" || fail "export $form"
  "$zro" import "doc.$form" "from-$form.zro" || fail "import $form"
done
xmllint --noout doc.opml || fail "the OPML is not well-formed"
"$zro" export from-opml.zro -f json -o from-opml.json || fail "export from OPML"
cmp -s doc.json from-opml.json || fail "document -> OPML -> document differs"
"$zro" import doc.json from-json.zro || fail "import JSON again"
for form in opml json; do cmp -s doc.zro "from-$form.zro" || fail "document -> $form -> document is not the same file"; done
[ "$(ls doc_files)" = $'item-0.png\nitem-1.png\nitem-2.png\nitem-3.png' ] || fail "Markdown drawings: $(ls doc_files)"
"$zro" export from-md.zro -f json | "$python" -c '
import json, sys
a, b = json.load(open("doc.json")), json.load(sys.stdin)
keys = ("text", "note", "indent", "checked", "drawing")
sys.exit(0 if [[i.get(k) for k in keys] for i in a["items"]] == [[i.get(k) for k in keys] for i in b["items"]] else 1)' \
  || fail "document -> Markdown -> document lost texts, notes, levels, checks or drawings"
"$zro" export doc.zro -f html -o doc.html || fail "export HTML"
[ "$(grep -o 'data:image/png;base64' doc.html | wc -l)" -eq 4 ] || fail "HTML drawings"

# Drawings: PNG and BMP of each show the same pixels.
"$zro" drawing doc.zro --all png > /dev/null || fail "drawing --all"
"$zro" drawing doc.zro --all bmp -f bmp > /dev/null || fail "drawing --all -f bmp"
"$zro" drawing doc.zro 3 one.png && "$zro" drawing doc.zro 3 one.bmp || fail "drawing"
"$python" - <<'PY' || fail "PNG and BMP drawings differ"
import sys
from PIL import Image
pairs = [(f"png/item-{i}.png", f"bmp/item-{i}.bmp") for i in range(4)] + [("one.png", "one.bmp")]
for png, bmp in pairs:
    a, b = Image.open(png).convert("RGB"), Image.open(bmp).convert("RGB")
    if a.size != b.size or list(a.getdata()) != list(b.getdata()):
        print(png, "differs from", bmp); sys.exit(1)
PY

# Attach: an image file becomes item 4's drawing; nothing else changes.
"$python" -c 'from PIL import Image; Image.new("RGB", (6, 3), (0, 0, 255)).save("blue.jpg")'
"$zro" attach doc.zro 4 blue.jpg || fail "attach"
"$zro" export doc.zro -f json | "$python" -c '
import json, sys
a, b = json.load(open("doc.json")), json.load(sys.stdin)
d = b["items"][4].pop("drawing", None)
sys.exit(0 if a == b and d and d["width"] == 6 else 1)' || fail "attach changed more than the one drawing"
"$zro" drawing doc.zro 4 blue.png || fail "the attached drawing"

# Refusals leave every file as it was, and nothing beside them.
printf 'not an outline' > bogus.zro
printf '<opml><body><outline text="cut' > cut.opml
printf '{"items": [{"indent": "x"}]}' > bad.json
printf -- '- [ ] a\n\n  ![](missing.png)\n' > missing.md
printf 'plain text' > notimage.png
extension='<opml version="2.0" xmlns:zr="urn:notestore:outline:1"><head>'
printf '%s<zr:header id="2" size="4294967295"/></head><body/></opml>' "$extension" > huge.opml
printf '%s<zr:header id="77" size="3" slot="@@@@"/></head><body/></opml>' "$extension" > slot.opml
printf '%s</head><body><outline text="a" zr:tags="9:0:0 -9"/></body></opml>' "$extension" > order.opml
printf '%s</head><body><outline text="a" zr:tags="-9"/></body></opml>' "$extension" > unreadable.opml
sums() { md5sum doc.zro bogus.zro cut.opml bad.json missing.md notimage.png huge.opml slot.opml order.opml unreadable.opml; }
sums > before.txt
: > error.txt
# The library's trace log is the tool's to place (FileIO.txt here for now);
# it is not counted among the files a command leaves.
files() { ls | grep -v '^FileIO.txt$'; }
listing=$(files)
refused 1 show bogus.zro
refused 1 export bogus.zro -f opml
refused 1 drawing bogus.zro --all out
refused 1 attach bogus.zro 0 blue.jpg
refused 2 import cut.opml doc.zro
refused 2 import bad.json doc.zro
refused 2 import missing.md doc.zro
for hostile in huge slot order; do refused 2 import "$hostile.opml" doc.zro; done
refused 1 import unreadable.opml doc.zro
refused 2 import doc.html doc.zro
refused 2 attach doc.zro 0 notimage.png
refused 1 attach doc.zro 99 blue.jpg
refused 2 drawing doc.zro 99 x.png
refused 2 drawing doc.zro 0 x.gif
refused 1 drawing doc.zro 5 x.png
refused 2 drawing doc.zro
sums | diff before.txt - || fail "a refused command changed a file"
[ "$(files)" = "$listing" ] || fail "a refused command left files behind: $(files)"

# An import over a document replaces it.
"$zro" import no-such-file.json doc.zro 2> /dev/null && fail "a missing source was accepted"
"$zro" import doc.opml doc.zro || fail "import over an existing document"
"$zro" export doc.zro -f json | cmp -s - doc.json || fail "the replaced document"
[ "$(files)" = "$listing" ] || fail "import left files behind: $(files)"
finish "zro formats as expected"
