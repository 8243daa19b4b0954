#!/usr/bin/env python3
"""`detector-settings watch` under hostile conditions, natively or under an emulator.

Rounds of a watch, each with a reader of its kind: one that reads every line,
one that never reads (stalled), one that goes away (closed). While it runs, its
file is swapped, in random order and at random moments, for: a file of the same
size and times renamed over it, a FIFO, a directory, a link to another file,
nothing, a file written in place, and a file of 128 KiB with twenty thousand
problems. Then:

- with a reader, the last of those saves that is valid is always reported;
- with a stalled reader, the watch's peak memory stays under MAX_MEMORY_MIB;
- SIGINT or SIGTERM, sent at a random point, ends the watch with status 0
  within MAX_STOP_S, whatever its reader does;
- with a closed reader, the watch ends by itself with status 2 and says why.

Under an emulator (Windows), the parts Windows has: no FIFO, no SIGTERM, no
peak memory to read.
"""

import json
import os
import pathlib
import queue
import random
import shutil
import signal
import subprocess
import threading
import time

from end_to_end_test_support import TIMEOUT_S, environment_without_settings, main

MAX_STOP_S = 1.0
# A stalled reader's watch holds at most 1 MiB of lines waiting, the event
# being written and the newest one: with reports of 2 MB each, as here, its
# peak stays under this, where keeping every report would pass it many times.
MAX_MEMORY_MIB = 40
STALLED_EDITS = 20
PROBLEMS_KIB = 128


class Folder:
    """The watched file and the ways it changes."""

    def __init__(self, path, windows):
        self.path = path / 'settings.toml'
        self.beside = path / 'settings.toml.new'
        self.windows = windows
        self.saves = 0

    def clear(self):
        if self.path.is_dir() and not self.path.is_symlink():
            shutil.rmtree(self.path)
        elif self.path.exists() or self.path.is_symlink():
            self.path.unlink()

    def replace(self, make):
        """Makes the new file beside the old one and renames it over it, as editors save."""
        for attempt in range(1000):  # Windows refuses a rename onto a file being read, for a moment
            try:
                if self.beside.exists() or self.beside.is_symlink():
                    self.beside.unlink()
                make(self.beside)
                if self.path.is_dir() and not self.path.is_symlink():
                    shutil.rmtree(self.path)
                os.replace(self.beside, self.path)
                return
            except (PermissionError, FileExistsError):
                time.sleep(0.001)
        raise RuntimeError(f'{self.path} could not be replaced')

    def valid_text(self):
        """A valid file of a fixed size, with a sensitivity of its own."""
        self.saves += 1
        value = f'0.{self.saves:04d}'
        return f'[detection]\nsensitivity = {value}\n', value

    def save(self):
        text, value = self.valid_text()
        self.replace(lambda p: p.write_bytes(text.encode()))
        return value

    def same_size_and_times(self):
        """Another file, of the size and times of the one it replaces."""
        text, _ = self.valid_text()
        try:
            old = self.path.stat()
            same = old.st_size == len(text) and self.path.is_file()
        except OSError:
            same = False

        def make(new):
            new.write_bytes(text.encode())
            if same:
                os.utime(new, ns=(old.st_atime_ns, old.st_mtime_ns))
        self.replace(make)

    def in_place(self):
        text, _ = self.valid_text()
        if not self.path.is_file():
            self.clear()
        for attempt in range(1000):
            try:
                self.path.write_bytes(text.encode())
                return
            except PermissionError:
                time.sleep(0.001)

    def fifo(self):
        self.replace(os.mkfifo)

    def directory(self):
        self.clear()
        self.path.mkdir()

    def link(self):
        target = self.path.with_name(f'target-{self.saves}.toml')
        target.write_bytes(self.valid_text()[0].encode())
        self.replace(lambda p: os.symlink(target.name, p))

    def delete(self):
        self.clear()

    def large(self):
        """Unknown tables: one problem per line, as costly to tell as a file can be."""
        text = ''.join(f'[t{i}]\n' for i in range(1, 200_000))[:PROBLEMS_KIB << 10]
        text = text[:text.rindex('\n') + 1]
        self.replace(lambda p: p.write_bytes(text.encode()))

    def faults(self):
        ways = [self.same_size_and_times, self.in_place, self.directory, self.link, self.delete, self.large]
        if not self.windows:
            ways.append(self.fifo)
        return ways


class Watch:
    def __init__(self, command, folder, reader):
        self.process = subprocess.Popen(command + ['watch', '--format', 'json', 'settings.toml'],
                                        cwd=folder.path.parent, env=environment_without_settings(),
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.lines = queue.Queue()
        self.errors = []
        self.error_reader = threading.Thread(target=lambda: self.errors.append(self.process.stderr.read()),
                                             daemon=True)
        self.error_reader.start()
        if reader == 'reads':
            threading.Thread(target=self.read, daemon=True).start()

    def read(self):
        for line in iter(self.process.stdout.readline, b''):
            self.lines.put(json.loads(line))

    def wait_for(self, wanted):
        """Whether an event the watch reports meets `wanted`, within TIMEOUT_S."""
        deadline = time.monotonic() + TIMEOUT_S
        while time.monotonic() < deadline:
            try:
                if wanted(self.lines.get(timeout=1)):
                    return True
            except queue.Empty:
                pass
        return False

    def wait_until_idle(self, quiet_s=2.0):
        """Until the watch has used no processor time for `quiet_s`: it has
        judged every edit it saw (it notices one within a poll), however
        slowly it runs. Without /proc to tell (an emulator's process), at once."""
        deadline = time.monotonic() + TIMEOUT_S
        last, since = None, time.monotonic()
        while time.monotonic() < deadline:
            try:
                fields = pathlib.Path(f'/proc/{self.process.pid}/stat').read_text().rsplit(')', 1)[1].split()
            except OSError:
                return
            used = int(fields[11]) + int(fields[12])  # utime and stime, in clock ticks
            if used != last:
                last, since = used, time.monotonic()
            elif time.monotonic() - since >= quiet_s:
                return
            time.sleep(0.05)

    def peak_memory_mib(self):
        try:
            status = pathlib.Path(f'/proc/{self.process.pid}/status').read_text()
        except OSError:
            return None
        (line,) = [line for line in status.splitlines() if line.startswith('VmHWM:')]
        return int(line.split()[1]) / 1024

    def stop(self, how):
        """Sends `how`; the seconds until the watch ended, and its status."""
        start = time.monotonic()
        self.process.send_signal(how)
        try:
            status = self.process.wait(timeout=TIMEOUT_S)
        except subprocess.TimeoutExpired:
            self.process.kill()
            status = self.process.wait()
        return time.monotonic() - start, status


def faults(folder, rng, count):
    for _ in range(count):
        rng.choice(folder.faults())()
        time.sleep(rng.uniform(0, 0.2))


def round_with_reader(runner, folder, rng, signals, name):
    folder.clear()
    folder.save()
    watch = Watch(runner.command, folder, 'reads')
    if not watch.wait_for(lambda event: event['event'] == 'watching'):
        runner.failures.append(f'{name}: the watch did not start')
    faults(folder, rng, rng.randint(3, 8))
    value = float(folder.save())

    def applied(event):
        return event['event'] == 'applied' and any(
            change == {'key': 'detection.sensitivity', 'value': value} for change in event['changed'])
    if not watch.wait_for(applied):
        runner.failures.append(f'{name}: the last save ({value}) was not reported')
    faults(folder, rng, rng.randint(0, 2))  # the interruption comes at a random point of what follows
    seconds, status = watch.stop(rng.choice(signals))
    if status != 0 or seconds > MAX_STOP_S:
        runner.failures.append(f'{name}: ended with status {status} after {seconds:.2f} s')


def round_with_stalled_reader(runner, folder, rng, signals, name, max_memory):
    folder.clear()
    folder.save()
    watch = Watch(runner.command, folder, 'stalls')
    if json.loads(watch.process.stdout.readline())['event'] != 'watching':  # then it stalls
        runner.failures.append(f'{name}: the watch did not start')
    for _ in range(STALLED_EDITS):  # each rejected, with a report of 2 MB
        folder.large()
        time.sleep(0.5)
        folder.save()
        time.sleep(rng.uniform(0, 0.1))
    # Three more judged for sure, however slow the watch: more than its queue holds.
    for _ in range(3):
        folder.large()
        watch.wait_until_idle()
    memory = watch.peak_memory_mib()
    if max_memory and (memory is None or memory > max_memory):
        runner.failures.append(f'{name}: peak memory {memory} MiB, more than {MAX_MEMORY_MIB} MiB')
    # Read at last: what was left out is told, and what comes after is written.
    threading.Thread(target=watch.read, daemon=True).start()
    value = float(folder.save())
    seen = []
    if not watch.wait_for(lambda event: seen.append(event) or (event['event'] == 'applied' and {
            'key': 'detection.sensitivity', 'value': value} in event['changed'])):
        runner.failures.append(f'{name}: the save after the stall ({value}) was not reported')
    if not any(event['event'] == 'skipped' and event['count'] > 0 for event in seen):
        runner.failures.append(f'{name}: no skipped events told after the stall, in {[e["event"] for e in seen]}')
    seconds, status = watch.stop(rng.choice(signals))
    if status != 0 or seconds > MAX_STOP_S:
        runner.failures.append(f'{name}: with a stalled reader, ended with status {status} after {seconds:.2f} s')
    return memory


def round_with_closed_reader(runner, folder, name):
    folder.clear()
    folder.save()
    watch = Watch(runner.command, folder, 'closes')
    watch.process.stdout.readline()
    watch.process.stdout.close()
    folder.save()
    try:
        status = watch.process.wait(timeout=TIMEOUT_S)
    except subprocess.TimeoutExpired:
        watch.process.kill()
        status = None
    watch.error_reader.join()
    said = b''.join(watch.errors)
    if status != 2 or b'cannot write to standard output' not in said:
        runner.failures.append(f'{name}: with a closed reader, status {status}, {said!r}')


def options(parser):
    parser.add_argument('--rounds', type=int, default=4, help='rounds of each kind of reader')
    parser.add_argument('--max-memory-mib', type=float, default=MAX_MEMORY_MIB,
                        help='peak memory of a watch with a stalled reader; 0: not measured (sanitizers, Windows)')
    parser.add_argument('--seed', type=int, default=20261209)


def cases(runner):
    rounds = runner.options.rounds
    signals = [signal.SIGINT] if runner.windows else [signal.SIGINT, signal.SIGTERM]
    rng = random.Random(runner.options.seed)
    memories = []
    folder = Folder(runner.folder, runner.windows)
    for number in range(rounds):
        round_with_reader(runner, folder, rng, signals, f'round {number}')
        if number == 0:
            memories.append(round_with_stalled_reader(runner, folder, rng, signals, f'round {number}',
                                                      0 if runner.emulated else runner.options.max_memory_mib))
        round_with_closed_reader(runner, folder, f'round {number}')
    known = [m for m in memories if m is not None]
    return f'{rounds} rounds, peak memory with a stalled reader at most {max(known, default=0):.0f} MiB'


if __name__ == '__main__':
    main(__doc__, cases, options)
