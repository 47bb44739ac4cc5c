#!/usr/bin/env python3
"""The Ardour suite: Valvora QX70 in a real DAW, headless.

Ardour 7 from Debian (package `ardour`, installed by scripts/setup): its VST
scanner indexes the built module, and `ardour7-lua` with the "None (Dummy)"
backend renders through it (tests/ardour/render.lua).

  ardour_suite.py scan   MODULE   the scan finds "Valvora QX70" by "Kelmo", 2 in / 2 out
  ardour_suite.py render MODULE   a stereo DI through the Default program is finite and
                                  differs from the DI; with Enable and Oversample off the
                                  render is the DI bit for bit
  ardour_suite.py render-lv2 BUNDLE   the same through the LV2 bundle, loaded by its URI

Everything happens in a fresh temporary HOME (Ardour's configuration, cache
and the scripts the suite installs there), so the machine's own Ardour
setup is neither read nor changed. Exits 77 (a skip for ctest) with a message
only when Ardour is not installed.
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

HERE = os.path.dirname(os.path.abspath(__file__))
ARDOUR_LIB = "/usr/lib/ardour7"
SCANNER = os.path.join(ARDOUR_LIB, "ardour-vst-scanner")
LUA = os.environ.get("VALVORA_ARDOUR_LUA") or shutil.which("ardour7-lua")


def fail(message):
    print("FAILED: " + message)
    sys.exit(1)


def skip_without_ardour():
    if not LUA or not os.access(SCANNER, os.X_OK):
        print("SKIPPED: Ardour 7 is not installed (ardour7-lua, %s); scripts/setup installs the ardour package"
              % SCANNER)
        sys.exit(77)


LV2_URI = "http://kelmo.example/plugins/valvora-qx70"


def prepare(module):
    """A temporary HOME with the module (or the LV2 bundle) in a folder of its own."""
    work = tempfile.mkdtemp(prefix="valvora-ardour-")
    home = os.path.join(work, "home")
    vst = os.path.join(work, "vst")
    os.makedirs(os.path.join(home, ".config", "ardour7", "scripts"))
    os.makedirs(os.path.join(home, ".config", "ardour7", "export"))
    os.makedirs(vst)
    if os.path.isdir(module):
        shutil.copytree(module, os.path.join(vst, os.path.basename(module)))
    else:
        shutil.copy2(module, os.path.join(vst, os.path.basename(module)))
    shutil.copy(os.path.join(HERE, "valvora-di-source.lua"), os.path.join(home, ".config", "ardour7", "scripts"))
    shutil.copy(os.path.join(HERE, "preset.xml"), os.path.join(home, ".config", "ardour7", "export", "valvora.preset"))
    env = dict(os.environ)
    # Only our build on each path, so what Ardour loads is what was built.
    env.update({"HOME": home, "LXVST_PATH": vst, "LV2_PATH": vst})
    for name in ("XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"):
        env.pop(name, None)
    env.pop("DISPLAY", None)  # headless: nothing may need a display
    return work, vst, env


def scan(work, vst, env):
    """Runs Ardour's VST scanner on the module; returns the VST2Info attributes."""
    plugin = os.path.join(vst, os.listdir(vst)[0])
    scan_env = dict(env)
    scan_env["LD_LIBRARY_PATH"] = ARDOUR_LIB + (":" + env["LD_LIBRARY_PATH"] if env.get("LD_LIBRARY_PATH") else "")
    run = subprocess.run([SCANNER, "-f", "-v", plugin], env=scan_env, capture_output=True, text=True, timeout=120)
    output = run.stdout + run.stderr
    if run.returncode != 0:
        fail("the scanner failed (%d):\n%s" % (run.returncode, output))
    cache = os.path.join(env["HOME"], ".cache", "ardour7", "vst")
    infos = []
    for name in os.listdir(cache) if os.path.isdir(cache) else []:
        if name.endswith(".v2i"):
            infos += [e.attrib for e in ET.parse(os.path.join(cache, name)).getroot().iter("VST2Info")]
    if not infos:
        fail("the scanner wrote no VST2 cache:\n" + output)
    return infos, output


def read_float_wav(path):
    """(channels, samples as a list of floats interleaved) of a 32-bit float WAV."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        fail(path + " is not a WAV file")
    pos, channels, fmt, bits, samples = 12, 0, 0, 0, None
    while pos + 8 <= len(data):
        tag, size = data[pos:pos + 4], struct.unpack("<I", data[pos + 4:pos + 8])[0]
        body = data[pos + 8:pos + 8 + size]
        if tag == b"fmt ":
            fmt, channels = struct.unpack("<HH", body[:4])
            bits = struct.unpack("<H", body[14:16])[0]
            if fmt == 0xFFFE:  # WAVE_FORMAT_EXTENSIBLE: the sub-format's first two bytes
                fmt = struct.unpack("<H", body[24:26])[0]
        elif tag == b"data":
            samples = body
        pos += 8 + size + (size & 1)
    if fmt != 3 or bits != 32 or samples is None:
        fail("%s: expected 32-bit float samples (format %d, %d bits)" % (path, fmt, bits))
    return channels, samples


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("scan", "render", "render-lv2"):
        print(__doc__)
        return 2
    skip_without_ardour()
    mode, module = sys.argv[1], os.path.abspath(sys.argv[2])
    work, vst, env = prepare(module)
    try:
        if mode == "render-lv2":
            env.update({"VALVORA_PLUGIN_TYPE": "LV2", "VALVORA_PLUGIN": LV2_URI})
        else:
            infos, output = scan(work, vst, env)
            ours = [i for i in infos if i.get("name") == "Valvora QX70"]
        if mode == "scan":
            if not ours:
                fail("the scan did not find Valvora QX70:\n" + output)
            info = ours[0]
            checks = [("creator", "Kelmo"), ("n_inputs", "2"), ("n_outputs", "2"), ("is_instrument", "0"),
                      ("can_process_replace", "1")]
            for key, want in checks:
                if info.get(key) != want:
                    fail("scan: %s is %r, not %r" % (key, info.get(key), want))
            print("scan: %s by %s, %s in / %s out" % (info["name"], info["creator"], info["n_inputs"],
                                                      info["n_outputs"]))
            print("1 passed, 0 failed")
            return 0

        env["VALVORA_ARDOUR_DIR"] = work
        for name in ("dry", "default", "bypass"):
            path = os.path.join(work, name + ".wav")
            for attempt in (1, 2):
                shutil.rmtree(os.path.join(work, "session-" + name), ignore_errors=True)
                run = subprocess.run([LUA, os.path.join(HERE, "render.lua")], env=dict(env, VALVORA_RENDER=name),
                                     cwd=work, capture_output=True, text=True, timeout=600,
                                     stdin=subprocess.DEVNULL)
                output = run.stdout + run.stderr
                print("\n".join(l for l in output.splitlines()
                                if "Falling back" not in l and "encoder is not" not in l and "export folder" not in l))
                done = os.path.exists(path) and ("exported " + name) in output
                if done and run.returncode != 0:
                    # After the render is written: Ardour 7.3's teardown
                    # (it frees its export channels twice, PortExportChannel).
                    print("note: ardour7-lua ended with exit %d after writing %s.wav" % (run.returncode, name))
                if done:
                    break
                print("note: ardour7-lua ended (exit %d) before writing %s.wav; attempt %d of 2"
                      % (run.returncode, name, attempt))
            else:
                fail("ardour7-lua did not render " + name)
        channels, dry = read_float_wav(os.path.join(work, "dry.wav"))
        wet_channels, wet = read_float_wav(os.path.join(work, "default.wav"))
        by_channels, bypass = read_float_wav(os.path.join(work, "bypass.wav"))
        if channels != 2 or wet_channels != 2 or by_channels != 2:
            fail("expected stereo renders (%d, %d, %d channels)" % (channels, wet_channels, by_channels))
        count = len(dry) // 4
        dry_v = struct.unpack("<%df" % count, dry)
        wet_v = struct.unpack("<%df" % (len(wet) // 4), wet)
        if count < 2 * 48000 or max(abs(v) for v in dry_v) < 0.05:
            fail("the DI render is empty or too short (%d samples)" % count)
        if len(wet) != len(dry) or len(bypass) != len(dry):
            fail("the renders differ in length")
        if any(v != v or v in (float("inf"), float("-inf")) for v in wet_v):
            fail("the Default program's render has non-finite samples")
        difference = max(abs(a - b) for a, b in zip(wet_v, dry_v))
        if difference < 1e-3:
            fail("the Default program's render does not differ from the DI (max difference %g)" % difference)
        if bypass != dry:
            by_v = struct.unpack("<%df" % count, bypass)
            first = next(i for i in range(count) if by_v[i] != dry_v[i])
            fail("with Enable and Oversample off the render is not the DI: first difference at sample %d "
                 "(%r vs %r)" % (first, by_v[first], dry_v[first]))
        print("render: %d stereo frames; Default program finite, max difference from the DI %.3f; "
              "Enable and Oversample off: the DI bit for bit" % (count // 2, difference))
        print("2 passed, 0 failed")
        return 0
    finally:
        if os.environ.get("VALVORA_KEEP_ARDOUR_DIR"):
            print("kept " + work)
        else:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
