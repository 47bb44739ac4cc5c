#!/usr/bin/python3
"""Builds the amplifier's stored impulse responses and writes them as C++.

Four 1024-tap cabinet responses (two cabinets, each at 44.1 and 48 kHz) and
two 32768-tap reverb responses (one per channel, at the reverb's internal
rate). Everything is derived from the parameters below and a fixed random
seed, so a rebuild reproduces the committed tables bit for bit:

    /usr/bin/python3 tools/irgen/generate_irs.py [--check]   (Debian python3-numpy)

--check only prints the measured properties of the tables it would write.
"""

import argparse
import os
import sys

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
OUT_DIR = os.path.normpath(os.path.join(HERE, "..", "..", "resources", "ir"))

CABINET_TAPS = 1024
LS_HOLD = 1.0  # how strongly the fit stays near the projected design
REVERB_TAPS = 32768
DESIGN_FFT = 65536

# Magnitude targets of the two cabinets in dB at frequencies in Hz, joined by
# straight lines on a log-frequency axis and then smoothed by a sixth of an
# octave: low-frequency cut of the closed/open back, flat body, cone presence
# peak and the steep break-up roll-off.
CABINETS = {
    "cabinet1x10": {
        "points": [(10, -60), (20, -40), (35, -24), (50, -15), (70, -7.5), (100, -2.5), (150, 0.0),
                   (250, 0.5), (400, -0.5), (700, 0.5), (1000, 0.0), (1300, -1.0), (1700, 1.0),
                   (2250, 5.5), (2700, 10.5), (3150, 4.5), (3700, -2.0), (4500, -7.0), (5200, -10.5),
                   (6000, -13.0), (7000, -18.0), (8000, -24.5), (9500, -31.0), (12000, -40.0),
                   (16000, -48.0), (24000, -55.0)],
        "first_taps": {44100: [0.005974, 0.050378, 0.128239, 0.194896],
                       48000: [0.022055, 0.082516, 0.155015, 0.205875]},
    },
    "cabinet2x12": {
        "points": [(10, -75), (20, -58), (35, -38), (50, -27), (65, -16), (80, -8), (100, -3.0),
                   (130, 0.5), (180, 1.0), (300, 0.0), (500, -1.0), (800, 0.0), (1200, 0.5),
                   (1600, 1.0), (2000, 4.5), (2400, 10.5), (2850, 4.5), (3500, -2.5), (4300, -7.5),
                   (5100, -10.5), (6000, -13.0), (7000, -18.0), (8000, -25.0), (9500, -31.5),
                   (12000, -39.0), (16000, -49.0), (24000, -56.0)],
        "first_taps": {44100: [0.001175, 0.022961, 0.084328, 0.171525],
                       48000: [0.007938, 0.044542, 0.113624, 0.194577]},
    },
}

# The reverb: a diffuse tail at the internal rate of 22050 Hz.
REVERB_RATE = 22050.0
REVERB_SEED = 20261207
REVERB_DIRECT = [0.76347, 0.249403, -0.068119, 0.143458]
REVERB_TAIL_START = 256
REVERB_TAIL_FIRST = -0.021309
REVERB_SPLIT = 562           # first tap at which the two channels differ
REVERB_ENERGY = [0.063, 0.050]
EARLY_SLOPE_DB = 20.0        # per 4096 taps at first
LATE_SLOPE_DB = 5.0          # per 4096 taps later on
END_LEVEL_DB = -60.0         # near the end
# Air and wall absorption: relative decay speed per band (low, mid, high).
BAND_EDGES_HZ = [400.0, 2500.0]
BAND_DECAY = [0.85, 1.0, 1.45]
BAND_GAIN_DB = [-1.0, 0.0, -4.0]
# Early reflections between the direct part and the tail (taps, gains).
EARLY_REFLECTIONS = [(17, 0.11), (29, -0.083), (46, 0.072), (61, 0.058), (83, -0.047), (104, 0.041),
                     (131, -0.033), (158, 0.029), (187, -0.024), (219, 0.019), (242, -0.015)]


def target_magnitude_db(points, freqs):
    f = np.maximum(freqs, 1.0)
    px = np.log2([p[0] for p in points])
    py = np.array([p[1] for p in points])
    db = np.interp(np.log2(f), px, py)
    # Sixth-octave smoothing on a uniform log grid.
    grid = np.linspace(px[0], px[-1], 4096)
    curve = np.interp(grid, px, py)
    width = (1.0 / 6.0) / (grid[1] - grid[0])
    k = np.arange(-int(3 * width), int(3 * width) + 1)
    kernel = np.exp(-0.5 * (k / width) ** 2)
    kernel /= kernel.sum()
    padded = np.concatenate([np.full(len(k), curve[0]), curve, np.full(len(k), curve[-1])])
    smooth = np.convolve(padded, kernel, mode="same")[len(k):-len(k)]
    db = np.interp(np.log2(f), grid, smooth)
    return db


def minimum_phase(magnitude):
    """Minimum-phase spectrum with the given magnitude (full FFT length)."""
    n = len(magnitude)
    cepstrum = np.fft.ifft(np.log(np.maximum(magnitude, 1e-9))).real
    fold = np.zeros(n)
    fold[0] = cepstrum[0]
    fold[1:n // 2] = 2.0 * cepstrum[1:n // 2]
    fold[n // 2] = cepstrum[n // 2]
    return np.exp(np.fft.fft(fold))


def tail_window(n, fade):
    w = np.ones(n)
    w[n - fade:] = 0.5 * (1.0 + np.cos(np.pi * np.arange(fade) / fade))
    return w


def project_cabinet(magnitude, first_taps):
    h = np.fft.ifft(minimum_phase(magnitude)).real[:CABINET_TAPS]
    window = tail_window(CABINET_TAPS, 256)
    h *= window
    # Pin the first taps and pull the magnitude back to the target, keeping the
    # phase each round; the result stays minimum-phase in character (all the
    # energy at the start, no pre-ringing) with the listed onset.
    for _ in range(200):
        h[:4] = first_taps
        spectrum = np.fft.fft(h, DESIGN_FFT)
        spectrum = magnitude * np.exp(1j * np.angle(spectrum))
        h = np.fft.ifft(spectrum).real[:CABINET_TAPS] * window
    h[:4] = first_taps
    return h


def design_cabinet(points, rate, first_taps):
    """The projected design, unless the pinned onset keeps it from reaching the
    bass cut; then the least-squares refinement below."""
    freqs = np.abs(np.fft.fftfreq(DESIGN_FFT, 1.0 / rate))
    desired = target_magnitude_db(points, freqs)
    aim = desired.copy()
    # Pinned onset and 1024 taps pull the result off the target; a few rounds
    # of correcting the aim (smoothly, below 10 kHz) bring it back.
    for _ in range(8):
        h = project_cabinet(10.0 ** (aim / 20.0), first_taps)
        achieved = 20.0 * np.log10(np.maximum(np.abs(np.fft.fft(h, DESIGN_FFT)), 1e-9))
        error = np.clip(achieved - desired, -12.0, 12.0)
        aim -= 0.8 * np.where(freqs < 10000.0, error, 0.0)
    miss = level_db(h, rate, 50.0) - target_magnitude_db(points, np.array([50.0]))[0]
    if abs(miss) <= 3.0:
        return h.astype(np.float32)
    return refine_cabinet(points, rate, first_taps)


def refine_cabinet(points, rate, first_taps):
    """Pinned onset, then a weighted least-squares fit of the remaining taps to
    the minimum-phase response of the target (relative error, so the deep
    bass cut counts as much as the body), held near the projected design so
    that the fit stays smooth and decays to nothing."""
    n = CABINET_TAPS
    bins = np.fft.rfftfreq(DESIGN_FFT, 1.0 / rate)
    magnitude = 10.0 ** (target_magnitude_db(points, np.abs(np.fft.fftfreq(DESIGN_FFT, 1.0 / rate))) / 20.0)
    target = minimum_phase(magnitude)[:DESIGN_FFT // 2 + 1]
    start = project_cabinet(magnitude, first_taps)
    f = np.geomspace(20.0, 0.49 * rate, 1500)
    wanted = np.interp(f, bins, target.real) + 1j * np.interp(f, bins, target.imag)
    weight = 1.0 / np.maximum(np.abs(wanted), 0.003)
    weight *= np.where((f > 1500.0) & (f < 4000.0), 3.0, 1.0) * np.where(f < 14000.0, 1.0, 0.1)
    k = np.arange(n)
    basis = np.exp(-2j * np.pi * np.outer(f, k) / rate)
    rhs = (wanted - basis[:, :4] @ np.asarray(first_taps)) * weight
    fit = basis[:, 4:] * weight[:, None]
    hold = np.sqrt(LS_HOLD) * (1.0 + 20.0 * (k[4:] / n) ** 2 + 3000.0 * (k[4:] / n) ** 12)
    a = np.vstack([fit.real, fit.imag, np.diag(hold)])
    b = np.concatenate([rhs.real, rhs.imag, hold * start[4:]])
    rest, *_ = np.linalg.lstsq(a, b, rcond=None)
    h = np.concatenate([first_taps, rest]) * tail_window(n, 128)
    return h.astype(np.float32)


def band_split(x, rate):
    spectrum = np.fft.rfft(x)
    f = np.fft.rfftfreq(len(x), 1.0 / rate)
    bands = []
    lower = np.zeros_like(f)
    for edge in BAND_EDGES_HZ + [None]:
        if edge is None:
            upper = np.ones_like(f)
        else:
            upper = 1.0 / (1.0 + (f / edge) ** 4)  # smooth complementary crossover
        weight = upper - lower
        bands.append(np.fft.irfft(spectrum * weight, len(x)))
        lower = upper
    return bands


def target_envelope_db(t):
    """Broadband level in dB relative to the tail's start, t taps after it."""
    early = 10.0 ** (-EARLY_SLOPE_DB * t / 4096.0 / 10.0)
    end = REVERB_TAPS - REVERB_TAIL_START - 1024
    late_gain = 10.0 ** ((END_LEVEL_DB + LATE_SLOPE_DB * end / 4096.0) / 10.0)
    late = late_gain * 10.0 ** (-LATE_SLOPE_DB * t / 4096.0 / 10.0)
    return 10.0 * np.log10(early + late)


def smoothed_level(x, width=257):
    kernel = np.hanning(width)
    kernel /= kernel.sum()
    return np.sqrt(np.maximum(np.convolve(x * x, kernel, mode="same"), 1e-30))


def diffuse_tail(rng, length):
    t = np.arange(length, dtype=float)
    noise = rng.standard_normal(length)
    tail = np.zeros(length)
    for band, speed, gain in zip(band_split(noise, REVERB_RATE), BAND_DECAY, BAND_GAIN_DB):
        tail += band * 10.0 ** ((gain + target_envelope_db(t * speed) - target_envelope_db(t)) / 20.0)
    # A gentle high-pass for the room's lowest modes and a soft top.
    spectrum = np.fft.rfft(tail)
    f = np.fft.rfftfreq(length, 1.0 / REVERB_RATE)
    shape = (f / 90.0) ** 2 / (1.0 + (f / 90.0) ** 2) / np.sqrt(1.0 + (f / 7000.0) ** 4)
    tail = np.fft.irfft(spectrum * shape, length)
    # Impose the broadband decay exactly; the bands keep their relative colour.
    envelope = 10.0 ** (target_envelope_db(t) / 20.0)
    tail *= envelope / smoothed_level(tail)
    # A short build-up at the start and a fade over the last taps.
    tail[:64] *= np.sin(0.5 * np.pi * (np.arange(64) + 1) / 64.0)
    tail *= tail_window(length, 512)
    return tail


def design_reverb():
    rng = np.random.default_rng(REVERB_SEED)
    length = REVERB_TAPS - REVERB_TAIL_START
    left = diffuse_tail(rng, length)
    right = diffuse_tail(rng, length)
    shared = REVERB_SPLIT - REVERB_TAIL_START
    right[:shared] = left[:shared]
    tails = []
    for tail, energy in zip((left, right), REVERB_ENERGY):
        tail = tail.copy()
        tail *= np.sqrt(energy / np.sum(tail ** 2))
        tails.append(tail)
    # The shared part is the left channel's; the right channel's own part is
    # scaled (with a short ramp) so that its total energy hits its target.
    common = tails[0][:shared]
    right_own = tails[1][shared:]
    ramp_len = 512
    ramp = np.ones(len(right_own))
    lo, hi = 0.0, 4.0
    for _ in range(100):
        g = 0.5 * (lo + hi)
        ramp[:ramp_len] = 1.0 + (g - 1.0) * np.arange(ramp_len) / ramp_len
        ramp[ramp_len:] = g
        energy = np.sum(common ** 2) + np.sum((right_own * ramp) ** 2)
        if energy > REVERB_ENERGY[1]:
            hi = g
        else:
            lo = g
    tails[1] = np.concatenate([common, right_own * ramp])
    tables = []
    for tail in tails:
        ir = np.zeros(REVERB_TAPS)
        ir[:4] = REVERB_DIRECT
        for tap, gain in EARLY_REFLECTIONS:
            ir[tap] = gain
        ir[REVERB_TAIL_START:] = tail
        ir[REVERB_TAIL_START] = REVERB_TAIL_FIRST
        tables.append(ir.astype(np.float32))
    return tables


def level_db(h, rate, f, fft=65536):
    spectrum = np.fft.rfft(h.astype(float), fft)
    bins = np.fft.rfftfreq(fft, 1.0 / rate)
    return 20.0 * np.log10(np.abs(np.interp(f, bins, np.abs(spectrum))))


def report(cabinets, reverbs):
    for name, rate, h in cabinets:
        f = np.linspace(1500, 4000, 2501)
        levels = level_db(h, rate, f)
        peak = f[np.argmax(levels)]
        print(f"{name}@{rate}: first {h[:4]} peak {peak:.0f} Hz {levels.max():+.1f} dB; "
              + " ".join(f"{x:g}Hz {level_db(h, rate, x):+.1f}" for x in (50, 100, 200, 1000, 3000, 6000, 8000))
              + f"; energy after tap 40: {np.sum(h[40:].astype(float)**2) / np.sum(h.astype(float)**2):.3f}"
              + f", in the last 64: {np.sum(h[-64:].astype(float)**2) / np.sum(h.astype(float)**2):.1e}")
    for c, h in enumerate(reverbs):
        tail = h[REVERB_TAIL_START:].astype(float)
        def window_db(a):
            return 10 * np.log10(np.mean(tail[a:a + 1024] ** 2) / np.mean(tail[:1024] ** 2))
        print(f"reverb{c}: energy {np.sum(tail ** 2):.4f}; level at +4096 {window_db(4096):.1f} dB, "
              f"+8192 {window_db(8192):.1f} dB, end {window_db(len(tail) - 1536):.1f} dB")
    print("channels equal up to", np.argmax(reverbs[0] != reverbs[1]) - 1)


def cpp_literal(v):
    s = np.format_float_scientific(np.float32(v), unique=True, trim="-", exp_digits=1)
    if "e+0" in s:
        s = s.replace("e+0", "")
    if "." not in s and "e" not in s:
        s += ".0"
    return s + "f"


def write_table(out, name, values):
    out.write(f"const float {name}[{len(values)}] = {{\n")
    for i in range(0, len(values), 8):
        out.write("    " + ", ".join(cpp_literal(v) for v in values[i:i + 8]) + ",\n")
    out.write("};\n\n")


HEADER_NOTE = "// Generated by tools/irgen/generate_irs.py; edit the generator, not this file.\n"


def write_sources(cabinets, reverbs):
    with open(os.path.join(OUT_DIR, "CabinetResponses.cpp"), "w") as out:
        out.write(HEADER_NOTE + '#include "resources/ir/ImpulseResponses.h"\n\nnamespace valvora::ir {\n\n')
        for name, rate, h in cabinets:
            write_table(out, f"{name}At{rate // 1000}k", h)
        out.write("}  // namespace valvora::ir\n")
    with open(os.path.join(OUT_DIR, "ReverbResponses.cpp"), "w") as out:
        out.write(HEADER_NOTE + '#include "resources/ir/ImpulseResponses.h"\n\nnamespace valvora::ir {\n\n')
        for c, h in enumerate(reverbs):
            write_table(out, f"reverbChannel{c}", h)
        out.write("}  // namespace valvora::ir\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true", help="print the properties, write nothing")
    args = parser.parse_args()
    cabinets = []
    for name, spec in CABINETS.items():
        for rate in (44100, 48000):
            cabinets.append((name, rate, design_cabinet(spec["points"], rate, spec["first_taps"][rate])))
    reverbs = design_reverb()
    report(cabinets, reverbs)
    if not args.check:
        write_sources(cabinets, reverbs)
    return 0


if __name__ == "__main__":
    sys.exit(main())
