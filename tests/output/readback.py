#!/usr/bin/python3
"""Reads an exported file back with a reader made for its kind and prints it as JSON:
{"sheets": [...], "header": [...], "rows": [[...], ...]}, every value as text."""
import csv
import json
import sys
from html.parser import HTMLParser


def text(v):
    if v is None:
        return ""
    if isinstance(v, bool):
        return "True" if v else "False"
    if isinstance(v, float) and v.is_integer():
        return str(int(v))
    if hasattr(v, "strftime"):
        return v.strftime("%Y-%m-%d %H:%M:%S")
    return str(v)


def xlsx(path):
    import openpyxl
    book = openpyxl.load_workbook(path, read_only=True)
    sheet = book["Tab1"]
    rows = [[text(c) for c in r] for r in sheet.iter_rows(values_only=True)]
    return book.sheetnames, rows


def csvfile(path):
    with open(path, newline="", encoding="utf-8") as f:
        return [], [row for row in csv.reader(f)]


class Table(HTMLParser):
    def __init__(self):
        super().__init__()
        self.rows, self.cell = [], None

    def handle_starttag(self, tag, attrs):
        if tag == "tr":
            self.rows.append([])
        elif tag in ("td", "th"):
            self.cell = ""

    def handle_endtag(self, tag):
        if tag in ("td", "th"):
            self.rows[-1].append(self.cell)
            self.cell = None

    def handle_data(self, data):
        if self.cell is not None:
            self.cell += data


def html(path):
    p = Table()
    with open(path, encoding="utf-8") as f:
        p.feed(f.read())
    return [], p.rows


kind, path = sys.argv[1], sys.argv[2]
sheets, rows = {"xlsx": xlsx, "csv": csvfile, "html": html}[kind](path)
print(json.dumps({"sheets": sheets, "header": rows[0] if rows else [], "rows": rows[1:]}, ensure_ascii=False))
