#!/usr/bin/env python3
"""Draws the program's artwork: the background, the button frames and faces, and the icon.

Usage: tools/art/make_art.py [output-dir]   (default: resources/ next to this script's repo root)

Everything is drawn procedurally here; only the lettering is rasterised by ImageMagick's `convert`
from the DejaVu fonts (Debian packages imagemagick and fonts-dejavu-core). The results are written
as uncompressed 8-bit palette BMPs and a 4-bit .ico, which is what the resource compiler embeds.
Re-run it after changing anything below and commit the regenerated files.
"""

import math
import os
import random
import struct
import subprocess
import sys

FONT_BOLD = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
FONT_CONDENSED_BOLD = "/usr/share/fonts/truetype/dejavu/DejaVuSansCondensed-Bold.ttf"
FONT_BOOK = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"

# Steel and the hot amber accent used throughout.
AMBER = (255, 150, 30)
AMBER_DARK = (150, 70, 10)
STEEL_LIGHT = (176, 186, 198)
STEEL_MID = (92, 100, 112)
STEEL_DARK = (34, 38, 44)


class Image:
    """A floating-point RGB canvas; (0, 0) is the top-left pixel."""

    def __init__(self, width, height, colour=(0, 0, 0)):
        self.width = width
        self.height = height
        self.pixels = [list(colour) for _ in range(width * height)]

    def get(self, x, y):
        return self.pixels[y * self.width + x]

    def set(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y * self.width + x] = list(colour)

    def blend(self, x, y, colour, alpha):
        if alpha <= 0 or not (0 <= x < self.width and 0 <= y < self.height):
            return
        alpha = min(alpha, 1.0)
        p = self.pixels[y * self.width + x]
        for i in range(3):
            p[i] = p[i] * (1 - alpha) + colour[i] * alpha

    def copy(self):
        other = Image(self.width, self.height)
        other.pixels = [list(p) for p in self.pixels]
        return other

    def paste(self, other, ox, oy):
        for y in range(other.height):
            for x in range(other.width):
                self.set(ox + x, oy + y, other.get(x, y))



def project_version_short():
    """MAJOR.MINOR of the project() line in CMakeLists.txt, the program's one version."""
    import re
    top = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "CMakeLists.txt")
    with open(top) as f:
        found = re.search(r"project\(scourvane VERSION (\d+)\.(\d+)", f.read())
    return "%s.%s" % (found.group(1), found.group(2))

def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def scale(colour, factor):
    return tuple(c * factor for c in colour)


def clamp_byte(v):
    return max(0, min(255, int(round(v))))


# ---------------------------------------------------------------------------------------------
# Lettering


def text_mask(text, font, pointsize, kerning=0):
    """Antialiased coverage of `text` as (width, height, rows of 0..1), trimmed to the ink."""
    command = ["convert", "-background", "black", "-fill", "white", "-font", font,
               "-pointsize", str(pointsize), "-kerning", str(kerning), "label:" + text,
               "-trim", "+repage", "-depth", "8", "pgm:-"]
    data = subprocess.run(command, check=True, stdout=subprocess.PIPE).stdout
    fields = []
    pos = 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        start = pos
        while not data[pos:pos + 1].isspace():
            pos += 1
        fields.append(data[start:pos])
    pos += 1
    width, height = int(fields[1]), int(fields[2])
    raw = data[pos:pos + width * height]
    rows = [[raw[y * width + x] / 255.0 for x in range(width)] for y in range(height)]
    return width, height, rows


def blur_mask(width, height, rows, radius):
    """Two passes of a separable box blur: a cheap, soft glow."""
    def box(src, w, h, horizontal):
        out = [[0.0] * w for _ in range(h)]
        n = 2 * radius + 1
        for y in range(h):
            for x in range(w):
                total = 0.0
                for d in range(-radius, radius + 1):
                    if horizontal:
                        xx = x + d
                        if 0 <= xx < w:
                            total += src[y][xx]
                    else:
                        yy = y + d
                        if 0 <= yy < h:
                            total += src[yy][x]
                out[y][x] = total / n
        return out

    pad = radius * 3
    w, h = width + 2 * pad, height + 2 * pad
    grid = [[0.0] * w for _ in range(h)]
    for y in range(height):
        for x in range(width):
            grid[y + pad][x + pad] = rows[y][x]
    for _ in range(2):
        grid = box(grid, w, h, True)
        grid = box(grid, w, h, False)
    return w, h, grid, pad


def dilate_mask(width, height, rows, radius):
    out = [[0.0] * width for _ in range(height)]
    for y in range(height):
        for x in range(width):
            best = 0.0
            for dy in range(-radius, radius + 1):
                for dx in range(-radius, radius + 1):
                    if dx * dx + dy * dy > radius * radius + radius:
                        continue
                    xx, yy = x + dx, y + dy
                    if 0 <= xx < width and 0 <= yy < height and rows[yy][xx] > best:
                        best = rows[yy][xx]
            out[y][x] = best
    return out


def draw_label(image, text, font, pointsize, centre_x, centre_y, colour, shadow=None, offset=(0, 0)):
    """Letters `text` centred on (centre_x, centre_y), with an optional one-pixel drop shadow."""
    width, height, rows = text_mask(text, font, pointsize)
    left = int(round(centre_x - width / 2)) + offset[0]
    top = int(round(centre_y - height / 2)) + offset[1]
    if shadow is not None:
        for y in range(height):
            for x in range(width):
                image.blend(left + x + 1, top + y + 1, shadow, rows[y][x] * 0.85)
    for y in range(height):
        for x in range(width):
            image.blend(left + x, top + y, colour, rows[y][x])


# ---------------------------------------------------------------------------------------------
# Surfaces


def brushed_metal(image, x0, y0, w, h, top, bottom, seed, grain=10.0):
    """Fills a rectangle with a vertical gradient crossed by horizontal brush streaks."""
    rng = random.Random(seed)
    streak = [rng.uniform(-1, 1) for _ in range(h)]
    for y in range(h):
        t = y / max(1, h - 1)
        base = mix(top, bottom, t)
        row_shift = streak[y] * grain * 0.5
        for x in range(w):
            n = row_shift + rng.uniform(-grain, grain) * 0.35
            image.set(x0 + x, y0 + y, tuple(c + n for c in base))


def bevel(image, x0, y0, w, h, light, dark, depth=1, strength=1.0):
    """Light top/left edges and dark bottom/right edges: a raised plate (swap for sunken)."""
    for d in range(depth):
        a = strength * (1.0 - d / depth * 0.5)
        for x in range(x0 + d, x0 + w - d):
            image.blend(x, y0 + d, light, a)
            image.blend(x, y0 + h - 1 - d, dark, a)
        for y in range(y0 + d, y0 + h - d):
            image.blend(x0 + d, y, light, a)
            image.blend(x0 + w - 1 - d, y, dark, a)


def rivet(image, cx, cy, r=3):
    for y in range(-r - 1, r + 2):
        for x in range(-r - 1, r + 2):
            d = math.hypot(x, y)
            if d <= r + 0.5:
                cover = min(1.0, r + 0.5 - d + 0.5)
                shade = 0.5 + 0.5 * (-(x + y) / (2 * r))
                colour = mix((40, 44, 50), (210, 216, 224), max(0.0, min(1.0, shade)))
                image.blend(cx + x, cy + y, colour, cover)
    image.blend(cx + 1, cy + r + 1, (0, 0, 0), 0.4)


# ---------------------------------------------------------------------------------------------
# The pictures


def make_background():
    w, h = 512, 359
    img = Image(w, h)
    brushed_metal(img, 0, 0, w, h, (58, 63, 71), (24, 26, 31), seed=101, grain=9)
    # Faint engineering grid, like a modelling tool's viewport.
    for y in range(h):
        for x in range(w):
            if x % 16 == 0 or y % 16 == 0:
                img.blend(x, y, (120, 140, 160), 0.07)
    # Riveted outer plate edge.
    bevel(img, 0, 0, w, h, (150, 158, 170), (6, 7, 9), depth=3, strength=0.8)
    bevel(img, 6, 6, w - 12, h - 12, (8, 9, 11), (120, 128, 140), depth=1, strength=0.7)
    for cx in (14, w - 15):
        for cy in (14, h - 15):
            rivet(img, cx, cy)

    # A wireframe cube, the 3D object being cleaned, glowing amber at the top left of the title.
    cube_centre = (74, 86)
    size = 34
    iso = [(-1, -1, -1), (1, -1, -1), (1, 1, -1), (-1, 1, -1), (-1, -1, 1), (1, -1, 1), (1, 1, 1), (-1, 1, 1)]
    ang_y, ang_x = math.radians(35), math.radians(-25)

    def project(p):
        x, y, z = p
        x, z = x * math.cos(ang_y) + z * math.sin(ang_y), -x * math.sin(ang_y) + z * math.cos(ang_y)
        y, z = y * math.cos(ang_x) - z * math.sin(ang_x), y * math.sin(ang_x) + z * math.cos(ang_x)
        return cube_centre[0] + x * size * 0.62, cube_centre[1] + y * size * 0.62

    corners = [project(p) for p in iso]
    edges = [(0, 1), (1, 2), (2, 3), (3, 0), (4, 5), (5, 6), (6, 7), (7, 4), (0, 4), (1, 5), (2, 6), (3, 7)]
    for a, b in edges:
        draw_line(img, corners[a], corners[b], AMBER, glow=True)
    for c in corners:
        for dy in (-1, 0, 1):
            for dx in (-1, 0, 1):
                img.blend(int(round(c[0])) + dx, int(round(c[1])) + dy, (255, 230, 180), 0.9)

    # Title: chrome letters with a dark outline and an amber glow behind them.
    title = "3DO Scourvane"
    tw, th, rows = text_mask(title, FONT_BOLD, 40)
    left = 128 + (w - 128 - 30 - tw) // 2
    top = 58
    gw, gh, glow, pad = blur_mask(tw, th, rows, 4)
    for y in range(gh):
        for x in range(gw):
            img.blend(left - pad + x, top - pad + y, AMBER_DARK, glow[y][x] * 1.3)
    outline = dilate_mask(tw, th, rows, 2)
    for y in range(th):
        for x in range(tw):
            img.blend(left + x, top + y, (8, 8, 10), outline[y][x])
    for y in range(th):
        t = y / max(1, th - 1)
        # Chrome: bright sky above the horizon line, dark ground below it, bright again at the foot.
        if t < 0.5:
            colour = mix((255, 255, 255), (170, 182, 198), t / 0.5)
        elif t < 0.56:
            colour = mix((70, 74, 84), (96, 100, 110), (t - 0.5) / 0.06)
        else:
            colour = mix((110, 116, 128), (235, 240, 246), (t - 0.56) / 0.44)
        for x in range(tw):
            img.blend(left + x, top + y, colour, rows[y][x])

    # Subtitle and a separating groove above the buttons.
    draw_label(img, "3DO MODEL CLEANER  \u2022  FEWER FACES, FASTER GAMES", FONT_CONDENSED_BOLD, 11,
               left + tw / 2, top + th + 22, (255, 170, 70), shadow=(0, 0, 0))
    groove_y = 160
    for x in range(40, w - 40):
        fade = min(1.0, (x - 40) / 60, (w - 40 - x) / 60)
        img.blend(x, groove_y, (0, 0, 0), 0.8 * fade)
        img.blend(x, groove_y + 1, (140, 150, 164), 0.5 * fade)

    # Recessed panel behind the four buttons (they sit at x 107..405, y 179..310).
    px, py, pw, ph = 95, 170, 322, 151
    for y in range(py, py + ph):
        for x in range(px, px + pw):
            img.blend(x, y, (0, 0, 0), 0.35)
    bevel(img, px, py, pw, ph, (0, 0, 0), (150, 158, 170), depth=2, strength=0.7)
    for cx in (px - 12, px + pw + 11):
        for cy in (py + 10, py + ph - 11):
            rivet(img, cx, cy, 2)

    # Hazard stripes in the bottom corners: a workshop, not an office.
    for x0 in (22, w - 22 - 60):
        for y in range(h - 30, h - 20):
            for x in range(x0, x0 + 60):
                band = ((x + y) // 6) % 2
                img.blend(x, y, AMBER if band else (20, 20, 20), 0.55)
    draw_label(img, "v" + project_version_short(), FONT_BOOK, 9, w - 40, 26, (130, 138, 150))
    return img


def draw_line(img, a, b, colour, glow=False):
    (x0, y0), (x1, y1) = a, b
    steps = int(max(abs(x1 - x0), abs(y1 - y0)) * 3) + 1
    for i in range(steps + 1):
        t = i / steps
        x, y = x0 + (x1 - x0) * t, y0 + (y1 - y0) * t
        ix, iy = int(x), int(y)
        fx, fy = x - ix, y - iy
        for dx, dy, wgt in ((0, 0, (1 - fx) * (1 - fy)), (1, 0, fx * (1 - fy)),
                            (0, 1, (1 - fx) * fy), (1, 1, fx * fy)):
            img.blend(ix + dx, iy + dy, colour, wgt * 0.5)
        if glow:
            for dy in (-2, -1, 0, 1, 2):
                for dx in (-2, -1, 0, 1, 2):
                    if dx or dy:
                        img.blend(ix + dx, iy + dy, AMBER_DARK, 0.02)


def make_frame(w, h, focused):
    """A bezel with a sunken well at (12, 6) that the face fills exactly."""
    img = Image(w, h)
    if focused:
        top, bottom = (150, 158, 170), (84, 90, 100)
    else:
        top, bottom = (72, 78, 88), (36, 40, 46)
    brushed_metal(img, 0, 0, w, h, top, bottom, seed=w * 7 + (1 if focused else 0), grain=7)
    bevel(img, 0, 0, w, h, (235, 238, 244) if focused else (130, 136, 146), (10, 10, 12), depth=2)
    # Sunken well around the face's area: dark above/left, light below/right.
    fx, fy, fw, fh = 12, 6, w - 23, h - 11
    bevel(img, fx - 2, fy - 2, fw + 4, fh + 4, (12, 12, 14), (200, 206, 214) if focused else (110, 116, 126),
          depth=2)
    for y in range(fy, fy + fh):
        for x in range(fx, fx + fw):
            img.set(x, y, (10, 10, 12))
    # Indicator lamps at both ends: lit amber when the button holds the keyboard focus.
    for cx in (5, w - 6):
        cy = h // 2
        for y in range(-3, 4):
            for x in range(-2, 3):
                d = math.hypot(x * 1.2, y * 0.8)
                if d <= 2.6:
                    if focused:
                        colour = mix((255, 236, 170), AMBER, min(1.0, d / 2.6))
                    else:
                        colour = mix((70, 50, 36), (30, 24, 20), min(1.0, d / 2.6))
                    img.set(cx + x, cy + y, colour)
    return img


def make_face(w, h, label, state):
    """A steel push plate with its label; `state` is "normal", "pressed" or "disabled"."""
    img = Image(w, h)
    pointsize = 12
    if state == "normal":
        brushed_metal(img, 0, 0, w, h, (132, 140, 152), (62, 68, 78), seed=w + len(label), grain=6)
        bevel(img, 0, 0, w, h, (236, 240, 246), (16, 16, 20), depth=1)
        bevel(img, 1, 1, w - 2, h - 2, (180, 186, 196), (40, 44, 50), depth=1, strength=0.6)
        draw_label(img, label, FONT_BOLD, pointsize, w / 2, h / 2, (255, 255, 255), shadow=(10, 10, 14))
        # A thin amber accent line at the very left and right, matching the frame's lamps.
        for y in range(3, h - 3):
            img.blend(3, y, AMBER, 0.8)
            img.blend(w - 4, y, AMBER, 0.8)
    elif state == "pressed":
        brushed_metal(img, 0, 0, w, h, (40, 44, 52), (92, 98, 110), seed=w + len(label) + 1, grain=6)
        bevel(img, 0, 0, w, h, (0, 0, 0), (150, 156, 166), depth=1)
        bevel(img, 1, 1, w - 2, h - 2, (20, 20, 24), (100, 106, 116), depth=1, strength=0.6)
        draw_label(img, label, FONT_BOLD, pointsize, w / 2, h / 2, (255, 176, 70), shadow=(0, 0, 0),
                   offset=(1, 1))
        for y in range(3, h - 3):
            img.blend(3, y, (255, 220, 140), 0.9)
            img.blend(w - 4, y, (255, 220, 140), 0.9)
    else:
        for y in range(h):
            for x in range(w):
                img.set(x, y, (66, 68, 72))
        bevel(img, 0, 0, w, h, (96, 98, 102), (40, 41, 44), depth=1)
        # Etched-in grey lettering, the usual look of an unavailable command.
        draw_label(img, label, FONT_BOLD, pointsize, w / 2 + 1, h / 2 + 1, (98, 100, 104))
        draw_label(img, label, FONT_BOLD, pointsize, w / 2, h / 2, (44, 45, 48))
    return img


# ---------------------------------------------------------------------------------------------
# Colour reduction and files


def quantise(img, colours=256):
    """Median cut over a 5-bit-per-channel histogram; returns (palette, indexes)."""
    def key(p):
        return (clamp_byte(p[0]) >> 3, clamp_byte(p[1]) >> 3, clamp_byte(p[2]) >> 3)

    histogram = {}
    for p in img.pixels:
        k = key(p)
        histogram[k] = histogram.get(k, 0) + 1
    boxes = [list(histogram.items())]
    while len(boxes) < colours:
        # Split the box with the widest channel range, weighted by population.
        best, best_score = None, -1
        for i, box in enumerate(boxes):
            if len(box) < 2:
                continue
            ranges = [max(c[0][ch] for c in box) - min(c[0][ch] for c in box) for ch in range(3)]
            score = max(ranges) * math.sqrt(sum(c[1] for c in box))
            if score > best_score:
                best, best_score = i, score
        if best is None:
            break
        box = boxes.pop(best)
        ranges = [max(c[0][ch] for c in box) - min(c[0][ch] for c in box) for ch in range(3)]
        channel = ranges.index(max(ranges))
        box.sort(key=lambda c: c[0][channel])
        total = sum(c[1] for c in box)
        running, cut = 0, 1
        for j, c in enumerate(box):
            running += c[1]
            if running >= total / 2:
                cut = max(1, min(len(box) - 1, j + 1))
                break
        boxes.append(box[:cut])
        boxes.append(box[cut:])
    # Each box's colour is the population-weighted mean of the actual pixels in it.
    box_of = {}
    for i, box in enumerate(boxes):
        for c in box:
            box_of[c[0]] = i
    sums = [[0.0, 0.0, 0.0, 0] for _ in boxes]
    for p in img.pixels:
        s = sums[box_of[key(p)]]
        s[0] += clamp_byte(p[0])
        s[1] += clamp_byte(p[1])
        s[2] += clamp_byte(p[2])
        s[3] += 1
    palette = [(clamp_byte(s[0] / s[3]), clamp_byte(s[1] / s[3]), clamp_byte(s[2] / s[3])) if s[3] else (0, 0, 0)
               for s in sums]
    while len(palette) < 256:
        palette.append((0, 0, 0))
    indexes = [box_of[key(p)] for p in img.pixels]
    return palette, indexes


def write_bmp8(path, img):
    palette, indexes = quantise(img)
    stride = (img.width + 3) & ~3
    pixel_bytes = bytearray()
    for y in range(img.height - 1, -1, -1):
        row = bytes(indexes[y * img.width:(y + 1) * img.width])
        pixel_bytes += row + bytes(stride - img.width)
    palette_bytes = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    offset = 14 + 40 + len(palette_bytes)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixel_bytes), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, img.width, img.height, 1, 8, 0, len(pixel_bytes), 2835, 2835, 256, 0)
    with open(path, "wb") as f:
        f.write(header + info + palette_bytes + pixel_bytes)


# The icon: an isometric steel cube with an amber spark, drawn on a 16-colour palette.
ICON_PALETTE = [
    (0, 0, 0), (24, 26, 30), (50, 54, 62), (80, 86, 96), (112, 120, 132), (150, 158, 170),
    (196, 202, 212), (255, 255, 255), (110, 48, 6), (190, 90, 14), (255, 150, 30), (255, 214, 120),
    (30, 60, 110), (60, 110, 180), (140, 0, 0), (128, 128, 128),
]


def icon_pixels(size):
    """Palette index per pixel, or None where the icon is transparent."""
    s = size / 32.0
    # Cube corners on a 32 x 32 design grid.
    top = [(16, 3), (29, 10), (16, 17), (3, 10)]
    left = [(3, 10), (16, 17), (16, 30), (3, 23)]
    right = [(16, 17), (29, 10), (29, 23), (16, 30)]

    def inside(poly, x, y):
        result = False
        n = len(poly)
        for i in range(n):
            (x0, y0), (x1, y1) = poly[i], poly[(i + 1) % n]
            if (y0 > y) != (y1 > y) and x < (x1 - x0) * (y - y0) / (y1 - y0) + x0:
                result = not result
        return result

    out = []
    for py in range(size):
        row = []
        for px in range(size):
            x, y = (px + 0.5) / s, (py + 0.5) / s
            colour = None
            if inside(top, x, y):
                colour = 6
            elif inside(left, x, y):
                colour = 4
            elif inside(right, x, y):
                colour = 2
            row.append(colour)
        out.append(row)

    def put(x, y, c):
        if 0 <= x < size and 0 <= y < size:
            out[y][x] = c

    def line(p0, p1, c):
        (x0, y0), (x1, y1) = p0, p1
        steps = int(max(abs(x1 - x0), abs(y1 - y0)) * s * 2) + 1
        for i in range(steps + 1):
            t = i / steps
            put(int((x0 + (x1 - x0) * t) * s), int((y0 + (y1 - y0) * t) * s), c)

    # Dark outline and amber edges on the cube's silhouette and ridges.
    for poly in (top, left, right):
        for i in range(len(poly)):
            line(poly[i], poly[(i + 1) % len(poly)], 1)
    line((16, 17), (16, 30), 9)
    line((3, 10), (16, 17), 10)
    line((16, 17), (29, 10), 10)
    # The spark: a four-pointed star at the top right corner.
    if size >= 32:
        cx, cy = 25, 5
        for d in range(-5, 6):
            put(cx + d, cy, 11 if abs(d) < 2 else 10)
            put(cx, cy + d, 11 if abs(d) < 2 else 10)
        for d in (-1, 1):
            put(cx + d, cy + d, 10)
            put(cx + d, cy - d, 10)
        put(cx, cy, 7)
    else:
        cx, cy = 12, 2
        for d in range(-2, 3):
            put(cx + d, cy, 10)
            put(cx, cy + d, 10)
        put(cx, cy, 11)
    return out


def icon_image_bytes(size):
    pixels = icon_pixels(size)
    xor_stride = ((size * 4 + 31) // 32) * 4
    and_stride = ((size + 31) // 32) * 4
    xor = bytearray()
    mask = bytearray()
    for y in range(size - 1, -1, -1):
        row = bytearray(xor_stride)
        bits = bytearray(and_stride)
        for x in range(size):
            c = pixels[y][x]
            index = 0 if c is None else c
            if x % 2 == 0:
                row[x // 2] |= index << 4
            else:
                row[x // 2] |= index
            if c is None:
                bits[x // 8] |= 0x80 >> (x % 8)
        xor += row
        mask += bits
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in ICON_PALETTE)
    return info + palette + bytes(xor) + bytes(mask)


def write_ico(path):
    images = [icon_image_bytes(32), icon_image_bytes(16)]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip((32, 16), images):
        out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


def main():
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "resources")
    bitmap_dir = os.path.join(out_dir, "bitmaps")
    os.makedirs(bitmap_dir, exist_ok=True)

    pictures = {
        "background.bmp": make_background,
        "frame_wide_focused.bmp": lambda: make_frame(299, 31, True),
        "frame_wide_unfocused.bmp": lambda: make_frame(299, 31, False),
        "frame_narrow_focused.bmp": lambda: make_frame(143, 31, True),
        "frame_narrow_unfocused.bmp": lambda: make_frame(143, 31, False),
    }
    labels = {"select": "Select 3DO Files", "clean": "Scourvane!", "about": "About", "quit": "Quit"}
    for name, label in labels.items():
        width = 276 if name in ("select", "clean") else 120
        for state in ("normal", "pressed", "disabled"):
            pictures["face_%s_%s.bmp" % (name, state)] = (
                lambda w=width, l=label, s=state: make_face(w, 20, l, s))
    for name, make in pictures.items():
        write_bmp8(os.path.join(bitmap_dir, name), make())
        print("wrote", os.path.join(bitmap_dir, name))
    write_ico(os.path.join(out_dir, "scourvane.ico"))
    print("wrote", os.path.join(out_dir, "scourvane.ico"))


if __name__ == "__main__":
    main()
