#!/usr/bin/env python3
"""Rasterises the PostScript that the print job test wrote through Wine's
PostScript driver (Ghostscript, 300 dpi) and checks that the black pixels
sit where the fax pages put them.

The expected places are worked out here from the test printer's geometry
(A4, 300 dpi, an imageable area 18 points in from every edge) and the fax
pages the test printed, independently of the library's layout code:
  - faxprint_block.ps: one 1728 x 2200 page, one page per sheet, black in
    pixels 432..863 of lines 550..1099;
  - faxprint_four.ps: five 1728 x 1100 pages at four per sheet, each black in
    pixels 576..1151 of lines 366..732;
  - faxprint_fax.ps: a fax page file decoded by the library and printed one
    page per sheet as a page 2200 lines long; it is compared pixel by pixel
    with the same file decoded by netpbm's tifftopnm.
Usage: check_print.py <folder with the .ps files> <the fax page file>
"""
import os
import subprocess
import sys
import tempfile

DPI = 300
MARGIN = 18 * DPI // 72                      # 75 pixels
PRINT_W = (577 - 18) * DPI // 72             # printable width in pixels
PRINT_H = (824 - 18) * DPI // 72
TOLERANCE = 4                                # pixels, for rounding in the driver


def rasterise(ps, folder):
    out = os.path.join(folder, "page%d.pbm")
    subprocess.run(["gs", "-q", "-dNOPAUSE", "-dBATCH", "-dSAFER", "-sDEVICE=pbmraw",
                    "-r%d" % DPI, "-sOutputFile=" + out, ps], check=True)
    pages = []
    n = 1
    while os.path.exists(out % n):
        pages.append(read_pbm(out % n))
        n += 1
    return pages


def read_pbm(path):
    with open(path, "rb") as f:
        data = f.read()
    fields = []
    pos = 0
    while len(fields) < 3:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos)
            continue
        start = pos
        while not data[pos:pos + 1].isspace():
            pos += 1
        fields.append(data[start:pos])
    pos += 1
    assert fields[0] == b"P4", path
    width, height = int(fields[1]), int(fields[2])
    stride = (width + 7) // 8
    return width, height, stride, data[pos:pos + stride * height]


def black_box(page, x0, y0, x1, y1):
    """Bounding box (x0, y0, x1, y1 inclusive) of black pixels in the window,
    or None."""
    width, height, stride, bits = page
    box = None
    for y in range(max(0, y0), min(height, y1)):
        row = bits[y * stride:(y + 1) * stride]
        lo_byte, hi_byte = max(0, x0) // 8, (min(width, x1) + 7) // 8
        if not any(row[lo_byte:hi_byte]):
            continue
        xs = [x for x in range(max(0, x0), min(width, x1)) if row[x // 8] & (0x80 >> (x % 8))]
        if not xs:
            continue
        if box is None:
            box = [xs[0], y, xs[-1], y]
        else:
            box = [min(box[0], xs[0]), box[1], max(box[2], xs[-1]), y]
    return box


def pixel(page, x, y):
    width, height, stride, bits = page
    if x < 0 or y < 0 or x >= width or y >= height:
        return 0
    return bits[y * stride + x // 8] & (0x80 >> (x % 8))


def near_black(page, x, y):
    return any(pixel(page, x + dx, y + dy) for dx in (-1, 0, 1) for dy in (-1, 0, 1))


def check_fax(failures, paper, fax, page_length):
    """Every black pixel on paper comes from a black fax pixel, and every
    black fax pixel shows on paper (one pixel of slack for rounding)."""
    fax_w, fax_h = fax[0], fax[1]
    y_end = MARGIN + (fax_h * PRINT_H + page_length - 1) // page_length
    stray = missing = 0
    box = black_box(paper, 0, 0, 10**6, 10**6)
    if box is None or box[1] < MARGIN or box[3] >= y_end + 1:
        failures.append("fax: black outside the page image: %s" % box)
    for y in range(MARGIN, min(y_end, paper[1])):
        fy = (y - MARGIN) * page_length // PRINT_H
        for x in range(MARGIN, MARGIN + PRINT_W):
            if pixel(paper, x, y) and not near_black(fax, (x - MARGIN) * fax_w // PRINT_W, fy):
                stray += 1
    for fy in range(fax_h):
        y = MARGIN + (2 * fy + 1) * PRINT_H // (2 * page_length)
        for fx in range(fax_w):
            if pixel(fax, fx, fy) and not near_black(paper, MARGIN + (2 * fx + 1) * PRINT_W // (2 * fax_w), y):
                missing += 1
    if stray or missing:
        failures.append("fax: %d black pixels on paper not in the fax, %d fax pixels not on paper"
                        % (stray, missing))


def scaled(origin, start, end, image, cell):
    """Device pixels covered by image pixels start..end-1 of an image of
    `image` pixels stretched over `cell` device pixels from origin."""
    return origin + start * cell // image, origin + (end * cell - 1) // image


def expect_box(failures, what, box, want):
    if box is None:
        failures.append("%s: no black pixels, expected %s" % (what, want))
        return
    if any(abs(a - b) > TOLERANCE for a, b in zip(box, want)):
        failures.append("%s: black at %s, expected %s" % (what, box, want))


def main():
    folder = sys.argv[1]
    failures = []
    with tempfile.TemporaryDirectory() as tmp:
        pages = rasterise(os.path.join(folder, "faxprint_block.ps"), tmp)
        if len(pages) != 1:
            failures.append("block: %d sheets, expected 1" % len(pages))
        else:
            x0, x1 = scaled(MARGIN, 432, 864, 1728, PRINT_W)
            y0, y1 = scaled(MARGIN, 550, 1100, 2200, PRINT_H)
            expect_box(failures, "block", black_box(pages[0], 0, 0, 10**6, 10**6),
                       [x0, y0, x1, y1])

    with tempfile.TemporaryDirectory() as tmp:
        pages = rasterise(os.path.join(folder, "faxprint_four.ps"), tmp)
        if len(pages) != 2:
            failures.append("four up: %d sheets, expected 2" % len(pages))
        else:
            gap_x, gap_y = PRINT_W * 15 // 1000, PRINT_H * 15 // 1000
            cell_w, cell_h = (PRINT_W - gap_x) // 2, (PRINT_H - gap_y) // 2
            for sheet, positions in ((0, (1, 2, 3, 4)), (1, (1,))):
                for position in (1, 2, 3, 4):
                    cx = MARGIN + (cell_w + gap_x if position in (2, 4) else 0)
                    cy = MARGIN + (cell_h + gap_y if position in (3, 4) else 0)
                    box = black_box(pages[sheet], cx, cy, cx + cell_w, cy + cell_h)
                    what = "four up sheet %d position %d" % (sheet + 1, position)
                    if position in positions:
                        x0, x1 = scaled(cx, 576, 1152, 1728, cell_w)
                        y0, y1 = scaled(cy, 366, 733, 1100, cell_h)
                        expect_box(failures, what, box, [x0, y0, x1, y1])
                    elif box is not None:
                        failures.append("%s: black at %s, expected none" % (what, box))

    with tempfile.TemporaryDirectory() as tmp:
        pages = rasterise(os.path.join(folder, "faxprint_fax.ps"), tmp)
        decoded = os.path.join(tmp, "fax.pbm")
        with open(decoded, "wb") as out:
            subprocess.run(["tifftopnm", sys.argv[2]], stdout=out, stderr=subprocess.DEVNULL,
                           check=True)
        if len(pages) != 1:
            failures.append("fax: %d sheets, expected 1" % len(pages))
        else:
            check_fax(failures, pages[0], read_pbm(decoded), 2200)

    for f in failures:
        print("FAIL", f)
    print("checked", "with failures" if failures else "ok")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
