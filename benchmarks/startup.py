#!/usr/bin/env python3
"""Start-up of the programs, whose cost is their start-up, against empty programs.

- selfcheck against an empty `int main() {}` built with the compiler's
  defaults, side by side in one hyperfine run (target: a ratio of at most 1.05);
- `detector-settings check` on the default settings file against an empty
  statically linked program (target: at most 1.3), and against Taplo checking
  the same file with the same schema (target: faster);
- `check` with ten DETECTOR_ variables and ten --set overrides against the
  same check with --no-env and no override, in an environment that holds the
  variables either way (target: at most 1.1);
- `set` against `check` of the same file, the default one and one of 1 MiB,
  each run on a fresh copy: an edit reads, writes and flushes the file.

The machine's load drifts, so the command and its empty program run side by
side in several hyperfine rounds, alternating which goes first, on one core
(moving between cores costs more than either program's work), and the median
of the rounds' ratios is reported. The command and its empty program run as
copies in a folder of their own: a linker writes its output out of order, and
such a file starts a tenth slower.
"""

import argparse
import csv
import os
import shutil
import statistics
import subprocess
import tempfile


def medians(commands, runs, warmup, folder, one_core=False, environment=None, prepare=None):
    """Median seconds of each command, in the order given, from one hyperfine run."""
    times = os.path.join(folder, 'times.csv')
    prefix = ['taskset', '-c', str(os.cpu_count() - 1)] if one_core else []
    before = ['--prepare', prepare] if prepare else []
    subprocess.run(prefix + ['hyperfine', '--shell=none', '--warmup', str(warmup), '--runs', str(runs),
                             '--style', 'none', '--export-csv', times] + before + commands,
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=environment)
    with open(times, newline='') as table:
        return [float(row['median']) for row in csv.DictReader(table)]


# Ten variables, eight of them the settings', and ten overrides, all valid.
VARIABLES = {'DETECTOR_VERSION': '1', 'DETECTOR_AUDIO_DEVICE_NAME_PATTERN': 'USB Mic',
             'DETECTOR_AUDIO_BUFFER_SIZE_MS': '20', 'DETECTOR_DETECTION_SENSITIVITY': '0.8',
             'DETECTOR_DETECTION_MIN_DURATION_MS': '200', 'DETECTOR_DETECTION_COOLDOWN_MS': '500',
             'DETECTOR_DETECTION_FFT_SIZE': '2048', 'DETECTOR_TRAINING_DATA_FILE': 'data.bin',
             'LANG': 'C.UTF-8', 'TZ': 'UTC'}
OVERRIDES = ['version=1', 'audio.deviceNamePattern="Beyond"', 'audio.bufferSizeMs=30', 'detection.sensitivity=0.6',
             'detection.minDurationMs=300', 'detection.cooldownMs=600', 'detection.fftSize=4096',
             'training.dataFile=other.bin', 'audio.bufferSizeMs=40', 'detection.sensitivity=0.5']


def median_round(pair, args, folder, environment=None):
    """The median, over rounds that alternate which goes first, of the second
    command's time against the first's: (ratio, second, first) of that round."""
    rounds = []
    for round_index in range(args.rounds):
        order = pair if round_index % 2 == 0 else pair[::-1]
        timed = dict(zip(order, medians(order, args.runs, 30, folder, one_core=True, environment=environment)))
        rounds.append((timed[pair[1]] / timed[pair[0]], timed[pair[1]], timed[pair[0]]))
    return sorted(rounds)[(len(rounds) - 1) // 2]


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument('--selfcheck', required=True)
    parser.add_argument('--empty', required=True, help='an empty program built with the compiler defaults')
    parser.add_argument('--command', required=True)
    parser.add_argument('--empty-static', required=True, help='an empty program linked statically')
    parser.add_argument('--taplo', default='')
    parser.add_argument('--rounds', type=int, default=7)
    parser.add_argument('--runs', type=int, default=300)
    args = parser.parse_args()

    with tempfile.TemporaryDirectory() as folder:
        selfcheck, empty = medians([args.selfcheck, args.empty], args.runs * 7, 200, folder)
        print(f'start-up median: selfcheck {selfcheck * 1e6:.1f} us, empty program {empty * 1e6:.1f} us, '
              f'ratio {selfcheck / empty:.3f} (target <= 1.05)')

        program = shutil.copy(args.command, os.path.join(folder, 'detector-settings'))
        empty_static = shutil.copy(args.empty_static, os.path.join(folder, 'empty'))
        settings, schema = os.path.join(folder, 'settings.toml'), os.path.join(folder, 'schema.json')
        for command, path in (('defaults', settings), ('schema', schema)):
            with open(path, 'w') as out:
                subprocess.run([program, command], stdout=out, check=True)
        check = f'{program} check {settings}'

        ratio, checked, floor = median_round([empty_static, check], args, folder)
        print(f'check start to exit against an empty static program, {args.rounds} rounds: median ratio '
              f'{ratio:.3f} (target <= 1.3); that round {checked * 1e6:.1f} us against {floor * 1e6:.1f} us')

        environment = dict(os.environ, **VARIABLES)
        overrides = ' '.join(f'--set {override}' for override in OVERRIDES)
        plain, sourced = f'{program} check --no-env {settings}', f'{program} check {overrides} {settings}'
        subprocess.run(sourced.split(), env=environment, check=True)
        ratio, with_sources, without = median_round([plain, sourced], args, folder, environment)
        print(f'check with 10 variables and 10 --set against check --no-env, {args.rounds} rounds: median ratio '
              f'{ratio:.3f} (target <= 1.1); that round {with_sources * 1e6:.1f} us against {without * 1e6:.1f} us')

        large = os.path.join(folder, 'large.toml')
        with open(settings) as default, open(large, 'w') as out:
            text = default.read()
            out.write(text + '# a comment of the operator\'s\n' * (((1 << 20) - len(text)) // 30))
        for name, path in (('the default file', settings), ('a file of 1 MiB', large)):
            copy = path + '.edited'
            checked, edited = medians([f'{program} check {copy}', f'{program} set {copy} detection.sensitivity=0.8'],
                                      args.runs // 10, 3, folder, one_core=True, prepare=f'cp {path} {copy}')
            print(f'set on {name} against check of it: median {edited * 1e6:.1f} us against {checked * 1e6:.1f} us, '
                  f'ratio {edited / checked:.2f}')

        if args.taplo:
            checked, taplo = medians([check, f'{args.taplo} check --schema file://{schema} {settings}'], 10, 30,
                                     folder, one_core=True)
            print(f'taplo check on the same file and schema: median {taplo * 1e6:.1f} us; '
                  f'check takes {checked / taplo:.4f} of its time (target < 1)')


if __name__ == '__main__':
    main()
