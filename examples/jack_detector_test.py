"""The JACK example on a server of its own: every edit reaches the process callback, in order, whole.

It starts jackd on the dummy driver (no sound hardware) under a name of its own, runs jack_detector against it
with its test tone, and edits the settings file with `detector-settings set` a few dozen times, each once the
callback has seen the last. Then it checks that the callback saw exactly those records, in order, none with an
error; that it heard the tone; and that the client caused no xrun: its callback always took less than the period.
Xruns the server reports while the callback was within it are the machine's (without real-time scheduling a busy
machine wakes the client late now and then): they are counted and shown, not failed. Exit status 77 (skipped)
where JACK's server is not installed.
"""

import os
import pathlib
import queue
import re
import shutil
import signal
import subprocess
import sys
import threading
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / 'tests' / 'command'))
import end_to_end_test_support as support  # noqa: E402

EDITS = 36
CLIENT = 'jack_detector'


def lines_of(stream, into):
    for line in stream:
        into.put(line.decode().rstrip('\n'))
    into.put(None)


def next_line(lines, what, deadline):
    try:
        line = lines.get(timeout=max(0, deadline - time.monotonic()))
    except queue.Empty:
        raise support.Failure(f'no line from {CLIENT} in {support.TIMEOUT_S} s, waiting for {what}') from None
    if line is None:
        raise support.Failure(f'{CLIENT} ended, waiting for {what}')
    return line


def edits():
    """Distinct live settings, each a valid record: the sensitivity always, the other two now and then."""
    minimum, cooldown = 300, 300
    for n in range(1, EDITS + 1):
        sensitivity = f'0.{40 + n}'
        changes = {'detection.sensitivity': sensitivity}
        if n % 4 == 0:
            minimum = 100 + 10 * n
            changes['detection.minDurationMs'] = str(minimum)
        if n % 6 == 0:
            cooldown = 100 + 20 * n
            changes['detection.cooldownMs'] = str(cooldown)
        yield changes, f'sensitivity {float(sensitivity):g}, minDurationMs {minimum}, cooldownMs {cooldown}'


def cases(runner, options):
    if shutil.which('jackd') is None or shutil.which('jack_wait') is None:
        print('skipped: JACK is not installed (Debian: jackd2, libjack-jackd2-dev)')
        sys.exit(77)
    server = f'detector_settings_test_{os.getpid()}'
    environment = {**support.environment_without_settings(), 'JACK_NO_AUDIO_RESERVATION': '1'}
    runner.write('settings.toml', 'version = 1\n\n[detection]\nsensitivity = 0.4\n')
    with open(runner.folder / 'jackd.log', 'wb') as log:
        jackd = subprocess.Popen(['jackd', '--no-realtime', '-n', server, '-d', 'dummy', '-r', '48000', '-p', '256'],
                                 stdout=log, stderr=subprocess.STDOUT, env=environment)
    try:
        waited = subprocess.run(['jack_wait', '-s', server, '-w', '-t', str(support.TIMEOUT_S)],
                                capture_output=True, env=environment, timeout=support.TIMEOUT_S + 5)
        if waited.returncode != 0:
            raise support.Failure(f'jackd did not start: {waited.stdout!r} {waited.stderr!r}')
        return run_example(runner, options, server, environment)
    finally:
        jackd.send_signal(signal.SIGTERM)
        jackd.wait(timeout=support.TIMEOUT_S)
        server_log = (runner.folder / 'jackd.log').read_text(errors='replace')
        xruns = sum(1 for line in server_log.splitlines() if 'XRun' in line and f'client = {CLIENT}' in line)
        print(f'the server reported {xruns} xruns of the client')


def run_example(runner, options, server, environment):
    example = subprocess.Popen([os.path.abspath(options.example), 'settings.toml', '--server', server, '--test-tone'],
                               cwd=runner.folder, stdout=subprocess.PIPE, env=environment)
    lines = queue.Queue()
    threading.Thread(target=lines_of, args=(example.stdout, lines), daemon=True).start()
    seen = []
    try:
        def wait_for(settings):
            deadline = time.monotonic() + support.TIMEOUT_S
            while True:
                line = next_line(lines, settings, deadline)
                seen.append(line)
                if line.endswith(settings):
                    return
        wait_for('sensitivity 0.4, minDurationMs 300, cooldownMs 300')
        expected = ['sensitivity 0.4, minDurationMs 300, cooldownMs 300']
        for changes, settings in edits():
            status, out, err = runner.output(['set', 'settings.toml', *(f'{k}={v}' for k, v in changes.items())])
            if status != 0:
                raise support.Failure(f'set {changes}: status {status}, {out!r} {err!r}')
            expected.append(settings)
            wait_for(settings)
    finally:
        example.send_signal(signal.SIGINT)
        status = example.wait(timeout=support.TIMEOUT_S)
    while (line := lines.get(timeout=support.TIMEOUT_S)) is not None:
        seen.append(line)
    summary = seen.pop()
    runner.failures += [f'a block saw a record with an error: {line}' for line in seen if ': error: ' in line]
    records = [line.split(': ', 1)[1] for line in seen if not line.endswith(': event')]
    events = len(seen) - len(records)
    timing = re.fullmatch(r'blocks \d+, xruns \d+, longest callback (\d+) us of a (\d+) us period, reports dropped 0',
                          summary)
    if status != 0 or not timing:
        runner.failures.append(f'{CLIENT} ended with status {status}, saying {summary!r}')
    elif int(timing[1]) >= int(timing[2]):
        runner.failures.append(f'the callback overran its period, an xrun of the client: {summary}')
    if records != expected:
        runner.failures.append(f'the callback saw {records!r}, not the edits {expected!r}')
    if events == 0:
        runner.failures.append('the callback heard no event in the test tone')
    return f'{EDITS} edits seen in order; {summary}, {events} events'


if __name__ == '__main__':
    def add_options(parser):
        parser.add_argument('--example', required=True, help='the jack_detector program')
    support.main(__doc__, lambda runner: cases(runner, runner.options), add_options)
