#!/usr/bin/python3
"""Composes the editor's images as the running editor shows them (all
controls at their places, knob scales turned to the given values), to judge
the artwork without a Windows build.  Usage: preview.py png-folder out.png [lit]
"""
import glob
import math
import os
import sys

import numpy as np
from PIL import Image

BUTTONS = [(639, 64, 135), (379, 0, 131), (419, 0, 133), (339, 0, 134), (299, 0, 130), (461, 0, 132),
           (228, 86, 129), (300, 98, 126), (35, 72, 136), (491, 0, 137)]
KNOBS = [(171, 30), (89, 45), (248, 60), (461, 50), (396, 55), (330, 65), (541, 100)]


def load(folder, rid):
    return Image.open(glob.glob(os.path.join(folder, f"{rid}-*.png"))[0]).convert("RGBA")


def turned_scale(base, overlay, value):
    """Adds the overlay's alpha as white light, turned like the editor does."""
    t = value * 0.01
    th = t * 2.6179938 - (1 - t) * 2.6179938
    c, s = math.cos(th), math.sin(th)
    work = np.asarray(base, float).copy()
    a = np.asarray(overlay, float)[..., 3]
    h, w = a.shape
    add = np.zeros((h, w))
    for i in range(h):
        for j in range(w):
            if a[i, j] <= 1:
                continue
            X = c * (j - 27.5) - s * (i - 28) + 27.5
            Y = c * (i - 28) + s * (j - 27.5) + 28
            xi, yi = int(X), int(Y)
            fx, fy = X - xi, Y - yi
            if xi <= 0: xi, fx = 0, 0
            if xi >= w - 1: xi, fx = w - 1, 0
            if yi <= 0: yi, fy = 0, 0
            if yi >= h - 1: yi, fy = h - 1, 0
            for dx, dy, wt in ((0, 0, (1 - fx) * (1 - fy)), (1, 0, fx * (1 - fy)), (1, 1, fx * fy), (0, 1, (1 - fx) * fy)):
                if wt > 0:
                    add[min(yi + dy, h - 1), min(xi + dx, w - 1)] += a[i, j] * wt
    g = np.minimum(255, work[..., 2] + add)
    for k in range(3):
        work[..., k] = np.where(add > 0, g, work[..., k])
    return Image.fromarray(np.uint8(work), "RGBA")


def main():
    folder, out = sys.argv[1], sys.argv[2]
    lit = len(sys.argv) > 3
    panel = load(folder, 127)
    body, scale = load(folder, 123), load(folder, 124)
    for x, v in KNOBS:
        patch = panel.crop((x, 58, x + 57, 115))
        patch = Image.alpha_composite(patch, body)
        panel.paste(turned_scale(patch, scale, v), (x, 58))
    for x, y, rid in BUTTONS:
        sprite = load(folder, rid)
        fh = sprite.height // 2
        frame = sprite.crop((0, fh if lit else 0, sprite.width, 2 * fh if lit else fh))
        patch = panel.crop((x, y, x + sprite.width, y + fh))
        panel.paste(Image.alpha_composite(patch, frame), (x, y))
    panel.convert("RGB").save(out)


if __name__ == "__main__":
    main()
