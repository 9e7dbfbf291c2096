#!/usr/bin/env python3
"""Draws the launcher's artwork and writes it into res/art/.

    python3 res/tools/draw_art.py

Writes skin.png (the launcher skin), close.png / close_hot.png and
min.png / min_hot.png (the hanging-tag buttons), orvane.ico (the emblem)
and, beside the resource script, dlginit103.bin (the initial data of the
launcher companion's controls).  The skin and the buttons are drawn a
second time at twice the resolution (skin_2x.png, close_2x.png, ...) for
high-DPI screens: the same shapes in the same units, with edges one device
pixel wide, so they are sharp rather than a 1x image enlarged.

Standard library only, so any build machine can regenerate the files, and
fully deterministic: running it twice gives identical bytes.  Every shape is
drawn from a signed distance function, so edges are anti-aliased without
supersampling.  Colours are kept premultiplied while layers are composed.
"""

import math
import os
import struct
import sys
import time
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
RES = os.path.dirname(HERE)
ART = os.path.join(RES, "art")

SOFTWARE = "Orvane art script"

sqrt = math.sqrt


def clamp01(v):
    return 0.0 if v < 0.0 else (1.0 if v > 1.0 else v)


# Device pixels per unit of the drawing: 1 for the 1x art, 2 for the 2x art.
# All geometry below is in units (the 1x art's pixels).
K = 1


def ramp(v):
    """Coverage across an edge.  v is the coverage the 1x art gives (a ramp
    one unit wide, 0.5 on the edge); at K device pixels per unit the ramp is
    K times steeper, so the edge stays one device pixel wide.  At K = 1 this
    is clamp01 itself, so the 1x art keeps its bytes."""
    if K == 1:
        return clamp01(v)
    return clamp01(0.5 + (v - 0.5) * K)


def lerp3(a, b, t):
    return (a[0] + (b[0] - a[0]) * t, a[1] + (b[1] - a[1]) * t, a[2] + (b[2] - a[2]) * t)


def scale3(c, k):
    return (c[0] * k, c[1] * k, c[2] * k)


# ---------------------------------------------------------------------------
# Palette of the look: dark blue-black panels, brushed gold trim.

GOLD_DARK = (112, 78, 34)
GOLD_MID = (212, 168, 92)
GOLD_LIGHT = (252, 230, 168)


def gold(s):
    """Brushed gold; s in [0, 1] runs from shadow to highlight."""
    if s < 0.5:
        return lerp3(GOLD_DARK, GOLD_MID, s * 2.0)
    return lerp3(GOLD_MID, GOLD_LIGHT, (s - 0.5) * 2.0)


# Light falls from the upper left (y grows downwards).
LIGHT_ANGLE = math.atan2(-1.0, -1.0)


# ---------------------------------------------------------------------------
# Distance functions: negative inside, positive outside, in pixels.

def sd_rrect(px, py, cx, cy, hx, hy, r):
    qx = abs(px - cx) - hx + r
    qy = abs(py - cy) - hy + r
    if qx > 0.0 and qy > 0.0:
        return sqrt(qx * qx + qy * qy) - r
    return (qx if qx > qy else qy) - r


def sd_poly(px, py, pts):
    n = len(pts)
    best = 1e30
    inside = False
    jx, jy = pts[-1]
    for i in range(n):
        ix, iy = pts[i]
        ex, ey = jx - ix, jy - iy
        wx, wy = px - ix, py - iy
        ee = ex * ex + ey * ey
        t = (wx * ex + wy * ey) / ee if ee else 0.0
        t = 0.0 if t < 0.0 else (1.0 if t > 1.0 else t)
        bx, by = wx - ex * t, wy - ey * t
        dd = bx * bx + by * by
        if dd < best:
            best = dd
        if (iy > py) != (jy > py):
            if px < ix + (py - iy) * (jx - ix) / (jy - iy):
                inside = not inside
        jx, jy = ix, iy
    d = sqrt(best)
    return -d if inside else d


def d_segment(px, py, ax, ay, bx, by):
    ex, ey = bx - ax, by - ay
    wx, wy = px - ax, py - ay
    ee = ex * ex + ey * ey
    t = (wx * ex + wy * ey) / ee if ee else 0.0
    t = 0.0 if t < 0.0 else (1.0 if t > 1.0 else t)
    dx, dy = wx - ex * t, wy - ey * t
    return sqrt(dx * dx + dy * dy)


def sd_diamond(px, py, cx, cy, a, b):
    """Rhombus with half-diagonals a (x) and b (y); exact enough for edges."""
    return (abs(px - cx) * b + abs(py - cy) * a - a * b) / sqrt(a * a + b * b)


# ---------------------------------------------------------------------------
# Canvas: premultiplied RGB in 0..255 plus alpha in 0..1, four floats a pixel.

class Canvas:
    """w x h units, held as (w * K) x (h * K) device pixels."""

    def __init__(self, w, h):
        self.w = w * K
        self.h = h * K
        self.p = [0.0] * (4 * self.w * self.h)

    def paint(self, x0, y0, x1, y1, shader, hole=None):
        """Composes shader(fx, fy) -> (r, g, b, alpha) or None over the box.

        Boxes are in units; fx, fy are device pixel centres in units.
        hole = (hx0, hy0, hx1, hy1) is a box (whole units) the caller knows
        the shader leaves alone; it is skipped.
        """
        x0 = max(0, int(math.floor(x0 * K)))
        y0 = max(0, int(math.floor(y0 * K)))
        x1 = min(self.w, int(math.ceil(x1 * K)))
        y1 = min(self.h, int(math.ceil(y1 * K)))
        if hole:
            hole = tuple(v * K for v in hole)
        p = self.p
        w = self.w
        for y in range(y0, y1):
            fy = (y + 0.5) / K
            if hole and hole[1] <= y < hole[3]:
                spans = ((x0, min(x1, hole[0])), (max(x0, hole[2]), x1))
            else:
                spans = ((x0, x1),)
            row = 4 * y * w
            for sx0, sx1 in spans:
                for x in range(sx0, sx1):
                    c = shader((x + 0.5) / K, fy)
                    if c is None:
                        continue
                    a = c[3]
                    if a <= 0.0:
                        continue
                    i = row + 4 * x
                    if a >= 1.0:
                        p[i] = c[0]
                        p[i + 1] = c[1]
                        p[i + 2] = c[2]
                        p[i + 3] = 1.0
                    else:
                        k = 1.0 - a
                        p[i] = c[0] * a + p[i] * k
                        p[i + 1] = c[1] * a + p[i + 1] * k
                        p[i + 2] = c[2] * a + p[i + 2] * k
                        p[i + 3] = a + p[i + 3] * k

    def fill_rect(self, x0, y0, x1, y1, rgb):
        """Whole units."""
        x0, y0, x1, y1 = x0 * K, y0 * K, x1 * K, y1 * K
        row = [float(rgb[0]), float(rgb[1]), float(rgb[2]), 1.0] * (x1 - x0)
        for y in range(y0, y1):
            i = 4 * (y * self.w + x0)
            self.p[i:i + len(row)] = row

    def rgba_rows(self):
        """Straight (not premultiplied) 8-bit RGBA, one bytes object a row."""
        rows = []
        p = self.p
        w = self.w
        zero = bytes(4 * w)
        for y in range(self.h):
            base = 4 * y * w
            seg = p[base:base + 4 * w]
            if not any(seg[3::4]):
                rows.append(zero)
                continue
            out = bytearray(4 * w)
            for x in range(w):
                a = seg[4 * x + 3]
                if a <= 0.0:
                    continue
                ab = int(a * 255.0 + 0.5)
                if ab <= 0:
                    continue
                if ab > 255:
                    ab = 255
                o = 4 * x
                inv = 1.0 / a
                for c in range(3):
                    v = int(seg[o + c] * inv + 0.5)
                    out[o + c] = 0 if v < 0 else (255 if v > 255 else v)
                out[o + 3] = ab
            rows.append(bytes(out))
        return rows


def noise_tile():
    """64 x 64 tile of small deterministic noise, used to break up banding."""
    tile = []
    for y in range(64):
        for x in range(64):
            h = (x * 374761393 + y * 668265263 + 1013904223) & 0xFFFFFFFF
            h = ((h ^ (h >> 13)) * 1274126177) & 0xFFFFFFFF
            h ^= h >> 16
            tile.append(((h & 255) / 255.0) - 0.5)
    return tile


NOISE = noise_tile()


# ---------------------------------------------------------------------------
# Lettering: a small stroked capital face, just the letters the title needs.
# Coordinates are centre lines in units of the stroke box height.

def _ellipse(cx, cy, rx, ry, a0, a1, n):
    pts = []
    for i in range(n + 1):
        a = a0 + (a1 - a0) * i / n
        pts.append((cx + rx * math.cos(a), cy + ry * math.sin(a)))
    return pts


GLYPHS = {
    "O": (0.98, [_ellipse(0.49, 0.5, 0.49, 0.5, 0.0, 2 * math.pi, 56)]),
    "R": (0.70, [[(0.0, 1.0), (0.0, 0.0), (0.40, 0.0)]
                 + _ellipse(0.40, 0.26, 0.27, 0.26, -math.pi / 2, math.pi / 2, 20)
                 + [(0.0, 0.52)],
                 [(0.33, 0.52), (0.70, 1.0)]]),
    "V": (0.80, [[(0.0, 0.0), (0.40, 1.0), (0.80, 0.0)]]),
    "A": (0.82, [[(0.0, 1.0), (0.41, 0.0), (0.82, 1.0)], [(0.15, 0.66), (0.67, 0.66)]]),
    "N": (0.74, [[(0.0, 1.0), (0.0, 0.0), (0.74, 1.0), (0.74, 0.0)]]),
    "E": (0.62, [[(0.62, 0.0), (0.0, 0.0), (0.0, 1.0), (0.62, 1.0)], [(0.0, 0.5), (0.52, 0.5)]]),
}


def layout_text(text, left, top, cap, half_width, tracking):
    """Returns (segments, width): pixel segments of the text's centre lines."""
    size = cap - 2.0 * half_width
    segs = []
    x = left
    for ch in text:
        adv, strokes = GLYPHS[ch]
        for line in strokes:
            for (ax, ay), (bx, by) in zip(line, line[1:]):
                segs.append((x + half_width + ax * size, top + half_width + ay * size,
                             x + half_width + bx * size, top + half_width + by * size))
        x += adv * size + 2.0 * half_width + tracking
    return segs, x - tracking - left


def text_width(text, cap, half_width, tracking):
    return layout_text(text, 0.0, 0.0, cap, half_width, tracking)[1]


def segments_distance(segs):
    def dist(px, py):
        best = 1e30
        for ax, ay, bx, by in segs:
            # Cheap box reject before the exact distance.
            if px < min(ax, bx) - 6 or px > max(ax, bx) + 6 or py < min(ay, by) - 6 or py > max(ay, by) + 6:
                continue
            d = d_segment(px, py, ax, ay, bx, by)
            if d < best:
                best = d
        return best
    return dist


# ---------------------------------------------------------------------------
# The emblem: gold-rimmed medallion with a compass star behind a ring.
# Used on the skin and, small, as the icon.

def star_points(cx, cy, long_r, short_r, inner_r):
    pts = []
    for i in range(16):
        a = -math.pi / 2 + i * math.pi / 8
        if i % 4 == 0:
            r = long_r
        elif i % 2 == 0:
            r = short_r
        else:
            r = inner_r
        pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return pts


def draw_emblem(cv, cx, cy, R, shadow=True, ticks=True, bold=False):
    """bold: heavier star and ring, for small sizes such as the icon."""
    k = R / 88.0
    ring_w = max(8.0 * k, 1.6)
    groove = max(3.0 * k, 0.8)
    disc_r = R - ring_w - groove

    if shadow:
        def shade(fx, fy):
            d = sqrt((fx - cx) ** 2 + (fy - cy - 5 * k) ** 2) - R
            if d > 24 * k:
                return None
            a = 0.62 if d < 0 else 0.62 * (1 - d / (24 * k)) ** 2
            return (0.0, 0.0, 0.0, a)
        m = 26 * k
        cv.paint(cx - R - m, cy - R - m, cx + R + m, cy + R + m + 6 * k, shade)

        def glow(fx, fy):
            d = sqrt((fx - cx) ** 2 + (fy - cy) ** 2) - R
            if d < 0 or d > 9 * k:
                return None
            return (230.0, 180.0, 90.0, 0.30 * (1 - d / (9 * k)) ** 2)
        cv.paint(cx - R - 10 * k, cy - R - 10 * k, cx + R + 10 * k, cy + R + 10 * k, glow)

    disc_in = (32.0, 62.0, 74.0)
    disc_out = (9.0, 12.0, 18.0)
    n_ticks = 24

    def body(fx, fy):
        dx, dy = fx - cx, fy - cy
        rr = sqrt(dx * dx + dy * dy)
        cov = ramp(R + 0.5 - rr)
        if cov <= 0.0:
            return None
        th = math.atan2(dy, dx)
        lit = math.cos(th - LIGHT_ANGLE)
        # Disc: deep teal centre fading to black, with a soft inner glow.
        t = clamp01(rr / disc_r)
        col = lerp3(disc_in, disc_out, t ** 1.4)
        if ticks and disc_r - 10 * k < rr < disc_r - 3 * k:
            seg = 2 * math.pi / n_ticks
            off = abs(((th + seg / 2) % seg) - seg / 2) * rr
            major = int(round(((th + math.pi) % (2 * math.pi)) / seg)) % 6 == 0
            half = (1.2 if major else 0.6) * max(k, 0.5)
            reach = disc_r - (10 if major else 7) * k
            tc = ramp(half + 0.5 - off) * ramp(rr - reach + 0.5)
            if tc > 0:
                col = lerp3(col, scale3(gold(0.55 + 0.3 * lit), 0.8), tc * 0.85)
        # Groove then bevelled ring.
        col = lerp3(col, (14.0, 11.0, 8.0), ramp(rr - disc_r + 0.5))
        rc = ramp(rr - (R - ring_w) + 0.5)
        if rc > 0:
            u = (rr - (R - ring_w)) / ring_w
            bevel = (u - 0.5) * 2.0 * lit * 0.45
            ring = scale3(gold(0.5 + 0.4 * lit), 0.92 + bevel)
            col = lerp3(col, ring, rc)
        return (col[0], col[1], col[2], cov)
    cv.paint(cx - R - 1, cy - R - 1, cx + R + 1, cy + R + 1, body)

    # Compass star, faceted: the light side of each arm brighter.
    if bold:
        # Four arms only: the diagonals would blur together at icon size.
        pts = star_points(cx, cy, disc_r - 1.0, 0.2 * disc_r, 0.2 * disc_r)
    else:
        pts = star_points(cx, cy, disc_r - 4 * k, 0.52 * disc_r, 0.14 * disc_r)

    def star(fx, fy):
        d = sd_poly(fx, fy, pts)
        cov = ramp(0.5 - d)
        if cov <= 0.0:
            return None
        th = math.atan2(fy - cy, fx - cx)
        step = math.pi / 4
        arm = round(th / step) * step
        side = 1.0 if (th - arm) > 0 else -1.0
        main = int(round(th / step)) % 2 == 0
        lit = math.cos(arm - LIGHT_ANGLE)
        s = 0.62 + 0.22 * side * (1 if lit >= 0 else -1) + 0.12 * lit
        col = scale3(gold(clamp01(s)), 1.0 if main else 0.8)
        return (col[0], col[1], col[2], cov)
    sr = disc_r
    cv.paint(cx - sr, cy - sr, cx + sr, cy + sr, star)

    # The "O": a dark outline, then a bevelled gold ring.
    ring_r = 0.52 * disc_r
    half = max(6.5 * k, 2.4 if bold else 1.5)

    def outline(fx, fy):
        d = abs(sqrt((fx - cx) ** 2 + (fy - cy) ** 2) - ring_r) - half - max(2.5 * k, 0.7)
        cov = ramp(0.5 - d)
        return None if cov <= 0 else (8.0, 10.0, 14.0, cov * 0.85)
    cv.paint(cx - sr, cy - sr, cx + sr, cy + sr, outline)

    def o_ring(fx, fy):
        dx, dy = fx - cx, fy - cy
        rr = sqrt(dx * dx + dy * dy)
        d = abs(rr - ring_r) - half
        cov = ramp(0.5 - d)
        if cov <= 0:
            return None
        lit = math.cos(math.atan2(dy, dx) - LIGHT_ANGLE)
        u = (rr - ring_r) / half
        col = scale3(gold(clamp01(0.55 + 0.35 * lit * u)), 1.0 + 0.18 * lit * u)
        return (col[0], col[1], col[2], cov)
    cv.paint(cx - sr, cy - sr, cx + sr, cy + sr, o_ring)

    # A teal gem in the middle with a highlight.
    gem_r = max(8.0 * k, 3.4 if bold else 2.2)

    def gem(fx, fy):
        dx, dy = fx - cx, fy - cy
        rr = sqrt(dx * dx + dy * dy)
        cov = ramp(gem_r + 0.5 - rr)
        if cov <= 0:
            return None
        hx, hy = dx + gem_r * 0.35, dy + gem_r * 0.35
        hl = math.exp(-(hx * hx + hy * hy) / (gem_r * gem_r * 0.18))
        col = lerp3((40.0, 150.0, 170.0), (12.0, 52.0, 66.0), clamp01(rr / gem_r))
        col = lerp3(col, (225.0, 250.0, 250.0), hl * 0.8)
        edge = ramp(rr - gem_r + 1.6)
        col = lerp3(col, gold(0.7), edge)
        return (col[0], col[1], col[2], cov)
    cv.paint(cx - gem_r - 1, cy - gem_r - 1, cx + gem_r + 1, cy + gem_r + 1, gem)


# ---------------------------------------------------------------------------
# The skin.

SKIN_W, SKIN_H = 1257, 877

# Main panel (pixel box) and its corner radius.
PANEL = (240, 182, 1100, 800)
PANEL_R = 24.0
HEADER_BOTTOM = 238
# The browser control's rectangle and the frame around it.
BROWSER = (363, 308, 1021, 734)
FRAME = (349, 294, 1035, 748)
# Title plaque and medallion.
PLAQUE_CY = 187
PLAQUE = [(526, PLAQUE_CY), (556, 154), (828, 154), (858, PLAQUE_CY), (828, 220), (556, 220)]
MEDAL = (292, 206, 88)
# The close button's image hangs below the header; cords lead down to it.
CLOSE_CORDS_X = (1030, 1064)
CLOSE_CORDS_Y = (HEADER_BOTTOM, 259)


def draw_panel(cv):
    """Shadow, glow, body and rim of the main panel in one pass."""
    x0, y0, x1, y1 = PANEL
    cx, cy = (x0 + x1) / 2.0, (y0 + y1) / 2.0
    hx, hy = (x1 - x0) / 2.0, (y1 - y0) / 2.0
    r = PANEL_R
    SH_OFF = 7.0
    SH_REACH = 34.0
    GLOW = 10.0
    RIM = 4.0

    top = (27.0, 31.0, 42.0)
    bottom = (9.0, 11.0, 15.0)
    head_top = (17.0, 19.0, 26.0)
    head_bottom = (11.0, 12.0, 17.0)
    row_col = []
    for y in range(SKIN_H * K):
        fy = (y + 0.5) / K
        if fy < HEADER_BOTTOM:
            t = clamp01((fy - y0) / (HEADER_BOTTOM - y0))
            row_col.append(lerp3(head_top, head_bottom, t))
        else:
            t = clamp01((fy - HEADER_BOTTOM) / (y1 - HEADER_BOTTOM))
            t = t * t * (3 - 2 * t)
            row_col.append(lerp3(top, bottom, t))
    # A warm light behind the browser frame, separable so it is two lookups.
    lx = [math.exp(-(((x + 0.5) / K - 692.0) / 420.0) ** 2) for x in range(SKIN_W * K)]
    ly = [math.exp(-(((y + 0.5) / K - 300.0) / 300.0) ** 2) if (y + 0.5) / K >= HEADER_BOTTOM else 0.0
          for y in range(SKIN_H * K)]
    warm = (24.0, 17.0, 8.0)

    p = cv.p
    W = cv.w
    noise = NOISE
    bx0 = int(x0 - SH_REACH) * K
    bx1 = int(x1 + SH_REACH) * K
    by0 = int(y0 - SH_REACH) * K
    by1 = min(SKIN_H, int(y1 + SH_REACH + SH_OFF + 1)) * K
    for y in range(by0, by1):
        fy = (y + 0.5) / K
        qy = abs(fy - cy) - hy + r
        qys = abs(fy - SH_OFF - cy) - hy + r
        rc = row_col[y]
        wy = ly[y]
        # Grain and hatching in units: the 2x art has the same texture, not a finer one.
        nrow = ((y // K) & 63) * 64
        base = 4 * y * W
        for x in range(bx0, bx1):
            fx = (x + 0.5) / K
            qx = abs(fx - cx) - hx + r
            if qx > 0.0 and qy > 0.0:
                d = sqrt(qx * qx + qy * qy) - r
            else:
                d = (qx if qx > qy else qy) - r
            if d > SH_REACH:
                continue
            i = base + 4 * x
            if d < -60.0:
                # Deep inside: plain body colour.
                n = noise[nrow + ((x // K) & 63)] * 2.2 + (1.6 if ((x - y) // K) % 7 == 0 else 0.0)
                wv = lx[x] * wy
                p[i] = rc[0] + warm[0] * wv + n
                p[i + 1] = rc[1] + warm[1] * wv + n
                p[i + 2] = rc[2] + warm[2] * wv + n
                p[i + 3] = 1.0
                continue
            # Near the edge: compose shadow, glow and body.
            pr = pg = pb = pa = 0.0
            if d > -1.0:
                if qx > 0.0 and qys > 0.0:
                    ds = sqrt(qx * qx + qys * qys) - r
                else:
                    ds = (qx if qx > qys else qys) - r
                if ds < SH_REACH:
                    pa = 0.58 if ds < 0 else 0.58 * (1.0 - ds / SH_REACH) ** 2
                if 0.0 < d < GLOW:
                    ga = 0.32 * (1.0 - d / GLOW) ** 2
                    k = 1.0 - ga
                    pr = 232.0 * ga + pr * k
                    pg = 182.0 * ga + pg * k
                    pb = 92.0 * ga + pb * k
                    pa = ga + pa * k
            cov = ramp(0.5 - d)
            if cov > 0.0:
                # Body, darkened towards the rim for depth.
                n = noise[nrow + ((x // K) & 63)] * 2.2 + (1.6 if ((x - y) // K) % 7 == 0 else 0.0)
                wv = lx[x] * wy
                sh = 1.0 - 0.42 * (1.0 - (-d) / 60.0) ** 2
                col = ((rc[0] + warm[0] * wv) * sh + n,
                       (rc[1] + warm[1] * wv) * sh + n,
                       (rc[2] + warm[2] * wv) * sh + n)
                # Thin inner gold line.
                lc = ramp(1.0 - abs(d + 8.0))
                if lc > 0.0:
                    col = lerp3(col, scale3(gold(0.45), 0.85), lc * 0.55)
                # Dark gap between rim and inner line.
                gc = ramp(d + RIM + 2.5) * ramp(-(d + RIM) + 0.5 + 2.0)
                if gc > 0.0:
                    col = lerp3(col, (6.0, 6.0, 8.0), gc * 0.8)
                # Bevelled gold rim with a slow sheen along the edge.
                rcv = ramp(d + RIM + 0.5)
                if rcv > 0.0:
                    s = 0.5 + 0.5 * math.sin((fx * 0.55 + fy) * 0.0125 + 0.6)
                    u = clamp01(-d / RIM)
                    rim = scale3(gold(0.25 + 0.6 * s), 1.12 - 0.42 * u)
                    col = lerp3(col, rim, rcv)
                k = 1.0 - cov
                pr = col[0] * cov + pr * k
                pg = col[1] * cov + pg * k
                pb = col[2] * cov + pb * k
                pa = cov + pa * k
            if pa > 0.0:
                p[i] = pr
                p[i + 1] = pg
                p[i + 2] = pb
                p[i + 3] = pa


def gold_line_h(cv, xa, xb, y, half, alpha, fade=60.0, s=0.6):
    """Horizontal gold line whose ends fade out."""
    def sh(fx, fy):
        c = ramp(half + 0.5 - abs(fy - y))
        if c <= 0:
            return None
        f = clamp01((fx - xa) / fade) * clamp01((xb - fx) / fade)
        col = gold(s)
        return (col[0], col[1], col[2], c * f * alpha)
    cv.paint(xa, y - half - 1, xb, y + half + 1, sh)


def gold_line_v(cv, x, ya, yb, half, alpha, fade=40.0, s=0.55):
    def sh(fx, fy):
        c = ramp(half + 0.5 - abs(fx - x))
        if c <= 0:
            return None
        f = clamp01((fy - ya) / fade) * clamp01((yb - fy) / fade)
        col = gold(s)
        return (col[0], col[1], col[2], c * f * alpha)
    cv.paint(x - half - 1, ya, x + half + 1, yb, sh)


def gold_diamond(cv, cx, cy, a, b, glow=True):
    if glow:
        def gl(fx, fy):
            d = sd_diamond(fx, fy, cx, cy, a, b)
            if d < 0 or d > 7:
                return None
            return (235.0, 190.0, 100.0, 0.28 * (1 - d / 7) ** 2)
        cv.paint(cx - a - 8, cy - b - 8, cx + a + 8, cy + b + 8, gl)

    def sh(fx, fy):
        d = sd_diamond(fx, fy, cx, cy, a, b)
        cov = ramp(0.5 - d)
        if cov <= 0:
            return None
        # Four facets, lit from the upper left.
        left = fx < cx
        up = fy < cy
        s = 0.85 if (left and up) else (0.35 if (not left and not up) else 0.6)
        col = gold(s)
        return (col[0], col[1], col[2], cov)
    cv.paint(cx - a - 1, cy - b - 1, cx + a + 1, cy + b + 1, sh)


def gold_stroke(cv, pts, half, alpha, s=0.6):
    segs = [(a[0], a[1], b[0], b[1]) for a, b in zip(pts, pts[1:])]
    xs = [q[0] for q in pts]
    ys = [q[1] for q in pts]

    def sh(fx, fy):
        d = min(d_segment(fx, fy, *sg) for sg in segs) - half
        cov = ramp(0.5 - d)
        if cov <= 0:
            return None
        col = gold(s)
        return (col[0], col[1], col[2], cov * alpha)
    cv.paint(min(xs) - half - 1, min(ys) - half - 1, max(xs) + half + 1, max(ys) + half + 1, sh)


def draw_header(cv):
    x0, y0, x1, y1 = PANEL
    # Bottom edge of the header: a dark groove above a gold line.
    def groove(fx, fy):
        c = ramp(1.5 - abs(fy - (HEADER_BOTTOM - 3.5)))
        return None if c <= 0 else (0.0, 0.0, 0.0, 0.55 * c)
    cv.paint(x0 + 6, HEADER_BOTTOM - 6, x1 - 6, HEADER_BOTTOM - 1, groove)
    gold_line_h(cv, x0 + 8, x1 - 8, HEADER_BOTTOM - 1.0, 1.1, 0.95, fade=90.0, s=0.65)

    # Rivets along the header.
    for rx in (420, 470, 914, 964):
        def rivet(fx, fy, rx=rx):
            dx, dy = fx - rx, fy - 210.0
            rr = sqrt(dx * dx + dy * dy)
            cov = ramp(2.8 + 0.5 - rr)
            if cov <= 0:
                return None
            col = gold(clamp01(0.7 - 0.25 * (dx + dy) / 2.8))
            return (col[0], col[1], col[2], cov * 0.9)
        cv.paint(rx - 4, 206, rx + 4, 214, rivet)

    # Cords from which the close tag hangs.
    for cx in CLOSE_CORDS_X:
        gold_line_v(cv, cx, CLOSE_CORDS_Y[0], CLOSE_CORDS_Y[1], 0.9, 0.95, fade=1.0, s=0.45)


def draw_plaque(cv):
    xs = [q[0] for q in PLAQUE]
    ys = [q[1] for q in PLAQUE]
    bx0, by0, bx1, by1 = min(xs), min(ys), max(xs), max(ys)
    shadow_pts = [(q[0], q[1] + 5) for q in PLAQUE]

    def shadow(fx, fy):
        d = sd_poly(fx, fy, shadow_pts)
        if d > 16:
            return None
        return (0.0, 0.0, 0.0, 0.6 if d < 0 else 0.6 * (1 - d / 16) ** 2)
    cv.paint(bx0 - 17, by0 - 12, bx1 + 17, by1 + 23, shadow)

    def glow(fx, fy):
        d = sd_poly(fx, fy, PLAQUE)
        if d <= 0 or d > 9:
            return None
        return (232.0, 182.0, 92.0, 0.30 * (1 - d / 9) ** 2)
    cv.paint(bx0 - 10, by0 - 10, bx1 + 10, by1 + 10, glow)

    def body(fx, fy):
        d = sd_poly(fx, fy, PLAQUE)
        cov = ramp(0.5 - d)
        if cov <= 0:
            return None
        t = clamp01((fy - by0) / (by1 - by0))
        col = lerp3((38.0, 41.0, 53.0), (12.0, 13.0, 18.0), t)
        sh = 1.0 - 0.35 * clamp01(1.0 - (-d) / 14.0)
        col = scale3(col, sh)
        lc = ramp(1.0 - abs(d + 6.5))
        if lc > 0:
            col = lerp3(col, gold(0.45), lc * 0.5)
        rcv = ramp(d + 3.0 + 0.5)
        if rcv > 0:
            s = 0.5 + 0.5 * math.sin((fx * 0.55 + fy) * 0.02 + 1.3)
            u = clamp01(-d / 3.0)
            col = lerp3(col, scale3(gold(0.3 + 0.6 * s), 1.12 - 0.4 * u), rcv)
        return (col[0], col[1], col[2], cov)
    cv.paint(bx0 - 1, by0 - 1, bx1 + 1, by1 + 1, body)

    # Title.
    cap, half, track = 27.0, 2.1, 12.0
    tw = text_width("ORVANE", cap, half, track)
    left = 692.0 - tw / 2.0
    top = PLAQUE_CY - cap / 2.0
    segs, _ = layout_text("ORVANE", left, top, cap, half, track)
    dist = segments_distance(segs)

    def tshadow(fx, fy):
        d = dist(fx - 1.0, fy - 2.0) - half
        if d > 3.0:
            return None
        return (0.0, 0.0, 0.0, 0.75 * clamp01(1.0 - d / 3.0))
    cv.paint(left - 6, top - 6, left + tw + 8, top + cap + 9, tshadow)

    def letters(fx, fy):
        d = dist(fx, fy) - half
        cov = ramp(0.5 - d)
        if cov <= 0:
            return None
        t = clamp01((fy - top) / cap)
        col = lerp3((255.0, 238.0, 188.0), (182.0, 132.0, 62.0), t)
        # A bright band just above the middle, as on polished metal.
        col = lerp3(col, (255.0, 248.0, 220.0), 0.5 * math.exp(-((t - 0.38) / 0.1) ** 2))
        return (col[0], col[1], col[2], cov)
    cv.paint(left - 4, top - 4, left + tw + 4, top + cap + 4, letters)

    # Ornaments either side of the title.
    for sx in (-1, 1):
        ex = 692.0 + sx * (tw / 2.0 + 22.0)
        gold_diamond(cv, ex, PLAQUE_CY, 5.0, 6.5, glow=False)
        tip = 692.0 + sx * (tw / 2.0 + 104.0)
        a, b = (ex + sx * 9.0, tip) if sx > 0 else (tip, ex + sx * 9.0)
        gold_line_h(cv, a, b, PLAQUE_CY, 0.6, 0.8, fade=30.0, s=0.55)


def draw_browser_frame(cv):
    fx0, fy0, fx1, fy1 = FRAME
    cx, cy = (fx0 + fx1) / 2.0, (fy0 + fy1) / 2.0
    hx, hy = (fx1 - fx0) / 2.0, (fy1 - fy0) / 2.0
    R = 7.0
    bx0, by0, bx1, by1 = BROWSER
    icx, icy = (bx0 + bx1) / 2.0, (by0 + by1) / 2.0
    ihx, ihy = (bx1 - bx0) / 2.0, (by1 - by0) / 2.0
    GL = 22.0
    hole = (bx0 + 4, by0 + 4, bx1 - 4, by1 - 4)

    def glow(px, py):
        d = sd_rrect(px, py, cx, cy, hx, hy, R)
        if d <= 0 or d > GL:
            return None
        return (236.0, 186.0, 96.0, 0.20 * (1 - d / GL) ** 2)
    cv.paint(fx0 - GL, fy0 - GL, fx1 + GL, fy1 + GL,
             glow, hole=(fx0 + 1, fy0 + 1, fx1 - 1, fy1 - 1))

    def frame(px, py):
        d = sd_rrect(px, py, cx, cy, hx, hy, R)
        cov = ramp(0.5 - d)
        if cov <= 0:
            return None
        di = sd_rrect(px, py, icx, icy, ihx, ihy, 0.0)
        if di < -0.5:
            return (7.0, 8.0, 11.0, cov)
        t = clamp01((py - fy0) / (fy1 - fy0))
        col = lerp3((46.0, 48.0, 58.0), (20.0, 21.0, 27.0), t)
        # Outer gold edge, bevelled.
        ec = ramp(d + 2.0 + 0.5)
        if ec > 0:
            s = 0.5 + 0.5 * math.sin((px * 0.55 + py) * 0.0125 + 0.6)
            col = lerp3(col, scale3(gold(0.3 + 0.6 * s), 1.1 - 0.3 * clamp01(-d / 2.0)), ec)
        # Inner gold bead two pixels outside the browser, then a shadow into it.
        bc = ramp(0.9 + 0.5 - abs(di - 4.0))
        if bc > 0:
            col = lerp3(col, gold(0.55), bc * 0.8)
        sc = ramp(2.5 - di)
        if sc > 0:
            col = lerp3(col, (0.0, 0.0, 0.0), sc * 0.7)
        ic = ramp(0.5 - di)
        col = lerp3(col, (7.0, 8.0, 11.0), ic)
        return (col[0], col[1], col[2], cov)
    cv.paint(fx0, fy0, fx1, fy1, frame, hole=hole)
    # The browser's own area: opaque near-black.
    cv.fill_rect(hole[0], hole[1], hole[2], hole[3], (7, 8, 11))


def draw_ornaments(cv):
    x0, y0, x1, y1 = PANEL
    mid_y = (BROWSER[1] + BROWSER[3]) / 2.0
    # Left column under the medallion.
    lx = (x0 + FRAME[0]) / 2.0
    gold_line_v(cv, lx, 318, 730, 0.7, 0.55)
    gold_diamond(cv, lx, mid_y, 7.0, 12.0)
    gold_diamond(cv, lx, 400, 3.5, 5.5, glow=False)
    gold_diamond(cv, lx, 642, 3.5, 5.5, glow=False)
    # Right column, below the close tag.
    rx = (FRAME[2] + x1) / 2.0
    gold_line_v(cv, rx, 356, 730, 0.7, 0.55)
    gold_diamond(cv, rx, mid_y, 5.0, 9.0)
    # Footer.
    fy = (FRAME[3] + y1) / 2.0 - 1
    gold_line_h(cv, 420, 964, fy, 0.7, 0.6, fade=120.0)
    gold_diamond(cv, 692, fy, 9.0, 5.5)
    for dx in (-132, 132):
        gold_diamond(cv, 692 + dx, fy, 3.0, 3.0, glow=False)
    # Corner brackets.
    L = 26.0
    m = 14.0
    for (cx, cy, sx, sy) in ((x0 + m, y1 - m, 1, -1), (x1 - m, y1 - m, -1, -1),
                             (x1 - m, y0 + m, -1, 1)):
        gold_stroke(cv, [(cx, cy + sy * L), (cx, cy), (cx + sx * L, cy)], 1.0, 0.85)


def draw_skin():
    cv = Canvas(SKIN_W, SKIN_H)
    draw_panel(cv)
    draw_header(cv)
    draw_browser_frame(cv)
    draw_ornaments(cv)
    draw_plaque(cv)
    draw_emblem(cv, *MEDAL)
    return cv


# ---------------------------------------------------------------------------
# Hanging-tag buttons.

def draw_tag(w, h, body_pts, rod, mark, base_top, base_bottom, hot):
    cv = Canvas(w, h)
    xs = [q[0] for q in body_pts]
    ys = [q[1] for q in body_pts]
    bx0, by0, bx1, by1 = min(xs), min(ys), max(xs), max(ys)
    (rx0, ry), (rx1, _), rh = rod
    bright = 1.28 if hot else 1.0

    def dist_all(fx, fy):
        d = sd_poly(fx, fy, body_pts)
        dr = d_segment(fx, fy, rx0, ry, rx1, ry) - rh
        return d if d < dr else dr

    # Soft drop shadow, and for the hot image a warm glow.
    def shadow(fx, fy):
        d = dist_all(fx - 1.0, fy - 2.0)
        if d > 3.5:
            return None
        return (0.0, 0.0, 0.0, 0.55 if d < 0 else 0.55 * (1 - d / 3.5) ** 2)
    cv.paint(0, 0, w, h, shadow)
    if hot:
        def glow(fx, fy):
            d = dist_all(fx, fy)
            if d <= 0 or d > 4.0:
                return None
            return (255.0, 210.0, 120.0, 0.5 * (1 - d / 4.0) ** 2)
        cv.paint(0, 0, w, h, glow)

    def body(fx, fy):
        d = sd_poly(fx, fy, body_pts)
        cov = ramp(0.5 - d)
        if cov <= 0:
            return None
        t = clamp01((fy - by0) / (by1 - by0))
        col = scale3(lerp3(base_top, base_bottom, t), bright)
        # Cloth-like sheen down the left side, shade towards the right.
        u = (fx - bx0) / (bx1 - bx0)
        col = scale3(col, 1.0 + 0.28 * math.exp(-((u - 0.3) / 0.18) ** 2) - 0.2 * u)
        lc = ramp(0.6 + 0.5 - abs(d + 4.3))
        if lc > 0:
            col = lerp3(col, scale3(gold(0.5), bright), lc * 0.6)
        rcv = ramp(d + 2.0 + 0.5)
        if rcv > 0:
            s = clamp01(0.75 - 0.45 * (fx - bx0) / (bx1 - bx0) + 0.1 * (hot))
            col = lerp3(col, scale3(gold(s), min(1.25, bright)), rcv)
        return (min(col[0], 255.0), min(col[1], 255.0), min(col[2], 255.0), cov)
    cv.paint(bx0 - 1, by0 - 1, bx1 + 1, by1 + 1, body)

    # The rod the tag hangs from: a gold cylinder with knobs at the ends.
    def rodsh(fx, fy):
        d = d_segment(fx, fy, rx0, ry, rx1, ry) - rh
        for kx in (rx0, rx1):
            dk = sqrt((fx - kx) ** 2 + (fy - ry) ** 2) - (rh + 0.9)
            if dk < d:
                d = dk
        cov = ramp(0.5 - d)
        if cov <= 0:
            return None
        v = clamp01((fy - (ry - rh - 1)) / (2 * rh + 2))
        s = 0.95 - 0.8 * abs(v - 0.32) / 0.68
        col = scale3(gold(clamp01(s)), 1.12 if hot else 1.0)
        return (min(col[0], 255.0), min(col[1], 255.0), min(col[2], 255.0), cov)
    cv.paint(rx0 - rh - 2, ry - rh - 2, rx1 + rh + 2, ry + rh + 2, rodsh)

    # The mark (a cross or a dash), embossed.
    segs, half = mark
    mx0 = min(min(s[0], s[2]) for s in segs) - half - 2
    mx1 = max(max(s[0], s[2]) for s in segs) + half + 3
    my0 = min(min(s[1], s[3]) for s in segs) - half - 2
    my1 = max(max(s[1], s[3]) for s in segs) + half + 3

    def md(fx, fy):
        return min(d_segment(fx, fy, *s) for s in segs) - half

    def mshadow(fx, fy):
        d = md(fx - 0.8, fy - 1.2)
        if d > 1.5:
            return None
        return (20.0, 4.0, 4.0, 0.7 * clamp01(1.0 - d / 1.5))
    cv.paint(mx0, my0, mx1, my1, mshadow)
    top_c = (255.0, 250.0, 226.0) if hot else (250.0, 230.0, 178.0)
    bot_c = (240.0, 196.0, 120.0) if hot else (206.0, 160.0, 88.0)

    def mfill(fx, fy):
        d = md(fx, fy)
        cov = ramp(0.5 - d)
        if cov <= 0:
            return None
        col = lerp3(top_c, bot_c, clamp01((fy - my0) / (my1 - my0)))
        return (col[0], col[1], col[2], cov)
    cv.paint(mx0, my0, mx1, my1, mfill)
    return cv


CRIMSON = ((132.0, 26.0, 30.0), (70.0, 11.0, 16.0))
TEAL = ((26.0, 84.0, 98.0), (10.0, 38.0, 48.0))


def draw_close(hot):
    w, h = 52, 80
    body = [(8.0, 5.0), (44.0, 5.0), (44.0, 61.0), (26.0, 76.5), (8.0, 61.0)]
    rod = ((5.0, 5.5), (47.0, 5.5), 2.6)
    c, a = (26.0, 35.0), 8.0
    cross = ([(c[0] - a, c[1] - a, c[0] + a, c[1] + a), (c[0] + a, c[1] - a, c[0] - a, c[1] + a)], 2.5)
    return draw_tag(w, h, body, rod, cross, CRIMSON[0], CRIMSON[1], hot)


def draw_min(hot):
    w, h = 57, 61
    body = [(10.0, 5.0), (47.0, 5.0), (47.0, 43.0), (28.5, 57.5), (10.0, 43.0)]
    rod = ((6.5, 5.5), (50.5, 5.5), 2.6)
    dash = ([(20.5, 28.0, 36.5, 28.0)], 2.6)
    return draw_tag(w, h, body, rod, dash, TEAL[0], TEAL[1], hot)


# ---------------------------------------------------------------------------
# Palette reduction for the button images (median cut, deterministic).

def quantize(rows, w, h, max_colors=256):
    """Returns (palette [(r,g,b,a)], index rows) with alpha-0 pixels mapped to entry 0."""
    pixels = []
    for row in rows:
        for x in range(w):
            pixels.append(tuple(row[4 * x:4 * x + 4]))
    counts = {}
    for px in pixels:
        if px[3] == 0:
            continue
        counts[px] = counts.get(px, 0) + 1
    colors = sorted(counts)
    limit = max_colors - 1
    if len(colors) <= limit:
        boxes = [[c] for c in colors]
    else:
        boxes = [colors]
        while len(boxes) < limit:
            # Split the box with the widest weighted channel spread.
            best = None
            for bi, box in enumerate(boxes):
                if len(box) < 2:
                    continue
                for ch in range(4):
                    vals = [c[ch] for c in box]
                    spread = (max(vals) - min(vals)) * (2 if ch == 3 else 1)
                    score = spread * sum(counts[c] for c in box) ** 0.5
                    if best is None or score > best[0]:
                        best = (score, bi, ch)
            if best is None or best[0] == 0:
                break
            _, bi, ch = best
            box = sorted(boxes[bi], key=lambda c: (c[ch], c))
            total = sum(counts[c] for c in box)
            acc = 0
            cut = 1
            for j, c in enumerate(box):
                acc += counts[c]
                if acc * 2 >= total:
                    cut = max(1, min(len(box) - 1, j + 1))
                    break
            boxes[bi:bi + 1] = [box[:cut], box[cut:]]
    entries = []
    lookup = {}
    for box in boxes:
        n = sum(counts[c] for c in box)
        avg = tuple(int(sum(c[ch] * counts[c] for c in box) / n + 0.5) for ch in range(4))
        entries.append((avg, box))
    # Translucent entries first so the transparency chunk stays short.
    entries.sort(key=lambda e: (e[0][3], e[0]))
    palette = [(0, 0, 0, 0)]
    for idx, (avg, box) in enumerate(entries, start=1):
        palette.append(avg)
        for c in box:
            lookup[c] = idx
    out = []
    for y in range(h):
        out.append(bytes(0 if pixels[y * w + x][3] == 0 else lookup[pixels[y * w + x]]
                         for x in range(w)))
    return palette, out


# ---------------------------------------------------------------------------
# PNG and ICO writers.

def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def xmp_packet(title):
    return ('<?xpacket begin="\ufeff" id="W5M0MpCehiHzreSzNTczkc9d"?>'
            '<x:xmpmeta xmlns:x="adobe:ns:meta/">'
            '<rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#">'
            '<rdf:Description rdf:about="" xmlns:xmp="http://ns.adobe.com/xap/1.0/"'
            ' xmlns:dc="http://purl.org/dc/elements/1.1/">'
            '<xmp:CreatorTool>%s</xmp:CreatorTool>'
            '<dc:title><rdf:Alt><rdf:li xml:lang="x-default">%s</rdf:li></rdf:Alt></dc:title>'
            '</rdf:Description></rdf:RDF></x:xmpmeta>'
            '<?xpacket end="r"?>' % (SOFTWARE, title))


def metadata_chunks(title):
    text = chunk(b"tEXt", b"Software\0" + SOFTWARE.encode("latin-1"))
    itxt = chunk(b"iTXt", b"XML:com.adobe.xmp\0" + b"\0\0" + b"\0" + b"\0"
                 + xmp_packet(title).encode("utf-8"))
    return text + itxt


def paeth(a, b, c):
    p = a + b - c
    pa = abs(p - a)
    pb = abs(p - b)
    pc = abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def filter_rows(rows, bpp, filters=(1, 2, 4)):
    """Picks per row, among filters, the one with the smallest sum of absolute values."""
    out = bytearray()
    prev = bytes(len(rows[0]))
    for row in rows:
        if not any(row):
            out.append(0)
            out += row
            prev = row
            continue
        n = len(row)
        left = bytes(bpp) + row[:n - bpp]
        upleft = bytes(bpp) + prev[:n - bpp]
        makers = {
            0: lambda: row,
            1: lambda: bytes([(a - b) & 255 for a, b in zip(row, left)]),
            2: lambda: bytes([(a - b) & 255 for a, b in zip(row, prev)]),
            4: lambda: bytes([(x - paeth(a, b, c)) & 255
                              for x, a, b, c in zip(row, left, prev, upleft)]),
        }
        best = None
        for ft in filters:
            data = makers[ft]()
            cost = sum(v if v < 128 else 256 - v for v in data)
            if best is None or cost < best[0]:
                best = (cost, ft, data)
        out.append(best[1])
        out += best[2]
        prev = row
    return bytes(out)


def write_png_rgba(path, w, h, rows, title, fast_decode=False):
    """fast_decode: for an image decoded at every start where its size makes decoding count
    (the 2x skin, four times the 1x pixels): no Paeth filter and zlib's fast level 3, whose
    output inflates about twice as fast as level 9's here. Through Wine's PNG decoder the 2x
    skin then decodes in 44 ms instead of 75, for a file about 28 % larger."""
    ihdr = struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0)
    if fast_decode:
        data = zlib.compress(filter_rows(rows, 4, (0, 1, 2)), 3)
    else:
        data = zlib.compress(filter_rows(rows, 4), 9)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + metadata_chunks(title)
                + chunk(b"IDAT", data) + chunk(b"IEND", b""))


def write_png_palette(path, w, h, palette, rows, title):
    ihdr = struct.pack(">IIBBBBB", w, h, 8, 3, 0, 0, 0)
    plte = b"".join(bytes(c[:3]) for c in palette)
    alphas = [c[3] for c in palette]
    n = len(alphas)
    while n and alphas[n - 1] == 255:
        n -= 1
    trns = bytes(alphas[:n])
    raw = b"".join(b"\0" + r for r in rows)
    data = zlib.compress(raw, 9)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + metadata_chunks(title)
                + chunk(b"PLTE", plte) + chunk(b"tRNS", trns)
                + chunk(b"IDAT", data) + chunk(b"IEND", b""))


def write_ico(path, cv):
    """One 48 x 48 image, 32 bits per pixel, as a DIB with an AND mask."""
    w = h = cv.w
    rows = cv.rgba_rows()
    xor = bytearray()
    mask = bytearray()
    mask_stride = ((w + 31) // 32) * 4
    for y in range(h - 1, -1, -1):  # bottom-up
        row = rows[y]
        bits = bytearray(mask_stride)
        for x in range(w):
            r, g, b, a = row[4 * x:4 * x + 4]
            xor += bytes((b, g, r, a))
            if a == 0:
                bits[x >> 3] |= 0x80 >> (x & 7)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = header + bytes(xor) + bytes(mask)
    icondir = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", w, h, 0, 0, 1, 32, len(image), 6 + 16)
    with open(path, "wb") as f:
        f.write(icondir + entry + image)
    return len(image)


# ---------------------------------------------------------------------------
# Initial data of the launcher companion's controls (resource 103, type 240).

WM_OCC_LOADFROMSTREAM = 0x0376
WM_MFC_INITCTRL = 0x037C

IDC_BROWSER = 1005
IDC_BTN_CLOSE = 1004
IDC_BTN_MINIMIZE = 1012

# {8856F961-340A-11D0-A96B-00C04FD705A2}
CLSID_WEBBROWSER = struct.pack("<IHH8B", 0x8856F961, 0x340A, 0x11D0,
                               0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2)


def browser_state():
    """Our browser wrapper's initial state record (160 bytes).

    0  GUID  class id of the control
    16 u32   format version (1)
    20 i32   extent width, HIMETRIC
    24 i32   extent height, HIMETRIC
    28 u32   flags: 1 visible, 2 silent, 4 register as browser,
             8 register as drop target, 16 offline
    32 u16[64] initial location, UTF-16, zero padded (empty: none)
    """
    flags = 0x1 | 0x8
    rec = CLSID_WEBBROWSER + struct.pack("<IiiI", 1, 1958, 1058, flags)
    rec += bytes(128)
    assert len(rec) == 160
    return rec


def button_props(full_text_tool, image_type):
    props = [
        ("MFCButton_Style", "6"),
        ("MFCButton_Autosize", "FALSE"),
        ("MFCButton_Tooltip", ""),
        ("MFCButton_FullTextTool", full_text_tool),
        ("MFCButton_CursorType", "12"),
        ("MFCButton_ImageType", image_type),
        ("MFCButton_ImageOnTop", "FALSE"),
        ("MFCButton_ImageOnRight", "FALSE"),
    ]
    return "".join("<%s>%s</%s>" % (k, v, k) for k, v in props).encode("ascii")


def dlginit_103():
    def record(ctrl, msg, data):
        return struct.pack("<HHI", ctrl, msg, len(data)) + data
    blob = (record(IDC_BROWSER, WM_OCC_LOADFROMSTREAM, browser_state())
            + record(IDC_BTN_CLOSE, WM_MFC_INITCTRL, button_props("FALSE", "10"))
            + record(IDC_BTN_MINIMIZE, WM_MFC_INITCTRL, button_props("TRUE", "8"))
            + struct.pack("<H", 0))
    return blob


# ---------------------------------------------------------------------------

def main():
    t0 = time.time()
    os.makedirs(ART, exist_ok=True)

    global K
    # 1x, then the same art at 2x for high-DPI screens (its own files; the 1x ones keep their bytes).
    for K, suffix, note in ((1, "", ""), (2, "_2x", " (2x)")):
        skin = draw_skin()
        write_png_rgba(os.path.join(ART, "skin%s.png" % suffix), skin.w, skin.h, skin.rgba_rows(),
                       "Orvane launcher skin" + note, fast_decode=K == 2)

        for name, maker, hot, title in (("close", draw_close, False, "Close"),
                                        ("close_hot", draw_close, True, "Close (hot)"),
                                        ("min", draw_min, False, "Minimise"),
                                        ("min_hot", draw_min, True, "Minimise (hot)")):
            cv = maker(hot)
            pal, idx = quantize(cv.rgba_rows(), cv.w, cv.h)
            write_png_palette(os.path.join(ART, name + suffix + ".png"), cv.w, cv.h, pal, idx, title + note)
    K = 1

    icon = Canvas(48, 48)
    draw_emblem(icon, 24.0, 24.0, 23.5, shadow=False, ticks=False, bold=True)
    write_ico(os.path.join(ART, "orvane.ico"), icon)

    with open(os.path.join(RES, "dlginit103.bin"), "wb") as f:
        f.write(dlginit_103())

    print("art written in %.1f s" % (time.time() - t0), file=sys.stderr)


if __name__ == "__main__":
    main()
