#!/usr/bin/python3
"""Reads a spreadsheet file with xlrd and prints what a reader sees, one item a line.

  cell <row> <col> <type> <xf> <value>     type: text, number or blank; value: text as
                                           UTF-8 (tab, newline and backslash escaped) or
                                           a number in repr form
  xf <index> <font> <halign> <left> <right> <top> <bottom> <left colour>   border styles
  font <index> <name> <height> <bold> <italic> <underline> <struck> <colour index>
  colour <index> <r> <g> <b>
  colwidth <col> <width>
  sheet <rows> <cols>
Fields are separated by tabs. Runs with Debian's python3-xlrd.
"""
import sys

import xlrd


def esc(text):
    return text.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n")


def main(path):
    book = xlrd.open_workbook(path, formatting_info=True)
    sheet = book.sheet_by_index(0)
    out = []
    out.append("sheet\t%d\t%d" % (sheet.nrows, sheet.ncols))
    for r in range(sheet.nrows):
        for c in range(sheet.row_len(r)):
            cell = sheet.cell(r, c)
            # The file has no FORMAT records, so xlrd cannot tell numbers from texts by
            # their format and calls every value cell text; the value's own type can.
            if cell.ctype == xlrd.XL_CELL_EMPTY:
                continue
            if cell.ctype == xlrd.XL_CELL_BLANK:
                kind, value = "blank", ""
            elif isinstance(cell.value, str):
                kind, value = "text", esc(cell.value)
            else:
                kind, value = "number", repr(float(cell.value))
            out.append("cell\t%d\t%d\t%s\t%d\t%s" % (r, c, kind, cell.xf_index, value))
    for i, xf in enumerate(book.xf_list):
        b = xf.border
        out.append("xf\t%d\t%d\t%d\t%d\t%d\t%d\t%d\t%d" % (
            i, xf.font_index, xf.alignment.hor_align, b.left_line_style, b.right_line_style,
            b.top_line_style, b.bottom_line_style, b.left_colour_index))
    for i, font in enumerate(book.font_list):
        out.append("font\t%d\t%s\t%d\t%d\t%d\t%d\t%d\t%d" % (
            i, esc(font.name), font.height, font.bold, font.italic, font.underlined,
            font.struck_out, font.colour_index))
    for index, rgb in sorted(book.colour_map.items()):
        if rgb is not None and 8 <= index <= 20:
            out.append("colour\t%d\t%d\t%d\t%d" % ((index,) + tuple(rgb)))
    for col, info in sorted(sheet.colinfo_map.items()):
        out.append("colwidth\t%d\t%d" % (col, info.width))
    sys.stdout.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main(sys.argv[1])
