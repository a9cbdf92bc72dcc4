#!/usr/bin/python3
"""Prints what a reader sees in a .xls (python3-xlrd) or .xlsx (python3-openpyxl) file, in
one form for both, so that the two files of one export can be compared line by line.

  sheet.py dump FILE               the listing
  sheet.py compare A.xls B.xlsx    the lines that differ; exit status 1 when any do
  sheet.py values FILE.xlsx        cached formula results: "formula <row> <col> <value>"
  sheet.py spoil IN.xlsx OUT.xlsx  a copy whose cached formula results are all -1
  sheet.py recalc DIR FILE...      every file opened by LibreOffice headless with formulas
                                   recalculated on load, in one start, and saved as CSV in
                                   DIR: "csv <file name> <row> <col> <text>" per cell

Listing lines (tab-separated, rows and columns 0-based):
  cell <row> <col> text|number|blank|formula <value> <format>
  colwidth <col> <width in characters, one decimal>
An empty text counts as a blank cell (.xlsx has no empty text cells). A formula's value is
its text without "="; the cached result is not part of the listing (BIFF4 caches 0).
<format>: font name, size, bold, italic, underline, struck, font colour, horizontal
alignment, fill colour, then top, left, bottom, right borders as style:colour.
"""
import struct
import sys


def esc(text):
    return text.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n")


def number(value):
    return repr(float(value))


def col_name(col):
    name = ""
    n = col + 1
    while n:
        n, r = divmod(n - 1, 26)
        name = chr(65 + r) + name
    return name


# ---------------------------------------------------------------------------------------
# .xls

BIFF_FUNCTIONS = {6: "MIN", 7: "MAX", 169: "COUNTA", 5: "AVERAGE"}


def xls_formulas(path):
    """FORMULA records decoded by hand: xlrd does not decompile cell formulas."""
    data = open(path, "rb").read()
    out = {}
    pos = 0
    while pos + 4 <= len(data):
        rid, length = struct.unpack_from("<HH", data, pos)
        body = data[pos + 4:pos + 4 + length]
        pos += 4 + length
        if rid != 0x0406:
            continue
        row, col = struct.unpack_from("<HH", body, 0)
        tokens = body[18:]
        assert tokens[0] == 0x25, "area reference expected"
        first, last = struct.unpack_from("<HH", tokens, 1)
        c1, c2 = tokens[5], tokens[6]
        func = tokens[7:11]
        if func[0] == 0x19:
            name = "SUM"
        else:
            name = BIFF_FUNCTIONS[func[2]]
        out[(row, col)] = "%s(%s%d:%s%d)" % (name, col_name(c1), (first & 0x3FFF) + 1,
                                             col_name(c2), (last & 0x3FFF) + 1)
    return out


# BIFF colour indexes beyond the file's palette come from Excel's default palette.
DEFAULT_PALETTE = {0: (0, 0, 0), 1: (255, 255, 255), 23: (128, 128, 128)}


def xls_listing(path):
    import xlrd
    book = xlrd.open_workbook(path, formatting_info=True)
    sheet = book.sheet_by_index(0)
    formulas = xls_formulas(path)

    def rgb(index):
        value = book.colour_map.get(index)
        if value is None:
            value = DEFAULT_PALETTE.get(index)
        return "%02X%02X%02X" % tuple(value) if value is not None else "none"

    def style(xf_index):
        xf = book.xf_list[xf_index]
        font = book.font_list[xf.font_index]
        align = {1: "left", 2: "center", 3: "right"}.get(xf.alignment.hor_align, "general")
        b = xf.border
        borders = []
        for line, colour in ((b.top_line_style, b.top_colour_index), (b.left_line_style, b.left_colour_index),
                             (b.bottom_line_style, b.bottom_colour_index),
                             (b.right_line_style, b.right_colour_index)):
            borders.append("thin:" + rgb(colour) if line == 1 else ("none" if line == 0 else "style%d" % line))
        fill = rgb(xf.background.pattern_colour_index) if xf.background.fill_pattern == 1 else "none"
        return "|".join([font.name, "%g" % (font.height / 20.0), str(int(bool(font.bold))),
                         str(int(bool(font.italic))), str(int(bool(font.underlined))),
                         str(int(bool(font.struck_out))), rgb(font.colour_index), align, fill] + borders)

    lines = []
    for r in range(sheet.nrows):
        for c in range(sheet.row_len(r)):
            cell = sheet.cell(r, c)
            if cell.ctype == xlrd.XL_CELL_EMPTY:
                continue
            if (r, c) in formulas:
                kind, value = "formula", formulas[(r, c)]
            elif cell.ctype == xlrd.XL_CELL_BLANK or (isinstance(cell.value, str) and cell.value == ""):
                kind, value = "blank", ""
            elif isinstance(cell.value, str):
                kind, value = "text", esc(cell.value)
            else:
                kind, value = "number", number(cell.value)
            lines.append("cell\t%d\t%d\t%s\t%s\t%s" % (r, c, kind, value, style(cell.xf_index)))
    for col, info in sorted(sheet.colinfo_map.items()):
        lines.append("colwidth\t%d\t%.1f" % (col, info.width / 256.0))
    return lines


# ---------------------------------------------------------------------------------------
# .xlsx

def xlsx_listing(path):
    import openpyxl
    book = openpyxl.load_workbook(path)
    sheet = book.worksheets[0]

    def rgb(color):
        if color is None or color.rgb is None or not isinstance(color.rgb, str):
            return "none"
        return color.rgb[-6:].upper()

    def side(s):
        if s is None or s.style is None:
            return "none"
        return ("thin" if s.style == "thin" else s.style) + ":" + rgb(s.color)

    def style(cell):
        f = cell.font
        align = cell.alignment.horizontal or "general"
        fill = rgb(cell.fill.fgColor) if cell.fill.fill_type == "solid" else "none"
        b = cell.border
        return "|".join([f.name, "%g" % f.sz, str(int(bool(f.b))), str(int(bool(f.i))),
                         str(int(bool(f.u))), str(int(bool(f.strike))), rgb(f.color), align, fill,
                         side(b.top), side(b.left), side(b.bottom), side(b.right)])

    lines = []
    for row in sheet.iter_rows():
        for cell in row:
            if cell.value is None and not cell.has_style:
                continue
            v = cell.value
            if isinstance(v, str) and v.startswith("="):
                kind, value = "formula", v[1:]
            elif v is None or v == "":
                kind, value = "blank", ""
            elif isinstance(v, str):
                kind, value = "text", esc(v)
            else:
                kind, value = "number", number(v)
            lines.append("cell\t%d\t%d\t%s\t%s\t%s" % (cell.row - 1, cell.column - 1, kind, value, style(cell)))
    widths = []
    for letter, dim in sheet.column_dimensions.items():
        if dim.width:
            for col in range(dim.min - 1, dim.max):
                widths.append((col, dim.width))
    for col, width in sorted(widths):
        lines.append("colwidth\t%d\t%.1f" % (col, width))
    return lines


def xlsx_values(path):
    import openpyxl
    plain = openpyxl.load_workbook(path).worksheets[0]
    cached = openpyxl.load_workbook(path, data_only=True).worksheets[0]
    for row in plain.iter_rows():
        for cell in row:
            if isinstance(cell.value, str) and cell.value.startswith("="):
                value = cached.cell(cell.row, cell.column).value
                print("formula\t%d\t%d\t%r" % (cell.row - 1, cell.column - 1, value))


def spoil(source, target):
    import re
    import zipfile
    with zipfile.ZipFile(source) as src, zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as dst:
        for item in src.infolist():
            data = src.read(item.filename)
            if item.filename.startswith("xl/worksheets/"):
                data = re.sub(rb"(<f>[^<]*</f><v>)[^<]*(</v>)", rb"\g<1>-1\g<2>", data)
            dst.writestr(item, data)


RECALC_PROFILE = """<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema" \
xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<item oor:path="/org.openoffice.Office.Calc/Formula/Load"><prop oor:name="OOXMLRecalcMode" oor:op="fuse">\
<value>0</value></prop></item>
<item oor:path="/org.openoffice.Office.Calc/Formula/Load"><prop oor:name="ODFRecalcMode" oor:op="fuse">\
<value>0</value></prop></item>
</oor:items>
"""


def recalc(folder, files):
    """LibreOffice shows the cached results of an .xlsx unless told to recalculate on
    load; a throwaway profile tells it so."""
    import csv
    import os
    import subprocess
    profile = os.path.join(folder, "profile")
    os.makedirs(os.path.join(profile, "user"), exist_ok=True)
    with open(os.path.join(profile, "user", "registrymodifications.xcu"), "w") as out:
        out.write(RECALC_PROFILE)
    out_dir = os.path.join(folder, "csv")
    subprocess.run(["timeout", "240", "soffice", "-env:UserInstallation=file://" + profile, "--headless",
                    "--convert-to", "csv:Text - txt - csv (StarCalc):44,34,76", "--outdir", out_dir] + files,
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for f in files:
        base = os.path.splitext(os.path.basename(f))[0]
        with open(os.path.join(out_dir, base + ".csv"), newline="", encoding="utf-8") as data:
            for r, row in enumerate(csv.reader(data)):
                for c, text in enumerate(row):
                    if text != "":
                        print("csv\t%s\t%d\t%d\t%s" % (os.path.basename(f), r, c, esc(text)))


def listing(path):
    return xlsx_listing(path) if path.lower().endswith(".xlsx") else xls_listing(path)


def main(argv):
    if argv[1] == "dump":
        sys.stdout.write("\n".join(listing(argv[2])) + "\n")
        return 0
    if argv[1] == "values":
        xlsx_values(argv[2])
        return 0
    if argv[1] == "spoil":
        spoil(argv[2], argv[3])
        return 0
    if argv[1] == "recalc":
        recalc(argv[2], argv[3:])
        return 0
    a, b = listing(argv[2]), listing(argv[3])
    # Column widths agree to a tenth of a character: .xlsx stores whole pixels.
    def split(lines):
        cells = [l for l in lines if l.startswith("cell")]
        widths = {int(l.split("\t")[1]): float(l.split("\t")[2]) for l in lines if l.startswith("colwidth")}
        return cells, widths
    cells_a, widths_a = split(a)
    cells_b, widths_b = split(b)
    bad = 0
    for line in sorted(set(cells_a) ^ set(cells_b)):
        print(("only in %s: " % (argv[2] if line in cells_a else argv[3])) + line)
        bad += 1
    for col in sorted(set(widths_a) | set(widths_b)):
        wa, wb = widths_a.get(col), widths_b.get(col)
        if wa is None or wb is None or abs(wa - wb) > 0.15:
            print("column %d width: %s against %s" % (col, wa, wb))
            bad += 1
    print("%d cells compared, %d differences" % (len(cells_a), bad))
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
