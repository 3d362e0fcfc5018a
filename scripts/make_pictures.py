#!/usr/bin/env python3
"""Draw the launcher's pictures and write them into resources/.

    resources/calix.bmp     face of the setup-and-tuning button (400 x 287, 24-bit BMP)
    resources/log.bmp       face of the log button (400 x 287, 24-bit BMP)
    resources/launcher.ico  program icon (one 128 x 128, 24-bit image)

Standard library only.  Every shape is described by a signed distance function
(negative inside).  A pixel far from the edge is simply inside or outside; a pixel
near the edge is sampled 4 x 4 times, which gives smooth, anti-aliased borders
without paying for supersampling everywhere.  The output is deterministic.

Usage: python3 scripts/make_pictures.py [output directory]
"""

import math
import os
import struct
import sys

# --------------------------------------------------------------------------
# Palette (RGB, 0..255)
# --------------------------------------------------------------------------

BG_TOP = (28, 80, 146)
BG_BOTTOM = (8, 28, 64)
WHITE = (255, 255, 255)
INK = (10, 26, 56)            # darkest blue, used for shadows and the hub centre
CYAN = (64, 204, 255)         # main accent
CYAN_DEEP = (30, 136, 229)    # accent on light backgrounds
ORANGE = (255, 150, 56)       # secondary accent
ORANGE_LIGHT = (255, 184, 96)
PAPER = (246, 249, 253)
PAPER_EDGE = (214, 224, 238)
GRID = (222, 231, 243)
TEXT_BAR = (176, 193, 216)

# --------------------------------------------------------------------------
# Shapes: a signed distance function plus a bounding box (x0, y0, x1, y1)
# --------------------------------------------------------------------------


class Shape:
    def __init__(self, sdf, box):
        self.sdf = sdf
        self.box = box


def _merge_boxes(a, b):
    return (min(a[0], b[0]), min(a[1], b[1]), max(a[2], b[2]), max(a[3], b[3]))


def circle(cx, cy, r):
    def sdf(x, y):
        return math.hypot(x - cx, y - cy) - r
    return Shape(sdf, (cx - r, cy - r, cx + r, cy + r))


def rounded_rect(x0, y0, x1, y1, r):
    cx, cy = (x0 + x1) / 2.0, (y0 + y1) / 2.0
    hx, hy = (x1 - x0) / 2.0 - r, (y1 - y0) / 2.0 - r

    def sdf(x, y):
        qx = abs(x - cx) - hx
        qy = abs(y - cy) - hy
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - r
    return Shape(sdf, (x0, y0, x1, y1))


def line(x0, y0, x1, y1, width):
    """A straight stroke with round caps."""
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy or 1e-12
    half = width / 2.0

    def sdf(x, y):
        px, py = x - x0, y - y0
        t = max(0.0, min(1.0, (px * dx + py * dy) / length2))
        return math.hypot(px - t * dx, py - t * dy) - half
    return Shape(sdf, (min(x0, x1) - half, min(y0, y1) - half,
                       max(x0, x1) + half, max(y0, y1) + half))


def point_on_circle(cx, cy, r, angle):
    """Angle in degrees, counter-clockwise from the positive x axis (y grows down)."""
    a = math.radians(angle)
    return cx + r * math.cos(a), cy - r * math.sin(a)


def arc(cx, cy, r, start, end, width):
    """A stroke along a circle from angle start to angle end (degrees), round caps.

    The arc runs clockwise from start to end when start > end.
    """
    mid = math.radians((start + end) / 2.0)
    half_sweep = math.radians(abs(start - end) / 2.0)
    mx, my = math.cos(mid), -math.sin(mid)
    e0 = point_on_circle(cx, cy, r, start)
    e1 = point_on_circle(cx, cy, r, end)
    half = width / 2.0

    def sdf(x, y):
        px, py = x - cx, y - cy
        dist = math.hypot(px, py)
        if dist > 1e-9:
            cos_off = (px * mx + py * my) / dist
            if math.acos(max(-1.0, min(1.0, cos_off))) <= half_sweep:
                return abs(dist - r) - half
        return min(math.hypot(x - e0[0], y - e0[1]),
                   math.hypot(x - e1[0], y - e1[1])) - half
    reach = r + half
    return Shape(sdf, (cx - reach, cy - reach, cx + reach, cy + reach))


def polygon(points):
    pts = list(points)
    edges = list(zip(pts, pts[1:] + pts[:1]))

    def sdf(x, y):
        best = float("inf")
        inside = False
        for (ax, ay), (bx, by) in edges:
            ex, ey = bx - ax, by - ay
            px, py = x - ax, y - ay
            t = max(0.0, min(1.0, (px * ex + py * ey) / ((ex * ex + ey * ey) or 1e-12)))
            d = (px - t * ex) ** 2 + (py - t * ey) ** 2
            if d < best:
                best = d
            if (ay > y) != (by > y) and x < ax + (y - ay) * ex / (ey or 1e-12):
                inside = not inside
        best = math.sqrt(best)
        return -best if inside else best
    xs = [p[0] for p in pts]
    ys = [p[1] for p in pts]
    return Shape(sdf, (min(xs), min(ys), max(xs), max(ys)))


def polyline(points, width):
    """Connected strokes with round joins."""
    segments = [line(a[0], a[1], b[0], b[1], width) for a, b in zip(points, points[1:])]
    return union(*segments)


def union(*shapes):
    sdfs = [s.sdf for s in shapes]
    box = shapes[0].box
    for s in shapes[1:]:
        box = _merge_boxes(box, s.box)
    return Shape(lambda x, y: min(f(x, y) for f in sdfs), box)


def subtract(shape, cutter):
    f, g = shape.sdf, cutter.sdf
    return Shape(lambda x, y: max(f(x, y), -g(x, y)), shape.box)


def intersect(shape, other):
    f, g = shape.sdf, other.sdf
    a, b = shape.box, other.box
    box = (max(a[0], b[0]), max(a[1], b[1]), min(a[2], b[2]), min(a[3], b[3]))
    return Shape(lambda x, y: max(f(x, y), g(x, y)), box)


def outline(shape, width):
    """The border of a shape as a stroke of the given width, centred on the edge."""
    f = shape.sdf
    half = width / 2.0
    x0, y0, x1, y1 = shape.box
    return Shape(lambda x, y: abs(f(x, y)) - half,
                 (x0 - half, y0 - half, x1 + half, y1 + half))


def rotated(shape, cx, cy, angle):
    """The shape turned counter-clockwise by angle degrees about (cx, cy)."""
    a = math.radians(angle)
    c, s = math.cos(a), math.sin(a)
    f = shape.sdf

    def sdf(x, y):
        px, py = x - cx, y - cy
        # Undo the turn (screen y grows down, so counter-clockwise flips the sign of s).
        return f(cx + c * px - s * py, cy + s * px + c * py)
    x0, y0, x1, y1 = shape.box
    corners = [(x0, y0), (x1, y0), (x1, y1), (x0, y1)]
    turned = [(cx + c * (x - cx) + s * (y - cy), cy - s * (x - cx) + c * (y - cy))
              for x, y in corners]
    xs = [p[0] for p in turned]
    ys = [p[1] for p in turned]
    return Shape(sdf, (min(xs), min(ys), max(xs), max(ys)))


# --------------------------------------------------------------------------
# Colour helpers
# --------------------------------------------------------------------------


def mix(c0, c1, t):
    return tuple(a + (b - a) * t for a, b in zip(c0, c1))


def linear_gradient(x0, y0, c0, x1, y1, c1):
    """Colour function along the line from (x0, y0) to (x1, y1)."""
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy or 1e-12

    def colour(x, y):
        t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / length2))
        return mix(c0, c1, t)
    return colour


# --------------------------------------------------------------------------
# Canvas
# --------------------------------------------------------------------------

_SUBSAMPLES = [(i + 0.5) / 4.0 for i in range(4)]
_EDGE_BAND = 0.75  # just over half a pixel diagonal


class Canvas:
    def __init__(self, width, height, colour=(0, 0, 0)):
        self.width = width
        self.height = height
        self.pixels = [list(colour) for _ in range(width * height)]

    def _pixel_range(self, box, grow=0.0):
        x0 = max(0, int(math.floor(box[0] - grow)) - 1)
        y0 = max(0, int(math.floor(box[1] - grow)) - 1)
        x1 = min(self.width, int(math.ceil(box[2] + grow)) + 1)
        y1 = min(self.height, int(math.ceil(box[3] + grow)) + 1)
        return x0, y0, x1, y1

    def _blend(self, x, y, colour, a):
        px = self.pixels[y * self.width + x]
        c = colour(x + 0.5, y + 0.5) if callable(colour) else colour
        px[0] += (c[0] - px[0]) * a
        px[1] += (c[1] - px[1]) * a
        px[2] += (c[2] - px[2]) * a

    def fill(self, colour):
        for y in range(self.height):
            for x in range(self.width):
                self._blend(x, y, colour, 1.0)

    def coverage(self, sdf, x, y):
        """Fraction of pixel (x, y) inside the shape."""
        d = sdf(x + 0.5, y + 0.5)
        if d >= _EDGE_BAND:
            return 0.0
        if d <= -_EDGE_BAND:
            return 1.0
        hits = 0
        for sy in _SUBSAMPLES:
            for sx in _SUBSAMPLES:
                if sdf(x + sx, y + sy) < 0.0:
                    hits += 1
        return hits / 16.0

    def draw(self, shape, colour, alpha=1.0):
        sdf = shape.sdf
        x0, y0, x1, y1 = self._pixel_range(shape.box)
        for y in range(y0, y1):
            for x in range(x0, x1):
                cov = self.coverage(sdf, x, y)
                if cov > 0.0:
                    self._blend(x, y, colour, cov * alpha)

    def glow(self, shape, colour, alpha, blur, offset=(0.0, 0.0)):
        """A soft copy of the shape (shadow or glow) fading out over blur pixels."""
        sdf = shape.sdf
        ox, oy = offset
        b = shape.box
        x0, y0, x1, y1 = self._pixel_range((b[0] + ox, b[1] + oy, b[2] + ox, b[3] + oy), blur)
        for y in range(y0, y1):
            for x in range(x0, x1):
                d = sdf(x + 0.5 - ox, y + 0.5 - oy)
                if d >= blur:
                    continue
                t = max(0.0, min(1.0, (blur - d) / (2.0 * blur)))
                a = t * t * (3.0 - 2.0 * t) * alpha
                if a > 0.0:
                    self._blend(x, y, colour, a)

    def coverage_mask(self, shape):
        """Per-pixel coverage of a shape over the whole canvas (row-major)."""
        return [self.coverage(shape.sdf, x, y)
                for y in range(self.height) for x in range(self.width)]

    def rgb_rows(self):
        """Rows top to bottom, each a list of (r, g, b) bytes."""
        rows = []
        for y in range(self.height):
            row = []
            for px in self.pixels[y * self.width:(y + 1) * self.width]:
                row.append(tuple(max(0, min(255, int(round(v)))) for v in px))
            rows.append(row)
        return rows


# --------------------------------------------------------------------------
# Shared pieces of the two button faces
# --------------------------------------------------------------------------

FACE_W, FACE_H = 400, 287


def face_background():
    """Deep blue gradient with a faint light from the top and a lighter inner panel."""
    cv = Canvas(FACE_W, FACE_H)
    cv.fill(linear_gradient(0, 0, BG_TOP, 120, FACE_H, BG_BOTTOM))
    cv.glow(circle(FACE_W * 0.5, -60, 170), (90, 150, 220), 0.22, 150)
    panel = rounded_rect(18, 16, FACE_W - 18, FACE_H - 16, 18)
    cv.glow(panel, INK, 0.35, 10, (0, 4))
    cv.draw(panel, linear_gradient(0, 16, (255, 255, 255), 0, FACE_H - 16, (160, 200, 255)), 0.09)
    cv.draw(outline(panel, 1.2), WHITE, 0.16)
    return cv


# --------------------------------------------------------------------------
# calix.bmp: tuning dial with sliders
# --------------------------------------------------------------------------

DIAL_START, DIAL_END = 225.0, -45.0


def dial_angle(value):
    return DIAL_START + (DIAL_END - DIAL_START) * value


def draw_dial(cv, cx, cy, r, value, scale=1.0, ticks=True):
    """Gauge: track, active arc, warning zone, ticks, needle and hub."""
    track_w = 12 * scale
    cv.draw(arc(cx, cy, r, DIAL_START, DIAL_END, track_w), WHITE, 0.14)
    active = arc(cx, cy, r, DIAL_START, dial_angle(value), track_w)
    cv.glow(active, CYAN, 0.35, 9 * scale)
    cv.draw(active, linear_gradient(cx - r, cy + r, (40, 170, 255), cx + r, cy - r, CYAN))
    cv.draw(arc(cx, cy, r, dial_angle(0.84), DIAL_END, track_w), ORANGE)

    if ticks:
        inner = r - track_w / 2 - 8 * scale
        for i in range(41):
            v = i / 40.0
            a = dial_angle(v)
            major = i % 10 == 0
            mid = i % 5 == 0
            length = (15 if major else 10 if mid else 6) * scale
            width = (3.2 if major else 2.0 if mid else 1.3) * scale
            p0 = point_on_circle(cx, cy, inner, a)
            p1 = point_on_circle(cx, cy, inner - length, a)
            colour = ORANGE_LIGHT if v > 0.84 else WHITE
            cv.draw(line(p0[0], p0[1], p1[0], p1[1], width), colour,
                    0.95 if major else 0.7 if mid else 0.4)

    # Needle: a slim tapered blade with a short tail, over a soft shadow.
    a = math.radians(dial_angle(value))
    ux, uy = math.cos(a), -math.sin(a)
    nx, ny = -uy, ux
    tip = r - track_w / 2 - (8 if ticks else 4) * scale
    base_w, tail = 5.5 * scale, 20 * scale
    blade = polygon([
        (cx + ux * tip, cy + uy * tip),
        (cx + nx * base_w - ux * 2, cy + ny * base_w - uy * 2),
        (cx - ux * tail + nx * base_w * 0.6, cy - uy * tail + ny * base_w * 0.6),
        (cx - ux * tail - nx * base_w * 0.6, cy - uy * tail - ny * base_w * 0.6),
        (cx - nx * base_w - ux * 2, cy - ny * base_w - uy * 2),
    ])
    cv.glow(blade, INK, 0.45, 4 * scale, (0, 3 * scale))
    cv.draw(blade, linear_gradient(cx, cy, ORANGE, cx + ux * tip, cy + uy * tip, ORANGE_LIGHT))
    hub = circle(cx, cy, 13 * scale)
    cv.glow(hub, INK, 0.5, 5 * scale, (0, 3 * scale))
    cv.draw(hub, linear_gradient(cx, cy - 13 * scale, WHITE, cx, cy + 13 * scale, (200, 216, 236)))
    cv.draw(circle(cx, cy, 5 * scale), INK)


def draw_slider(cv, x, top, bottom, value):
    """A vertical slider: thin track, filled part below the knob, round knob."""
    cv.draw(line(x, top, x, bottom, 6), WHITE, 0.14)
    knob_y = bottom - (bottom - top) * value
    cv.draw(line(x, knob_y, x, bottom, 6), CYAN)
    knob = circle(x, knob_y, 10)
    cv.glow(knob, INK, 0.5, 4, (0, 3))
    cv.draw(knob, linear_gradient(x, knob_y - 10, WHITE, x, knob_y + 10, (200, 216, 236)))
    cv.draw(circle(x, knob_y, 3.5), CYAN_DEEP)


def make_calix():
    cv = face_background()
    cx, cy, r = 150, 150, 100
    # Faint disc behind the dial gives it a face.
    cv.draw(circle(cx, cy, r + 18), INK, 0.22)
    cv.draw(outline(circle(cx, cy, r + 18), 1.2), WHITE, 0.08)
    draw_dial(cv, cx, cy, r, 0.66)
    # Readout pill in the open bottom of the dial.
    pill = rounded_rect(cx - 34, cy + 62, cx + 34, cy + 86, 12)
    cv.draw(pill, INK, 0.55)
    for i, h in enumerate((0.45, 0.8, 0.6, 1.0, 0.7)):
        bx = cx - 20 + i * 10
        cv.draw(line(bx, cy + 80, bx, cy + 80 - 12 * h, 4), CYAN if i != 3 else ORANGE)
    # Three tuning sliders on the right.
    for x, v in ((292, 0.7), (326, 0.35), (360, 0.55)):
        draw_slider(cv, x, 62, 232, v)
    return cv


# --------------------------------------------------------------------------
# log.bmp: log sheet with a line chart
# --------------------------------------------------------------------------


def sheet_shape(x0, y0, x1, y1, r, fold):
    """A page with a folded top-right corner."""
    page = rounded_rect(x0, y0, x1, y1, r)
    cut = polygon([(x1 - fold, y0 - 2), (x1 + 2, y0 - 2), (x1 + 2, y0 + fold)])
    return subtract(page, cut)


def make_log():
    cv = face_background()
    x0, y0, x1, y1 = 70, 34, 302, 256
    fold = 30

    # A second page peeking out behind, turned slightly.
    back = rotated(rounded_rect(x0, y0, x1, y1, 10), (x0 + x1) / 2, (y0 + y1) / 2, -5)
    cv.glow(back, INK, 0.4, 8, (0, 4))
    cv.draw(back, (200, 216, 236), 0.55)

    page = sheet_shape(x0, y0, x1, y1, 10, fold)
    cv.glow(page, INK, 0.5, 9, (0, 5))
    cv.draw(page, linear_gradient(0, y0, WHITE, 0, y1, PAPER))
    flap = polygon([(x1 - fold, y0), (x1, y0 + fold), (x1 - fold + 4, y0 + fold)])
    cv.glow(flap, INK, 0.2, 3, (-1, 2))
    cv.draw(intersect(flap, rounded_rect(x1 - fold, y0, x1, y0 + fold, 3)), PAPER_EDGE)

    # Header: a coloured tag and "text" bars.
    cv.draw(rounded_rect(x0 + 18, y0 + 18, x0 + 30, y0 + 30, 3), CYAN_DEEP)
    cv.draw(rounded_rect(x0 + 38, y0 + 19, x0 + 138, y0 + 29, 5), (120, 142, 172))
    cv.draw(rounded_rect(x0 + 18, y0 + 40, x0 + 170, y0 + 47, 3.5), TEXT_BAR)
    cv.draw(rounded_rect(x0 + 18, y0 + 54, x0 + 120, y0 + 61, 3.5), TEXT_BAR)

    # Chart frame and grid.
    gx0, gy0, gx1, gy1 = x0 + 18, y0 + 78, x1 - 18, y1 - 20
    cv.draw(rounded_rect(gx0, gy0, gx1, gy1, 6), (236, 242, 250))
    for i in range(1, 4):
        gy = gy0 + (gy1 - gy0) * i / 4.0
        cv.draw(line(gx0 + 6, gy, gx1 - 6, gy, 1.2), GRID)
    for i in range(1, 6):
        gx = gx0 + (gx1 - gx0) * i / 6.0
        cv.draw(line(gx, gy0 + 6, gx, gy1 - 6, 1.2), GRID)

    def chart_points(values):
        n = len(values) - 1
        return [(gx0 + 10 + (gx1 - gx0 - 20) * i / n, gy1 - 10 - (gy1 - gy0 - 20) * v)
                for i, v in enumerate(values)]

    # Second series first, thin and orange, so the main series sits on top.
    second = chart_points([0.22, 0.30, 0.26, 0.42, 0.36, 0.50, 0.44, 0.58])
    cv.draw(polyline(second, 2.6), ORANGE, 0.95)

    main = chart_points([0.30, 0.52, 0.42, 0.70, 0.58, 0.84, 0.72, 0.92])
    area = polygon(main + [(main[-1][0], gy1 - 6), (main[0][0], gy1 - 6)])
    cv.draw(area, linear_gradient(0, gy0, CYAN_DEEP, 0, gy1, (236, 242, 250)), 0.28)
    stroke = polyline(main, 3.6)
    cv.glow(stroke, CYAN_DEEP, 0.2, 4, (0, 2))
    cv.draw(stroke, CYAN_DEEP)
    for px, py in main:
        cv.draw(circle(px, py, 5.2), WHITE)
        cv.draw(outline(circle(px, py, 4.6), 2.4), CYAN_DEEP)

    # Diagnostic status column on the right: three check rows.
    for i, colour in enumerate((CYAN, CYAN, ORANGE)):
        ry = 92 + i * 44
        cv.draw(circle(343, ry, 9), colour)
        cv.draw(rounded_rect(334, ry + 16, 352, ry + 21, 2.5), WHITE, 0.3)
    for i in range(2):
        ry = 92 + i * 44
        cv.draw(polyline([(338.5, ry + 0.5), (341.8, ry + 3.8), (347.5, ry - 3.0)], 2.4), INK)
    cv.draw(line(343, 177.5, 343, 182.5, 2.6), INK)
    cv.draw(circle(343, 187.5, 1.4), INK)
    return cv


# --------------------------------------------------------------------------
# launcher.ico: rounded tile with a bold dial
# --------------------------------------------------------------------------

ICON_SIZE = 128


def make_icon():
    s = ICON_SIZE
    cv = Canvas(s, s)
    tile = rounded_rect(2, 2, s - 2, s - 2, 26)
    # Fill everything with the tile colour: the mask cuts the corners away, and the
    # pixels it keeps along the rounded edge must not be darkened by a black backdrop.
    cv.fill(linear_gradient(0, 0, (36, 98, 176), s * 0.4, s, BG_BOTTOM))
    cv.glow(intersect(circle(s * 0.5, -30, 80), tile), (120, 180, 240), 0.25, 40)
    cv.draw(outline(rounded_rect(3, 3, s - 3, s - 3, 25), 1.5), WHITE, 0.15)

    cx, cy, r = s / 2.0, s / 2.0 + 6, 42
    track_w = 13
    cv.draw(arc(cx, cy, r, DIAL_START, DIAL_END, track_w), WHITE, 0.22)
    active = arc(cx, cy, r, DIAL_START, dial_angle(0.66), track_w)
    cv.glow(active, CYAN, 0.35, 6)
    cv.draw(active, linear_gradient(cx - r, cy + r, (40, 170, 255), cx + r, cy - r, CYAN))
    cv.draw(arc(cx, cy, r, dial_angle(0.84), DIAL_END, track_w), ORANGE)

    a = math.radians(dial_angle(0.66))
    ux, uy = math.cos(a), -math.sin(a)
    tip = r - 10
    needle = line(cx, cy, cx + ux * tip, cy + uy * tip, 8)
    cv.glow(needle, INK, 0.5, 3, (0, 2))
    cv.draw(needle, WHITE)
    hub = circle(cx, cy, 11)
    cv.glow(hub, INK, 0.5, 3, (0, 2))
    cv.draw(hub, WHITE)
    cv.draw(circle(cx, cy, 4.5), INK)
    return cv, tile


# --------------------------------------------------------------------------
# File writers
# --------------------------------------------------------------------------


def bitmap_info_header(width, height, image_size):
    # size, width, height, planes, bit count, BI_RGB, image size, 72 dpi x/y, colours
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, image_size,
                       2835, 2835, 0, 0)


def bgr_rows_bottom_up(rows):
    """24-bit pixel data: rows bottom-up, BGR, each row padded to 4 bytes."""
    out = bytearray()
    for row in reversed(rows):
        line_bytes = bytearray()
        for r, g, b in row:
            line_bytes += bytes((b, g, r))
        line_bytes += b"\0" * (-len(line_bytes) % 4)
        out += line_bytes
    return bytes(out)


def write_bmp(path, canvas):
    pixels = bgr_rows_bottom_up(canvas.rgb_rows())
    offset = 14 + 40
    file_header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    with open(path, "wb") as f:
        f.write(file_header)
        f.write(bitmap_info_header(canvas.width, canvas.height, len(pixels)))
        f.write(pixels)


def write_ico(path, canvas, opaque):
    """One-image icon: 24-bit DIB (XOR colours) plus a 1-bit AND mask.

    opaque is the per-pixel coverage of the icon's outline; pixels less than half
    covered become transparent (mask bit 1, colour black).
    """
    w, h = canvas.width, canvas.height
    rows = canvas.rgb_rows()
    mask_rows = []
    for y in range(h):
        bits = bytearray((w + 7) // 8)
        for x in range(w):
            if opaque[y * w + x] < 0.5:
                rows[y][x] = (0, 0, 0)
                bits[x // 8] |= 0x80 >> (x % 8)
        bits += b"\0" * (-len(bits) % 4)
        mask_rows.append(bytes(bits))
    xor = bgr_rows_bottom_up(rows)
    and_mask = b"".join(reversed(mask_rows))
    image = bitmap_info_header(w, h * 2, len(xor) + len(and_mask)) + xor + and_mask

    icon_dir = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", w & 0xFF, h & 0xFF, 0, 0, 1, 24, len(image), 6 + 16)
    with open(path, "wb") as f:
        f.write(icon_dir + entry + image)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "resources")
    os.makedirs(out_dir, exist_ok=True)

    write_bmp(os.path.join(out_dir, "calix.bmp"), make_calix())
    write_bmp(os.path.join(out_dir, "log.bmp"), make_log())
    icon, tile = make_icon()
    write_ico(os.path.join(out_dir, "launcher.ico"), icon, icon.coverage_mask(tile))


if __name__ == "__main__":
    main()
