#!/usr/bin/python3
"""Draws the demo's one picture: for every program, its small-signal magnitude
response and the showcase chord's waveform through it (the dry chord in grey).

Usage: plot_programs.py DATA_FOLDER OUTPUT.png
DATA_FOLDER holds what valvora-render measured: programs.tsv (index, name,
harmonics in dB) and raw little-endian float32 files N_ir.f32, N_chord.f32 and
dry_chord.f32, all at 48 kHz.
"""
import os
import sys

import matplotlib

matplotlib.use("Agg")  # no display needed
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

RATE = 48000
COLUMNS = 4


def read_f32(folder, name):
    return np.fromfile(os.path.join(folder, name), dtype="<f4").astype(np.float64)


def smoothed_response_db(impulse_response):
    """|H| in dB on a log grid, power-averaged over 1/6-octave bands so the
    reverb's dense notches do not hide the program's tonal shape."""
    size = 1 << int(np.ceil(np.log2(len(impulse_response))))
    power = np.abs(np.fft.rfft(impulse_response, size)) ** 2
    freqs = np.fft.rfftfreq(size, 1.0 / RATE)
    grid = np.geomspace(20.0, 20000.0, 240)
    band = 2.0 ** (1.0 / 12.0)  # half of 1/6 octave each side
    out = np.empty_like(grid)
    for i, f in enumerate(grid):
        sel = (freqs >= f / band) & (freqs <= f * band)
        p = power[sel].mean() if np.any(sel) else np.interp(f, freqs, power)
        out[i] = 10.0 * np.log10(max(p, 1e-20))
    return grid, out


def main():
    folder, picture = sys.argv[1], sys.argv[2]
    rows = []
    with open(os.path.join(folder, "programs.tsv"), encoding="utf-8") as manifest:
        for line in manifest:
            index, name, harmonics = line.rstrip("\n").split("\t")
            rows.append((int(index), name, float(harmonics)))
    dry_chord = read_f32(folder, "dry_chord.f32")
    t_ms = np.arange(len(dry_chord)) * 1000.0 / RATE

    grid_rows = (len(rows) + COLUMNS - 1) // COLUMNS
    fig, axes = plt.subplots(2 * grid_rows, COLUMNS, figsize=(4.4 * COLUMNS, 3.2 * grid_rows),
                             gridspec_kw={"height_ratios": [1.2, 1.0] * grid_rows})
    fig.suptitle("Valvora QX70 programs: small-signal magnitude response and the E major chord "
                 "(dry DI in grey)", fontsize=13)
    for k, (index, name, harmonics) in enumerate(rows):
        r, c = 2 * (k // COLUMNS), k % COLUMNS
        freqs, db = smoothed_response_db(read_f32(folder, f"{index}_ir.f32"))
        ax = axes[r][c]
        ax.semilogx(freqs, db, color="tab:blue", linewidth=1.2)
        ax.set_xlim(20, 20000)
        top = np.ceil(db.max() / 10.0) * 10.0
        ax.set_ylim(top - 60.0, top + 5.0)
        ax.grid(True, which="both", alpha=0.3)
        ax.set_title(f"{index}: {name}  (harmonics {harmonics:.0f} dB)", fontsize=9)
        ax.tick_params(labelsize=7)
        ax.set_ylabel("dB", fontsize=7)

        chord = read_f32(folder, f"{index}_chord.f32")
        wave = axes[r + 1][c]
        wave.plot(t_ms, dry_chord, color="0.7", linewidth=0.8)
        wave.plot(t_ms[: len(chord)], chord, color="tab:red", linewidth=0.8)
        limit = max(1e-3, np.abs(chord).max(), np.abs(dry_chord).max()) * 1.1
        wave.set_ylim(-limit, limit)
        wave.tick_params(labelsize=7)
        wave.set_xlabel("ms", fontsize=7)
    fig.tight_layout(rect=(0, 0, 1, 0.98))
    fig.savefig(picture, dpi=80)


if __name__ == "__main__":
    main()
