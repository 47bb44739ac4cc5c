#!/usr/bin/python3
"""Draws the editor's images (panels, knob, lit buttons) into resources/png.

The look: a small boutique combo. Black tolex top rail carrying the lit
buttons and the logo, a brushed champagne control plate printed in dark
brown, black skirted knobs with cream caps whose numbered skirt turns under
a fixed index mark, a red jewel drive lamp, a chrome bat toggle and a red
power rocker. Everything is drawn at four times the size and reduced, so
edges and small print come out smooth. Deterministic: a fixed noise seed.

Run:  /usr/bin/python3 tools/artwork/make_artwork.py [output folder]
"""
import math
import os
import sys

import numpy as np
from PIL import Image, ImageDraw, ImageFilter, ImageFont

S = 4  # supersampling factor
W, H = 689, 140
FONTS = "/usr/share/fonts/truetype/dejavu/"
RNG = np.random.default_rng(70)

# Panel print and plate colours.
INK = (52, 34, 22)
PLATE_TOP = np.array([222, 203, 160], float)
PLATE_BOTTOM = np.array([196, 174, 128], float)
CREAM = (240, 228, 196)

# Control positions (must match the editor's layout table).
KNOBS = {  # name: x of the 57x57 knob at y 58
    "NORMAL VOL": 89, "GAIN": 171, "DRIVE VOL": 248, "TREBLE": 330,
    "MIDDLE": 396, "BASS": 461, "REVERB": 541,
}
KNOB_Y, KNOB_SIZE = 58, 57
KNOB_CX, KNOB_CY = 27.5, 28.0
SKIRT_R, CAP_R = 25.5, 13.0
RAIL_H = 38


def font(name, px):
    return ImageFont.truetype(FONTS + name, int(round(px * S)))


def big(w, h, mode="RGBA", fill=(0, 0, 0, 0)):
    return Image.new(mode, (w * S, h * S), fill)


def small(img):
    out = img.resize((img.width // S, img.height // S), Image.LANCZOS)
    if out.mode != "RGBA":
        return out
    # The filter's faint ringing would leave near-invisible haze around a
    # sprite (and light the knob outside its scale): cut it to clear.
    px = np.asarray(out).copy()
    px[px[..., 3] < 3] = 0
    return Image.fromarray(px, "RGBA")


def sc(*v):
    return [x * S for x in v]


def text_centered(draw, cx, cy, text, fnt, fill, spacing=0.0):
    """Centres a line of (optionally letter-spaced) capitals on (cx, cy)."""
    if spacing == 0:
        draw.text((cx * S, cy * S), text, font=fnt, fill=fill, anchor="mm")
        return
    widths = [draw.textlength(ch, font=fnt) for ch in text]
    total = sum(widths) + spacing * S * (len(text) - 1)
    x = cx * S - total / 2
    for ch, w in zip(text, widths):
        draw.text((x, cy * S), ch, font=fnt, fill=fill, anchor="lm")
        x += w + spacing * S


# ----------------------------------------------------------------- textures

def tolex(w, h, base=(26, 23, 22)):
    """Pebbled vinyl: blurred noise as bumps, lit from above."""
    n = RNG.normal(0, 1, (h, w))
    img = Image.fromarray(np.uint8(np.clip(n * 40 + 128, 0, 255)))
    bumps = np.asarray(img.filter(ImageFilter.GaussianBlur(0.9)), float) - 128
    shade = np.roll(bumps, 1, axis=0) - bumps  # light from the top
    grain = RNG.normal(0, 1.5, (h, w))
    v = np.array(base, float)[None, None, :] + (shade * 0.55 + grain)[:, :, None]
    return np.clip(v, 0, 255)


def brushed(w, h, top, bottom):
    """Horizontal brush strokes over a soft vertical gradient."""
    t = np.linspace(0, 1, h)[:, None, None]
    base = top[None, None, :] * (1 - t) + bottom[None, None, :] * t
    strokes = RNG.normal(0, 1, (h, w))
    strokes = np.asarray(Image.fromarray(np.uint8(np.clip(strokes * 50 + 128, 0, 255)))
                         .resize((w // 8 + 1, h)).resize((w, h), Image.BICUBIC), float) - 128
    fine = RNG.normal(0, 1, (h, w)) * 2.0
    return np.clip(base + (strokes * 0.09 + fine)[:, :, None], 0, 255)


# -------------------------------------------------------------------- panels

def rail(arr):
    """Black tolex rail on top, piping and the plate's shadow."""
    arr[:RAIL_H + 2] = tolex(W, RAIL_H + 2)


def plate_and_frame(arr, dark=False):
    if dark:
        arr[RAIL_H:] = brushed(W, H - RAIL_H, np.array([44, 40, 38.0]), np.array([28, 26, 25.0]))
    else:
        arr[RAIL_H:] = brushed(W, H - RAIL_H, PLATE_TOP, PLATE_BOTTOM)
    # Shadow of the rail falling on the plate, then a cream piping line.
    for k in range(6):
        arr[RAIL_H + k] *= 0.55 + 0.075 * k
    arr[RAIL_H - 1:RAIL_H + 1] = np.array([214, 198, 160])
    arr[RAIL_H - 2] = np.array([120, 108, 86])
    arr[RAIL_H + 1] = np.array([90, 80, 62])
    # Bottom and side bevel so the plate reads as a part screwed into the box.
    arr[-2:] *= 0.6
    arr[RAIL_H:, :2] *= 0.7
    arr[RAIL_H:, -2:] *= 0.7


def screws(img, points):
    d = ImageDraw.Draw(img)
    for (x, y) in points:
        d.ellipse(sc(x - 3.2, y - 3.2, x + 3.2, y + 3.2), fill=(150, 140, 120), outline=(70, 62, 50), width=S)
        d.ellipse(sc(x - 2.4, y - 2.4, x + 1.0, y + 1.0), fill=(210, 204, 190))
        d.line(sc(x - 2.2, y + 1.6, x + 2.2, y - 1.6), fill=(60, 54, 44), width=S)


def logo(img):
    d = ImageDraw.Draw(img)
    # Script-like maker's name on the rail, with a thin underline swash.
    f = font("DejaVuSerif-BoldItalic.ttf", 21)
    d.text(sc(22, 19), "Valvora", font=f, fill=(234, 220, 182), anchor="lm")
    w = d.textlength("Valvora", font=f) / S
    f2 = font("DejaVuSansCondensed-Bold.ttf", 13)
    d.text(sc(28 + w, 21), "QX70", font=f2, fill=(200, 60, 44), anchor="lm")
    d.line(sc(24, 31, 22 + w + 34, 31), fill=(180, 164, 126), width=S)
    # Maker's badge on the right.
    d.rounded_rectangle(sc(582, 8, 676, 31), radius=5 * S, fill=(186, 170, 132), outline=(90, 78, 58), width=S)
    d.rounded_rectangle(sc(585, 11, 673, 28), radius=4 * S, fill=(34, 30, 28))
    text_centered(d, 629, 19.5, "KELMO", font("DejaVuSans-Bold.ttf", 11), (222, 206, 166), spacing=2.2)


def knob_marks(img):
    d = ImageDraw.Draw(img)
    fl = font("DejaVuSansCondensed-Bold.ttf", 8.6)
    for name, x in KNOBS.items():
        cx = x + KNOB_CX
        # Fixed index mark the numbered skirt turns under.
        d.polygon(sc(cx - 3.2, 51.5, cx + 3.2, 51.5, cx, 57.2), fill=INK)
        # A faint printed arc behind the knob, like a silk-screened dial ring.
        r = SKIRT_R + 2.3
        cy = KNOB_Y + KNOB_CY
        d.arc(sc(cx - r, cy - r, cx + r, cy + r), start=120, end=60 + 360, fill=(150, 128, 92), width=int(S * 0.8))
        text_centered(d, cx, 124.5, name, fl, INK, spacing=0.6)


def switch_labels(img):
    d = ImageDraw.Draw(img)
    fl = font("DejaVuSansCondensed-Bold.ttf", 8.0)
    fs = font("DejaVuSansCondensed-Bold.ttf", 7.0)
    # Tube-mode toggle at (35, 72), 30x29.
    text_centered(d, 50, 49.5, "CLIPPING", fs, INK, spacing=0.5)
    text_centered(d, 50, 65, "TUBE", fl, INK, spacing=0.5)
    text_centered(d, 50, 108, "DIODE", fl, INK, spacing=0.5)
    text_centered(d, 50, 124.5, "MODE", font("DejaVuSansCondensed-Bold.ttf", 8.6), INK, spacing=0.6)
    # Drive select button at (228, 86), 20x20, and its jewel at (300, 98).
    d.rounded_rectangle(sc(226.5, 84.5, 249.5, 107.5), radius=3 * S, outline=(120, 100, 70), width=S)
    text_centered(d, 238, 80, "DRIVE", fs, INK, spacing=0.4)
    # Power rocker at (639, 64), 32x45: a printed surround and legend.
    d.rounded_rectangle(sc(636, 61, 674, 112), radius=3 * S, outline=(120, 100, 70), width=S)
    text_centered(d, 655, 54, "ON", fs, INK, spacing=0.4)
    text_centered(d, 655, 124.5, "POWER", font("DejaVuSansCondensed-Bold.ttf", 8.6), INK, spacing=0.6)
    # Separators between the channel groups.
    for x in (162, 319, 530, 610):
        d.line(sc(x, 48, x, 132), fill=(170, 150, 110), width=S)
        d.line(sc(x + 1, 48, x + 1, 132), fill=(236, 222, 186), width=S)
    text_centered(d, 126, 45, "NORMAL", fs, (120, 96, 66), spacing=1.2)
    text_centered(d, 240, 45, "DRIVE CHANNEL", fs, (120, 96, 66), spacing=1.2)
    text_centered(d, 428, 45, "TONE", fs, (120, 96, 66), spacing=1.2)


def main_panel():
    arr = np.zeros((H, W, 3))
    rail(arr)
    plate_and_frame(arr)
    img = Image.fromarray(np.uint8(arr)).resize((W * S, H * S), Image.BICUBIC).convert("RGBA")
    logo(img)
    knob_marks(img)
    switch_labels(img)
    screws(img, [(8, 46), (681, 46), (8, 132), (681, 132)])
    return small(img).convert("RGB")


def about_panel():
    arr = np.zeros((H, W, 3))
    rail(arr)
    plate_and_frame(arr, dark=True)
    img = Image.fromarray(np.uint8(arr)).resize((W * S, H * S), Image.BICUBIC).convert("RGBA")
    logo(img)
    d = ImageDraw.Draw(img)
    # Column rules between the credits, the title and the version block.
    for x in (203, 522):
        d.line(sc(x, 50, x, 126), fill=(70, 64, 58), width=S)
        d.line(sc(x + 1, 50, x + 1, 126), fill=(18, 16, 15), width=S)
    # The style the amp takes after, printed under "inspired by".
    f = font("DejaVuSerif-BoldItalic.ttf", 11.5)
    d.text(sc(362.5, 113), "hand-wired boutique combos of the sixties", font=f,
           fill=(226, 196, 128), anchor="mm")
    d.line(sc(272, 122, 453, 122), fill=(120, 100, 66), width=S)
    screws(img, [(8, 46), (681, 46), (8, 132), (681, 132)])
    return small(img).convert("RGB")


# ---------------------------------------------------------------------- knob

def knob_body():
    img = big(KNOB_SIZE, KNOB_SIZE)
    cx, cy = KNOB_CX * S, KNOB_CY * S
    # Soft drop shadow on the plate.
    sh = big(KNOB_SIZE, KNOB_SIZE)
    ds = ImageDraw.Draw(sh)
    r = SKIRT_R * S
    ds.ellipse((cx - r + 1.0 * S, cy - r + 2.0 * S, cx + r + 1.0 * S, cy + r + 2.0 * S), fill=(0, 0, 0, 150))
    img = Image.alpha_composite(img, sh.filter(ImageFilter.GaussianBlur(1.6 * S)))
    d = ImageDraw.Draw(img)
    # Black skirt with a knurled rim and a faint top light.
    d.ellipse((cx - r, cy - r, cx + r, cy + r), fill=(18, 17, 17, 255))
    for k in range(60):
        a = k * math.tau / 60
        x0, y0 = cx + (r - 0.2 * S) * math.cos(a), cy + (r - 0.2 * S) * math.sin(a)
        x1, y1 = cx + (r - 1.6 * S) * math.cos(a), cy + (r - 1.6 * S) * math.sin(a)
        d.line((x0, y0, x1, y1), fill=(46, 44, 42, 255), width=int(0.6 * S))
    ri = (SKIRT_R - 2.0) * S
    d.ellipse((cx - ri, cy - ri, cx + ri, cy + ri), outline=(40, 38, 37, 255), width=int(0.6 * S))
    # Cream cap: a raised dome, lit from the top left, with a fluted edge.
    rc = CAP_R * S
    d.ellipse((cx - rc - 1.2 * S, cy - rc - 0.6 * S, cx + rc + 1.2 * S, cy + rc + 1.8 * S), fill=(0, 0, 0, 170))
    cap = np.zeros((KNOB_SIZE * S, KNOB_SIZE * S, 4))
    yy, xx = np.mgrid[0:KNOB_SIZE * S, 0:KNOB_SIZE * S]
    dist = np.hypot(xx - cx, yy - cy)
    inside = dist <= rc
    lx, ly = cx - 0.35 * rc, cy - 0.45 * rc
    light = np.clip(1.0 - np.hypot(xx - lx, yy - ly) / (1.7 * rc), 0, 1)
    flute = 0.5 + 0.5 * np.cos(np.arctan2(yy - cy, xx - cx) * 24)
    edge = np.clip((dist - 0.78 * rc) / (0.22 * rc), 0, 1)
    base = np.array([214, 198, 160.0])
    col = base[None, None, :] * (0.78 + 0.34 * light[:, :, None]) - (edge * flute * 26)[:, :, None]
    cap[..., :3] = np.clip(col, 0, 255)
    cap[..., 3] = np.where(inside, 255, 0)
    cap_img = Image.fromarray(np.uint8(cap), "RGBA")
    img = Image.alpha_composite(img, cap_img)
    d = ImageDraw.Draw(img)
    rt = 0.55 * rc
    d.ellipse((cx - rt, cy - rt, cx + rt, cy + rt), outline=(188, 170, 130, 255), width=int(0.5 * S))
    return small(img)


def knob_scale():
    """White numbers 0..10 on the skirt, 5 at the top, rising clockwise.

    Each number is printed radially (its top towards the rim), as on a real
    skirt, so whichever number the knob turns to the index reads upright."""
    img = big(KNOB_SIZE, KNOB_SIZE)
    d = ImageDraw.Draw(img)
    cx, cy = KNOB_CX * S, KNOB_CY * S
    f = font("DejaVuSansCondensed-Bold.ttf", 7.8)
    for n in range(11):
        deg = (5 - n) * 30  # clockwise from the top as stored
        phi = math.radians(deg)
        glyph = Image.new("RGBA", (16 * S, 12 * S), (0, 0, 0, 0))
        ImageDraw.Draw(glyph).text((8 * S, 6 * S), str(n), font=f, fill=(255, 255, 255, 255), anchor="mm")
        glyph = glyph.rotate(-deg, resample=Image.BICUBIC, expand=True)
        r = 18.9 * S
        x, y = cx + r * math.sin(phi), cy - r * math.cos(phi)
        img.alpha_composite(glyph, (int(round(x - glyph.width / 2)), int(round(y - glyph.height / 2))))
        # A short tick on the skirt between the numbers.
        half = math.radians(deg + 15)
        r0, r1 = 22.0 * S, 23.4 * S
        d.line((cx + r0 * math.sin(half), cy - r0 * math.cos(half), cx + r1 * math.sin(half),
                cy - r1 * math.cos(half)), fill=(255, 255, 255, 150), width=int(0.7 * S))
    return small(img)


# ------------------------------------------------------------------- buttons

def led(d, x, y, r, lit, hue):
    """A small round LED; lit ones get a halo."""
    if lit:
        for k in range(6, 0, -1):
            a = int(38 * (7 - k) / 6)
            rr = r + k * 0.8
            d.ellipse(sc(x - rr, y - rr, x + rr, y + rr), fill=hue + (a,))
        d.ellipse(sc(x - r, y - r, x + r, y + r), fill=hue + (255,))
        d.ellipse(sc(x - r * 0.45, y - r * 0.6, x + r * 0.2, y - r * 0.05), fill=(255, 255, 240, 230))
    else:
        dark = tuple(int(c * 0.28) for c in hue)
        d.ellipse(sc(x - r, y - r, x + r, y + r), fill=dark + (255,), outline=(10, 10, 10, 255), width=S // 2)
        d.ellipse(sc(x - r * 0.45, y - r * 0.6, x, y - r * 0.15), fill=(255, 255, 255, 60))


def rail_key(w, h, label_off, label_on, hue, lit):
    """A lit key on the black rail: chrome bezel, dark face, LED and legend."""
    img = big(w, h)
    d = ImageDraw.Draw(img)
    d.rounded_rectangle(sc(1.5, 3.0, w - 1.5, h - 2.0), radius=4 * S, fill=(0, 0, 0, 110))
    d.rounded_rectangle(sc(2, 2, w - 2, h - 3), radius=4 * S, fill=(150, 146, 138, 255))
    d.rounded_rectangle(sc(3, 3, w - 3, h - 4), radius=3 * S, fill=(44, 42, 40, 255) if not lit else (56, 52, 48, 255))
    d.rectangle(sc(4, 4, w - 4, 7), fill=(70, 66, 62, 255))
    led(d, w / 2, 10.5, 2.6, lit, hue)
    text = label_on if lit else label_off
    fsize = 7.4 if len(text) <= 5 else 6.6
    colour = (236, 226, 200, 255) if lit else (150, 142, 126, 255)
    text_centered(d, w / 2, 21.5, text, font("DejaVuSansCondensed-Bold.ttf", fsize), colour, spacing=0.3)
    return small(img)


def cabinet_window(lit):
    """The cabinet indicator: an amber readout naming the speaker set."""
    w, h = 68, 32
    img = big(w, h)
    d = ImageDraw.Draw(img)
    d.rounded_rectangle(sc(1.5, 3.0, w - 1.5, h - 2.0), radius=4 * S, fill=(0, 0, 0, 110))
    d.rounded_rectangle(sc(2, 2, w - 2, h - 3), radius=4 * S, fill=(150, 146, 138, 255))
    d.rounded_rectangle(sc(4, 4, w - 4, h - 5), radius=2 * S, fill=(16, 12, 8, 255))
    amber = (255, 176, 60)
    f = font("DejaVuSansMono-Bold.ttf", 10)
    f_small = font("DejaVuSansCondensed-Bold.ttf", 5.6)
    name = "2x12\"" if lit else "1x10\""
    glow = big(w, h)
    dg = ImageDraw.Draw(glow)
    dg.text(sc(w / 2, 13.5), name, font=f, fill=amber + (255,), anchor="mm")
    img = Image.alpha_composite(img, glow.filter(ImageFilter.GaussianBlur(1.2 * S)))
    d = ImageDraw.Draw(img)
    d.text(sc(w / 2, 13.5), name, font=f, fill=(255, 214, 140, 255), anchor="mm")
    text_centered(d, w / 2, 23.2, "CABINET", f_small, (170, 120, 50, 255), spacing=0.8)
    return small(img)


def speaker_key(lit):
    """The speaker-simulation key: a small cone icon instead of a word."""
    w, h = 30, 32
    img = big(w, h)
    d = ImageDraw.Draw(img)
    d.rounded_rectangle(sc(1.5, 3.0, w - 1.5, h - 2.0), radius=4 * S, fill=(0, 0, 0, 110))
    d.rounded_rectangle(sc(2, 2, w - 2, h - 3), radius=4 * S, fill=(150, 146, 138, 255))
    d.rounded_rectangle(sc(3, 3, w - 3, h - 4), radius=3 * S, fill=(44, 42, 40, 255) if not lit else (56, 52, 48, 255))
    led(d, w / 2, 10.5, 2.6, lit, (120, 220, 90))
    c = (236, 226, 200, 255) if lit else (150, 142, 126, 255)
    d.rectangle(sc(9.5, 19, 12.5, 24), fill=c)
    d.polygon(sc(12.5, 19, 17.5, 15.5, 17.5, 27.5, 12.5, 24), fill=c)
    for k, r in enumerate((3.0, 5.5)):
        d.arc(sc(17 - r, 21.5 - r, 17 + r, 21.5 + r), start=-50, end=50, fill=c, width=int(0.9 * S))
    return small(img)


def jewel(lit):
    """Red jewel lamp in a chrome bezel, faceted; lit it glows."""
    w = h = 29
    cx, cy = 14.5, 14.5
    img = big(w, h)
    d = ImageDraw.Draw(img)
    d.ellipse(sc(cx - 12.5, cy - 11.5, cx + 13.5, cy + 13.5), fill=(0, 0, 0, 120))
    d.ellipse(sc(cx - 12, cy - 12, cx + 12, cy + 12), fill=(196, 192, 184, 255), outline=(80, 78, 74, 255), width=S)
    for k in range(24):
        a = k * math.tau / 24
        d.line(sc(cx + 10.8 * math.cos(a), cy + 10.8 * math.sin(a), cx + 11.8 * math.cos(a), cy + 11.8 * math.sin(a)),
               fill=(120, 118, 112, 255), width=int(0.7 * S))
    d.ellipse(sc(cx - 9, cy - 9, cx + 9, cy + 9), fill=(90, 88, 84, 255))
    base = (236, 40, 30) if lit else (92, 16, 14)
    d.ellipse(sc(cx - 8, cy - 8, cx + 8, cy + 8), fill=base + (255,))
    # Facets: a ring of triangles shaded by their angle to the light.
    pts = 10
    for k in range(pts):
        a0, a1 = k * math.tau / pts, (k + 1) * math.tau / pts
        mid = (a0 + a1) / 2
        shade = 0.5 + 0.5 * math.cos(mid + 2.4)
        lo, hi = (0.55, 1.25) if lit else (0.6, 1.5)
        f = lo + (hi - lo) * shade
        col = tuple(min(255, int(c * f)) for c in base)
        d.polygon(sc(cx, cy, cx + 8 * math.cos(a0), cy + 8 * math.sin(a0), cx + 8 * math.cos(a1), cy + 8 * math.sin(a1)),
                  fill=col + (255,))
    d.ellipse(sc(cx - 3.4, cy - 3.4, cx + 3.4, cy + 3.4), fill=tuple(min(255, int(c * (1.35 if lit else 1.2))) for c in base) + (255,))
    d.ellipse(sc(cx - 5.5, cy - 6.5, cx - 1.5, cy - 3.0), fill=(255, 255, 255, 200 if lit else 110))
    if lit:
        glow = big(w, h)
        dg = ImageDraw.Draw(glow)
        dg.ellipse(sc(cx - 6, cy - 6, cx + 6, cy + 6), fill=(255, 150, 120, 120))
        img = Image.alpha_composite(img, glow.filter(ImageFilter.GaussianBlur(1.5 * S)))
    return small(img)


def push_button(lit):
    """The drive-select push button: a square cream cap, sunk when engaged."""
    w = h = 20
    img = big(w, h)
    d = ImageDraw.Draw(img)
    d.rounded_rectangle(sc(1, 1.8, 19.5, 19.8), radius=3 * S, fill=(0, 0, 0, 140))
    d.rounded_rectangle(sc(0.5, 0.5, 19, 19), radius=3 * S, fill=(60, 56, 50, 255))
    inset = 2.6 if lit else 1.6
    top = (206, 190, 150) if lit else (236, 224, 192)
    d.rounded_rectangle(sc(inset, inset, 19.5 - inset, 19.5 - inset), radius=2 * S, fill=top + (255,))
    d.line(sc(inset + 1, inset + 0.8, 18.5 - inset, inset + 0.8), fill=(255, 250, 236, 255), width=S)
    if lit:
        d.rounded_rectangle(sc(7, 7, 13, 13), radius=1 * S, fill=(236, 60, 40, 255))
    else:
        d.rounded_rectangle(sc(7, 7, 13, 13), radius=1 * S, fill=(150, 120, 100, 255))
    return small(img)


def toggle(up):
    """Chrome bat toggle on a hex nut; frame 1 points up (tube)."""
    w, h = 30, 29
    cx, cy = 15, 14.5
    img = big(w, h)
    d = ImageDraw.Draw(img)
    hexagon = [(cx + 8.5 * math.cos(a), cy + 8.5 * math.sin(a) + 0.8) for a in
               [k * math.tau / 6 + math.pi / 6 for k in range(6)]]
    d.polygon([v * S for p in hexagon for v in p], fill=(0, 0, 0, 110))
    hexagon = [(cx + 8.5 * math.cos(a), cy + 8.5 * math.sin(a)) for a in
               [k * math.tau / 6 + math.pi / 6 for k in range(6)]]
    d.polygon([v * S for p in hexagon for v in p], fill=(176, 174, 170, 255), outline=(90, 88, 84, 255))
    d.ellipse(sc(cx - 5, cy - 5, cx + 5, cy + 5), fill=(214, 212, 206, 255), outline=(110, 108, 104, 255), width=S)
    tip_y = 1.5 if up else h - 1.5
    dy = -1 if up else 1
    # The bat: a tapered lever ending in a ball, with a highlight.
    d.polygon(sc(cx - 2.4, cy, cx + 2.4, cy, cx + 3.6, tip_y - dy * 3, cx - 3.6, tip_y - dy * 3),
              fill=(150, 150, 148, 255))
    d.polygon(sc(cx - 1.2, cy, cx + 0.2, cy, cx - 1.0, tip_y - dy * 3, cx - 2.8, tip_y - dy * 3),
              fill=(236, 236, 232, 255))
    d.ellipse(sc(cx - 4.2, tip_y - dy * 3 - 3.5, cx + 4.2, tip_y - dy * 3 + 3.5), fill=(196, 196, 192, 255),
              outline=(90, 90, 88, 255), width=int(0.6 * S))
    d.ellipse(sc(cx - 2.8, tip_y - dy * 3 - 2.6, cx - 0.2, tip_y - dy * 3 - 0.4), fill=(255, 255, 255, 230))
    d.ellipse(sc(cx - 2.0, cy - 2.0, cx + 2.0, cy + 2.0), fill=(120, 120, 118, 255))
    return small(img)


def rocker(on, background):
    """The power rocker: opaque, so it carries its own patch of plate."""
    w, h = 32, 45
    img = background.copy().resize((w * S, h * S), Image.BICUBIC).convert("RGBA")
    d = ImageDraw.Draw(img)
    d.rounded_rectangle(sc(2, 2, 30, 43), radius=3 * S, fill=(20, 18, 18, 255), outline=(96, 92, 88, 255), width=S)
    red = (214, 36, 28) if on else (120, 22, 18)
    hi = (255, 120, 100) if on else (170, 50, 40)
    if on:  # top half pressed in, "I" side
        d.rectangle(sc(5, 5, 27, 22), fill=tuple(int(c * 0.8) for c in red) + (255,))
        d.rectangle(sc(5, 22, 27, 40), fill=red + (255,))
        d.line(sc(5, 39.5, 27, 39.5), fill=(60, 10, 8, 255), width=S)
        d.line(sc(5, 22.5, 27, 22.5), fill=hi + (255,), width=S)
        glow = Image.new("RGBA", img.size, (0, 0, 0, 0))
        ImageDraw.Draw(glow).rectangle(sc(5, 5, 27, 40), fill=(255, 60, 40, 70))
        img = Image.alpha_composite(img, glow.filter(ImageFilter.GaussianBlur(2 * S)))
        d = ImageDraw.Draw(img)
        d.line(sc(16, 8.5, 16, 17), fill=(255, 236, 226, 255), width=int(1.6 * S))
        d.ellipse(sc(12.5, 27, 19.5, 34), outline=(120, 20, 16, 255), width=int(1.4 * S))
    else:  # bottom half pressed in, "O" side
        d.rectangle(sc(5, 5, 27, 23), fill=red + (255,))
        d.rectangle(sc(5, 23, 27, 40), fill=tuple(int(c * 0.75) for c in red) + (255,))
        d.line(sc(5, 5.5, 27, 5.5), fill=hi + (255,), width=S)
        d.line(sc(5, 22.5, 27, 22.5), fill=(50, 8, 6, 255), width=S)
        d.line(sc(16, 9, 16, 17), fill=(70, 14, 10, 255), width=int(1.6 * S))
        d.ellipse(sc(12.5, 27, 19.5, 34), outline=(220, 160, 150, 255), width=int(1.4 * S))
    return small(img).convert("RGB")


def frames(images):
    w = images[0].width
    out = Image.new(images[0].mode, (w, sum(i.height for i in images)))
    y = 0
    for i in images:
        out.paste(i, (0, y))
        y += i.height
    return out


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..", "resources", "png")
    os.makedirs(out, exist_ok=True)
    panel = main_panel()
    images = {
        123: knob_body(),
        124: knob_scale(),
        126: frames([jewel(False), jewel(True)]),
        127: panel,
        128: about_panel(),
        129: frames([push_button(False), push_button(True)]),
        130: frames([rail_key(40, 32, "ABOUT", "ABOUT", (120, 180, 255), l) for l in (False, True)]),
        131: frames([rail_key(40, 32, "8x OS", "8x OS", (255, 170, 60), l) for l in (False, True)]),
        132: frames([speaker_key(False), speaker_key(True)]),
        133: frames([rail_key(40, 32, "MONO", "STEREO", (120, 220, 90), l) for l in (False, True)]),
        134: frames([rail_key(40, 32, "UPDATE", "UPDATE", (120, 180, 255), l) for l in (False, True)]),
        135: frames([rocker(False, panel.crop((639, 64, 671, 109))), rocker(True, panel.crop((639, 64, 671, 109)))]),
        136: frames([toggle(False), toggle(True)]),
        137: frames([cabinet_window(False), cabinet_window(True)]),
    }
    names = {123: "knob-body", 124: "knob-scale", 126: "lamp", 127: "panel", 128: "about", 129: "drive-select",
             130: "about-button", 131: "oversample-button", 132: "speaker-button", 133: "channels-button",
             134: "update-button", 135: "power-rocker", 136: "tube-toggle", 137: "cabinet"}
    for rid, img in images.items():
        img.save(os.path.join(out, f"{rid}-{names[rid]}.png"), optimize=True)


if __name__ == "__main__":
    main()
