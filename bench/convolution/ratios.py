#!/usr/bin/env python3
"""Ratios of ours to the yardstick from one interleaved run.

Runs RealFftBench and ConvolverBench and prints, per size or per convolver and
pacing, the median of our repetitions over the median of FFTW's or
zita-convolver's (and the fastest over the fastest), for the time and for
the counters the two share. Usage:
  ratios.py BUILD_DIR [--fft-only | --convolvers-only]
  ratios.py BUILD_DIR --processes N
The second runs the flat-out convolver comparison in N fresh processes, one
draw each. On our shared 2-vCPU build machine one vCPU is at times about
1.8x slower than the other (the host's load): zita-convolver, which runs
1024 taps on its calling thread alone, then costs about 30 or 55 ns per
sample depending on the vCPU it lands on, while ours, whose worker runs on
the other vCPU, pays for both, and for waking a worker across vCPUs. Run it
under `taskset -c 0` (or 1) to compare both on the same vCPU.
"""
import json
import subprocess
import sys


def medians(exe, *flags):
    out = subprocess.run([exe, "--benchmark_format=json", *flags],
                         check=True, capture_output=True, text=True).stdout
    result = {}
    for b in json.loads(out)["benchmarks"]:
        if b.get("aggregate_name") in ("median", "min"):
            result[b["run_name"] + "/" + b["aggregate_name"]] = b
    return result


def pick(m, prefix, statistic="median"):
    return next(v for k, v in m.items() if k.startswith(prefix) and k.endswith("/" + statistic))


def fft(build):
    m = medians(f"{build}/bench/convolution/RealFftBench")
    print("RealFft / FFTW (forward+inverse pair; medians and fastest of 12 interleaved repetitions)")
    for n in [128 << i for i in range(8)]:
        ours, fftw = pick(m, f"ours/{n}/"), pick(m, f"fftw/{n}/")
        fastest = pick(m, f"ours/{n}/", "min")["real_time"] / pick(m, f"fftw/{n}/", "min")["real_time"]
        print(f"  {n:6d}: {ours['real_time'] / fftw['real_time']:.2f}  fastest {fastest:.2f}"
              f"   (ours {ours['ns_per_NlogN'] * 1e9:.3f}, FFTW {fftw['ns_per_NlogN'] * 1e9:.3f} ns per N log2 N)")


def convolvers(build):
    m = medians(f"{build}/bench/convolution/ConvolverBench")
    keys = ["total_ns", "busy_total_ns", "audio_ns", "worker_ns",
            "schedule_worst_over_median", "p999_over_median", "worst_over_median"]
    pacing = {0: "flat out", 1: "paced", 2: "paced, real-time"}
    print("Convolvers, ours vs zita (medians of interleaved repetitions)")
    for kind in ["long", "short"]:
        for p, label in pacing.items():
            ours, zita = pick(m, f"{kind}Ours/{p}/"), pick(m, f"{kind}Zita/{p}/")
            parts = []
            for key in keys:
                if key in ours and key in zita:
                    if key.endswith("over_median"):
                        parts.append(f"{key} {ours[key]:.2f} (zita {zita[key]:.2f})")
                    elif key.endswith("total_ns"):
                        parts.append(f"{key} {ours[key]:.1f}/{zita[key]:.1f} = {ours[key] / zita[key]:.2f}x")
                    else:
                        parts.append(f"{key} {ours[key]:.1f} (zita {zita[key]:.1f})")
            print(f"  {kind} {label}: " + "; ".join(parts))


def processes(build, count):
    exe = f"{build}/bench/convolution/ConvolverBench"
    ratios = {"long": [], "short": []}
    print(f"Convolvers flat out, ours / zita total CPU, in {count} processes (medians of 5 repetitions each)")
    for i in range(count):
        m = medians(exe, "--benchmark_filter=/0/", "--benchmark_repetitions=5")
        row = []
        for kind in ratios:
            ours, zita = pick(m, f"{kind}Ours/0/"), pick(m, f"{kind}Zita/0/")
            ratios[kind].append(ours["total_ns"] / zita["total_ns"])
            row.append(f"{kind} {ours['total_ns']:.1f}/{zita['total_ns']:.1f} = {ratios[kind][-1]:.2f}x")
        print(f"  {i + 1:3d}: " + "; ".join(row))
    for kind, values in ratios.items():
        values.sort()
        print(f"  {kind}: median {values[len(values) // 2]:.2f}x, range {values[0]:.2f}-{values[-1]:.2f}x")


if __name__ == "__main__":
    build = sys.argv[1] if len(sys.argv) > 1 else "build/linux"
    if "--processes" in sys.argv:
        processes(build, int(sys.argv[sys.argv.index("--processes") + 1]))
        sys.exit(0)
    if "--convolvers-only" not in sys.argv:
        fft(build)
    if "--fft-only" not in sys.argv:
        convolvers(build)
