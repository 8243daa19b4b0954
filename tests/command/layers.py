#!/usr/bin/env python3
"""Layered sets end to end: check, set and watch with --layer, natively or under an emulator.

A set of a base, an operator's file and two drop-in folders: check judges it whole and quotes each file's
lines; set tells which later layer overrides a change and writes nothing while any layer has an error; a watch
of the set sees each drop-in added, replaced, edited in place, removed, a folder that appears and goes, and a
folder swapped by a link as a ConfigMap swaps it, one event per change, nothing invalid published; two loops
of sets on two drop-ins under the watch lose nothing. Names are compared with "/" for the system's separator.
"""

import json
import os
import shutil
import signal
import threading

from edit import as_user
from end_to_end_test_support import Failure, environment_without_settings, main
from watch import Watch, applied, write

SET = ['--layer', 'base.toml', '--layer', 'etc.toml', '--layer', 'etc.d', '--layer', 'run.d']


def slashed(text):
    return text.replace('\\', '/')


def expect(runner, args, status, out, err='', **options):
    got = runner.output(args, **options)
    if (got[0], slashed(got[1]), slashed(got[2])) != (status, out, err):
        runner.failures.append(f'{" ".join(args)}:\n expected {(status, out, err)!r}\n      got {got!r}')


def layered_set(runner):
    runner.write('base.toml', 'version = 1\n[detection]\nsensitivity = 0.5\n')
    runner.write('etc.toml', '[detection]\nsensitivity = 0.6\n')
    for folder in ('etc.d', 'run.d'):
        (runner.folder / folder).mkdir(exist_ok=True)
    runner.write('etc.d/50-site.toml', 'detection.sensitivity = 0.7\n')
    runner.write('etc.d/60-room.toml', '[detection]\nminDurationMs = 200\n')
    runner.write('etc.d/.60-hidden.toml', 'version = 2\n')
    runner.write('run.d/50-site.toml', 'detection.sensitivity = 0.8\n')


def check_and_set(runner):
    layered_set(runner)
    expect(runner, ['check', '--no-env'] + SET, 0, '')
    runner.write('etc.d/70-bad.toml', '[audio]\nbufferSizeMs = 1\n')
    (runner.folder / 'etc.d' / '80-folder.toml').mkdir()
    bad = ('etc.d/70-bad.toml:2:16: error: audio.bufferSizeMs: must be in [5, 100]; got 1\n'
           '    2 | bufferSizeMs = 1\n      |                ^\n')
    folder = 'etc.d/80-folder.toml: error: is a directory, not a settings file\n'
    # The set, then a file alone (not on top of the set).
    expect(runner, ['check', '--no-env'] + SET + ['etc.toml'], 2, '', bad + folder)
    got = json.loads(runner.output(['check', '--no-env', '--format', 'json'] + SET)[1])
    if (got['layers']['paths'], got['layers']['valid'], [slashed(d['origin']['name']) for d in got['layers']['diagnostics']],
            got['files']) != (SET[1::2], False, ['etc.d/70-bad.toml', 'etc.d/80-folder.toml'], []):
        runner.failures.append(f'check --format json of the set: {got}')
    before = runner.read('etc.toml')
    expect(runner, ['set', '--no-env'] + SET + ['etc.toml', 'detection.sensitivity=0.65'], 2, '', bad + folder)
    if runner.read('etc.toml') != before:
        runner.failures.append('a set refused for another layer\'s error wrote its file')
    os.remove(runner.folder / 'etc.d' / '70-bad.toml')
    os.rmdir(runner.folder / 'etc.d' / '80-folder.toml')
    expect(runner, ['set', '--no-env'] + SET + ['etc.toml', 'detection.sensitivity=0.65'], 0,
           'detection.sensitivity: 0.6 -> 0.65 in etc.toml, but run.d/50-site.toml:1:25 sets 0.8, which is in force\n')
    expect(runner, ['set', '--no-env'] + SET + ['other.toml', 'detection.sensitivity=0.65'], 2, '',
           'other.toml: error: is neither a file of the layered set nor a drop-in (NAME.toml) of one of its folders\n')
    expect(runner, ['set', '--no-env'] + SET + ['etc.d/50-site.toml', 'detection.sensitivity=0.65'], 2, '',
           'etc.d/50-site.toml: error: is replaced by run.d/50-site.toml, a drop-in of a later folder of the set\n')
    expect(runner, ['set', '--no-env', '--create'] + SET + ['run.d/90-new.toml', 'detection.cooldownMs=900'], 0,
           'detection.cooldownMs: 300 -> 900\n')
    expect(runner, ['unset', '--no-env'] + SET + ['run.d/90-new.toml', 'detection.cooldownMs'], 0,
           'detection.cooldownMs: 900 -> 300\n')
    got = json.loads((runner.output(['set', '--format', 'json'] + SET + ['run.d/50-site.toml',
                                                                              'detection.sensitivity=0.85'],
                                           env={**environment_without_settings(), 'DETECTOR_DETECTION_SENSITIVITY': '0.4'})[1]))
    if got['changes'] != [{'key': 'detection.sensitivity', 'old': 0.8, 'new': 0.85, 'overriddenBy': {
            'kind': 'environment', 'name': 'DETECTOR_DETECTION_SENSITIVITY', 'line': 0, 'column': 0, 'value': 0.4}}]:
        runner.failures.append(f'set --format json of an overridden change: {got}')
    expect(runner, ['unset', '--no-env'] + SET + ['run.d/50-site.toml', 'detection.sensitivity'], 0,
           'detection.sensitivity: 0.85 -> 0.7 in run.d/50-site.toml, but etc.toml:2:15 sets 0.65, which is in force\n')
    if not runner.windows:
        unlistable(runner)


def unlistable(runner):
    """A folder of the set that cannot be listed, by a user who may not (root is made one)."""
    (runner.folder / 'closed.d').mkdir()
    os.chmod(runner.folder / 'closed.d', 0)
    as_other = {'preexec_fn': as_user} if os.geteuid() == 0 else {}
    expect(runner, ['check', '--no-env', '--layer', 'closed.d'], 2, '',
           'closed.d: error: cannot be read: Permission denied\n', **as_other)
    expect(runner, ['set', '--no-env', '--create', '--layer', 'closed.d', 'closed.d/x.toml', 'version=1'], 2, '',
           'closed.d/x.toml: error: is neither a file of the layered set nor a drop-in (NAME.toml) of one of its '
           'folders\n', **as_other)
    os.chmod(runner.folder / 'closed.d', 0o700)


def watched(runner):
    layered_set(runner)
    watch = Watch(runner, ['--format', 'json', '--no-env', '--layer', 'base.toml', '--layer', 'etc.d',
                           '--layer', 'run.d', '--layer', 'late.d'])
    watch.expect(watch.out, '{"event":"watching","path":null,"layers":["base.toml","etc.d","run.d","late.d"],'
                            '"diagnostics":[]}')

    def late_folder():  # made whole beside, then renamed into place
        (runner.folder / 'new.d').mkdir()
        (runner.folder / 'new.d' / '50-site.toml').write_text('detection.sensitivity = 0.3\n')
        os.replace(runner.folder / 'new.d', runner.folder / 'late.d')
    steps = [
        ('a drop-in added', lambda: write(runner.folder / 'etc.d' / '70-add.toml', 'detection.minDurationMs = 300\n'),
         applied([('detection.minDurationMs', 300)])),
        ('replaced by rename', lambda: write(runner.folder / 'run.d' / '50-site.toml', 'detection.sensitivity = 0.9\n'),
         applied([('detection.sensitivity', 0.9)])),
        ('edited in place', lambda: (runner.folder / 'etc.d' / '70-add.toml').write_text('detection.minDurationMs = 400\n'),
         applied([('detection.minDurationMs', 400)])),
        ('an invalid drop-in', lambda: write(runner.folder / 'etc.d' / '75-bad.toml', 'detection.sensitivity = 2\n'),
         None),
        ('removed', lambda: os.remove(runner.folder / 'etc.d' / '75-bad.toml'), applied([])),
        ('a replacing drop-in removed', lambda: os.remove(runner.folder / 'run.d' / '50-site.toml'),
         applied([('detection.sensitivity', 0.7)])),
        ('a folder appears', late_folder, applied([('detection.sensitivity', 0.3)])),
        ('a folder goes', lambda: shutil.rmtree(runner.folder / 'late.d'), applied([('detection.sensitivity', 0.7)])),
    ]
    if not runner.windows:
        # A ConfigMap: each name a link through ..data, the folder of the day, swapped by a rename.
        def config_map(sensitivity):
            data = runner.folder / 'run.d' / f'..{sensitivity}'
            data.mkdir()
            (data / '50-site.toml').write_text(f'detection.sensitivity = {sensitivity}\n')
            os.symlink(data.name, runner.folder / 'run.d' / '..data_tmp')
            os.replace(runner.folder / 'run.d' / '..data_tmp', runner.folder / 'run.d' / '..data')
            if not (runner.folder / 'run.d' / '50-site.toml').is_symlink():
                os.symlink('..data/50-site.toml', runner.folder / 'run.d' / '50-site.toml')
        steps += [('a ConfigMap made', lambda: config_map(0.25), applied([('detection.sensitivity', 0.25)])),
                  ('a ConfigMap swapped', lambda: config_map(0.125), applied([('detection.sensitivity', 0.125)]))]
    for name, step, event in steps:
        step()
        if event is None:
            got = json.loads(watch.out.get(timeout=60))
            if [slashed(d['origin']['name']) for d in got.get('diagnostics', [])] != ['etc.d/75-bad.toml']:
                raise Failure(f'{name}: {got}')
        else:
            watch.expect(watch.out, event)
    two_loops(runner, watch)
    watch.end(signal.SIGINT)


def two_loops(runner, watch):
    """Two loops of sets on two drop-ins of the set, at once, under the watch: the last of each is in force."""
    loops = {'detection.minDurationMs': ('etc.d/70-add.toml', 2), 'detection.cooldownMs': ('etc.d/71-new.toml', 3)}
    last = {key: 150 + step * 24 for key, (_, step) in loops.items()}

    def loop(key, file, step):
        for value in range(150, last[key] + 1, step):
            status, _, err = runner.output(['set', '--no-env', '--create', '--layer', 'base.toml', '--layer', 'etc.d',
                                            '--layer', 'run.d', file, f'{key}={value}'])
            if status != 0:
                runner.failures.append(f'set {key}={value}: {err}')
    threads = [threading.Thread(target=loop, args=(key, *loop_of)) for key, loop_of in loops.items()]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    seen = {}
    while seen != last:
        line = watch.out.get(timeout=60)
        event = json.loads(line)
        if event['event'] != 'applied':
            raise Failure(f'two loops: {line}')
        seen.update({c['key']: c['value'] for c in event['changed'] if c['key'] in last})


def cases(runner):
    check_and_set(runner)
    (runner.folder / 'w').mkdir()
    runner.folder = runner.folder / 'w'
    watched(runner)
    return 'check, set and watch of a layered set'


if __name__ == '__main__':
    main(__doc__, cases)
