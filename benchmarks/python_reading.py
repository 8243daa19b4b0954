#!/usr/bin/env python3
"""What the Python package costs a training script, against Python's own tomllib.

In one run: read_settings_file of the default settings file and of a 1 MiB
hostile one (unknown tables, the worst case of the command's benchmarks)
against tomllib.load of the same file alone, which only parses; and
load_settings with the process environment against tomllib plus the eight
rules checked by hand in Python. Medians of several runs; the machine is
shared, so the ratios are what count. Goal: faster than tomllib.load alone.
"""
import os
import statistics
import sys
import tempfile
import time
import tomllib

import detector_settings

sys.path.insert(0, os.path.dirname(__file__))
from hostile_files import LIMIT, unknown_tables  # noqa: E402


def median_seconds(call, runs):
    times = []
    for _ in range(runs):
        started = time.perf_counter()
        call()
        times.append(time.perf_counter() - started)
    return statistics.median(times)


def load_and_check_by_hand(path):
    """What a script without the package writes: parse, then the eight rules."""
    with open(path, "rb") as file:
        data = tomllib.load(file)
    audio, detection = data.get("audio", {}), data.get("detection", {})
    fft = detection.get("fftSize", 2048)
    problems = [name for name, ok in [
        ("version", data.get("version", 1) == 1),
        ("audio.deviceNamePattern", audio.get("deviceNamePattern", "Beyond") != ""),
        ("audio.bufferSizeMs", 5 <= audio.get("bufferSizeMs", 10) <= 100),
        ("detection.sensitivity", 0.0 <= detection.get("sensitivity", 0.7) <= 1.0),
        ("detection.minDurationMs", 100 <= detection.get("minDurationMs", 300) <= 2000),
        ("detection.cooldownMs", 100 <= detection.get("cooldownMs", 300) <= 2000),
        ("detection.fftSize", 512 <= fft <= 8192 and fft & (fft - 1) == 0),
        ("training.dataFile", data.get("training", {}).get("dataFile", "training_data.bin") != ""),
    ] if not ok]
    return data, problems


def tomllib_load(path):
    with open(path, "rb") as file:
        return tomllib.load(file)


def main():
    with tempfile.TemporaryDirectory() as folder:
        default = os.path.join(folder, "default.toml")
        with open(default, "w", encoding="utf-8") as file:
            file.write(detector_settings.write_settings(detector_settings.Config()))
        hostile = os.path.join(folder, "hostile.toml")
        with open(hostile, "w", encoding="utf-8") as file:
            file.write(unknown_tables(LIMIT)[0])

        print(f"{'file':<22}{'read_settings_file':>20}{'tomllib.load':>16}{'ratio':>8}")
        for name, path, runs in [("default", default, 2000), ("1 MiB unknown tables", hostile, 9)]:
            ours = median_seconds(lambda: detector_settings.read_settings_file(path), runs)
            theirs = median_seconds(lambda: tomllib_load(path), runs)
            print(f"{name:<22}{ours * 1e6:>17.1f} us{theirs * 1e6:>13.1f} us{theirs / ours:>7.1f}x")

        ours = median_seconds(lambda: detector_settings.load_settings(default), 2000)
        theirs = median_seconds(lambda: load_and_check_by_hand(default), 2000)
        print(f"{'default, with sources':<22}{ours * 1e6:>17.1f} us{theirs * 1e6:>13.1f} us{theirs / ours:>7.1f}x"
              "  (load_settings with os.environ; tomllib and the eight rules by hand)")


if __name__ == "__main__":
    main()
