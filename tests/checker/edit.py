#!/usr/bin/env python3
"""`detector-settings set` and `unset` end to end, natively or under an emulator.

- Outputs: what changed, the JSON report, problems as check writes them, a dry
  run's diff as `diff -u` writes it, and each exit status.
- Failures: a folder the edit may not write to, a full disk, a FIFO, links to a
  file and to nothing; the file stays as it was, and permission bits stay.
- Kills: an edit loop killed at a random moment, KILLS times: the file is
  always the old text or the new one, and the next edit is never blocked.
- Two edit loops on one file at once, 500 edits each, while a watch runs: no
  edit of either is lost, and the watch rejects none; a watch sees each set
  as one edit.
"""

import argparse
import json
import os
import pathlib
import random
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import time

TIMEOUT_S = 60
TEXTS = {'0.25': '# tuned\n[detection]\nsensitivity = 0.25 # by hand\n',
         '0.75': '# tuned\n[detection]\nsensitivity = 0.75 # by hand\n'}


class Checker:
    def __init__(self, command, folder):
        self.command = command
        self.folder = folder
        self.failures = []

    def run(self, args, **options):
        result = subprocess.run(self.command + args, cwd=self.folder, capture_output=True, timeout=TIMEOUT_S,
                                check=False, **options)
        # A coverage build says, of a full disk or another user, that it cannot write its counts.
        err = ''.join(line for line in result.stderr.decode().replace('\r\n', '\n').splitlines(keepends=True)
                      if not line.startswith(('profiling:', 'libgcov profiling error:')))
        return result.returncode, result.stdout.decode().replace('\r\n', '\n'), err

    def expect(self, args, status, out, err='', **options):
        got = self.run(args, **options)
        if got != (status, out, err):
            self.failures.append(f'{" ".join(args)}:\n expected {(status, out, err)!r}\n      got {got!r}')

    def write(self, name, text):
        (self.folder / name).write_bytes(text.encode())

    def read(self, name):
        return (self.folder / name).read_bytes().decode()


def outputs(checker):
    checker.write('s.toml', TEXTS['0.25'])
    checker.expect(['set', 's.toml', 'detection.sensitivity=0.75', 'audio.bufferSizeMs=20'], 0,
                   'detection.sensitivity: 0.25 -> 0.75\naudio.bufferSizeMs: 10 -> 20\n')
    expected = TEXTS['0.75'] + '\n[audio]\nbufferSizeMs = 20\n'
    if checker.read('s.toml') != expected:
        checker.failures.append(f'set wrote {checker.read("s.toml")!r}')
    checker.expect(['set', 's.toml', 'detection.sensitivity=0.75'], 0, '')
    checker.expect(['unset', '--format', 'json', 's.toml', 'audio.bufferSizeMs'], 0,
                   '{"path":"s.toml","written":true,"changes":[{"key":"audio.bufferSizeMs","old":20,"new":10}],'
                   '"diagnostics":[]}\n')
    checker.expect(['set', 's.toml', 'detection.sensitivity=1.5'], 1, '',
                   '--set detection.sensitivity=1.5: error: detection.sensitivity: must be in [0.0, 1.0]; got 1.500000\n')
    checker.expect(['set', 's.toml', 'sensitivity=0.8'], 1, '',
                   '--set sensitivity=0.8: error: sensitivity: unknown setting; did you mean detection.sensitivity?\n')
    checker.expect(['unset', 's.toml', 'sensitivity'], 2, '', 'detector-settings: sensitivity: unknown setting; did '
                   'you mean detection.sensitivity? (see detector-settings --help)\n')
    checker.expect(['set', 's.toml', 'sensitivity'], 2, '',
                   'detector-settings: set takes KEY=VALUE, not sensitivity (see detector-settings --help)\n')
    # A file with a problem is edited only by the edit that fixes it.
    checker.write('bad.toml', '[audio]\nbufferSizeMs = 0\n')
    checker.expect(['set', 'bad.toml', 'detection.sensitivity=0.5'], 1, '',
                   'bad.toml:2:16: error: audio.bufferSizeMs: must be in [5, 100]; got 0\n'
                   '    2 | bufferSizeMs = 0\n      |                ^\n')
    checker.expect(['set', 'bad.toml', 'audio.bufferSizeMs=20'], 0, 'audio.bufferSizeMs: 0 -> 20\n')
    # A dry run writes nothing and shows what would change as diff -u does, which patch applies.
    before = checker.read('s.toml')
    status, diff, _ = checker.run(['set', '--dry-run', 's.toml', 'detection.cooldownMs=500', 'detection.sensitivity=0.5'])
    checker.write('expected.toml', before)
    checker.run(['set', 'expected.toml', 'detection.cooldownMs=500', 'detection.sensitivity=0.5'])
    if status != 0 or checker.read('s.toml') != before:
        checker.failures.append(f'set --dry-run: status {status}, or the file was written')
    checker.expect(['set', '--dry-run', 's.toml', 'detection.sensitivity=0.75'], 0, '')
    gnu = subprocess.run(['diff', '-u', 's.toml', 'expected.toml'], cwd=checker.folder, capture_output=True,
                         text=True, check=False).stdout.splitlines(keepends=True)
    if diff.splitlines(keepends=True)[2:] != gnu[2:] or not diff.startswith('--- s.toml\n+++ s.toml\n@@ '):
        checker.failures.append(f'set --dry-run:\n{diff}\nis not what diff -u gives:\n{"".join(gnu)}')


def failures(checker, windows):
    checker.write('s.toml', TEXTS['0.25'])
    os.chmod(checker.folder / 's.toml', 0o640)
    checker.expect(['set', 's.toml', 'detection.sensitivity=0.75'], 0, 'detection.sensitivity: 0.25 -> 0.75\n')
    if not windows and os.stat(checker.folder / 's.toml').st_mode & 0o777 != 0o640:
        checker.failures.append('the permission bits 0640 were not kept')
    checker.expect(['set', 'missing.toml', 'version=1'], 2, '', 'missing.toml: error: no such file\n')
    if windows:
        return
    os.symlink('s.toml', checker.folder / 'link.toml')
    checker.expect(['set', 'link.toml', 'detection.sensitivity=0.25'], 0, 'detection.sensitivity: 0.75 -> 0.25\n')
    if not (checker.folder / 'link.toml').is_symlink() or checker.read('s.toml') != TEXTS['0.25']:
        checker.failures.append('the link was not kept, or its file not edited')
    os.symlink('nowhere.toml', checker.folder / 'dangling.toml')
    checker.expect(['set', 'dangling.toml', 'version=1'], 2, '', 'dangling.toml: error: no such file\n')
    os.mkfifo(checker.folder / 'fifo.toml')
    checker.expect(['set', 'fifo.toml', 'version=1'], 2, '', 'fifo.toml: error: is not a regular file\n')
    # A disk that is full, as a limit on the size of files the process writes makes it.
    def full_disk():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (16, 16))
    checker.expect(['set', 's.toml', 'detection.sensitivity=0.75'], 2, '',
                   's.toml: error: cannot be written: File too large\n', preexec_fn=full_disk)
    # A folder the process may not write to (as root, the process is made another user's).
    locked = checker.folder / 'locked'
    locked.mkdir()
    (locked / 's.toml').write_text(TEXTS['0.25'])
    os.chmod(locked, 0o555)
    as_other = (lambda: os.setuid(65534)) if os.geteuid() == 0 else None
    if as_other:
        os.chmod(checker.folder, 0o755)
    checker.expect(['set', 'locked/s.toml', 'detection.sensitivity=0.75'], 2, '',
                   'locked/s.toml: error: cannot be written: Permission denied\n', preexec_fn=as_other)
    for name in ('s.toml', 'locked/s.toml'):
        if checker.read(name) != TEXTS['0.25']:
            checker.failures.append(f'{name} changed though it could not be written')
    os.chmod(locked, 0o755)


def kills(loop, folder, rng, count, failures):
    """An edit loop killed at random moments: the file is whole, the next edit goes through."""
    path = folder / 'killed.toml'
    path.write_text(TEXTS['0.25'])
    for _ in range(count):
        process = subprocess.Popen(loop + [str(path)], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        if process.stdout.readline().strip() != b'done':
            failures.append('an edit after a kill did not go through')
        time.sleep(rng.uniform(0, 0.005))
        process.kill()
        process.wait()
        process.stdout.close()
        text = path.read_text()
        if text not in TEXTS.values():
            failures.append(f'after a kill the file is {text!r}')
            break
    left = [p.name for p in folder.iterdir() if p.name.startswith('.killed.toml.edit-')]
    if len(left) > 1:
        failures.append(f'edits stopped halfway left {left}')


def two_at_once(loop, checker_command, folder, failures, emulated):
    """Two edit loops of 500 edits each on one file, while a watch runs."""
    path = folder / 'shared.toml'
    path.write_text('[detection]\nminDurationMs = 100\ncooldownMs = 100\n')
    watch = subprocess.Popen(checker_command + ['watch', '--format', 'json', '--no-env', 'shared.toml'], cwd=folder,
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    watch.stdout.readline()
    loops = [subprocess.Popen(loop + [str(path), key, '500'], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
             for key in ('detection.minDurationMs', 'detection.cooldownMs')]
    results = [p.communicate(timeout=600)[0].decode().split() for p in loops]
    last = [int(value) for value, _ in results]
    if any(int(lost) for _, lost in results):
        failures.append(f'two at once: edits lost (value last written, times lost): {results}')
    time.sleep(0.5)  # the watch sees the last edit
    watch.send_signal(signal.SIGINT)
    events = [json.loads(line) for line in watch.communicate(timeout=TIMEOUT_S)[0].splitlines()]
    text = path.read_text()
    expected = '[detection]\nminDurationMs = %d\ncooldownMs = %d\n' % tuple(last)
    if text != expected:
        failures.append(f'two at once: the file is {text!r}, not {expected!r}')
    rejected = [e for e in events if e['event'] == 'rejected']
    if rejected or not any(e['event'] == 'applied' for e in events):
        failures.append(f'two at once: the watch rejected {rejected[:1]} or applied nothing')
    return last


def one_event_per_set(checker):
    """A watch sees each set as one edit: applied, or pending restart."""
    checker.write('watched.toml', '')
    watch = subprocess.Popen(checker.command + ['watch', '--format', 'json', '--no-env', 'watched.toml'],
                             cwd=checker.folder, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    watch.stdout.readline()
    for edit in ('detection.sensitivity=0.5', 'audio.bufferSizeMs=20', 'detection.cooldownMs=500'):
        checker.run(['set', 'watched.toml', edit])
        time.sleep(0.5)
    watch.send_signal(signal.SIGINT)
    events = [json.loads(line)['event'] for line in watch.communicate(timeout=TIMEOUT_S)[0].splitlines()]
    if events != ['applied'] * 3:
        checker.failures.append(f'a watch saw three sets as {events}')


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--loop', nargs='+', required=True, help='the edit loop, after its emulator if any')
    parser.add_argument('--kills', type=int, default=1000)
    parser.add_argument('command', nargs='+', help='the checker, after its emulator if any')
    options = parser.parse_args()
    windows = options.command[-1].endswith('.exe')
    emulated = len(options.command) > 1
    rng = random.Random(20261210)
    with tempfile.TemporaryDirectory(prefix='detector_settings_edit_') as name:
        folder = pathlib.Path(name)
        checker = Checker(options.command, folder)
        outputs(checker)
        failures(checker, windows)
        one_event_per_set(checker)
        kills(options.loop, folder, rng, options.kills, checker.failures)
        last = two_at_once(options.loop, options.command, folder, checker.failures, emulated)
    for failure in checker.failures:
        print(failure)
    print(f'outputs, failures, {options.kills} kills, two edit loops (last {last}): {len(checker.failures)} failures')
    return 1 if checker.failures else 0


if __name__ == '__main__':
    sys.exit(main())
