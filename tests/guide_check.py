#!/usr/bin/env python3
"""Fails when the operator's guide (docs/navod.md) leaves out a text that the program shows.

The texts are taken from the string literals of the non-test sources (app/, data/, import/,
settings/, platform/) and of the dialog template (resources/*.rc), so that a message added to
the code without a word in the guide is caught. A literal counts as a shown text when
  - its statement holds a literal with a non-ASCII character (the program's Czech texts), or
  - its statement calls one of the calls that put text in front of the operator
    (SHOWING_CALLS), or, in the console front-end (app/cli_*.cpp), writes to a stream, or
  - it stands in the body of a function of the program (not of platform/) whose name ends in
    "_text" and that returns a std::string (the code's convention for the functions that
    compose a message, such as exclusive_text), or
  - it is the caption or a control text of the dialog template.
Each text is cut at its line breaks and tabs (the guide shows such a message line by line); a
piece with fewer than two letters in a row, or one that is a name (an upper-case control, field
or file name, or a lower-case option name such as "retry-wait"), is not a text. Pieces are compared with the guide with runs of white space
taken as one blank.

  guide_check.py ROOT            check ROOT/docs/navod.md against the sources under ROOT
  guide_check.py --self-test     check the extraction rules on a small sample
"""

import pathlib
import re
import sys

SOURCE_ROOTS = ["app", "data", "import", "settings", "platform"]
KEY_ROOTS = ["app", "data", "import", "resources"]  # each must yield texts, or the scan is broken

SHOWING_CALLS = [
    "set_text",          # labels, buttons, phase and outcome texts, counters
    "warning_box",       # warnings and refusals
    "error_box",         # unexpected errors
    "retry_cancel_box",  # the Retry/Cancel question
    "info_box",
    "add_column",        # list headings
    "choose_folder",     # the folder dialog's text
    "line",              # a line of the run log block
]

# Literals that pass the rules but never reach the operator, each with the reason.
NOT_SHOWN = {
    # Hyperlabels of the stock-card field specifications (data/zas.cpp): the program has no
    # form for stock cards, so their captions and the "required" message are never shown.
    "Č.položky",
    "Název",
    "Název-popis skl.položky",
    "Množství",
    "Název musí být zadán",
}

CALL_RE = re.compile(r"\b(?:%s)\s*\(" % "|".join(SHOWING_CALLS))
TEXT_FUNCTION_RE = re.compile(r"\bstd::string\s+\w+_text\s*\([^;{}]*\)\s*(?:const\s*)?\{")
PRINTF_RE = re.compile(r"%[-+ #0]*\d*(?:\.\d+)?[a-zA-Z]")
LETTERS_RE = re.compile(r"[^\W\d_]{2}")
NAME_RE = re.compile(r"^(?:[A-Z0-9_.]+|[a-z][a-z-]*)$")
ESCAPES = {"n": "\n", "r": "\r", "t": "\t", '"': '"', "'": "'", "\\": "\\", "0": "\0"}


def tokenize(src):
    """The code with comments removed and each string literal replaced by a mark "\x01N\x01";
    returns (masked code, literal values, line of each literal)."""
    out, literals, lines = [], [], []
    i, n, line = 0, len(src), 1
    while i < n:
        c = src[i]
        if src.startswith("//", i):
            j = src.find("\n", i)
            i = n if j < 0 else j
        elif src.startswith("/*", i):
            j = src.find("*/", i + 2)
            j = n if j < 0 else j + 2
            line += src.count("\n", i, j)
            out.append(" ")
            i = j
        elif c == "'":
            j = i + 1
            while j < n and src[j] != "'":
                j += 2 if src[j] == "\\" else 1
            out.append("' '")
            i = j + 1
        elif c == '"':
            j, value = i + 1, []
            while j < n and src[j] != '"':
                if src[j] == "\\" and j + 1 < n:
                    value.append(ESCAPES.get(src[j + 1], src[j + 1]))
                    j += 2
                else:
                    value.append(src[j])
                    j += 1
            out.append("\x01%d\x01" % len(literals))
            literals.append("".join(value))
            lines.append(line)
            i = j + 1
        else:
            if c == "\n":
                line += 1
            out.append(c)
            i += 1
    return "".join(out), literals, lines


MARK_RE = re.compile("\x01(\\d+)\x01")


def marks(code):
    return [int(m) for m in MARK_RE.findall(code)]


def text_function_literals(code):
    """Literal numbers inside the bodies of functions named *_text."""
    found = set()
    for m in TEXT_FUNCTION_RE.finditer(code):
        depth, j = 1, m.end()
        while j < len(code) and depth:
            depth += {"{": 1, "}": -1}.get(code[j], 0)
            j += 1
        found.update(marks(code[m.end():j]))
    return found


def shown_literals(path_name, src):
    """(value, line) of every literal of a C++ source that the rules take as a shown text."""
    code, literals, lines = tokenize(src)
    chosen = set() if path_name.startswith("platform/") else text_function_literals(code)
    streams = re.search(r"(^|/)app/cli_[^/]*\.cpp$", path_name) is not None
    for statement in re.split(r"[;{}]", code):
        numbers = marks(statement)
        if not numbers:
            continue
        czech = any(re.search(r"[^\x00-\x7f]", literals[k]) for k in numbers)
        showing = CALL_RE.search(statement) or (streams and "<<" in statement)
        if czech or showing:
            chosen.update(numbers)
    return [(literals[k], lines[k]) for k in sorted(chosen)]


def template_literals(src):
    """(value, line) of the dialog template's caption and control texts."""
    found = []
    for number, text in enumerate(src.splitlines(), 1):
        m = re.match(r'\s*(?:CAPTION|CONTROL)\s+"((?:[^"\\]|\\.)*)"', text)
        if m:
            found.append((m.group(1), number))
    return found


def pieces(value):
    for piece in re.split(r"[\r\n\t]", value):
        piece = " ".join(piece.split())
        if not LETTERS_RE.search(PRINTF_RE.sub("", piece)) or NAME_RE.match(piece):
            continue
        if piece in NOT_SHOWN:
            continue
        yield piece


def source_files(root):
    for top in SOURCE_ROOTS:
        for p in sorted((root / top).rglob("*")):
            if p.suffix not in (".cpp", ".h") or "test" in p.name:
                continue
            yield p
    yield from sorted((root / "resources").glob("*.rc"))


def collect(root):
    """{piece: first "file:line" that shows it}, and the number of pieces per key root."""
    texts, per_root = {}, {}
    for p in source_files(root):
        rel = p.relative_to(root).as_posix()
        src = p.read_text(encoding="utf-8")
        found = template_literals(src) if p.suffix == ".rc" else shown_literals(rel, src)
        for value, line in found:
            for piece in pieces(value):
                texts.setdefault(piece, "%s:%d" % (rel, line))
                top = rel.split("/")[0]
                per_root[top] = per_root.get(top, 0) + 1
    return texts, per_root


def check(root):
    guide_path = root / "docs" / "navod.md"
    guide = " ".join(guide_path.read_text(encoding="utf-8").split())
    texts, per_root = collect(root)
    empty = [top for top in KEY_ROOTS if not per_root.get(top)]
    if empty:
        print("guide_check: no texts found under %s: the scan is broken" % ", ".join(empty))
        return 1
    missing = [(where, piece) for piece, where in texts.items() if piece not in guide]
    for where, piece in sorted(missing):
        print("%s: not in docs/navod.md: %r" % (where, piece))
    print("guide_check: %d texts of the program, %d missing from the guide"
          % (len(texts), len(missing)))
    return 1 if missing else 0


SAMPLE = r'''
// "Komentář se neukazuje" is a comment
std::string exclusive_text(const std::string& what) {
  return "K souboru " + what + " is held\r" "Zkuste to later.";
}
void set_text(const std::string& text) { trace("set_text"); }
void f() {
  win_.warning_box(owner, kCaption, "Plain ASCII box\rsecond line");
  win_.set_text("FTPC", "Hotovo");
  throw std::runtime_error("internal english text");
  char q = '"'; std::string s = "after a quote char";
  put("NAZ", "Z Bazaro " + x);
  x = y ? "Česky" : "to neni";
  table("WKAM", "%02d.%02d", "Název");
}
'''
SAMPLE_EXPECTED = {
    "K souboru", "is held", "Zkuste to later.", "Plain ASCII box", "second line", "Hotovo",
    "Česky", "to neni",
}
SAMPLE_RC = 'CAPTION "Okno"\nFONT 8, "MS Shell Dlg"\n  CONTROL "Konec", 100, "Button", 0\n'


def self_test():
    got = {p for v, _ in shown_literals("data/x.cpp", SAMPLE) for p in pieces(v)}
    ok = True
    if got != SAMPLE_EXPECTED:
        print("extraction: got %s, expected %s" % (sorted(got), sorted(SAMPLE_EXPECTED)))
        ok = False
    cli = {p for v, _ in shown_literals("app/cli_x.cpp", 'err << "-> Storno\\n";') for p in
           pieces(v)}
    plain = {p for v, _ in shown_literals("app/x.cpp", 'err << "-> Storno\\n";') for p in
             pieces(v)}
    if cli != {"-> Storno"} or plain:
        print("streams: got %s in app/cli_x.cpp and %s elsewhere" % (cli, plain))
        ok = False
    layer = 'std::string pool_text(int n) { fail("lies outside the pool"); }'
    if [v for v, _ in shown_literals("platform/index/x.cpp", layer)]:
        print("platform: a *_text function of the table layer was taken")
        ok = False
    rc = {p for v, _ in template_literals(SAMPLE_RC) for p in pieces(v)}
    if rc != {"Okno", "Konec"}:
        print("template: got %s" % sorted(rc))
        ok = False
    guide = " ".join("Texty: `Hotovo`, `K souboru` …".split())
    missing = [p for p in sorted(SAMPLE_EXPECTED) if p not in guide]
    if "Hotovo" in missing or "Plain ASCII box" not in missing:
        print("comparison: missing %s" % missing)
        ok = False
    print("guide_check self-test: %s" % ("passed" if ok else "FAILED"))
    return 0 if ok else 1


if __name__ == "__main__":
    if sys.argv[1:] == ["--self-test"]:
        sys.exit(self_test())
    if len(sys.argv) != 2:
        print(__doc__)
        sys.exit(2)
    sys.exit(check(pathlib.Path(sys.argv[1]).resolve()))
