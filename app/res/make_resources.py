#!/usr/bin/env python3
"""Draws the window background (background.bmp), the program icon (app.ico)
and the same icon as PNG files for the Linux desktop menu (icons/SIZE.png).

Run from anywhere: python3 app/res/make_resources.py. Standard library only;
the shapes are anti-aliased by supersampling.
"""
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# Palette: calm blue-greys with a deep teal panel.
PAGE_TOP = (245, 248, 251)
PAGE_BOTTOM = (226, 233, 240)
PANEL_TOP = (44, 92, 122)
PANEL_BOTTOM = (29, 66, 94)
ACCENT = (111, 168, 200)
CARD = (249, 249, 249)  # the labels are painted on this colour
WHITE = (255, 255, 255)


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def clamp01(v):
    return 0.0 if v < 0 else 1.0 if v > 1 else v


# --- signed distances (negative inside) -------------------------------------


def sd_round_rect(px, py, x0, y0, x1, y1, r):
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - r, (y1 - y0) / 2 - r
    qx, qy = abs(px - cx) - hx, abs(py - cy) - hy
    outside = math.hypot(max(qx, 0), max(qy, 0))
    return outside + min(max(qx, qy), 0) - r


def sd_circle(px, py, cx, cy, r):
    return math.hypot(px - cx, py - cy) - r


def sd_arc(px, py, cx, cy, r, half_width, a0, a1):
    """Band of the circle (cx, cy, r) between angles a0..a1 (radians, y down)."""
    ang = math.atan2(py - cy, px - cx)
    if a0 <= ang <= a1 or a0 <= ang + 2 * math.pi <= a1:
        return abs(math.hypot(px - cx, py - cy) - r) - half_width
    # distance to the nearer rounded end
    best = 1e9
    for a in (a0, a1):
        ex, ey = cx + r * math.cos(a), cy + r * math.sin(a)
        best = min(best, math.hypot(px - ex, py - ey) - half_width)
    return best


def headset(px, py, cx, cy, s):
    """A headset with microphone, centred on (cx, cy), about 2*s wide."""
    band = sd_arc(px, py, cx, cy, 0.78 * s, 0.09 * s, math.pi, 2 * math.pi)
    left = sd_round_rect(px, py, cx - 0.98 * s, cy - 0.12 * s, cx - 0.56 * s, cy + 0.50 * s, 0.14 * s)
    right = sd_round_rect(px, py, cx + 0.56 * s, cy - 0.12 * s, cx + 0.98 * s, cy + 0.50 * s, 0.14 * s)
    boom = sd_arc(px, py, cx - 0.18 * s, cy + 0.32 * s, 0.52 * s, 0.055 * s, math.radians(95), math.radians(175))
    mic = sd_round_rect(px, py, cx - 0.30 * s, cy + 0.74 * s, cx + 0.06 * s, cy + 0.94 * s, 0.10 * s)
    return min(band, left, right, boom, mic)


def bubble(px, py, x0, y0, x1, y1, tail_left):
    body = sd_round_rect(px, py, x0, y0, x1, y1, (y1 - y0) * 0.32)
    tx = x0 + (x1 - x0) * (0.22 if tail_left else 0.78)
    # a small triangle below the bubble, approximated by a shrinking band
    if y1 - 1 <= py <= y1 + 7:
        k = (py - (y1 - 1)) / 8.0
        w = 6 * (1 - k)
        off = (5 * k) * (-1 if tail_left else 1)
        tail = abs(px - (tx + off)) - w
    else:
        tail = 1e9
    return min(body, tail)


def coverage(d, pixel):
    """Coverage of a sample whose distance is d, for a sample spacing pixel."""
    return clamp01(0.5 - d / pixel)


# --- background ---------------------------------------------------------------

BG_W, BG_H = 375, 310
# The window's client area may be a little larger than the bitmap, which is
# then tiled: the panel runs the full height (and both gradients return to
# their starting colour) so that the tiles meet without a seam; the left
# margin repeats on the right.
PANEL = (14, -20, 136, BG_H + 20)
CARD_RECT = (146, 78, 372, 234)  # behind the controls (x 150-380, y 80-230)


def periodic(y):
    """0 at the top and the bottom edge, 1 in the middle."""
    return 0.5 - 0.5 * math.cos(2 * math.pi * y / BG_H)


def background_sample(x, y):
    c = mix(PAGE_TOP, PAGE_BOTTOM, periodic(y))
    # faint signal arcs in the lower right corner
    ring = (math.hypot(x - 372, y - 308) % 22) / 22.0
    if math.hypot(x - 372, y - 308) < 120:
        fade = 1 - math.hypot(x - 372, y - 308) / 120
        c = mix(c, ACCENT, 0.10 * fade * (1 if ring < 0.12 else 0))
    # soft shadow, then the card that carries the form
    sh = sd_round_rect(x, y - 2, *CARD_RECT, 10)
    c = mix(c, (150, 165, 180), 0.22 * clamp01(1 - (sh + 1) / 6))
    cd = sd_round_rect(x, y, *CARD_RECT, 10)
    if cd < 0.5:
        edge = mix(CARD, (205, 215, 225), clamp01(1 + cd))  # a thin outline
        c = mix(c, edge, coverage(cd, 1.0))
    # the panel with the motif
    pd = sd_round_rect(x, y, *PANEL, 12)
    if pd < 1:
        pc = mix(PANEL_TOP, PANEL_BOTTOM, periodic(y))
        # fine diagonal lines, barely visible
        if (x + y) % 9 < 1:
            pc = mix(pc, WHITE, 0.04)
        hd = headset(x, y, 75, 104, 36)
        pc = mix(pc, WHITE, 0.95 * coverage(hd, 1.0))
        b1 = bubble(x, y, 34, 178, 96, 200, True)
        pc = mix(pc, ACCENT, 0.85 * coverage(b1, 1.0))
        b2 = bubble(x, y, 56, 214, 118, 236, False)
        pc = mix(pc, WHITE, 0.80 * coverage(b2, 1.0))
        # three dots in each bubble
        for bx, by, col in ((65, 189, PANEL_BOTTOM), (87, 225, PANEL_TOP)):
            for k in (-11, 0, 11):
                pc = mix(pc, col, 0.9 * coverage(sd_circle(x, y, bx + k, by, 2.6), 1.0))
        # a short accent rule near the bottom of the panel
        rd = sd_round_rect(x, y, 50, 262, 100, 265, 1.5)
        pc = mix(pc, ACCENT, coverage(rd, 1.0))
        c = mix(c, pc, coverage(pd, 1.0))
    return c


def render(width, height, sample, ss):
    rows = []
    for y in range(height):
        row = []
        for x in range(width):
            acc = [0.0, 0.0, 0.0, 0.0]
            for j in range(ss):
                for i in range(ss):
                    s = sample(x + (i + 0.5) / ss, y + (j + 0.5) / ss)
                    if len(s) == 3:
                        s = (s[0], s[1], s[2], 1.0)
                    a = s[3]
                    acc[0] += s[0] * a
                    acc[1] += s[1] * a
                    acc[2] += s[2] * a
                    acc[3] += a
            n = ss * ss
            alpha = acc[3] / n
            if alpha > 0:
                rgb = tuple(acc[k] / acc[3] for k in range(3))
            else:
                rgb = (0, 0, 0)
            row.append((rgb, alpha))
        rows.append(row)
    return rows


def byte(v):
    return max(0, min(255, int(round(v))))


def write_bmp24(path, rows):
    h = len(rows)
    w = len(rows[0])
    stride = (w * 3 + 3) & ~3
    pixels = bytearray()
    for row in reversed(rows):  # bottom-up
        line = bytearray()
        for (r, g, b), _ in row:
            line += bytes((byte(b), byte(g), byte(r)))
        line += b"\0" * (stride - len(line))
        pixels += line
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + pixels)


# --- icon -------------------------------------------------------------------


def icon_sample_for(size):
    def sample(x, y):
        u, v = x / size * 64, y / size * 64  # drawn on a 64-unit grid
        tile = sd_round_rect(u, v, 2, 2, 62, 62, 13)
        unit = 64.0 / size
        a = coverage(tile, unit)
        if a <= 0:
            return (0, 0, 0, 0.0)
        c = mix(PANEL_TOP, PANEL_BOTTOM, v / 64)
        # light rim at the top for a little depth
        if tile > -1.5 * unit:
            c = mix(c, ACCENT, 0.5)
        # small sizes get a bolder headset so that it stays legible
        hd = headset(u, v, 32, 30, 21) - (1.2 if size <= 16 else 0)
        c = mix(c, WHITE, coverage(hd, unit))
        return (c[0], c[1], c[2], a)

    return sample


def icon_image(size):
    rows = render(size, size, icon_sample_for(size), 4)
    pixels = bytearray()
    for row in reversed(rows):
        for (r, g, b), a in row:
            pixels += bytes((byte(b), byte(g), byte(r), byte(a * 255)))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (_, a) in enumerate(row):
            if a <= 0:  # transparent where the alpha is zero
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    return info + bytes(pixels) + bytes(mask)


def write_ico(path, sizes):
    images = [icon_image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, img in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


def write_png(path, size):
    rows = render(size, size, icon_sample_for(size), 4)
    raw = bytearray()
    for row in rows:
        raw.append(0)  # no filter
        for (r, g, b), a in row:
            raw += bytes((byte(r), byte(g), byte(b), byte(a * 255)))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(raw), 9))
                + chunk(b"IEND", b""))


# The sizes of the desktop's hicolor icon theme that menus and launchers use.
PNG_SIZES = [16, 24, 32, 48, 64, 128, 256]

if __name__ == "__main__":
    write_bmp24(os.path.join(HERE, "background.bmp"), render(BG_W, BG_H, background_sample, 3))
    write_ico(os.path.join(HERE, "app.ico"), [16, 32, 48, 64])
    os.makedirs(os.path.join(HERE, "icons"), exist_ok=True)
    for s in PNG_SIZES:
        write_png(os.path.join(HERE, "icons", f"{s}.png"), s)
    print("wrote", os.path.join(HERE, "background.bmp"), os.path.join(HERE, "app.ico"), "and",
          os.path.join(HERE, "icons"))
