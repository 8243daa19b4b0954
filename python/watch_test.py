"""SettingsWatcher from Python: edits under readers on other threads, listeners
that raise or stop the watch, and an interpreter that exits while it runs."""
import os
import subprocess
import sys
import threading
import time

import pytest

import detector_settings
from detector_settings import Config, SettingsWatcher

FAST = {"environment": {}, "poll_interval": 0.001, "settle_time": 0.001}


def replace(path, text):
    """Saves as careful editors do: a new file renamed over the old one."""
    new = path.with_name(path.name + ".new")
    new.write_text(text)
    os.replace(new, path)


def wait_for(condition, seconds=20):
    deadline = time.monotonic() + seconds
    while not condition():
        assert time.monotonic() < deadline, "the watch did not get there in time"
        time.sleep(0.005)


def test_a_thousand_edits_under_two_reading_threads(tmp_path):
    path = tmp_path / "settings.toml"
    replace(path, "")
    applied, rejected, invalid = [], [], []
    with SettingsWatcher(path, Config(), on_applied=applied.append, on_rejected=rejected.append, **FAST) as watcher:
        done = threading.Event()

        def read():
            while not done.is_set():
                if detector_settings.validate(config := watcher.current()) is not None:
                    invalid.append(config)
                time.sleep(0)  # lets the writer have the GIL

        readers = [threading.Thread(target=read, daemon=True) for _ in range(2)]
        for reader in readers:
            reader.start()
        for edit in range(1000):
            # Every third edit breaks a rule; every seventh is not TOML.
            value = 0 if edit % 3 == 0 or edit % 100 == 0 else 100 + edit
            count = len(rejected)
            replace(path, f"[detection]\ncooldownMs = {value}\n" + ("=\n" if edit % 7 == 0 else ""))
            if edit % 100 == 0:  # now and then, a rejected edit judged for sure
                wait_for(lambda: len(rejected) > count)
        replace(path, "[detection]\ncooldownMs = 1999\n")
        wait_for(lambda: watcher.current().detection.cooldownMs == 1999)
        done.set()
        for reader in readers:
            reader.join()
        started = time.monotonic()
        watcher.stop()
        assert time.monotonic() - started < 2 and not watcher.watching
    assert not invalid and rejected and all(detector_settings.validate(a.config) is None for a in applied)
    assert all(e.problems and e.problems[0].origin.kind == "file" for e in rejected)
    assert applied[-1].changed == ["detection.cooldownMs"] and watcher.current().detection.cooldownMs == 1999


def test_a_watch_of_a_layered_set_alone_sees_a_drop_in_added(tmp_path):
    (folder := tmp_path / "settings.d").mkdir()
    seen = threading.Event()
    with SettingsWatcher(None, Config(), on_applied=lambda change: change.config.detection.sensitivity == 0.25 and
                         seen.set(), layers=[folder], **FAST):
        replace(folder / "50-a.toml", "[detection]\nsensitivity = 0.25\n")
        assert seen.wait(60), "the watch did not see the drop-in"


def test_a_listener_that_raises_is_reported_and_the_watch_goes_on(tmp_path, monkeypatch):
    path = tmp_path / "settings.toml"
    replace(path, "")
    reported, calls = [], []
    monkeypatch.setattr(sys, "unraisablehook", reported.append)

    def fail(change):
        calls.append(change)
        raise ValueError("from the listener")

    with SettingsWatcher(path, Config(), on_applied=fail, **FAST) as watcher:
        for value in (0.25, 0.5):
            replace(path, f"[detection]\nsensitivity = {value}\n")
            wait_for(lambda: calls and calls[-1].config.detection.sensitivity == value)
        assert watcher.watching
    assert len(reported) >= 2 and str(reported[0].exc_value) == "from the listener"
    assert "on_applied" in str(reported[0].err_msg or reported[0].object)


def test_a_listener_may_stop_the_watch(tmp_path):
    path = tmp_path / "settings.toml"
    replace(path, "[detection]\nsensitivity = 0.25\n")
    calls, made, watchers = [], threading.Event(), []

    def stop(change):
        made.wait()  # the first edit may be reported before the constructor returns
        calls.append(change)
        watchers[0].stop()

    watcher = SettingsWatcher(path, Config(), on_applied=stop, **FAST)
    watchers.append(watcher)
    made.set()
    wait_for(lambda: not watcher.watching)
    replace(path, "[detection]\nsensitivity = 0.5\n")
    time.sleep(0.2)
    assert len(calls) == 1 and watcher.current().detection.sensitivity == 0.25


# A watch left running while the file keeps changing, one destroyed by its own
# listener, a thread reading: the interpreter must still exit, at once and cleanly.
EXITING = """
import itertools, os, sys, threading, time, detector_settings as d
path = sys.argv[1]
def edit():
    for value in itertools.count():
        open(path + ".new", "w").write(f"[detection]\\nsensitivity = {value % 2}\\n")
        os.replace(path + ".new", path)
        time.sleep(0.005)
edit_thread = threading.Thread(target=edit, daemon=True)
edit_thread.start()
seen = []
kept = d.SettingsWatcher(path, d.Config(), on_applied=seen.append, environment={}, poll_interval=0.001,
                         settle_time=0.001)
held = [d.SettingsWatcher(path, d.Config(), on_applied=lambda c: held.clear(), environment={},
                          poll_interval=0.001, settle_time=0.001)]
threading.Thread(target=lambda: [kept.current() for _ in iter(int, 1)], daemon=True).start()
while held or len(seen) < 3:
    time.sleep(0.001)
print("applied")
"""


def test_the_interpreter_exits_with_watches_running(tmp_path):
    run = subprocess.run([sys.executable, "-c", EXITING, str(tmp_path / "settings.toml")], capture_output=True,
                         text=True, timeout=60)
    assert run.returncode == 0 and run.stderr == "" and run.stdout.startswith("applied")


# A watcher dropped without stop() while it reports a change: its thread
# waits for the GIL to call the listener, which the dropping must let go.
DROPPED = """
import os, sys, time, detector_settings as d
sys.setswitchinterval(1000)  # this thread keeps the GIL until it waits
path = sys.argv[1]
seen = []
for round in range(3):
    w = d.SettingsWatcher(path, d.Config(), on_applied=seen.append, environment={}, poll_interval=0.001,
                          settle_time=0.001)
    open(path + ".new", "w").write(f"[detection]\\nsensitivity = {round / 4}\\n")
    os.replace(path + ".new", path)
    deadline = time.monotonic() + 0.5
    while time.monotonic() < deadline:  # the watch's thread meanwhile comes to call the listener
        pass
    w = None
print("dropped")
"""


def test_a_watcher_dropped_while_it_reports_ends(tmp_path):
    run = subprocess.run([sys.executable, "-c", DROPPED, str(tmp_path / "settings.toml")], capture_output=True,
                         text=True, timeout=60)
    assert run.returncode == 0 and run.stdout == "dropped\n", run.stderr


# A child forked while a watch runs has no watch's thread: its copy of the
# watcher watches nothing, and stopping it or leaving joins nothing.
FORKED = """
import os, sys, threading, detector_settings as d
w = d.SettingsWatcher(sys.argv[1], d.Config(), environment={}, poll_interval=0.001, settle_time=0.001)
child = os.fork()
if child == 0:
    threading.Thread(target=lambda: None).start()
    print("child watching:", w.watching, w.current().detection.sensitivity, flush=True)
    w.stop()
    sys.exit(0)
_, status = os.waitpid(child, 0)
print("parent watching:", w.watching, "child status:", os.waitstatus_to_exitcode(status))
"""


# AddressSanitizer's allocator keeps its locks across fork(): a child whose
# parent had another thread allocating may wait on one of them forever.
@pytest.mark.skipif("libasan" in os.environ.get("LD_PRELOAD", ""),
                    reason="AddressSanitizer's allocator is not fork-safe")
def test_a_forked_child_has_no_watch(tmp_path):
    path = tmp_path / "settings.toml"
    replace(path, "[detection]\nsensitivity = 0.5\n")
    for stop in ("", "    w.stop()\n"):  # at exit, or by stop()
        run = subprocess.run([sys.executable, "-W", "ignore::DeprecationWarning", "-c",
                              FORKED.replace("    w.stop()\n", stop), str(path)],
                             capture_output=True, text=True, timeout=60)
        assert run.returncode == 0 and run.stderr == "", run.stderr
        assert run.stdout.splitlines()[0] in ("child watching: False 0.699999988079071",
                                              "child watching: False 0.5")
        assert run.stdout.splitlines()[1] == "parent watching: True child status: 0"
