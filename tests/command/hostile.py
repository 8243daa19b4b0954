#!/usr/bin/env python3
"""`detector-settings` on hostile and large input, and when its output fails.

Each case is a file built to crash, stall or fool the command, or a command
line it must refuse. The command must give its exit status and, in text, one
"FILE:LINE:COLUMN: error:" line per problem that the JSON report holds, no
control character but tab and line ends, and at most a few hundred bytes of
output per problem; no character that Unicode calls a control, a format
character (bidirectional marks, zero-width characters, tags) or a line or
paragraph separator may reach the terminal raw. Deep files also run on a 1 MiB
stack (Linux). Output that cannot be written (a full disk, a closed stream, a
pipe whose reader has gone) must end in status 2.
Times and memory are the benchmarks' (benchmarks/hostile_files.py).
"""

import argparse
import json
import os
import pathlib
import re
import resource
import signal
import subprocess
import sys
import tempfile
import time
import unicodedata

# Beside each problem's own line, its source excerpt and its caret.
MAX_BYTES_PER_PROBLEM = 400

# What must not reach a terminal raw, by Python's own Unicode database: controls
# but tab and line ends, format characters, and line and paragraph separators.
UNSAFE = {chr(c) for c in range(0x110000)
          if unicodedata.category(chr(c)) in ('Cc', 'Cf', 'Zl', 'Zp')} - {'\t', '\n'}


def deep_header(parts):
    return '[' + '.'.join(['a'] * parts) + ']\n'


def cases():
    """(name, text, exit status, problems)"""
    keys = ', '.join(f'k{i} = 1' for i in range(8000))
    return [
        ('deep-header', deep_header(300_000), 1, 1),
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


def run(program, args, **options):
    return subprocess.run(program + args, capture_output=True, check=False, **options)


def one_megabyte_stack():
    resource.setrlimit(resource.RLIMIT_STACK, (1 << 20, 1 << 20))


def check_file(program, work_dir, name, text, status, problems, emulated):
    path = work_dir / f'{name}.toml'
    path.write_bytes(text.encode('utf-8'))
    failures = []
    text_run = run(program, ['check', path.name], cwd=work_dir)
    json_run = run(program, ['check', '--format', 'json', path.name], cwd=work_dir)
    for kind, result in (('text', text_run), ('json', json_run)):
        if result.returncode != status:
            failures.append(f'{name} ({kind}): exit status {result.returncode}, expected {status}')
    if failures:
        return failures
    reported = json.loads(json_run.stdout)['files'][0]['diagnostics']
    if len(reported) != problems:
        failures.append(f'{name}: {len(reported)} problems in JSON, expected {problems}')
    stderr = text_run.stderr.decode('utf-8', errors='replace')
    # Three lines a problem: where and what, the source line, the caret.
    error_lines = re.findall(rf'^{re.escape(path.name)}:\d+:\d+: error: ', stderr, flags=re.MULTILINE)
    if len(error_lines) != problems or stderr.replace('\r\n', '\n').count('\n') != 3 * problems:
        failures.append(f'{name}: {len(error_lines)} "error:" lines for {problems} problems')
    controls = [c for c in stderr.replace('\r\n', '\n') if c in UNSAFE]
    if controls:
        failures.append(f'{name}: control characters reach the terminal: {sorted(set(controls))}')
    for kind, size in (('text', len(text_run.stderr)), ('json', len(json_run.stdout))):
        if size > MAX_BYTES_PER_PROBLEM * problems + 200:
            failures.append(f'{name} ({kind}): {size} bytes of output for {problems} problems')
    if name.startswith('deep') and not emulated:
        small_stack = run(program, ['check', path.name], cwd=work_dir, preexec_fn=one_megabyte_stack)
        if small_stack.returncode != status or small_stack.stderr != text_run.stderr:
            failures.append(f'{name}: on a 1 MiB stack, exit status {small_stack.returncode}')
    return failures


def check_file_name(program, work_dir):
    """A file name that would forge a diagnostic (Linux: Windows names hold no control character)."""
    name = 'a\nb.toml:1:1: error: forged\x1b[2J.toml'
    (work_dir / name).write_text('version = 2\n')
    stderr = run(program, ['check', name], cwd=work_dir).stderr.decode()
    if not stderr.startswith('a\\u000Ab.toml:1:1: error: forged\\u001B[2J.toml:1:11: error: ') or \
            stderr.count('\n') != 3:
        return [f'file name: {stderr!r}']
    return []


def check_usage(program, work_dir):
    """Standard input twice, and a --set whose value was forgotten, are usage errors that name their cause."""
    failures = []
    for args, cause in ((['check', '-', '-'], b'standard input (-) can be checked only once'),
                        (['check', '--set', 'good.toml'], b'--set takes KEY=VALUE, not good.toml'),
                        (['watch', '--set', 'good.toml'], b'--set takes KEY=VALUE, not good.toml'),
                        (['explain', '--set', 'version'], b'--set takes KEY=VALUE, not version')):
        result = run(program, args, cwd=work_dir, input=b'version = 1\n')
        expected = b'detector-settings: ' + cause + b' (see detector-settings --help)'
        if result.returncode != 2 or result.stderr.rstrip() != expected:
            failures.append(f'{" ".join(args)}: exit status {result.returncode}, {result.stderr!r}')
    return failures


def check_waiting_read(program, work_dir):
    """A read that waits (check of a FIFO, as `check <(...)` gives one) ends on SIGINT."""
    fifo = work_dir / 'waiting.fifo'
    os.mkfifo(fifo)
    process = subprocess.Popen(program + ['check', str(fifo)], stderr=subprocess.DEVNULL)
    while True:  # once the command holds it open, its read waits for what a writer has not written
        try:
            writer = os.open(fifo, os.O_WRONLY | os.O_NONBLOCK)
            break
        except OSError:  # no reader yet
            if process.poll() is not None:
                return [f'check of a FIFO ended by itself, status {process.returncode}']
            time.sleep(0.01)
    process.send_signal(signal.SIGINT)
    try:
        status = process.wait(timeout=60)
    except subprocess.TimeoutExpired:
        process.kill()
        status = 'none: still reading a minute after SIGINT'
    os.close(writer)
    return [] if status == -signal.SIGINT else [f'check of a FIFO, interrupted: status {status}']


def check_write_failures(program, work_dir, emulated):
    """Every command that writes to standard output, into a full disk and into a closed stream."""
    (work_dir / 'valid.toml').write_text('version = 1\n')
    commands = [['schema'], ['defaults'], ['--help'], ['--version'], ['check', '--format', 'json', 'valid.toml']]
    failures = []
    for args in commands:
        with open('/dev/full', 'wb') as full:
            into_full = subprocess.run(program + args, cwd=work_dir, stdout=full, stderr=subprocess.PIPE, check=False)
        results = [('a full disk', into_full)]
        if not emulated:  # Wine gives a closed stream a console of its own
            results.append(('a closed stream', subprocess.run(program + args, cwd=work_dir, stdout=subprocess.DEVNULL,
                                                              stderr=subprocess.PIPE, check=False,
                                                              preexec_fn=lambda: os.close(1))))
            # As `| head` leaves it: SIGPIPE as the shell gives it, not an end without a word.
            reader, writer = os.pipe()
            os.close(reader)
            results.append(('a pipe without a reader', subprocess.run(program + args, cwd=work_dir, stdout=writer,
                                                                      stderr=subprocess.PIPE, check=False)))
            os.close(writer)
        for where, result in results:
            message = result.stderr.decode(errors='replace')
            if result.returncode != 2 or 'cannot write to standard output' not in message:
                failures.append(f'{" ".join(args)} into {where}: exit status {result.returncode}, {message!r}')
    # More than a buffer of output fails before the end; the files after it are not read.
    (work_dir / 'many.toml').write_text(''.join(f'[t{i}]\n' for i in range(5000)))
    with open('/dev/full', 'wb') as full:
        result = subprocess.run(program + ['check', '--format', 'json', 'many.toml', 'missing.toml'], cwd=work_dir,
                                stdout=full, stderr=subprocess.PIPE, check=False)
    if result.returncode != 2 or b'missing.toml' in result.stderr:
        failures.append(f'check --format json of a large report into a full disk: exit status {result.returncode}')
    # Diagnostics that cannot be written fail the same way, silently: there is nowhere to say it.
    (work_dir / 'invalid.toml').write_text('version = 2\n')
    for files in (['invalid.toml'], ['many.toml', 'invalid.toml']):
        with open('/dev/full', 'wb') as full:
            result = subprocess.run(program + ['check'] + files, cwd=work_dir, stdout=subprocess.PIPE, stderr=full,
                                    check=False)
        if result.returncode != 2:
            failures.append(f'check {" ".join(files)} with standard error on a full disk: exit status '
                            f'{result.returncode}')
    return failures


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('program', nargs='+', help='detector-settings, after the emulator that runs it, if any')
    args = parser.parse_args()
    emulated = len(args.program) > 1
    with tempfile.TemporaryDirectory(prefix='detector_settings_hostile_') as folder:
        work_dir = pathlib.Path(folder)
        failures = []
        for case in cases():
            failures += check_file(args.program, work_dir, *case, emulated)
        if not emulated:  # Windows names hold no control character, and Windows has no FIFO
            failures += check_file_name(args.program, work_dir)
            failures += check_waiting_read(args.program, work_dir)
        failures += check_usage(args.program, work_dir)
        failures += check_write_failures(args.program, work_dir, emulated)
    for failure in failures:
        print(failure)
    print(f'{len(cases())} hostile files, standard input twice, write failures: {len(failures)} failures')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
