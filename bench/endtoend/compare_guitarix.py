#!/usr/bin/python3
"""Real-time factors of valvora-render and of Debian's guitarix-lv2 amps,
measured in one run on the same stereo DI input.

Both sides are timed the same way: audio time / CPU time of all threads of
the process over the render loop (read, process in 512-frame blocks, write),
as each tool reports it; the median of several runs is printed. guitarix runs
in lv2_render.cpp (next to this script), a minimal offline LV2 host built here
on the fly, because the generic offline hosts crash in these plug-ins.
Needs the benchmark-only packages guitarix-lv2 and liblilv-dev.

Usage: compare_guitarix.py [--render build/linux/bin/valvora-render] [--runs 3] [--repeat 3]
"""
import argparse
import array
import os
import re
import statistics
import struct
import subprocess
import sys
import tempfile
import wave

GX_STEREO = "http://guitarix.sourceforge.net/plugins/gx_amp_stereo#GUITARIX_ST"
GX_MONO = "http://guitarix.sourceforge.net/plugins/gx_amp#GUITARIX"
GX_BUNDLES = "/usr/lib/lv2"
RATE = 48000


def read_float_wav(path):
    """Mono 32-bit float samples of a WAV file (walks the chunks)."""
    with open(path, "rb") as f:
        data = f.read()
    at = 12
    while at + 8 <= len(data):
        tag, size = data[at:at + 4], struct.unpack("<I", data[at + 4:at + 8])[0]
        if tag == b"data":
            samples = array.array("f")
            samples.frombytes(data[at + 8:at + 8 + size])
            return samples
        at += 8 + size + (size & 1)
    sys.exit(f"{path}: no data chunk")


def write_pcm24(path, channels, samples, repeat):
    frames = bytearray()
    for x in samples:
        v = max(-8388608, min(8388607, int(round(x * 8388607.0))))
        frames += v.to_bytes(3, "little", signed=True) * channels
    with wave.open(path, "wb") as w:
        w.setnchannels(channels)
        w.setsampwidth(3)
        w.setframerate(RATE)
        for _ in range(repeat):
            w.writeframes(frames)
    return len(samples) * repeat / RATE


def reported_factor(command):
    """The "(N.Nx real time)" figure a render prints on its summary line."""
    result = subprocess.run(command, capture_output=True, text=True)
    match = re.search(r"\(([0-9.]+)x real time\)", result.stdout)
    if result.returncode != 0 or not match:
        sys.exit(f"failed: {' '.join(command)}\n{result.stdout}{result.stderr}")
    return float(match.group(1))


def factor(command, runs):
    return statistics.median(reported_factor(command) for _ in range(runs))


def build_lv2_host(here, folder):
    flags = subprocess.run(["pkg-config", "--cflags", "--libs", "lilv-0", "sndfile"], capture_output=True, text=True)
    if flags.returncode != 0:
        sys.exit("liblilv-dev is missing: apt-get install liblilv-dev guitarix-lv2")
    binary = os.path.join(folder, "lv2_render")
    subprocess.run(["c++", "-O2", "-std=c++20", "-o", binary, os.path.join(here, "lv2_render.cpp")]
                   + flags.stdout.split(), check=True)
    return binary


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--render", default=os.path.join(here, "..", "..", "build", "linux", "bin", "valvora-render"))
    parser.add_argument("--runs", type=int, default=3, help="runs per case (median)")
    parser.add_argument("--repeat", type=int, default=3, help="copies of the 20 s performance in the input")
    args = parser.parse_args()
    for bundle in ("gx_amp", "gx_amp_stereo"):
        if not os.path.isdir(f"{GX_BUNDLES}/{bundle}.lv2"):
            sys.exit("guitarix-lv2 is missing: apt-get install guitarix-lv2 liblilv-dev")

    with tempfile.TemporaryDirectory(prefix="valvora-vs-gx-") as tmp:
        lv2_render = build_lv2_host(here, tmp)
        subprocess.run([args.render, "--demo-input", f"{tmp}/di.wav", "--format", "float"], check=True,
                       stdout=subprocess.DEVNULL)
        di = read_float_wav(f"{tmp}/di.wav")
        seconds = write_pcm24(f"{tmp}/stereo.wav", 2, di, args.repeat)
        write_pcm24(f"{tmp}/mono.wav", 1, di, args.repeat)
        out = f"{tmp}/out.wav"
        valvora = [args.render, "--format", "float"]
        cases = [
            ("valvora-render, program 0 (Default), stereo buffers",
             valvora + ["--program", "0", f"{tmp}/stereo.wav", out]),
            ("valvora-render, program 0 with Channels=2 (true stereo)",
             valvora + ["--program", "0", "--set", "Channels=2", f"{tmp}/stereo.wav", out]),
            ("valvora-render, worst case (drive, tube, 8x, reverb 1, cabinet, true stereo)",
             valvora + ["--set", "Channel=drive", "--set", "TubeMode=on", "--set", "Oversample=on",
                        "--set", "Reverb=1", "--set", "SpeakerSim=on", "--set", "Channels=2",
                        f"{tmp}/stereo.wav", out]),
            ("guitarix gx_amp_stereo, defaults",
             [lv2_render, GX_STEREO, f"{GX_BUNDLES}/gx_amp_stereo.lv2", f"{tmp}/stereo.wav", out]),
            ("guitarix gx_amp (mono), defaults",
             [lv2_render, GX_MONO, f"{GX_BUNDLES}/gx_amp.lv2", f"{tmp}/mono.wav", out]),
        ]
        print(f"{seconds:.0f} s of DI at {RATE} Hz (24-bit in, float out); real-time factor = audio time / "
              f"CPU time of all threads over the render loop, median of {args.runs} runs")
        for name, command in cases:
            print(f"  {factor(command, args.runs):7.1f}x  {name}", flush=True)


if __name__ == "__main__":
    main()
