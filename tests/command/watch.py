#!/usr/bin/env python3
"""`detector-settings watch` end to end, natively or under an emulator.

A watch begins on a valid file with a variable and an override on top; then
the file is saved anew (each save a new file renamed over it, so that no save
is seen halfway), given an invalid value, deleted and written anew, each edit
waited for, and every line of standard output and standard error compared
exactly, in JSON Lines and in text. SIGINT (and, but on Windows, SIGTERM) ends
a watch with status 0. A file with problems starts no watch; a FIFO in the
file's place is a problem, not a read that never ends; output that cannot be
written ends the watch with status 2.
"""

import os
import queue
import signal
import subprocess
import threading

from end_to_end_test_support import TIMEOUT_S, Failure, environment_without_settings, main

ENVIRONMENT = {'DETECTOR_DETECTION_COOLDOWN_MS': '400'}
OVERRIDES = ['--set', 'detection.minDurationMs=500']


def lines_of(stream, into):
    for line in iter(stream.readline, b''):
        into.put(line.decode('utf-8').rstrip('\r\n'))
    into.put(None)


class Watch:
    def __init__(self, runner, arguments):
        self.process = subprocess.Popen(runner.command + ['watch'] + arguments, cwd=runner.folder,
                                        env={**environment_without_settings(), **ENVIRONMENT},
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.out, self.err = queue.Queue(), queue.Queue()
        for stream, into in ((self.process.stdout, self.out), (self.process.stderr, self.err)):
            threading.Thread(target=lines_of, args=(stream, into), daemon=True).start()

    def expect(self, lines, expected):
        try:
            got = lines.get(timeout=TIMEOUT_S)
        except queue.Empty:
            got = '(nothing)'
        if got != expected:
            self.process.kill()
            raise Failure(f'expected {expected!r}\n     got {got!r}')

    def end(self, how):
        self.process.send_signal(how)
        status = self.process.wait(timeout=TIMEOUT_S)
        if status != 0:
            raise Failure(f'{how!r} ended the watch with status {status}')
        self.expect(self.out, None)
        self.expect(self.err, None)


def write(path, text):
    beside = path.with_name(path.name + '.new')
    beside.write_bytes(text.encode('utf-8'))
    os.replace(beside, path)


def applied(changed, pending=()):
    items = ','.join(f'{{"key":"{key}","value":{value}}}' for key, value in changed)
    return '{"event":"applied","changed":[' + items + '],"pending":[' + ','.join(f'"{p}"' for p in pending) + ']}'


def rejected(line, column, key, rule, message, kind='file'):
    return ('{"event":"rejected","diagnostics":[{"line":%d,"column":%d,"key":"%s","rule":"%s","severity":"error",'
            '"message":"%s","origin":{"kind":"%s","name":"settings.toml"}}]}' % (line, column, key, rule, message, kind))


def json_lines(runner):
    path = runner.folder / 'settings.toml'
    write(path, '[detection]\nsensitivity = 0.5\n')
    watch = Watch(runner, ['--format', 'json'] + OVERRIDES + ['settings.toml'])
    watch.expect(watch.out, '{"event":"watching","path":"settings.toml","diagnostics":[]}')
    write(path, '[detection]\nsensitivity = 0.25\nminDurationMs = 900\n')
    watch.expect(watch.out, applied([('detection.sensitivity', '0.25')]))
    write(path, '[audio]\nbufferSizeMs = 20\n[detection]\nsensitivity = 0.75\n')
    watch.expect(watch.out, applied([('detection.sensitivity', '0.75')], ['audio.bufferSizeMs']))
    write(path, '[detection]\nsensitivity = 1.5\n')
    watch.expect(watch.out, rejected(2, 15, 'detection.sensitivity', 'range', 'must be in [0.0, 1.0]; got 1.500000'))
    path.unlink()
    watch.expect(watch.out, rejected(0, 0, '', 'file', 'no such file'))
    write(path, '[audio]\nbufferSizeMs = 20\n[detection]\nsensitivity = 0.75\n')
    watch.expect(watch.out, applied([], ['audio.bufferSizeMs']))
    write(path, '[detection]\nsensitivity = 0.5\ncooldownMs = 900\n')
    watch.expect(watch.out, applied([('detection.sensitivity', '0.5')]))
    watch.end(signal.SIGINT)


def text(runner, how):
    path = runner.folder / 'settings.toml'
    write(path, '')
    watch = Watch(runner, ['--', 'settings.toml'])
    watch.expect(watch.out, 'watching settings.toml')
    write(path, '[detection]\nfftSize = 1000\n')
    watch.expect(watch.out, 'rejected: 1 problem; the settings in force stay')
    for line in ('settings.toml:2:11: error: detection.fftSize: must be a power of 2; got 1000',
                 '    2 | fftSize = 1000', '      |           ^'):
        watch.expect(watch.err, line)
    write(path, '[detection]\nfftSize = 1024\nsensitivity = 0.125\n')
    watch.expect(watch.out, 'applied: detection.sensitivity = 0.125; pending restart: detection.fftSize')
    watch.end(how)


def refused(runner):
    """(arguments, file text, status, standard output, standard error)"""
    for arguments, content, status, out, err in [
        (['--format', 'json', 'settings.toml'], 'version = 2\n', 1,
         rejected(1, 11, 'version', 'equals', 'must equal 1; got 2') + '\n', ''),
        (['settings.toml'], 'version = 2\n', 1, '',
         'settings.toml:1:11: error: version: must equal 1; got 2\n    1 | version = 2\n      |           ^\n'),
        (['missing.toml'], None, 2, '', 'missing.toml: error: no such file\n'),
        (['-'], None, 2, '', 'detector-settings: standard input (-) cannot be watched (see detector-settings --help)\n'),
        (['--set', 'sensitivity', 'settings.toml'], '', 2, '',
         'detector-settings: --set takes KEY=VALUE, not sensitivity (see detector-settings --help)\n'),
    ]:
        if content is not None:
            write(runner.folder / 'settings.toml', content)
        runner.expect(['watch'] + arguments, status, out, err)


def fifo(runner):
    path = runner.folder / 'settings.toml'
    write(path, '')
    watch = Watch(runner, ['--format', 'json', 'settings.toml'])
    watch.expect(watch.out, '{"event":"watching","path":"settings.toml","diagnostics":[]}')
    beside = path.with_name('settings.fifo')
    os.mkfifo(beside)
    os.replace(beside, path)
    watch.expect(watch.out, rejected(0, 0, '', 'file', 'is not a regular file'))
    watch.end(signal.SIGINT)
    path.unlink()


def unwritable(runner):
    """Standard output, then standard error, on a full disk."""
    path = runner.folder / 'settings.toml'
    for arguments, stream in ((['settings.toml'], 'stdout'), (['settings.toml'], 'stderr')):
        write(path, '')
        with open('/dev/full', 'wb') as full:
            streams = {'stdout': subprocess.PIPE, 'stderr': subprocess.PIPE, stream: full}
            process = subprocess.Popen(runner.command + ['watch'] + arguments, cwd=runner.folder, **streams)
            if stream == 'stderr':
                process.stdout.readline()
                write(path, 'version = 2\n')
            status = process.wait(timeout=TIMEOUT_S)
            process.communicate()
        if status != 2:
            runner.failures.append(f'watch with {stream} full: status {status}')


def cases(runner):
    json_lines(runner)
    text(runner, signal.SIGINT)
    refused(runner)
    if runner.windows:  # Windows has no SIGTERM to send, no FIFO to make, no /dev/full
        return 'JSON Lines, text, refusals'
    text(runner, signal.SIGTERM)
    fifo(runner)
    unwritable(runner)
    return 'JSON Lines, text, refusals, SIGTERM, a FIFO, full disks'


if __name__ == '__main__':
    main(__doc__, cases)
