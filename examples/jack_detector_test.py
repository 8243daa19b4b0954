"""The JACK example on a server of its own (the dummy driver): every edit reaches the process callback, in order.

Each `detector-settings set` is made once the callback has seen the one before. The callback must see exactly
those records, none with an error, hear its test tone, and cause no xrun: take less than its period. Xruns the
server reports of a client within its period are the machine's (a busy machine without real-time scheduling wakes
it late now and then): counted, not failed. Exit status 77 (skipped) without JACK's server.
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

CLIENT = 'jack_detector'
SUMMARY = r'blocks \d+, xruns \d+, longest callback (\d+) us of a (\d+) us period, reports dropped 0'


def edits(count=36):
    """Distinct valid live settings: the sensitivity each time, the other two now and then."""
    minimum, cooldown = 300, 300
    for n in range(1, count + 1):
        changes = {'detection.sensitivity': f'0.{40 + n}'}
        minimum = 100 + 10 * n if n % 4 == 0 else minimum
        cooldown = 100 + 20 * n if n % 6 == 0 else cooldown
        changes.update({'detection.minDurationMs': str(minimum), 'detection.cooldownMs': str(cooldown)})
        yield changes, f'sensitivity {float(changes["detection.sensitivity"]):g}, ' \
                       f'minDurationMs {minimum}, cooldownMs {cooldown}'


def read_lines(stream, into):
    for line in stream:
        into.put(line.decode().rstrip('\n'))
    into.put(None)


def cases(runner):
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
        subprocess.run(['jack_wait', '-s', server, '-w', '-t', str(support.TIMEOUT_S)], env=environment, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=support.TIMEOUT_S + 5)
        return run_example(runner, server, environment)
    finally:
        jackd.send_signal(signal.SIGTERM)
        jackd.wait(timeout=support.TIMEOUT_S)
        xruns = (runner.folder / 'jackd.log').read_text(errors='replace').count(f'XRun: client = {CLIENT} ')
        print(f'the server reported {xruns} xruns of the client')


def run_example(runner, server, environment):
    example = subprocess.Popen([os.path.abspath(runner.options.example), 'settings.toml', '--server', server,
                                '--test-tone'], cwd=runner.folder, stdout=subprocess.PIPE, env=environment)
    lines = queue.Queue()
    threading.Thread(target=read_lines, args=(example.stdout, lines), daemon=True).start()
    seen = []

    def wait_for(settings):
        deadline = time.monotonic() + support.TIMEOUT_S
        while not seen or not seen[-1].endswith(settings):
            line = lines.get(timeout=max(0, deadline - time.monotonic()))
            if line is None:
                raise support.Failure(f'{CLIENT} ended, waiting for {settings}')
            seen.append(line)

    expected = ['sensitivity 0.4, minDurationMs 300, cooldownMs 300']
    try:
        wait_for(expected[0])
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
    records = [line.split(': ', 1)[1] for line in seen if not line.endswith(': event')]
    events = len(seen) - len(records)
    timing = re.fullmatch(SUMMARY, summary)
    runner.failures += [f'a block saw a record with an error: {line}' for line in seen if ': error: ' in line]
    if status != 0 or not timing:
        runner.failures.append(f'{CLIENT} ended with status {status}, saying {summary!r}')
    elif int(timing[1]) >= int(timing[2]):
        runner.failures.append(f'the callback overran its period, an xrun of the client: {summary}')
    if records != expected:
        runner.failures.append(f'the callback saw {records!r}, not the edits {expected!r}')
    if events == 0:
        runner.failures.append('the callback heard no event in the test tone')
    return f'{len(expected) - 1} edits seen in order; {summary}, {events} events'


if __name__ == '__main__':
    support.main(__doc__, cases, lambda parser: parser.add_argument('--example', required=True, help=CLIENT))
