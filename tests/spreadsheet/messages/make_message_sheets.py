#!/usr/bin/python3
"""Writes the workbooks the spreadsheet messages screen tests import.

    make_message_sheets.py OUTDIR

edge.xls (xlwt), edge.xlsx (openpyxl) and edge.csv hold the same rows;
emptyfirst.xls starts with an empty row.
"""

import csv
import os
import sys

import openpyxl
import xlwt

# Column A, column B of each sheet row; None is an empty cell.
EDGE_ROWS = [
    (9876543210, "Hello"),
    (12345, "short number"),
    (9123456789, None),
    (9000000000, "exact bound"),
    (98765432101, "eleven digits"),
    ("98765 43210", "two groups"),
    (9111111111, "It's line one\r\nline two"),
    (95000000, "below ten digits"),
    (None, None),
    (9222222222, "after the stop"),
]

EMPTY_FIRST_ROWS = [
    (None, None),
    (9876543210, "never read"),
]


def write_xls(path, rows):
    book = xlwt.Workbook()
    sheet = book.add_sheet("Numbers")
    for r, row in enumerate(rows):
        for c, value in enumerate(row):
            if value is not None:
                sheet.write(r, c, value)
    book.save(path)


def write_xlsx(path, rows):
    book = openpyxl.Workbook()
    sheet = book.active
    sheet.title = "Numbers"
    for r, row in enumerate(rows, start=1):
        for c, value in enumerate(row, start=1):
            if value is not None:
                sheet.cell(row=r, column=c, value=value)
    book.save(path)


def write_csv(path, rows):
    with open(path, "w", newline="", encoding="utf-8") as f:
        writer = csv.writer(f, lineterminator="\r\n")
        for row in rows:
            writer.writerow(["" if v is None else v for v in row])


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    write_xls(os.path.join(out, "edge.xls"), EDGE_ROWS)
    write_xlsx(os.path.join(out, "edge.xlsx"), EDGE_ROWS)
    write_csv(os.path.join(out, "edge.csv"), EDGE_ROWS)
    write_xls(os.path.join(out, "emptyfirst.xls"), EMPTY_FIRST_ROWS)


if __name__ == "__main__":
    main()
