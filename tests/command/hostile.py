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

import json
import os
import re
import resource
import signal
import subprocess
import time
import unicodedata

from end_to_end_test_support import hostile_texts, main

# Beside each problem's own line, its source excerpt and its caret.
MAX_BYTES_PER_PROBLEM = 400

# What must not reach a terminal raw, by Python's own Unicode database: controls
# but tab and line ends, format characters, and line and paragraph separators.
UNSAFE = {chr(c) for c in range(0x110000)
          if unicodedata.category(chr(c)) in ('Cc', 'Cf', 'Zl', 'Zp')} - {'\t', '\n'}


def one_megabyte_stack():
    resource.setrlimit(resource.RLIMIT_STACK, (1 << 20, 1 << 20))


def check_file(runner, name, text, status, problems):
    path = runner.folder / f'{name}.toml'
    path.write_bytes(text.encode('utf-8'))
    failures = []
    text_run = runner.run(['check', path.name])
    json_run = runner.run(['check', '--format', 'json', path.name])
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
    if name.startswith('deep') and not runner.emulated:
        small_stack = runner.run(['check', path.name], preexec_fn=one_megabyte_stack)
        if small_stack.returncode != status or small_stack.stderr != text_run.stderr:
            failures.append(f'{name}: on a 1 MiB stack, exit status {small_stack.returncode}')
    return failures


def check_file_name(runner):
    """A file name that would forge a diagnostic (Linux: Windows names hold no control character)."""
    name = 'a\nb.toml:1:1: error: forged\x1b[2J.toml'
    runner.write(name, 'version = 2\n')
    stderr = runner.run(['check', name]).stderr.decode()
    if not stderr.startswith('a\\u000Ab.toml:1:1: error: forged\\u001B[2J.toml:1:11: error: ') or \
            stderr.count('\n') != 3:
        return [f'file name: {stderr!r}']
    return []


def check_usage(runner):
    """Standard input twice, and a --set whose value was forgotten, are usage errors that name their cause."""
    failures = []
    for args, cause in ((['check', '-', '-'], b'standard input (-) can be checked only once'),
                        (['check', '--set', 'good.toml'], b'--set takes KEY=VALUE, not good.toml'),
                        (['watch', '--set', 'good.toml'], b'--set takes KEY=VALUE, not good.toml'),
                        (['explain', '--set', 'version'], b'--set takes KEY=VALUE, not version')):
        result = runner.run(args, input=b'version = 1\n')
        expected = b'detector-settings: ' + cause + b' (see detector-settings --help)'
        if result.returncode != 2 or result.stderr.rstrip() != expected:
            failures.append(f'{" ".join(args)}: exit status {result.returncode}, {result.stderr!r}')
    return failures


def check_waiting_read(runner):
    """A read that waits (check of a FIFO, as `check <(...)` gives one) ends on SIGINT."""
    fifo = runner.folder / 'waiting.fifo'
    os.mkfifo(fifo)
    process = subprocess.Popen(runner.command + ['check', str(fifo)], stderr=subprocess.DEVNULL)
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


def check_write_failures(runner):
    """Every command that writes to standard output, into a full disk and into a closed stream."""
    runner.write('valid.toml', 'version = 1\n')
    commands = [['schema'], ['defaults'], ['--help'], ['--version'], ['check', '--format', 'json', 'valid.toml']]
    failures = []
    for args in commands:
        with open('/dev/full', 'wb') as full:
            results = [('a full disk', runner.run(args, stdout=full))]
        if not runner.emulated:  # Wine gives a closed stream a console of its own
            results.append(('a closed stream', runner.run(args, stdout=subprocess.DEVNULL,
                                                          preexec_fn=lambda: os.close(1))))
            # As `| head` leaves it: SIGPIPE as the shell gives it, not an end without a word.
            reader, writer = os.pipe()
            os.close(reader)
            results.append(('a pipe without a reader', runner.run(args, stdout=writer)))
            os.close(writer)
        for where, result in results:
            message = result.stderr.decode(errors='replace')
            if result.returncode != 2 or 'cannot write to standard output' not in message:
                failures.append(f'{" ".join(args)} into {where}: exit status {result.returncode}, {message!r}')
    # More than a buffer of output fails before the end; the files after it are not read.
    runner.write('many.toml', ''.join(f'[t{i}]\n' for i in range(5000)))
    with open('/dev/full', 'wb') as full:
        result = runner.run(['check', '--format', 'json', 'many.toml', 'missing.toml'], stdout=full)
    if result.returncode != 2 or b'missing.toml' in result.stderr:
        failures.append(f'check --format json of a large report into a full disk: exit status {result.returncode}')
    # Diagnostics that cannot be written fail the same way, silently: there is nowhere to say it.
    runner.write('invalid.toml', 'version = 2\n')
    for files in (['invalid.toml'], ['many.toml', 'invalid.toml']):
        with open('/dev/full', 'wb') as full:
            result = runner.run(['check'] + files, stderr=full)
        if result.returncode != 2:
            failures.append(f'check {" ".join(files)} with standard error on a full disk: exit status '
                            f'{result.returncode}')
    return failures


def cases(runner):
    for case in hostile_texts():
        runner.failures += check_file(runner, *case)
    if not runner.emulated:  # Windows names hold no control character, and Windows has no FIFO
        runner.failures += check_file_name(runner)
        runner.failures += check_waiting_read(runner)
    runner.failures += check_usage(runner)
    runner.failures += check_write_failures(runner)
    return f'{len(hostile_texts())} hostile files, standard input twice, write failures'


if __name__ == '__main__':
    main(__doc__, cases)
