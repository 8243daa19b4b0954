#!/usr/bin/env python3
"""What the worst files under the 1 MiB limit cost `detector-settings check`.

Three worst cases, each at a tenth of 1 MiB and at the full 1 MiB: unknown
tables ([t1], [t2], ...), one line of unknown keys (audio = {k0 = 1, ...}),
and comments with one problem at the end. For each, the command's time from
start to exit and peak memory, in text and JSON, the bytes of output per
problem, and, in the same run, Python's tomllib parsing the same text (a peer
that only parses, timed inside Python, so without its start-up). Medians of
several runs; the machine is shared, so the ratios are what count.

Targets: ten times the size (and the problems) costs at most twelve times the
time; at most a few hundred bytes of output per problem and 100 MB of memory;
faster than tomllib's parse alone.
"""

import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time
import tomllib

LIMIT = 1_048_576


def unknown_tables(size):
    lines, total, index = [], 0, 1
    while total + len(f'[t{index}]\n') <= size:
        lines.append(f'[t{index}]\n')
        total += len(lines[-1])
        index += 1
    return ''.join(lines), len(lines)


def unknown_keys_one_line(size):
    keys, total, index = [], len('audio = {}\n'), 0
    while total + len(f'k{index} = 1, ') <= size:
        keys.append(f'k{index} = 1')
        total += len(keys[-1]) + 2
        index += 1
    return 'audio = {' + ', '.join(keys) + '}\n', len(keys)


def comments_then_a_problem(size):
    tail = 'version = 2\n'
    line = '# ' + 'x' * 77 + '\n'
    body = line * ((size - len(tail)) // len(line))
    return body + tail, 1


CASES = [('unknown tables', unknown_tables), ('one line of unknown keys', unknown_keys_one_line),
         ('comments, one problem at the end', comments_then_a_problem)]


def run_command(program, path, json_format, runs, folder):
    """Median seconds, peak resident kilobytes and output bytes of `check`."""
    args = program + ['check'] + (['--format', 'json'] if json_format else []) + [path]
    seconds, output = [], 0
    for _ in range(runs):
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            start = time.perf_counter()
            status = subprocess.run(args, stdout=out, stderr=err, check=False).returncode
            seconds.append(time.perf_counter() - start)
            output = out.seek(0, os.SEEK_END) + err.seek(0, os.SEEK_END)
        if status != 1:
            sys.exit(f'{" ".join(args)}: exit status {status}')
    # A child's peak counts what it held before it started the program, so the
    # peak is taken by GNU time, which is small, not by this process.
    peak_file = os.path.join(folder, 'peak')
    subprocess.run(['/usr/bin/time', '-f', '%M', '-o', peak_file] + args, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=False)
    with open(peak_file, encoding='ascii') as peak:
        return statistics.median(seconds), int(peak.read().split()[-1]), output


def time_tomllib(text, runs):
    seconds = []
    for _ in range(runs):
        start = time.perf_counter()
        tomllib.loads(text)
        seconds.append(time.perf_counter() - start)
    return statistics.median(seconds)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('program', nargs='+', help='detector-settings (a release build)')
    parser.add_argument('--runs', type=int, default=5)
    args = parser.parse_args()
    print(f'{"case":34} {"size":>9} {"problems":>9} {"format":>6} {"time ms":>9} {"peak MB":>8} '
          f'{"bytes/problem":>13} {"tomllib ms":>10} {"vs tomllib":>10}')
    with tempfile.TemporaryDirectory(prefix='detector_settings_bench_') as folder:
        # What every case pays before it reads a byte: the program's start and exit.
        empty = os.path.join(folder, 'empty.toml')
        with open(empty, 'w', encoding='utf-8') as file:
            file.write('version = 2\n')
        start_up, _, _ = run_command(args.program, empty, False, args.runs, folder)
        print(f'{"a one-line file (start-up)":34} {12:>9} {1:>9} {"text":>6} {start_up * 1e3:>9.1f}')
        for name, make in CASES:
            times = {}
            for size in (LIMIT // 10, LIMIT):
                text, problems = make(size)
                path = os.path.join(folder, 'case.toml')
                with open(path, 'w', encoding='utf-8', newline='') as file:
                    file.write(text)
                parse = time_tomllib(text, args.runs)
                for json_format in (False, True):
                    seconds, peak_kb, output = run_command(args.program, path, json_format, args.runs, folder)
                    times[(size, json_format)] = seconds
                    print(f'{name:34} {len(text):>9} {problems:>9} {"json" if json_format else "text":>6} '
                          f'{seconds * 1e3:>9.1f} {peak_kb / 1024:>8.1f} {output / problems:>13.0f} '
                          f'{parse * 1e3:>10.1f} {seconds / parse:>10.2f}')
            for json_format in (False, True):
                ratio = times[(LIMIT, json_format)] / times[(LIMIT // 10, json_format)]
                print(f'{name:34} ten times the size: {ratio:.1f} times the time ({"json" if json_format else "text"})')
    return 0


if __name__ == '__main__':
    sys.exit(main())
