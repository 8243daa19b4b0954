#!/usr/bin/env python3
"""Start-up of the programs, whose cost is their start-up, against empty programs.

- selfcheck against an empty `int main() {}` built with the compiler's
  defaults, side by side in one hyperfine run (target: a ratio of at most 1.05);
- `detector-settings check` on the default settings file against an empty
  statically linked program (target: at most 1.3), and against Taplo checking
  the same file with the same schema (target: faster).

The machine's load drifts, so the checker and its empty program run side by
side in several hyperfine rounds, alternating which goes first, on one core
(moving between cores costs more than either program's work), and the median
of the rounds' ratios is reported. The checker and its empty program run as
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


def medians(commands, runs, warmup, folder, one_core=False):
    """Median seconds of each command, in the order given, from one hyperfine run."""
    times = os.path.join(folder, 'times.csv')
    prefix = ['taskset', '-c', str(os.cpu_count() - 1)] if one_core else []
    subprocess.run(prefix + ['hyperfine', '--shell=none', '--warmup', str(warmup), '--runs', str(runs),
                             '--style', 'none', '--export-csv', times] + commands,
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with open(times, newline='') as table:
        return [float(row['median']) for row in csv.DictReader(table)]


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument('--selfcheck', required=True)
    parser.add_argument('--empty', required=True, help='an empty program built with the compiler defaults')
    parser.add_argument('--checker', required=True)
    parser.add_argument('--empty-static', required=True, help='an empty program linked statically')
    parser.add_argument('--taplo', default='')
    parser.add_argument('--rounds', type=int, default=7)
    parser.add_argument('--runs', type=int, default=300)
    args = parser.parse_args()

    with tempfile.TemporaryDirectory() as folder:
        selfcheck, empty = medians([args.selfcheck, args.empty], args.runs * 7, 200, folder)
        print(f'start-up median: selfcheck {selfcheck * 1e6:.1f} us, empty program {empty * 1e6:.1f} us, '
              f'ratio {selfcheck / empty:.3f} (target <= 1.05)')

        checker = shutil.copy(args.checker, os.path.join(folder, 'detector-settings'))
        empty_static = shutil.copy(args.empty_static, os.path.join(folder, 'empty'))
        settings, schema = os.path.join(folder, 'settings.toml'), os.path.join(folder, 'schema.json')
        for command, path in (('defaults', settings), ('schema', schema)):
            with open(path, 'w') as out:
                subprocess.run([checker, command], stdout=out, check=True)
        check = f'{checker} check {settings}'

        rounds = []
        for round_index in range(args.rounds):
            order = [empty_static, check] if round_index % 2 == 0 else [check, empty_static]
            timed = dict(zip(order, medians(order, args.runs, 30, folder, one_core=True)))
            rounds.append((timed[check] / timed[empty_static], timed[check], timed[empty_static]))
        ratio, checked, floor = sorted(rounds)[(len(rounds) - 1) // 2]
        print(f'check start to exit against an empty static program, {args.rounds} rounds: median ratio '
              f'{ratio:.3f} (target <= 1.3); that round {checked * 1e6:.1f} us against {floor * 1e6:.1f} us')

        if args.taplo:
            checked, taplo = medians([check, f'{args.taplo} check --schema file://{schema} {settings}'], 10, 30,
                                     folder, one_core=True)
            print(f'taplo check on the same file and schema: median {taplo * 1e6:.1f} us; '
                  f'check takes {checked / taplo:.4f} of its time (target < 1)')


if __name__ == '__main__':
    main()
