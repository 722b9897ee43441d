#!/usr/bin/env python3
"""Draws the program's icon, resources/zorvamanager.png (512 x 512, RGBA).

The mark is a "Z" whose diagonal is a sound wave, in the window's orange accent on a rounded
square in the window's dark background colours. Everything is drawn here from geometry:
shapes are measured as signed distances on a canvas twice the final size and averaged down
2 x 2, which gives smooth edges. Only the Python standard library is used.

Usage: make_icon.py [output.png]   (default: zorvamanager.png beside this script)
"""

import math
import os
import struct
import sys
import zlib

SIZE = 512
SCALE = 2  # supersampling factor
CANVAS = SIZE * SCALE

# The window's palette (ARGB constants of the look-and-feel, as RGB here).
WINDOW_BACKGROUND = (0x09, 0x10, 0x15)
PANEL = (0x11, 0x1A, 0x21)
OUTLINE = (0x2A, 0x35, 0x41)
ACCENT = (0xFF, 0x78, 0x00)
ACCENT_LIGHT = (0xFF, 0x89, 0x21)
ACCENT_DEEP = (0xE0, 0x5E, 0x00)


def mix(a, b, t):
    return tuple(x + (y - x) * t for x, y in zip(a, b))


def clamp(value, low=0.0, high=1.0):
    return low if value < low else high if value > high else value


def rounded_square_distance(x, y, left, top, right, bottom, radius):
    """Signed distance to a rounded rectangle (negative inside)."""
    cx, cy = (left + right) / 2, (top + bottom) / 2
    hx, hy = (right - left) / 2 - radius, (bottom - top) / 2 - radius
    qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    inside = min(max(qx, qy), 0.0)
    return outside + inside - radius


def segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy
    t = 0.0 if length2 == 0 else clamp(((px - ax) * dx + (py - ay) * dy) / length2)
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def mark_path():
    """The Z as one polyline in 512-pixel coordinates: top bar, wave, bottom bar."""
    left, right, top, bottom = 156.0, 356.0, 168.0, 344.0
    points = [(left, top), (right, top)]
    ax, ay, bx, by = right, top, left, bottom
    length = math.hypot(bx - ax, by - ay)
    nx, ny = -(by - ay) / length, (bx - ax) / length  # unit normal of the diagonal
    steps = 160
    for i in range(1, steps):
        t = i / steps
        # One period of a sine, faded in and out so that the wave meets the bars cleanly.
        offset = 16.0 * math.sin(2 * math.pi * t) * math.sin(math.pi * t)
        points.append((ax + (bx - ax) * t + nx * offset, ay + (by - ay) * t + ny * offset))
    points.append((left, bottom))
    points.append((right, bottom))
    return points


def stroke_distances(points, half_width, margin):
    """Distance from every canvas pixel centre near the stroke to the polyline (None elsewhere)."""
    field = [None] * (CANVAS * CANVAS)
    reach = (half_width + margin) * SCALE
    scaled = [(x * SCALE, y * SCALE) for x, y in points]
    for (ax, ay), (bx, by) in zip(scaled, scaled[1:]):
        x0 = max(int(min(ax, bx) - reach), 0)
        x1 = min(int(max(ax, bx) + reach) + 1, CANVAS)
        y0 = max(int(min(ay, by) - reach), 0)
        y1 = min(int(max(ay, by) + reach) + 1, CANVAS)
        for y in range(y0, y1):
            row = y * CANVAS
            py = y + 0.5
            for x in range(x0, x1):
                d = segment_distance(x + 0.5, py, ax, ay, bx, by)
                old = field[row + x]
                if old is None or d < old:
                    field[row + x] = d
    return field


def blend(under, colour, alpha):
    return tuple(u + (c - u) * alpha for u, c in zip(under, colour))


def render():
    square = (28.0, 28.0, 484.0, 484.0)
    radius = 100.0
    half_width = 23.0
    mark = stroke_distances(mark_path(), half_width, 12.0)
    glow = stroke_distances(mark_path(), half_width, 40.0)  # same path, wider reach for the halo

    pixels = []  # canvas pixels as (r, g, b, a), premultiplied by nothing: straight alpha
    for y in range(CANVAS):
        v = (y + 0.5) / SCALE
        for x in range(CANVAS):
            u = (x + 0.5) / SCALE
            d_square = rounded_square_distance(u, v, *square, radius)
            cover = clamp(0.5 - d_square * SCALE)
            if cover <= 0.0:
                pixels.append((0.0, 0.0, 0.0, 0.0))
                continue

            # Background: the panel colour at the top fading into the window colour, lit by a
            # faint warm glow in the middle.
            colour = mix(PANEL, WINDOW_BACKGROUND, clamp((v - square[1]) / (square[3] - square[1])))
            centre = math.hypot(u - 256.0, v - 262.0) / 260.0
            colour = blend(colour, ACCENT, 0.10 * clamp(1.0 - centre) ** 2)

            # A thin outline just inside the edge, as the window's panels have.
            ring = clamp(1.0 - abs(d_square + 2.0) / 1.5)
            colour = blend(colour, OUTLINE, 0.9 * ring)

            index = y * CANVAS + x
            halo = glow[index]
            if halo is not None:
                colour = blend(colour, ACCENT, 0.22 * clamp(1.0 - (halo / SCALE - half_width) / 34.0) ** 2)

            stroke = mark[index]
            if stroke is not None:
                ink = clamp(0.5 - (stroke - half_width * SCALE))
                if ink > 0.0:
                    # Lighter at the top, deeper at the bottom, a touch lighter along the core.
                    shade = mix(ACCENT_LIGHT, ACCENT_DEEP, clamp((v - 140.0) / 240.0) ** 1.3)
                    shade = mix(shade, ACCENT_LIGHT, 0.35 * clamp(1.0 - stroke / (half_width * SCALE)) ** 2)
                    colour = blend(colour, shade, ink)

            pixels.append(colour + (cover,))
    return pixels


def downsample(pixels):
    """Averages SCALE x SCALE blocks, weighting colours by alpha so that edges stay clean."""
    out = bytearray()
    n = SCALE * SCALE
    for y in range(SIZE):
        for x in range(SIZE):
            r = g = b = a = 0.0
            for sy in range(SCALE):
                row = (y * SCALE + sy) * CANVAS + x * SCALE
                for sx in range(SCALE):
                    pr, pg, pb, pa = pixels[row + sx]
                    r += pr * pa
                    g += pg * pa
                    b += pb * pa
                    a += pa
            if a > 0.0:
                out += bytes((round(r / a), round(g / a), round(b / a), round(255 * a / n)))
            else:
                out += bytes((0, 0, 0, 0))
    return bytes(out)


def png(width, height, rgba):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    stride = width * 4
    raw = b"".join(b"\x00" + rgba[y * stride:(y + 1) * stride] for y in range(height))
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def main():
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                                "zorvamanager.png")
    data = png(SIZE, SIZE, downsample(render()))
    with open(target, "wb") as out:
        out.write(data)


if __name__ == "__main__":
    main()
