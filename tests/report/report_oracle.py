#!/usr/bin/python3
"""Reads a filled report with python-docx or openpyxl and prints what it holds as JSON.

  report_oracle.py docx FILE   -> {"tables": [[[cell, ...], ...], ...], "paragraphs": [...],
                                   "pictures": [{"target", "width", "height", "cx", "cy"}]}
  report_oracle.py xlsx FILE   -> {"cells": {"A1": text, ...}, "merged": [...],
                                   "dimension": "...", "images": [{"width", "height", "row"}]}
"""
import io
import json
import struct
import sys


def png_size(blob):
    if blob[:8] != b'\x89PNG\r\n\x1a\n':
        return None
    return struct.unpack('>II', blob[16:24])


def read_docx(path):
    import docx
    from docx.oxml.ns import qn
    document = docx.Document(path)
    tables = [[[cell.text for cell in row.cells] for row in table.rows] for table in document.tables]
    paragraphs = [p.text for p in document.paragraphs]
    for table in document.tables:
        for row in table.rows:
            for cell in row.cells:
                paragraphs.extend(p.text for p in cell.paragraphs)
    pictures = []
    part = document.part
    for inline in part.element.body.iter(qn('wp:inline')):
        extent = inline.find(qn('wp:extent'))
        blip = inline.find('.//' + qn('a:blip'))
        rid = blip.get(qn('r:embed'))
        rel = part.rels[rid]
        size = png_size(rel.target_part.blob)
        pictures.append({'id': rid, 'target': rel.target_ref, 'type': rel.target_part.content_type,
                         'width': size[0] if size else 0, 'height': size[1] if size else 0,
                         'cx': int(extent.get('cx')), 'cy': int(extent.get('cy'))})
    return {'tables': tables, 'paragraphs': paragraphs, 'pictures': pictures}


def read_xlsx(path):
    import openpyxl
    book = openpyxl.load_workbook(path)
    sheet = book.worksheets[0]
    cells = {}
    for row in sheet.iter_rows():
        for cell in row:
            if cell.value is not None:
                cells[cell.coordinate] = str(cell.value)
    images = []
    for image in sheet._images:
        blob = image._data()
        size = png_size(blob)
        anchor = image.anchor
        images.append({'width': size[0] if size else 0, 'height': size[1] if size else 0,
                       'row': anchor._from.row, 'cx': anchor.ext.width if anchor.ext else 0,
                       'cy': anchor.ext.height if anchor.ext else 0})
    return {'cells': cells, 'merged': sorted(str(r) for r in sheet.merged_cells.ranges),
            'dimension': sheet.dimensions, 'images': images}


def main():
    kind, path = sys.argv[1], sys.argv[2]
    result = read_docx(path) if kind == 'docx' else read_xlsx(path)
    sys.stdout.write(json.dumps(result, ensure_ascii=False))


if __name__ == '__main__':
    main()
