#!/usr/bin/env python3
"""Regenerates Snipora's artwork in this folder, byte for byte the same each run.

Shapes are drawn here from signed distance functions; only text goes through
ImageMagick (rasterised alone, as a raw coverage mask), so the encoders below
decide every byte of the files.  Nothing here reads the clock or the locale.

    python3 generate.py          # rewrite the files
    python3 generate.py --check  # fail if a file would change
"""

import math
import os
import shutil
import struct
import subprocess
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# Debian's fonts-wqy-microhei (CJK and Latin); the program's own texts use a
# similar plain sans, so the art reads as part of the same interface.
FONT = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"

PRODUCT = "Snipora"
TAGLINE = "长网址，一键变短"
FOOTER_PARTS = ("Snipora 1.0", "Morvik 作品", "点此关注")
MAIL_ADDRESS = "zhou.lan@snipora.invalid"

# One palette for everything: a deep blue running into teal, white marks,
# an amber accent for the star.
NAVY = (0x0F, 0x2C, 0x74)
SKY = (0x3D, 0x86, 0xF2)
BLUE = (0x1F, 0x5F, 0xD6)
TEAL = (0x12, 0xB3, 0xA3)
AQUA = (0x6C, 0xE8, 0xD8)
WHITE = (0xFF, 0xFF, 0xFF)
MIST = (0xDD, 0xEE, 0xFF)
INK = (0x06, 0x12, 0x2E)
LINK = (0x1A, 0x56, 0xC4)
AMBER_TOP = (0xFF, 0xD0, 0x4A)
AMBER_BOTTOM = (0xF5, 0x96, 0x0B)
AMBER_EDGE = (0xD2, 0x7A, 0x06)


def clamp01(v):
    return 0.0 if v < 0.0 else 1.0 if v > 1.0 else v


def lerp(a, b, t):
    return a + (b - a) * t


def mix(c0, c1, t):
    return tuple(lerp(a, b, t) for a, b in zip(c0, c1))


# ---------------------------------------------------------------- masks

class Mask:
    """Coverage values 0..1 over a rectangle placed at (x0, y0)."""

    def __init__(self, x0, y0, w, h, values=None):
        self.x0, self.y0, self.w, self.h = x0, y0, w, h
        self.v = values if values is not None else [0.0] * (w * h)

    def at(self, x, y):
        x -= self.x0
        y -= self.y0
        if 0 <= x < self.w and 0 <= y < self.h:
            return self.v[y * self.w + x]
        return 0.0

    def moved(self, dx, dy):
        return Mask(self.x0 + dx, self.y0 + dy, self.w, self.h, self.v)

    def ink_box(self, threshold=0.02):
        xs, ys = [], []
        for y in range(self.h):
            row = self.v[y * self.w:(y + 1) * self.w]
            for x, c in enumerate(row):
                if c > threshold:
                    xs.append(x)
                    ys.append(y)
        return (self.x0 + min(xs), self.y0 + min(ys),
                self.x0 + max(xs) + 1, self.y0 + max(ys) + 1)

    def blurred(self, radius, passes=3):
        """Near-Gaussian blur: three box passes each way, grown to fit."""
        pad = radius * passes
        w, h = self.w + 2 * pad, self.h + 2 * pad
        v = [0.0] * (w * h)
        for y in range(self.h):
            v[(y + pad) * w + pad:(y + pad) * w + pad + self.w] = self.v[y * self.w:(y + 1) * self.w]
        n = 2 * radius + 1
        for _ in range(passes):
            v = _box_rows(v, w, h, radius, n)
            v = _box_cols(v, w, h, radius, n)
        return Mask(self.x0 - pad, self.y0 - pad, w, h, v)


def _box_rows(v, w, h, r, n):
    out = [0.0] * (w * h)
    for y in range(h):
        base = y * w
        acc = 0.0
        for x in range(-r, r + 1):
            if 0 <= x < w:
                acc += v[base + x]
        for x in range(w):
            out[base + x] = acc / n
            xo, xi = x - r, x + r + 1
            if 0 <= xo < w:
                acc -= v[base + xo]
            if xi < w:
                acc += v[base + xi]
    return out


def _box_cols(v, w, h, r, n):
    out = [0.0] * (w * h)
    for x in range(w):
        acc = 0.0
        for y in range(-r, r + 1):
            if 0 <= y < h:
                acc += v[y * w + x]
        for y in range(h):
            out[y * w + x] = acc / n
            yo, yi = y - r, y + r + 1
            if 0 <= yo < h:
                acc -= v[yo * w + x]
            if yi < h:
                acc += v[yi * w + x]
    return out


def sdf_mask(sdf, box):
    """Coverage of the region where sdf < 0; sdf is in pixels, so a one-pixel
    ramp across the edge gives the anti-aliasing."""
    x0, y0, x1, y1 = (int(math.floor(box[0])) - 1, int(math.floor(box[1])) - 1,
                      int(math.ceil(box[2])) + 1, int(math.ceil(box[3])) + 1)
    w, h = x1 - x0, y1 - y0
    v = [0.0] * (w * h)
    i = 0
    for y in range(y0, y1):
        py = y + 0.5
        for x in range(x0, x1):
            v[i] = clamp01(0.5 - sdf(x + 0.5, py))
            i += 1
    return Mask(x0, y0, w, h, v)


def combine(a, b, op):
    x0, y0 = min(a.x0, b.x0), min(a.y0, b.y0)
    x1, y1 = max(a.x0 + a.w, b.x0 + b.w), max(a.y0 + a.h, b.y0 + b.h)
    m = Mask(x0, y0, x1 - x0, y1 - y0)
    i = 0
    for y in range(y0, y1):
        for x in range(x0, x1):
            m.v[i] = op(a.at(x, y), b.at(x, y))
            i += 1
    return m


def union(a, b):
    return combine(a, b, lambda p, q: 1.0 - (1.0 - p) * (1.0 - q))


# ---------------------------------------------------------------- shapes

def sd_round_rect(cx, cy, hw, hh, r):
    def f(x, y):
        qx = abs(x - cx) - hw + r
        qy = abs(y - cy) - hh + r
        outside = math.sqrt(max(qx, 0.0) ** 2 + max(qy, 0.0) ** 2)
        return outside + min(max(qx, qy), 0.0) - r
    return f


def sd_circle(cx, cy, r):
    return lambda x, y: math.sqrt((x - cx) ** 2 + (y - cy) ** 2) - r


def sd_segment(ax, ay, bx, by, r):
    dx, dy = bx - ax, by - ay
    dd = dx * dx + dy * dy

    def f(x, y):
        px, py = x - ax, y - ay
        t = clamp01((px * dx + py * dy) / dd) if dd else 0.0
        return math.sqrt((px - dx * t) ** 2 + (py - dy * t) ** 2) - r
    return f


def sd_stroke(sdf, width):
    half = width / 2.0
    return lambda x, y: abs(sdf(x, y)) - half


def polygon_mask(points, box, samples=8):
    """Supersampled coverage for shapes with sharp corners (the star)."""
    x0, y0, x1, y1 = box
    w, h = x1 - x0, y1 - y0
    n = len(points)
    v = [0.0] * (w * h)
    step = 1.0 / samples
    for y in range(h):
        for x in range(w):
            hits = 0
            for sy in range(samples):
                py = y0 + y + (sy + 0.5) * step
                for sx in range(samples):
                    px = x0 + x + (sx + 0.5) * step
                    inside = False
                    j = n - 1
                    for i in range(n):
                        xi, yi = points[i]
                        xj, yj = points[j]
                        if (yi > py) != (yj > py) and px < (xj - xi) * (py - yi) / (yj - yi) + xi:
                            inside = not inside
                        j = i
                    hits += inside
            v[y * w + x] = hits / (samples * samples)
    return Mask(x0, y0, w, h, v)


def star_points(cx, cy, r_out, r_in):
    pts = []
    for k in range(10):
        ang = math.radians(-90 + 36 * k)
        r = r_out if k % 2 == 0 else r_in
        pts.append((cx + r * math.cos(ang), cy + r * math.sin(ang)))
    return pts


# ---------------------------------------------------------------- canvas

class Canvas:
    """Premultiplied RGBA floats, composited with 'over'."""

    def __init__(self, w, h):
        self.w, self.h = w, h
        self.px = [0.0] * (w * h * 4)

    def fill(self, mask, paint, opacity=1.0):
        for my in range(mask.h):
            y = mask.y0 + my
            if not 0 <= y < self.h:
                continue
            for mx in range(mask.w):
                x = mask.x0 + mx
                if not 0 <= x < self.w:
                    continue
                a = mask.v[my * mask.w + mx] * opacity
                if a <= 0.0:
                    continue
                r, g, b = paint(x + 0.5, y + 0.5) if callable(paint) else paint
                i = (y * self.w + x) * 4
                k = 1.0 - a
                p = self.px
                p[i] = r / 255.0 * a + p[i] * k
                p[i + 1] = g / 255.0 * a + p[i + 1] * k
                p[i + 2] = b / 255.0 * a + p[i + 2] * k
                p[i + 3] = a + p[i + 3] * k

    def fill_all(self, paint):
        self.fill(Mask(0, 0, self.w, self.h, [1.0] * (self.w * self.h)), paint)

    def rgba8(self):
        """Straight alpha, 8 bits; fully transparent pixels are all zero."""
        out = bytearray(self.w * self.h * 4)
        p = self.px
        for i in range(0, len(p), 4):
            a = clamp01(p[i + 3])
            a8 = int(a * 255.0 + 0.5)
            if a8 == 0:
                continue
            for c in range(3):
                out[i + c] = int(clamp01(p[i + c] / a) * 255.0 + 0.5)
            out[i + 3] = a8
        return bytes(out)


def linear(x0, y0, x1, y1, stops):
    """Paint: a linear gradient through (t, colour) stops."""
    dx, dy = x1 - x0, y1 - y0
    dd = dx * dx + dy * dy

    def paint(x, y):
        t = clamp01(((x - x0) * dx + (y - y0) * dy) / dd)
        for (t0, c0), (t1, c1) in zip(stops, stops[1:]):
            if t <= t1:
                return mix(c0, c1, (t - t0) / (t1 - t0) if t1 > t0 else 0.0)
        return stops[-1][1]
    return paint


# ---------------------------------------------------------------- text

def find_magick():
    # ImageMagick 6 (Debian 12) is "convert"; 7 takes the same arguments as "magick"
    for name in ("convert", "magick"):
        path = shutil.which(name)
        if path:
            return [path]
    sys.exit("generate.py: ImageMagick (convert) is needed for the text")


MAGICK = None


def text_mask(text, size, stroke=0.0):
    """Coverage of text set at `size` pixels, positioned so that (0, 0) is the
    start of the baseline."""
    global MAGICK
    if MAGICK is None:
        MAGICK = find_magick()
        if not os.path.exists(FONT):
            sys.exit("generate.py: font missing: " + FONT + " (package fonts-wqy-microhei)")
    pad = int(size) + 8
    w = int(len(text) * size * 1.3) + 2 * pad
    h = int(size * 2) + 2 * pad
    base = pad + int(size * 1.2)
    cmd = MAGICK + ["-size", f"{w}x{h}", "xc:black", "-font", FONT,
                    "-pointsize", f"{size:g}", "-kerning", "0", "-fill", "white"]
    if stroke:
        cmd += ["-stroke", "white", "-strokewidth", f"{stroke:g}"]
    cmd += ["-annotate", f"+{pad}+{base}", text, "-depth", "8", "rgb:-"]
    env = dict(os.environ, LC_ALL="C.UTF-8", MAGICK_THREAD_LIMIT="1")
    raw = subprocess.run(cmd, check=True, stdout=subprocess.PIPE, env=env).stdout
    if len(raw) != w * h * 3:
        sys.exit("generate.py: unexpected output from ImageMagick")
    m = Mask(-pad, -base, w, h, [raw[i * 3] / 255.0 for i in range(w * h)])
    x0, y0, x1, y1 = m.ink_box(0.0)
    return crop(m, x0, y0, x1, y1)


def crop(m, x0, y0, x1, y1):
    w, h = x1 - x0, y1 - y0
    v = [m.at(x, y) for y in range(y0, y1) for x in range(x0, x1)]
    return Mask(x0, y0, w, h, v)


# ---------------------------------------------------------------- the mark

def link_glyph(cx, cy, s, detail=True):
    """Two interlocked chain links on the diagonal, in a square of side s
    centred on (cx, cy). Returns a coverage mask."""
    c = math.sqrt(0.5)             # the axis runs up and to the right, at 45 degrees
    n = -c
    if detail:
        stroke = s * 0.105
        r = s * 0.165              # half the height of one link, to the stroke's centre
        half = s * 0.20            # half the straight length of one link
        off = s * 0.155            # each link's centre from the glyph's centre
        gap = max(s * 0.05, 0.8)
    else:
        # tiny sizes: less overlap, so each link keeps a hole of its own
        stroke = 1.5
        r, half, off = s * 0.156, s * 0.125, s * 0.18
        gap = 0.0

    def link(sign, widen):
        ox, oy = cx + sign * off * c, cy + sign * off * n
        seg = sd_segment(ox - half * c, oy - half * n, ox + half * c, oy + half * n, r)
        ring = sd_stroke(seg, stroke + 2 * widen)
        reach = half + r + stroke
        return sdf_mask(ring, (ox - reach, oy - reach, ox + reach, oy + reach))

    a, b = link(-1, 0.0), link(1, 0.0)
    if not detail:
        return union(a, b)
    # Link a passes over b at one crossing and under it at the other: cut a
    # gap into the lower link on each side of the axis.
    halo_a, halo_b = link(-1, gap), link(1, gap)

    def woven(pa, pb, ha, hb, x, y):
        # side of the axis through the centre
        side = (x + 0.5 - cx) * (-n) + (y + 0.5 - cy) * c
        if side > 0:
            pb = pb * (1.0 - ha)
        else:
            pa = pa * (1.0 - hb)
        return 1.0 - (1.0 - pa) * (1.0 - pb)

    x0, y0 = min(a.x0, b.x0), min(a.y0, b.y0)
    x1, y1 = max(a.x0 + a.w, b.x0 + b.w), max(a.y0 + a.h, b.y0 + b.h)
    m = Mask(x0, y0, x1 - x0, y1 - y0)
    i = 0
    for y in range(y0, y1):
        for x in range(x0, x1):
            m.v[i] = woven(a.at(x, y), b.at(x, y), halo_a.at(x, y), halo_b.at(x, y), x, y)
            i += 1
    return m


def draw_tile(cv, x, y, s, shadow=0.0, detail=True, rim=True):
    """The product mark: a rounded tile, blue into teal, with the white link."""
    radius = s * 0.23
    cx, cy = x + s / 2.0, y + s / 2.0
    body = sdf_mask(sd_round_rect(cx, cy, s / 2.0, s / 2.0, radius), (x, y, x + s, y + s))
    if shadow:
        blur = max(1, int(round(s * 0.06)))
        cv.fill(body.moved(0, max(1, int(round(s * 0.04)))).blurred(blur), INK, shadow)
    cv.fill(body, linear(x, y, x + s, y + s, [(0.0, SKY), (0.45, BLUE), (1.0, TEAL)]))
    if rim:
        edge = sdf_mask(sd_stroke(sd_round_rect(cx, cy, s / 2.0 - 0.5, s / 2.0 - 0.5, radius - 0.5), 1.0),
                        (x, y, x + s, y + s))
        cv.fill(edge, WHITE, 0.22)
    if detail:
        cv.fill(link_glyph(cx, cy, s * 0.72, True), WHITE)
    else:
        cv.fill(link_glyph(cx, cy, s, False), WHITE)


# ---------------------------------------------------------------- encoders

def png_bytes(w, h, rgba):
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    stride = w * 4
    raw = bytearray()
    prev = bytes(stride)
    for y in range(h):
        row = rgba[y * stride:(y + 1) * stride]
        best = None
        for ftype in range(5):
            f = _png_filter(ftype, row, prev)
            score = sum(b if b < 128 else 256 - b for b in f)
            if best is None or score < best[0]:
                best = (score, ftype, f)
        raw.append(best[1])
        raw += best[2]
        prev = row
    ihdr = struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr)
            + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def _png_filter(ftype, row, prev):
    n = len(row)
    out = bytearray(n)
    for i in range(n):
        a = row[i - 4] if i >= 4 else 0
        b = prev[i]
        c = prev[i - 4] if i >= 4 else 0
        x = row[i]
        if ftype == 0:
            p = 0
        elif ftype == 1:
            p = a
        elif ftype == 2:
            p = b
        elif ftype == 3:
            p = (a + b) >> 1
        else:
            pa, pb, pc = abs(b - c), abs(a - c), abs(a + b - 2 * c)
            p = a if pa <= pb and pa <= pc else b if pb <= pc else c
        out[i] = (x - p) & 0xFF
    return out


def gif87a_bytes(w, h, palette, indices):
    bits = max(2, (len(palette) - 1).bit_length())
    table = bytearray()
    for k in range(1 << bits):
        table += bytes(palette[k] if k < len(palette) else (0, 0, 0))
    out = bytearray(b"GIF87a")
    out += struct.pack("<HHBBB", w, h, 0x80 | ((bits - 1) << 4) | (bits - 1), 0, 0)
    out += table
    out += b"," + struct.pack("<HHHHB", 0, 0, w, h, 0)
    out.append(bits)
    data = _lzw(indices, bits)
    for i in range(0, len(data), 255):
        block = data[i:i + 255]
        out.append(len(block))
        out += block
    out += b"\x00;"
    return bytes(out)


def _lzw(indices, min_bits):
    clear, end = 1 << min_bits, (1 << min_bits) + 1
    out = bytearray()
    acc = nacc = 0

    def emit(code, width):
        nonlocal acc, nacc
        acc |= code << nacc
        nacc += width
        while nacc >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            nacc -= 8

    def fresh():
        return {(i,): i for i in range(clear)}

    table, next_code, width = fresh(), end + 1, min_bits + 1
    emit(clear, width)
    prefix = ()
    for idx in indices:
        cand = prefix + (idx,)
        if cand in table:
            prefix = cand
            continue
        emit(table[prefix], width)
        if next_code < 4096:
            table[cand] = next_code
            next_code += 1
            if next_code > (1 << width) and width < 12:
                width += 1
        else:
            emit(clear, width)
            table, next_code, width = fresh(), end + 1, min_bits + 1
        prefix = (idx,)
    if prefix:
        emit(table[prefix], width)
    emit(end, width)
    if nacc:
        out.append(acc & 0xFF)
    return bytes(out)


def ico_bytes(images):
    """images: (size_w, size_h, rgba) each stored as a 32-bit DIB with an AND
    mask set exactly where alpha is 0, so loaders without alpha see the same
    outline and XOR nothing onto the background."""
    head = struct.pack("<HHH", 0, 1, len(images))
    entries, blobs = b"", b""
    offset = 6 + 16 * len(images)
    for w, h, rgba in images:
        xor = bytearray()
        mask_stride = ((w + 31) // 32) * 4
        andm = bytearray()
        for y in range(h - 1, -1, -1):
            row = rgba[y * w * 4:(y + 1) * w * 4]
            bits = bytearray(mask_stride)
            for x in range(w):
                r, g, b, a = row[x * 4:x * 4 + 4]
                xor += bytes((b, g, r, a))
                if a == 0:
                    bits[x >> 3] |= 0x80 >> (x & 7)
            andm += bits
        info = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, 32, 0,
                           len(xor) + len(andm), 0, 0, 0, 0)
        blob = info + bytes(xor) + bytes(andm)
        entries += struct.pack("<BBBBHHII", w & 0xFF, h & 0xFF, 0, 0, 1, 32, len(blob), offset)
        blobs += blob
        offset += len(blob)
    return head + entries + blobs


# ---------------------------------------------------------------- the pictures

def glow_text(cv, m, colour, halo_opacity, halo_radius):
    """Text that stays legible on glass of any tint: a soft dark halo under it."""
    halo = union(m, m.moved(0, 1)).blurred(halo_radius)
    cv.fill(halo, INK, halo_opacity)
    cv.fill(m, colour)


def place(m, x, baseline):
    """Moves a text mask so that its ink starts at x on the given baseline."""
    return m.moved(x - m.ink_box()[0], baseline)


def draw_trail(cv, x0, x1, y, scale=1.0, opacity=1.0):
    """The motif beside the name: a long dashed line that ends in a short
    arrow, a long address going in and a short one coming out."""
    pitch, dash, thick = 9 * scale, 3 * scale, 1.1 * scale
    arrow_len = 30 * scale
    x = x0
    while x + dash < x1 - arrow_len - 4 * scale:
        m = sdf_mask(sd_segment(x, y, x + dash, y, thick), (x - 2, y - 2, x + dash + 2, y + 2))
        cv.fill(m, WHITE, 0.38 * opacity)
        x += pitch
    tip = x1
    shaft = sdf_mask(sd_segment(tip - arrow_len, y, tip, y, 1.3 * scale), (tip - arrow_len - 2, y - 3, tip + 2, y + 3))
    barb = 5 * scale
    head = union(sdf_mask(sd_segment(tip, y, tip - barb, y - barb, 1.25 * scale), (tip - barb - 2, y - barb - 2, tip + 2, y + 1)),
                 sdf_mask(sd_segment(tip, y, tip - barb, y + barb, 1.25 * scale), (tip - barb - 2, y - 1, tip + 2, y + barb + 2)))
    cv.fill(union(shaft, head), WHITE, 0.92 * opacity)


def banner():
    # 400 x 118, shown from x = 36 in a 333-wide window: keep what matters
    # inside x = 44..345, where every frame width leaves it visible.
    w, h = 400, 118
    cv = Canvas(w, h)
    cv.fill_all(linear(0, 0, w, h * 1.6, [(0.0, NAVY), (0.55, BLUE), (1.0, TEAL)]))
    # large soft rings on the right, echoing the link's curves
    for cx, cy, r, width, op in ((360, 6, 74, 16, 0.07), (322, 130, 50, 10, 0.06), (398, 92, 26, 6, 0.08)):
        ring = sdf_mask(sd_stroke(sd_circle(cx, cy, r), width),
                        (cx - r - width, cy - r - width, cx + r + width, cy + r + width))
        cv.fill(ring, WHITE, op)
    left = 68
    draw_tile(cv, left, 22, 66, shadow=0.45)
    text_x = left + 66 + 18
    glow_text(cv, place(text_mask(PRODUCT, 40, stroke=0.9), text_x, 62), WHITE, 0.25, 2)
    cv.fill(place(text_mask(TAGLINE, 16), text_x + 1, 88), MIST, 0.95)
    draw_trail(cv, text_x + 2, 330, 101)
    return w, h, cv.rgba8()


def header():
    # 333 x 85 over glass; painted from x = -12 and scaled by 96/90, so only
    # about x = 12..310 and y = 0..82 show.
    w, h = 333, 85
    cv = Canvas(w, h)
    left = 30
    draw_tile(cv, left, 16, 50, shadow=0.55)
    text_x = left + 50 + 14
    glow_text(cv, place(text_mask(PRODUCT, 32, stroke=0.7), text_x, 45), WHITE, 0.55, 3)
    glow_text(cv, place(text_mask(TAGLINE, 14), text_x + 1, 66), WHITE, 0.7, 2)
    # the trail of the banner, its dark halo drawn first
    trail = Canvas(w, h)
    draw_trail(trail, 222, 296, 61, 0.85)
    shade = Mask(0, 0, w, h, [trail.px[i * 4 + 3] for i in range(w * h)]).blurred(2)
    cv.fill(shade, INK, 0.45)
    draw_trail(cv, 222, 296, 61, 0.85)
    return w, h, cv.rgba8()


def footer():
    # 333 x 22 over glass, scaled by 96/90 into a 318-wide panel: the visible
    # part is about x = 0..298; the line is centred there.
    w, h = 333, 22
    cv = Canvas(w, h)
    parts = [text_mask(t, 12) for t in FOOTER_PARTS]
    gap = 16
    widths = [m.ink_box()[2] - m.ink_box()[0] for m in parts]
    x = (298 - (sum(widths) + gap * (len(parts) - 1))) // 2
    base = 14
    for k, (m, mw) in enumerate(zip(parts, widths)):
        glow_text(cv, place(m, x, base), WHITE if k == 0 else MIST, 0.75, 1)
        x += mw
        if k < len(parts) - 1:
            glow_text(cv, sdf_mask(sd_circle(x + gap / 2.0, base - 4.0, 1.7), (0, 0, w, h)), AQUA, 0.75, 1)
            x += gap
    return w, h, cv.rgba8()


def mail_gif():
    # 165 x 22 on the About window's white: the address in link blue with a
    # thin underline, in 16 shades from white to the link colour.
    w, h = 165, 22
    levels = 16
    cov = [0.0] * (w * h)
    text = text_mask(MAIL_ADDRESS, 13)
    tx, _, tx1, _ = text.ink_box()
    tw = tx1 - tx
    if tw > w - 2:
        sys.exit("generate.py: the mail address does not fit its picture")
    placed = text.moved(1 - tx, 15)
    for y in range(h):
        for x in range(w):
            cov[y * w + x] = placed.at(x, y)
    for x in range(1, 1 + tw):
        cov[18 * w + x] = max(cov[18 * w + x], 0.55)
    palette = [tuple(int(lerp(255, c, k / (levels - 1)) + 0.5) for c in LINK) for k in range(levels)]
    indices = [int(clamp01(c) * (levels - 1) + 0.5) for c in cov]
    return w, h, palette, indices


def icon_image(s):
    cv = Canvas(s, s)
    if s >= 48:
        margin = s * 0.0625
        draw_tile(cv, margin, margin * 0.8, s - 2 * margin, shadow=0.35)
    else:
        # small sizes: the tile fills the square, the link drops its weave,
        # which would only blur at this size
        draw_tile(cv, 0, 0, s, detail=(s >= 32), rim=False)
    return cv.rgba8()


def star_icon():
    w, h = 16, 15
    cv = Canvas(w, h)
    # centred on a pixel centre so the top point is one sharp pixel
    outer = polygon_mask(star_points(7.5, 8.0, 7.8, 3.3), (0, 0, w, h))
    inner = polygon_mask(star_points(7.5, 8.1, 6.5, 2.75), (0, 0, w, h))
    cv.fill(outer, AMBER_EDGE)
    cv.fill(inner, linear(7.5, 2, 7.5, 13, [(0.0, AMBER_TOP), (1.0, AMBER_BOTTOM)]))
    return w, h, cv.rgba8()


def build():
    files = {}
    w, h, px = banner()
    files["banner.png"] = png_bytes(w, h, px)
    w, h, px = header()
    files["header.png"] = png_bytes(w, h, px)
    w, h, px = footer()
    files["footer.png"] = png_bytes(w, h, px)
    w, h, pal, idx = mail_gif()
    files["mail.gif"] = gif87a_bytes(w, h, pal, idx)
    files["snipora.ico"] = ico_bytes([(s, s, icon_image(s)) for s in (256, 128, 48, 32, 16)])
    files["star.ico"] = ico_bytes([star_icon()])
    return files


def main():
    check = "--check" in sys.argv[1:]
    stale = []
    for name, data in build().items():
        path = os.path.join(HERE, name)
        old = open(path, "rb").read() if os.path.exists(path) else None
        if old == data:
            continue
        stale.append(name)
        if not check:
            with open(path, "wb") as f:
                f.write(data)
    if check and stale:
        sys.exit("out of date: " + ", ".join(stale))
    for name in stale:
        print("wrote", name)


if __name__ == "__main__":
    main()
