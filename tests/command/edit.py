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

import ctypes
import fcntl
import grp
import json
import os
import pwd
import queue
import random
import re
import resource
import shutil
import signal
import subprocess
import threading
import time

from end_to_end_test_support import TIMEOUT_S, main

TEXTS = {'0.25': '# tuned\n[detection]\nsensitivity = 0.25 # by hand\n',
         '0.75': '# tuned\n[detection]\nsensitivity = 0.75 # by hand\n'}


def outputs(runner):
    runner.write('s.toml', TEXTS['0.25'])
    runner.expect(['set', 's.toml', 'detection.sensitivity=0.75', 'audio.bufferSizeMs=20'], 0,
                   'detection.sensitivity: 0.25 -> 0.75\naudio.bufferSizeMs: 10 -> 20\n')
    expected = TEXTS['0.75'] + '\n[audio]\nbufferSizeMs = 20\n'
    if runner.read('s.toml') != expected:
        runner.failures.append(f'set wrote {runner.read("s.toml")!r}')
    runner.expect(['set', 's.toml', 'detection.sensitivity=0.75'], 0, '')
    runner.expect(['unset', '--format', 'json', 's.toml', 'audio.bufferSizeMs'], 0,
                   '{"path":"s.toml","written":true,"changes":[{"key":"audio.bufferSizeMs","old":20,"new":10}],'
                   '"diagnostics":[]}\n')
    # Edits are named as given, and an unknown key is a problem of set and unset alike.
    runner.expect(['set', 's.toml', 'detection.sensitivity=1.5'], 1, '',
                   'detection.sensitivity=1.5: error: detection.sensitivity: must be in [0.0, 1.0]; got 1.500000\n')
    runner.expect(['set', 's.toml', 'sensitivity=0.8'], 1, '',
                   'sensitivity=0.8: error: sensitivity: unknown setting; did you mean detection.sensitivity?\n')
    runner.expect(['unset', 's.toml', 'sensitivity'], 1, '',
                   'sensitivity: error: sensitivity: unknown setting; did you mean detection.sensitivity?\n')
    runner.expect(['set', 's.toml', 'sensitivity'], 2, '',
                   'detector-settings: set takes KEY=VALUE, not sensitivity (see detector-settings --help)\n')
    # A file with a problem is edited only by the edit that fixes it.
    runner.write('bad.toml', '[audio]\nbufferSizeMs = 0\n')
    runner.expect(['set', 'bad.toml', 'detection.sensitivity=0.5'], 1, '',
                   'bad.toml:2:16: error: audio.bufferSizeMs: must be in [5, 100]; got 0\n'
                   '    2 | bufferSizeMs = 0\n      |                ^\n')
    runner.expect(['set', 'bad.toml', 'audio.bufferSizeMs=20'], 0, 'audio.bufferSizeMs: 0 -> 20\n')
    # A dry run writes nothing and shows what would change as diff -u does, which patch applies.
    before = runner.read('s.toml')
    status, diff, _ = runner.output(['set', '--dry-run', 's.toml', 'detection.cooldownMs=500',
                                     'detection.sensitivity=0.5'])
    runner.write('expected.toml', before)
    runner.output(['set', 'expected.toml', 'detection.cooldownMs=500', 'detection.sensitivity=0.5'])
    if status != 0 or runner.read('s.toml') != before:
        runner.failures.append(f'set --dry-run: status {status}, or the file was written')
    runner.expect(['set', '--dry-run', 's.toml', 'detection.sensitivity=0.75'], 0, '')
    runner.expect(['set', '--dry-run', 's.toml', 'detection.sensitivity=2'], 1, '', 'detection.sensitivity=2: error: '
                   'detection.sensitivity: must be in [0.0, 1.0]; got 2.000000\n')
    gnu = subprocess.run(['diff', '-u', 's.toml', 'expected.toml'], cwd=runner.folder, capture_output=True,
                         text=True, check=False).stdout.splitlines(keepends=True)
    if diff.splitlines(keepends=True)[2:] != gnu[2:] or not diff.startswith('--- s.toml\n+++ s.toml\n@@ '):
        runner.failures.append(f'set --dry-run:\n{diff}\nis not what diff -u gives:\n{"".join(gnu)}')


def messages(runner):
    """What set and unset say of what they did and did not do."""
    # After "--", the file and the edits, whatever they look like.
    runner.write('-dash.toml', '')
    runner.expect(['set', '--', '-dash.toml', 'detection.sensitivity=0.5'], 0, 'detection.sensitivity: 0.7 -> 0.5\n')
    runner.expect(['unset', '--', '-dash.toml', 'detection.sensitivity'], 0, 'detection.sensitivity: 0.5 -> 0.7\n')
    # A value equal to its default, unset: no change in force to tell, and its line goes.
    runner.write('default.toml', '[audio]\nbufferSizeMs = 10\n')
    runner.expect(['unset', 'default.toml', 'audio.bufferSizeMs'], 0, '')
    # A file made anew holds its settings, defaults too, so that a watch of it starts.
    runner.expect(['set', '--create', 'made.toml', 'detection.sensitivity=0.7'], 0, '')
    for name, text in (('-dash.toml', '[detection]\n'), ('default.toml', '[audio]\n'),
                       ('made.toml', '[detection]\nsensitivity = 0.7\n')):
        if (runner.folder / name).read_text() != text:
            runner.failures.append(f'{name} is {(runner.folder / name).read_text()!r}, not {text!r}')
    # A name as long as systems allow.
    long_name = 'n' * 245 + '.toml'
    runner.write(long_name, '')
    runner.expect(['set', long_name, 'detection.sensitivity=0.5'], 0, 'detection.sensitivity: 0.7 -> 0.5\n')
    # A dry run's diff is terminal-safe: its file's name and its lines.
    name = 'n.toml' if runner.windows else 'n\nl.toml'
    runner.write(name, '[training]\n')
    shown = name.replace('\n', '\\u000A')
    runner.expect(['set', '--dry-run', name, 'training.dataFile="a\\u202eb"'], 0,
                   f'--- {shown}\n+++ {shown}\n@@ -1 +1,2 @@\n [training]\n+dataFile = "a\\u202Eb"\n')


# As root, an ordinary user is made of root with its powers over others'
# files taken away (CAP_CHOWN, CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH,
# CAP_FOWNER, CAP_FSETID, from the bounding set, so for every program it
# runs): it owns root's files, is a member of MEMBER_GROUP, and reaches the
# build wherever the checkout is. Other users and groups are numbers no one has.
MEMBER_GROUP, OTHER_GROUP, OTHER_USER = 4242, 4343, 4444
NAMED_IDS = (65534, 65534)  # a user and a group the system usually names, as the edit's messages should


def names_of(user, group):
    """The names the system gives a user and a group, if it names both."""
    try:
        return pwd.getpwuid(user).pw_name, grp.getgrgid(group).gr_name
    except KeyError:
        return None


def as_user():
    libc = ctypes.CDLL(None, use_errno=True)
    os.setgroups([0, MEMBER_GROUP])
    for capability in (0, 1, 2, 3, 4):
        if libc.prctl(24, capability, 0, 0, 0) != 0:  # PR_CAPBSET_DROP
            raise OSError(ctypes.get_errno(), 'prctl')


def has(*programs):
    return all(shutil.which(program) for program in programs)


def hostile_files(runner):
    """One table of files and users that an edit must serve without taking
    anyone's access away, or refuse, saying why, with status 2, leaving the
    file as it was and nothing beside it."""
    root = os.geteuid() == 0 and not runner.windows
    user = as_user if root else None
    posix = not runner.windows
    traced = posix and has('strace')
    folder_name = lambda case: str(runner.folder / case)
    sensitivity = ['detection.sensitivity=0.75']
    named = names_of(*NAMED_IDS)
    named_owner, named_group = named or ('', '')

    def stat_of(path):
        status = os.stat(path)
        return status.st_uid, status.st_gid, status.st_mode

    def extended(path):
        acl = subprocess.run(['getfacl', '-cn', path], capture_output=True, text=True).stdout
        names = sorted(os.listxattr(path))
        return acl, names, [os.getxattr(path, name) for name in names if name.startswith('user.')]

    def default_acl(folder):  # which every file made in it inherits
        subprocess.run(['setfacl', '-d', '-m', f'u:{OTHER_USER}:rw', folder], check=True)

    def setup_attributes(path):
        subprocess.run(['setfacl', '-m', f'u:{OTHER_USER}:r', path], check=True)
        os.setxattr(path, 'user.note', b'tuned by hand')

    # (name, when, how the file is made (it, its folder), who edits (another user, a full disk, a system
    #  call failing as strace injects it), args after the file,
    #  status, standard error ({} the folder), what must stay: a function of the file, or None)
    rows = [
        ('read_only', True, lambda f, d: os.chmod(f, 0o444), user, sensitivity, 2,
         's.toml: error: is read-only\n', None),
        ('others_file', root, lambda f, d: (os.chown(f, OTHER_USER, OTHER_GROUP), os.chmod(d, 0o777)), user,
         sensitivity, 2, 's.toml: error: may not be written by you\n', None),
        ('others_file_of_a_shared_group', root,
         lambda f, d: (os.chown(f, OTHER_USER, MEMBER_GROUP), os.chmod(f, 0o664), os.chmod(d, 0o777)), user,
         sensitivity, 2, f's.toml: error: cannot be replaced keeping its owner {OTHER_USER} and its group '
         f'{MEMBER_GROUP}: edit it as {OTHER_USER} or as root\n', None),
        ('group_and_setgid_kept', root, lambda f, d: (os.chown(f, 0, MEMBER_GROUP), os.chmod(f, 0o2640)), user,
         sensitivity, 0, '', stat_of),
        ('group_of_no_member', root, lambda f, d: os.chown(f, 0, OTHER_GROUP), user, sensitivity, 2,
         f's.toml: error: cannot be replaced keeping its group {OTHER_GROUP}, which you are not a member of: edit '
         f'it as a member of {OTHER_GROUP} or as root\n', None),
        ('root_keeps_its_powers', root, lambda f, d: (os.chown(f, OTHER_USER, OTHER_GROUP), os.chmod(f, 0o444)),
         None, sensitivity, 0, '', stat_of),
        ('acl_and_attributes_kept', posix and has('setfacl', 'getfacl'), lambda f, d: setup_attributes(f), user,
         sensitivity, 0, '', extended),
        ('hard_link', True, lambda f, d: os.link(f, d / 'other.toml'), None, sensitivity, 2,
         's.toml: error: has 2 hard links, which replacing it would part, the others keeping the old text: edit it '
         'once it has one name (remove the other links, or copy it)\n', None),
        ('over_the_size_limit', True, lambda f, d: f.write_bytes(b'#' * 1_040_000 + TEXTS['0.25'].encode()), None,
         ['training.dataFile=' + 'd' * 20_000], 2,
         's.toml: error: would be larger than the limit of 1048576 bytes (1 MiB) once edited\n', None),
        ('folder_closed_to_writing', posix, lambda f, d: os.chmod(d, 0o555), user, sensitivity, 2,
         's.toml: error: cannot be written: its folder {} may not be written by you (Permission denied), and an '
         'edit writes the new text beside the file\n', None),
        ('folder_not_listable', posix, lambda f, d: os.chmod(d, 0o333), user, sensitivity, 2,
         's.toml: error: cannot be edited: its folder {} may not be read by you, and an edit locks the folder so '
         'that no two undo each other\n', None),
        ('lock_held', posix, lambda f, d: None, None, ['--lock-timeout', '0.1', *sensitivity], 2,
         's.toml: error: is being edited by another process, which held the lock of its folder {} for all of '
         '100 ms; try again\n', None),
        ('lock_held_no_wait', posix, lambda f, d: None, None, ['--lock-timeout', '0', *sensitivity], 2,
         's.toml: error: is being edited by another process, which held the lock of its folder {} for all of '
         '0 ms; try again\n', None),
        ('lock_held_a_second', posix, lambda f, d: None, None, ['--lock-timeout', '1', *sensitivity], 2,
         's.toml: error: is being edited by another process, which held the lock of its folder {} for all of '
         '1 s; try again\n', None),
        ('owner_with_a_name', root and named, lambda f, d: (os.chown(f, *NAMED_IDS), os.chmod(f, 0o666),
                                                             os.chmod(d, 0o777)), user, sensitivity, 2,
         f's.toml: error: cannot be replaced keeping its owner {named_owner} and its group {named_group}: edit it '
         f'as {named_owner} or as root\n', None),
        ('owner_without_a_name', root, lambda f, d: (os.chown(f, 54321, 54321), os.chmod(f, 0o666), os.chmod(d, 0o777)),
         user, sensitivity, 2, 's.toml: error: cannot be replaced keeping its owner 54321 and its group 54321: edit '
         'it as 54321 or as root\n', None),
        ('rename_refused', traced, lambda f, d: None, 'rename,renameat,renameat2:error=EACCES', sensitivity, 2,
         's.toml: error: cannot be written: Permission denied\n', None),
        # What the system refuses but rarely, by strace's injection into the system call named.
        ('lock_refused', traced, lambda f, d: None, 'flock:error=ENOLCK', sensitivity, 2,
         's.toml: error: cannot be edited: the system refused the lock of its folder {} against other edits: No '
         'locks available\n', None),
        ('read_only_file_system', traced, lambda f, d: None, 'faccessat,faccessat2:error=EROFS', sensitivity, 2,
         's.toml: error: cannot be written: Read-only file system\n', None),
        ('attributes_unlisted', traced, lambda f, d: None, 'flistxattr:error=EIO', sensitivity, 2,
         's.toml: error: cannot be replaced keeping its extended attributes: Input/output error\n', None),
        ('attributes_unsupported', traced, lambda f, d: None, 'flistxattr:error=EOPNOTSUPP', sensitivity, 0, '', None),
        ('new_files_attributes_unlisted', traced, lambda f, d: None, 'flistxattr:error=EIO:when=2', sensitivity, 2,
         's.toml: error: cannot be replaced keeping its extended attributes: Input/output error\n', None),
        ('attribute_unreadable', traced, lambda f, d: os.setxattr(f, 'user.note', b'x'), 'fgetxattr:error=EIO',
         sensitivity, 2, 's.toml: error: cannot be replaced keeping its extended attribute user.note: Input/output '
         'error\n', None),
        ('attribute_refused', traced, lambda f, d: os.setxattr(f, 'user.note', b'x'), 'fsetxattr:error=EPERM',
         sensitivity, 2, 's.toml: error: cannot be replaced keeping its extended attribute user.note: Operation not '
         'permitted\n', None),
        ('inherited_acl_removed', posix and has('setfacl', 'getfacl'), lambda f, d: default_acl(d), None,
         sensitivity, 0, '', extended),
        ('acl_kept_over_an_inherited_one', posix and has('setfacl', 'getfacl'),
         lambda f, d: (default_acl(d), setup_attributes(f)), None, sensitivity, 0, '', extended),
        ('inherited_acl_not_removable', traced and has('setfacl'), lambda f, d: default_acl(d),
         'fremovexattr:error=EPERM', sensitivity, 2,
         's.toml: error: cannot be replaced keeping its extended attribute system.posix_acl_access: Operation not '
         'permitted\n', None),
        ('mode_refused', traced, lambda f, d: os.chmod(f, 0o640), 'fchmod:retval=0', sensitivity, 2,
         's.toml: error: cannot be replaced keeping its permission bits 0640: edit it as root\n', None),
        ('mounted_on_its_own', root and has('unshare'), lambda f, d: None, None, sensitivity, 2,
         's.toml: error: cannot be replaced, as it is mounted on its own (a single file mounted, as a container\'s '
         '-v FILE:FILE or Kubernetes\' subPath mounts it): edit the file it is mounted from, or mount its folder '
         'rather than the file\n', None),
        ('link_loop', posix, lambda f, d: (f.unlink(), os.symlink('s.toml', f)), None, sensitivity, 2,
         's.toml: error: cannot be read: Too many levels of symbolic links\n', None),
        ('fifo', posix, lambda f, d: (f.unlink(), os.mkfifo(f)), None, sensitivity, 2,
         's.toml: error: is not a regular file\n', None),
        ('missing', True, lambda f, d: f.unlink(), None, sensitivity, 2,
         's.toml: error: no such file; set --create makes it\n', None),
        ('dangling_link', posix, lambda f, d: (f.unlink(), os.symlink('nowhere.toml', f)), None, sensitivity, 2,
         's.toml: error: no such file; set --create makes it\n', None),
        ('full_disk', posix, lambda f, d: None, 'full disk', sensitivity, 2,
         's.toml: error: cannot be written: File too large\n', None),
    ]
    for name, when, make, who, args, status, err, kept in rows:
        if not when:
            continue
        folder = runner.folder / name
        folder.mkdir()
        path = folder / 's.toml'
        path.write_text(TEXTS['0.25'])
        make(path, folder)
        text = path.read_bytes() if path.is_file() else None
        before = kept(path) if kept else None
        command, options = ['set', 's.toml', *args], {}
        if who == 'full disk':
            options['preexec_fn'] = full_disk
        elif callable(who):
            options['preexec_fn'] = who
        elif who:
            call = who.split(':')[0]
            options['under'] = ['strace', '-f', '-o', os.devnull, '-e', f'trace={call}', '-e', f'inject={who}']
        held = os.open(folder, os.O_RDONLY) if name.startswith('lock_held') else None
        if held is not None:
            fcntl.flock(held, fcntl.LOCK_EX)
        if name == 'mounted_on_its_own':
            (folder / 'mounted.toml').write_text(TEXTS['0.25'])
            options['under'] = ['unshare', '-m', 'sh', '-c', 'mount --bind mounted.toml s.toml && exec "$@"', 'sh']
        runner.expect(command, status, 'detection.sensitivity: 0.25 -> 0.75\n' if status == 0 else '',
                       err.format(folder_name(name)), cwd=folder, **options)
        if held is not None:
            os.close(held)
        os.chmod(folder, 0o755)
        if status != 0 and text is not None and path.read_bytes() != text:
            runner.failures.append(f'{name}: the file changed though the edit was refused')
        if kept and kept(path) != before:
            runner.failures.append(f'{name}: {before} became {kept(path)}')
        left = [p.name for p in folder.iterdir() if '.edit-' in p.name]
        if left:
            runner.failures.append(f'{name}: the edit left {left}')


def flushed_around_the_rename(runner):
    """The new text is on disk before it replaces the file, and the
    replacement once the folder is: the system calls, as strace sees them."""
    runner.write('flushed.toml', TEXTS['0.25'])
    trace = runner.folder / 'flushed.trace'
    runner.expect(['set', 'flushed.toml', 'detection.sensitivity=0.75'], 0, 'detection.sensitivity: 0.25 -> 0.75\n',
                   under=['strace', '-f', '-o', str(trace), '-e', 'trace=openat,fsync,fdatasync,rename,renameat,renameat2'])
    kinds, calls = {}, []
    for line in trace.read_text().splitlines():
        if opened := re.search(r'openat\(AT_FDCWD, "([^"]*)", ([A-Z_|]+).*\)\s+= (\d+)$', line):
            kinds[opened[3]] = ('new file' if '.edit-' in opened[1] and 'O_CREAT' in opened[2]
                                else 'folder' if 'O_DIRECTORY' in opened[2] else 'other')
        elif flushed := re.search(r'f(?:data)?sync\((\d+)\)\s+= 0', line):
            calls.append('flush of the ' + kinds.get(flushed[1], 'other'))
        elif re.search(r'rename\w*\(.*\)\s+= 0$', line):
            calls.append('rename')
    if calls != ['flush of the new file', 'rename', 'flush of the folder']:
        runner.failures.append(f'the edit flushed and renamed as {calls}')


def full_disk():
    """A disk that is full, as a limit on the size of files the process writes makes it."""
    signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
    resource.setrlimit(resource.RLIMIT_FSIZE, (16, 16))


def failures(runner):
    runner.write('s.toml', TEXTS['0.25'])
    os.chmod(runner.folder / 's.toml', 0o640)
    runner.expect(['set', 's.toml', 'detection.sensitivity=0.75'], 0, 'detection.sensitivity: 0.25 -> 0.75\n')
    if not runner.windows and os.stat(runner.folder / 's.toml').st_mode & 0o777 != 0o640:
        runner.failures.append('the permission bits 0640 were not kept')
    if runner.windows:
        return
    os.symlink('s.toml', runner.folder / 'link.toml')
    runner.expect(['set', 'link.toml', 'detection.sensitivity=0.25'], 0, 'detection.sensitivity: 0.75 -> 0.25\n')
    if not (runner.folder / 'link.toml').is_symlink() or runner.read('s.toml') != TEXTS['0.25']:
        runner.failures.append('the link was not kept, or its file not edited')


def kills(runner, rng):
    """An edit loop killed at random moments: the file is whole, the next edit goes through."""
    path = runner.folder / 'killed.toml'
    path.write_text(TEXTS['0.25'])
    for _ in range(runner.options.kills):
        process = subprocess.Popen(runner.options.loop + [str(path)], stdout=subprocess.PIPE,
                                   stderr=subprocess.DEVNULL)
        if process.stdout.readline().strip() != b'done':
            runner.failures.append('an edit after a kill did not go through')
        time.sleep(rng.uniform(0, 0.005))
        process.kill()
        process.wait()
        process.stdout.close()
        text = path.read_text()
        if text not in TEXTS.values():
            runner.failures.append(f'after a kill the file is {text!r}')
            break
    left = [p.name for p in runner.folder.iterdir() if p.name.startswith('.killed.toml.edit-')]
    if len(left) > 1:
        runner.failures.append(f'edits stopped halfway left {left}')


class Watch:
    """`detector-settings watch --format json` of a file, its events read as they come."""

    def __init__(self, command, folder, name):
        self.process = subprocess.Popen(command + ['watch', '--format', 'json', '--no-env', name], cwd=folder,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.events = queue.Queue()
        threading.Thread(target=self.read, daemon=True).start()
        self.next()  # watching

    def read(self):
        for line in iter(self.process.stdout.readline, b''):
            self.events.put(json.loads(line))

    def next(self):
        """The next event, or None if none comes within TIMEOUT_S."""
        try:
            return self.events.get(timeout=TIMEOUT_S)
        except queue.Empty:
            return None

    def stop(self):
        """Interrupts the watch; the events it wrote since the last one taken."""
        self.process.send_signal(signal.SIGINT)
        self.process.wait(timeout=TIMEOUT_S)
        rest = []
        while not self.events.empty():
            rest.append(self.events.get())
        return rest


def two_at_once(runner):
    """Two edit loops of 500 edits each on one file, while a watch runs."""
    path = runner.folder / 'shared.toml'
    path.write_text('[detection]\nminDurationMs = 100\ncooldownMs = 100\n')
    watch = Watch(runner.command, runner.folder, 'shared.toml')
    loops = [subprocess.Popen(runner.options.loop + [str(path), key, '500'], stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE) for key in ('detection.minDurationMs', 'detection.cooldownMs')]
    results = [p.communicate(timeout=600)[0].decode().split() for p in loops]
    last = [int(value) for value, _ in results]
    if any(int(lost) for _, lost in results):
        runner.failures.append(f'two at once: edits lost (value last written, times lost): {results}')
    # The watch reports every event up to the last values in force.
    seen, events = {}, []
    while [seen.get('detection.minDurationMs'), seen.get('detection.cooldownMs')] != last:
        event = watch.next()
        if event is None:
            runner.failures.append(f'two at once: the watch never reported {last}, but {seen}')
            break
        events.append(event)
        seen.update({change['key']: change['value'] for change in event.get('changed', [])})
    events += watch.stop()
    text = path.read_text()
    expected = '[detection]\nminDurationMs = %d\ncooldownMs = %d\n' % tuple(last)
    if text != expected:
        runner.failures.append(f'two at once: the file is {text!r}, not {expected!r}')
    rejected = [e for e in events if e['event'] == 'rejected']
    if rejected:
        runner.failures.append(f'two at once: the watch rejected {rejected[:1]}')
    return last


def one_event_per_set(runner):
    """A watch sees each set as one edit: applied, or pending restart, and nothing else."""
    runner.write('watched.toml', '')
    watch = Watch(runner.command, runner.folder, 'watched.toml')
    for edit in ('detection.sensitivity=0.5', 'audio.bufferSizeMs=20', 'detection.cooldownMs=500'):
        runner.output(['set', 'watched.toml', edit])
        event = watch.next() or {}
        key = edit.split('=')[0]
        told = [c['key'] for c in event.get('changed', [])] + event.get('pending', [])
        if event.get('event') != 'applied' or key not in told:
            runner.failures.append(f'a watch saw set {edit} as {event}')
    rest = watch.stop()
    if rest:
        runner.failures.append(f'a watch saw three sets, then {rest}')


def options(parser):
    parser.add_argument('--loop', nargs='+', required=True, help='the edit loop, after its emulator if any')
    parser.add_argument('--kills', type=int, default=1000)


def cases(runner):
    outputs(runner)
    messages(runner)
    failures(runner)
    hostile_files(runner)
    if not runner.windows and has('strace'):
        flushed_around_the_rename(runner)
    one_event_per_set(runner)
    kills(runner, random.Random(20261210))
    last = two_at_once(runner)
    return f'outputs, failures, {runner.options.kills} kills, two edit loops (last {last})'


if __name__ == '__main__':
    main(__doc__, cases, options)
