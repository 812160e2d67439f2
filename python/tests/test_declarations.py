"""The binding's C declarations against include/varnholt.h: every
declaration the binding uses must appear in the header exactly so."""

import re

from conftest import ROOT
from varnholt._declarations import DECLARATIONS


def statements(c_text):
    """Normalised function declarations, typedefs and #defines of C text, by name."""
    text = re.sub(r"/\*.*?\*/", " ", c_text, flags=re.S)
    text = re.sub(r"//[^\n]*", " ", text)
    found = {}
    for name, value in re.findall(r"^\s*#define\s+(VH_\w+)\s+(\S+)\s*$", text, flags=re.M):
        found[name] = f"#define {name} {value}"
    text = re.sub(r"^\s*#[^\n]*$", " ", text, flags=re.M)
    text = text.replace("VHA_EXPORT", " ").replace("VH_EXPORT", " ")
    for statement in text.split(";"):
        s = " ".join(statement.replace("{", " ").replace("}", " ").split())
        s = re.sub(r"\s*([(),*])\s*", r"\1", s)
        s = s.replace('extern "C"', "").strip()
        m = re.search(r"(\w+)\(", s) or re.search(r"typedef .* (\w+)$", s)
        if m:
            found[m.group(1)] = s
    return found


def test_every_declaration_matches_the_header():
    header = statements((ROOT / "include" / "varnholt.h").read_text())
    used = statements(DECLARATIONS)
    # All 27 exports, the four typedefs and the 29 constants; exports added to
    # the header later leave this test alone until the binding declares them.
    assert len(used) == 27 + 4 + 29
    mismatched = {name: (decl, header.get(name)) for name, decl in used.items()
                  if header.get(name) != decl}
    assert not mismatched



def test_the_analysis_layer_declarations_match_its_header():
    from varnholt._analysis_declarations import ANALYSIS_DECLARATIONS

    header = statements((ROOT / "include" / "varnholt_analysis.h").read_text())
    used = statements(ANALYSIS_DECLARATIONS)
    exports = [name for name in header if name.startswith("vha_") and "(" in header[name]]
    assert set(exports) <= set(used), "every export of the layer is declared"
    mismatched = {name: (decl, header.get(name)) for name, decl in used.items()
                  if header.get(name) != decl}
    assert not mismatched
