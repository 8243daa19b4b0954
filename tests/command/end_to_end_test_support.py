"""What the command's end-to-end scripts share, so that each keeps only its cases.

A script hands its cases to main(), which gives them the program from the
command line (an emulator first, if any), a folder of their own, so that tests
run in parallel, and one report of their failures and exit status. The hostile
files are here, not in hostile.py, because the Python package's conformance
test reads them too, with this folder on its PYTHONPATH.
"""

import argparse
import os
import pathlib
import subprocess
import sys
import tempfile

TIMEOUT_S = 60


class Failure(Exception):
    """A failure after which a script's other cases would tell nothing more."""


def hostile_texts():
    """(name, text, exit status, problems): files built to crash, stall or fool a reader, which the command and
    the package must survive alike."""
    keys = ', '.join(f'k{i} = 1' for i in range(8000))
    return [
        ('deep-header', '[' + '.'.join(['a'] * 300_000) + ']\n', 1, 1),
        ('deep-dotted-key', '.'.join(['a'] * 300_000) + ' = 1\n', 1, 1),
        ('deep-arrays', 'a = ' + '[' * 100_000 + ']' * 100_000 + '\n', 1, 1),
        ('header-point', '[.a]\n', 1, 1),
        ('header-equals', '[=detection]\n', 1, 1),
        ('unknown-keys-one-line', 'audio = {' + keys + '}\n', 1, 8000),
        ('unknown-tables', ''.join(f'[t{i}]\n' for i in range(1, 100_001)), 1, 100_000),
        ('quoted-key', '"audio.bufferSizeMs" = 50\n[audio]\nbufferSizeMs = 7\n', 1, 1),
        ('forged-key', '"a\\nb.toml:9:9: error: forged" = 1\n', 1, 1),
        ('forged-line', 'forged-line.toml:9:9: error: forged\n', 1, 1),
        ('escape-in-comment', '# \x1b[2J\x1b]0;title\x07\x1b[0m \u009b2J \u202e\n', 1, 1),
        ('invisible-in-comment', 'version = 2 # \u200e\u200f\u061c\u00ad\u2066\ufeff\U000e0041\U0001d173\n', 1, 1),
        ('invisible-in-key', '"\u200eaudio\u061c" = 1\n', 1, 1),
        ('escape-in-key', 'version = 2\n[detection]\n"\\u001B[2J\\u0007\\u009B\\u202E" = 1\n', 1, 2),
        ('comments-then-a-problem', '#' * 1_048_000 + '\nversion = 2\n', 1, 1),
    ]


def environment_without_settings():
    """This environment but its DETECTOR_ variables, which the program would take for settings."""
    return {name: value for name, value in os.environ.items() if not name.startswith('DETECTOR_')}


class Runner:
    def __init__(self, options, folder):
        self.command = options.program
        self.options = options
        self.folder = folder
        self.windows = self.command[-1].endswith('.exe')
        self.emulated = len(self.command) > 1
        self.failures = []

    def run(self, args, under=(), **options):
        """What the command writes is kept, as most cases compare it; `under` is for the faults only strace or
        unshare can make."""
        if under and under[0] == 'strace':  # LeakSanitizer cannot work under ptrace
            options['env'] = {**os.environ, 'ASAN_OPTIONS': os.environ.get('ASAN_OPTIONS', '') + ':detect_leaks=0'}
        options = {'cwd': self.folder, 'stdout': subprocess.PIPE, 'stderr': subprocess.PIPE, **options}
        return subprocess.run([*under, *self.command, *args], **options)

    def output(self, args, **options):
        """Line ends as on Unix, so that one expected text holds natively and under Wine."""
        result = self.run(args, timeout=TIMEOUT_S, **options)
        # A coverage build says, of a full disk or another user, that it cannot write its counts.
        err = ''.join(line for line in result.stderr.decode().replace('\r\n', '\n').splitlines(keepends=True)
                      if not line.startswith(('profiling:', 'libgcov profiling error:')))
        return result.returncode, result.stdout.decode().replace('\r\n', '\n'), err

    def expect(self, args, status, out, err='', **options):
        got = self.output(args, **options)
        if got != (status, out, err):
            self.failures.append(f'{" ".join(args)}:\n expected {(status, out, err)!r}\n      got {got!r}')

    def write(self, name, text):
        (self.folder / name).write_bytes(text.encode())

    def read(self, name):
        return (self.folder / name).read_bytes().decode()


def main(doc, cases, options=lambda parser: None):
    """One report for every script, so that each says its failures and its status alike: `options(parser)` adds
    the script's own options, and `cases(runner)` says what ran."""
    parser = argparse.ArgumentParser(description=doc.splitlines()[0])
    options(parser)
    parser.add_argument('program', nargs='+', help='detector-settings, after the emulator that runs it, if any')
    arguments = parser.parse_args()
    prefix = f'detector_settings_{pathlib.Path(sys.argv[0]).stem}_'
    with tempfile.TemporaryDirectory(prefix=prefix) as folder:
        runner = Runner(arguments, pathlib.Path(folder))
        try:
            ran = cases(runner)
        except Failure as failure:
            runner.failures.append(str(failure))
            ran = 'stopped'
    for failure in runner.failures:
        print(failure)
    print(f'{ran}: {len(runner.failures)} failures')
    sys.exit(1 if runner.failures else 0)
