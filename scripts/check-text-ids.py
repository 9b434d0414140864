#!/usr/bin/env python3
"""Refuses a number literal as the text id of a text function.

Every user-visible text is named by its key from the string tables
(text::export_copy_tip), never by its number: a number does not say which
text it is, and it survives a renumbering of the tables unnoticed. This
check reads the C++ files under src/ and tools/ and fails on a call such as
Text(169), ShowMessage(changed ? 142 : 2600) or ShowProgress(50, 0), where
a literal (directly, in parentheses, cast, or as a branch of a conditional)
is the argument that names the text.

The allow list (scripts/text-ids-allowed.txt) holds the calls that are
known and due to go: one line "path<TAB>call as written", # for comments.

  check-text-ids.py [ROOT]      check the tree at ROOT (default: the checkout)
  check-text-ids.py --cases F   check the cases of file F (the script's tests)
"""
import os
import re
import sys

# The functions that take a text id, and which argument (from 0) it is.
TEXT_ARGUMENT = {
    "Text": 0,
    "LoadTextA": 0,
    "LoadTextW": 0,
    "Lookup": 0,
    "RaiseError": 0,
    "Fail": 0,
    "FilledText": 0,
    "ShowMessage": 0,
    "ShowProgress": 1,
}
CALL = re.compile(r"\b(" + "|".join(TEXT_ARGUMENT) + r")\s*\(")
NUMBER = re.compile(r"^[0-9][0-9a-fA-FxX']*[uUlL]*$")
CAST = re.compile(r"^(?:static_cast\s*<[^<>]*>|unsigned|int|uint32_t)\s*\((.*)\)$", re.S)
OPEN, CLOSE = "([{", ")]}"


def blank_comments_and_strings(code):
    """The code with comments, string and character literals blanked out
    (line ends kept), so what they hold is not read as code."""
    out = []
    i, n = 0, len(code)
    while i < n:
        c = code[i]
        if code.startswith("//", i):
            end = code.find("\n", i)
            end = n if end < 0 else end
            out.append(" " * (end - i))
            i = end
        elif code.startswith("/*", i):
            end = code.find("*/", i + 2)
            end = n if end < 0 else end + 2
            out.append(re.sub(r"[^\n]", " ", code[i:end]))
            i = end
        elif c in "\"'":
            raw = re.match(r'R"([^(]*)\(', code[i - 1 : i + 20]) if c == '"' and i and code[i - 1] == "R" else None
            if raw:
                end = code.find(")" + raw.group(1) + '"', i)
                end = n if end < 0 else end + len(raw.group(1)) + 2
            else:
                end = i + 1
                while end < n and code[end] != c and code[end] != "\n":
                    end += 2 if code[end] == "\\" else 1
                end = min(end + 1, n)
            out.append(c + re.sub(r"[^\n]", " ", code[i + 1 : end - 1]) + c if end - i >= 2 else code[i:end])
            i = end
        else:
            out.append(c)
            i += 1
    return "".join(out)


def split_top(text, separators):
    """Splits `text` at the separators that are outside brackets (a ':' of
    the scope operator '::' is no separator)."""
    parts, depth, start = [], 0, 0
    for i, c in enumerate(text):
        if c in OPEN:
            depth += 1
        elif c in CLOSE:
            depth -= 1
        elif c == ":" and ":" in (text[i - 1 : i], text[i + 1 : i + 2]):
            continue
        elif c in separators and depth == 0:
            parts.append(text[start:i])
            start = i + 1
    parts.append(text[start:])
    return parts


def strip_parens(expr):
    expr = expr.strip()
    while expr.startswith("(") and expr.endswith(")") and len(split_top(expr[1:-1], ",")) == 1:
        inner = expr[1:-1]
        depth = 0
        for c in inner:
            depth += (c in OPEN) - (c in CLOSE)
            if depth < 0:
                return expr
        expr = inner.strip()
    return expr


def literal_reaches(expr):
    """True when a number literal can be the value of `expr`."""
    expr = strip_parens(expr)
    if NUMBER.match(expr):
        return True
    cast = CAST.match(expr)
    if cast:
        return literal_reaches(cast.group(1))
    question = split_top(expr, "?")
    if len(question) >= 2:
        branches = split_top("?".join(question[1:]), ":")
        # "a ? b : c" splits into b and c; a nested conditional in the
        # second branch is looked at again by the recursion.
        return literal_reaches(branches[0]) or literal_reaches(":".join(branches[1:]))
    return False


def arguments(code, open_at):
    """The text between the parenthesis at `open_at` and its match."""
    depth = 0
    for i in range(open_at, len(code)):
        depth += (code[i] in OPEN) - (code[i] in CLOSE)
        if depth == 0:
            return code[open_at + 1 : i]
    return None


def offences(code):
    """(line, call) for each text function call in `code` whose text id
    can be a number literal."""
    clean = blank_comments_and_strings(code)
    found = []
    for m in CALL.finditer(clean):
        inside = arguments(clean, m.end() - 1)
        if inside is None:
            continue
        args = split_top(inside, ",")
        index = TEXT_ARGUMENT[m.group(1)]
        if index < len(args) and literal_reaches(args[index]):
            call = re.sub(r"\s+", " ", code[m.start() : m.end() + len(inside) + 1])
            found.append((clean.count("\n", 0, m.start()) + 1, call))
    return found


def check_tree(root):
    allowed = set()
    with open(os.path.join(root, "scripts", "text-ids-allowed.txt"), encoding="utf-8") as f:
        for line in f:
            if line.strip() and not line.startswith("#"):
                path, call = line.rstrip("\n").split("\t", 1)
                allowed.add((path, call))
    bad, used = [], set()
    for top in ("src", "tools"):
        for folder, _, files in os.walk(os.path.join(root, top)):
            for name in sorted(files):
                if not name.endswith((".cpp", ".h")):
                    continue
                path = os.path.join(folder, name)
                rel = os.path.relpath(path, root)
                with open(path, encoding="utf-8", errors="replace") as f:
                    for line, call in offences(f.read()):
                        if (rel, call) in allowed:
                            used.add((rel, call))
                        else:
                            bad.append(f"  {rel}:{line}: {call}")
    stale = [f"  {p}\t{c}" for p, c in sorted(allowed - used)]
    if bad:
        print("check-text-ids: a number names a text; use its key (korvex::text::...):", file=sys.stderr)
        print("\n".join(bad), file=sys.stderr)
    if stale:
        # A warning only: the branch that removes a call need not be the
        # one that edits this list.
        print("check-text-ids: allowed calls no longer found (remove them from scripts/text-ids-allowed.txt):",
              file=sys.stderr)
        print("\n".join(stale), file=sys.stderr)
    if bad:
        return 1
    print(f"check-text-ids: no number names a text ({len(used)} allowed call(s) left)")
    return 0


def check_cases(path):
    """Each case is "refuse<TAB>code" or "accept<TAB>code"."""
    failures = 0
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            if not line.strip() or line.startswith("#"):
                continue
            expected, code = line.rstrip("\n").split("\t", 1)
            refused = bool(offences(code.replace("\\n", "\n")))
            if refused != (expected == "refuse"):
                print(f"{path}:{number}: expected {expected}: {code}", file=sys.stderr)
                failures += 1
    print(f"check-text-ids: {failures} case(s) failed")
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "--cases":
        sys.exit(check_cases(sys.argv[2]))
    here = os.path.dirname(os.path.abspath(__file__))
    sys.exit(check_tree(sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(here)))
