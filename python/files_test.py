"""Paths, texts and edits as Python gives them: str, bytes and os.PathLike
paths alike; what cannot be read is a problem, never an exception."""
import copy
import enum
import fcntl
import os
import pathlib
import pickle
import re
import signal
import subprocess
import sys
import threading
import time

import pytest

import detector_settings
from detector_settings import Config


@pytest.fixture
def hall(tmp_path):
    path = tmp_path / "hall.toml"
    path.write_text("# the hall\n[detection]\nsensitivity = 0.7  # tuned\n")
    return path


@pytest.mark.parametrize("kind", [str, os.fsencode, pathlib.Path])
def test_every_kind_of_path_names_the_same_file(hall, kind):
    assert detector_settings.read_settings_file(kind(hall)).config.detection.sensitivity == pytest.approx(0.7)
    edit = detector_settings.edit_settings_file(kind(hall), set={"detection.sensitivity": 0.8})
    assert edit.written and [(c.key, c.old, c.new) for c in edit.changes] == [("detection.sensitivity", "0.7", "0.8")]
    assert hall.read_text() == "# the hall\n[detection]\nsensitivity = 0.8  # tuned\n" == edit.new_text


def test_what_cannot_be_read_is_a_problem(tmp_path):
    (tmp_path / "big.toml").write_bytes(b"#" * (1 << 20) + b"\n")
    (tmp_path / "latin1.toml").write_bytes(b"# caf\xe9\n")
    for name, rule, message in [(".", "file", "is a directory"), ("x", "file", "no such"),
                                ("big.toml", "file", "larger than"), ("latin1.toml", "syntax", "utf-8")]:
        problems = detector_settings.read_settings_file(tmp_path / name).problems
        assert [p.rule for p in problems] == [rule] and message in problems[0].message
    assert detector_settings.read_settings("version = '\udcff'\n").problems[0].rule == "syntax"


def test_an_edit_with_problems_writes_nothing(hall):
    before = hall.read_bytes()
    edit = detector_settings.edit_settings_file(hall, set={"detection.sensitivity": "1.5"}, unset=["sensitivity"])
    assert not edit.written and hall.read_bytes() == before
    assert [(p.key, p.rule, p.origin.kind) for p in edit.problems] == [
        ("detection.sensitivity", "range", "command line"), ("sensitivity", "unknown", "command line")]


SENSITIVITY = "[detection]\nsensitivity = {}\n"


def build(root, files):
    """Files holding their text, and folders of the names that end in "/"."""
    for name, text in files.items():
        (root / name).parent.mkdir(parents=True, exist_ok=True)
        (root / name).mkdir() if name.endswith("/") else (root / name).write_text(text)


def test_an_edit_of_a_layered_set_tells_what_overrides_it_and_writes_only_a_set_without_errors(tmp_path):
    build(tmp_path, {"settings.toml": SENSITIVITY.format(0.6), "settings.d/60-b.toml": SENSITIVITY.format(0.7)})
    path, layers = tmp_path / "settings.toml", [tmp_path / "settings.toml", tmp_path / "settings.d"]
    edit = detector_settings.edit_settings_file(
        path, set={"detection.sensitivity": 0.65, "detection.cooldownMs": 900, "detection.minDurationMs": 350},
        layers=layers, environment={"DETECTOR_DETECTION_COOLDOWN_MS": "1200"},
        overrides=["detection.minDurationMs=400"])
    assert edit.written and path.read_text() == edit.new_text and "sensitivity = 0.65\n" in edit.new_text
    assert [(o.key, o.in_force.origin.kind, o.in_force.origin.name, o.in_force.line, o.in_force.column,
             o.in_force.value) for o in edit.overridden] == [
        ("detection.sensitivity", "file", str(tmp_path / "settings.d/60-b.toml"), 2, 15, "0.7"),
        ("detection.cooldownMs", "environment", "DETECTOR_DETECTION_COOLDOWN_MS", 0, 0, "1200"),
        ("detection.minDurationMs", "command line", "detection.minDurationMs=400", 0, 0, "400")]
    (tmp_path / "settings.d/55-x.toml").write_text(SENSITIVITY.format(5))
    before = path.read_bytes()
    edit = detector_settings.edit_settings_file(path, set={"detection.sensitivity": 0.55}, layers=layers)
    assert not edit.written and path.read_bytes() == before
    assert ("range", str(tmp_path / "settings.d/55-x.toml")) in [(p.rule, p.origin.name) for p in edit.problems]


@pytest.mark.parametrize("call", [
    lambda: detector_settings.edit_settings_file("x.toml", set={"detection.sensitivity": True}),
    lambda: detector_settings.load_settings(overrides="detection.sensitivity=0.8"),
    lambda: detector_settings.load_settings(environment={"DETECTOR_VERSION": 1}),
    lambda: detector_settings.read_settings(1),
])
def test_arguments_of_the_wrong_type_are_refused(call):
    with pytest.raises(TypeError):
        call()


def test_what_is_not_a_regular_file_is_a_problem_never_waited_on(tmp_path):
    os.mkfifo(fifo := tmp_path / "fifo.toml")
    found = []
    reads = [detector_settings.read_settings_file, lambda path: detector_settings.load_settings(path, {})]
    (reader := threading.Thread(target=lambda: found.extend(p for read in reads for p in read(fifo).problems),
                                daemon=True)).start()
    reader.join(timeout=60)
    assert [(p.rule, p.message) for p in found] == [("file", "is not a regular file")] * 2, "a read waited on a FIFO"


# Values and names Python gives that no file can hold: the exception names the argument or the key path.
@pytest.mark.parametrize("call, error, message", [
    (lambda: detector_settings.read_settings_file(3), TypeError, "path: a path is a str, bytes or os.PathLike"),
    (lambda: detector_settings.read_settings_file("\ud800.toml"), ValueError, "path: not a name a file can have"),
    (lambda: detector_settings.load_settings("a\0b"), ValueError, "path: a path holds no null character"),
    (lambda: detector_settings.edit_settings_file(b"x.toml", set={"training.dataFile": "\ud800"}), ValueError,
     "training.dataFile: the text is not Unicode"),
    (lambda: detector_settings.edit_settings_file("x.toml", unset=["\ud800"]), ValueError, "unset: the text"),
    (lambda: detector_settings.edit_settings_file("x.toml", unset="version"), TypeError, "unset: a list"),
    (lambda: detector_settings.load_settings(overrides=["version=\ud800"]), ValueError, "overrides: the text"),
    (lambda: detector_settings.load_settings(environment={"DETECTOR_VERSION": "\ud800"}), ValueError,
     "environment: DETECTOR_VERSION: the text"),
    (lambda: detector_settings.load_settings(layers=[3]), TypeError, "layers: a path is a str, bytes or os.PathLike"),
    (lambda: detector_settings.edit_settings_file("x.toml", layers="x.toml"), TypeError, "layers: a list of paths"),
    (lambda: detector_settings.SettingsWatcher(None, Config()), ValueError, "path: None watches the layered set"),
    (lambda: detector_settings.SettingsWatcher("", Config()), ValueError, "path: an empty path names no file"),
])
def test_what_no_file_can_hold_is_refused_by_name(call, error, message):
    with pytest.raises(error, match=re.escape(message)):
        call()


def test_numbers_are_written_by_their_value(hall):
    """IntEnum's, numpy's (float subclasses, integers through __index__), whatever their own repr says."""
    cooldown = enum.IntEnum("Cooldown", {"LONG": 1500}).LONG
    sensitivity = type("Sensitivity", (float,), {"__repr__": lambda self: "Sensitivity(0.5)"})(0.5)
    duration = type("Index", (), {"__index__": lambda self: 2000})()
    edit = detector_settings.edit_settings_file(hall, set={"detection.cooldownMs": cooldown,
                                                           "detection.sensitivity": sensitivity,
                                                           "detection.minDurationMs": duration})
    assert edit.written and [(c.key, c.new) for c in edit.changes] == [
        ("detection.cooldownMs", "1500"), ("detection.sensitivity", "0.5"), ("detection.minDurationMs", "2000")]


# T.__new__(T) alone makes nothing that holds nothing: a whole object, or TypeError.
@pytest.mark.parametrize("name", [n for n in dir(detector_settings) if isinstance(getattr(detector_settings, n), type)])
def test_no_object_holds_nothing(name):
    cls = getattr(detector_settings, name)
    if name == "Config":
        assert detector_settings.validate(cls.__new__(cls)) is None
        return
    with pytest.raises(TypeError):
        cls.__new__(cls)


def test_a_config_is_pickled_with_its_settings():
    config = Config.from_dict({"detection.sensitivity": 0.25, "training.dataFile": "d\u00e9.bin"})
    assert pickle.loads(pickle.dumps(config)) == config and pickle.loads(pickle.dumps(config)) != Config()
    problem = detector_settings.read_settings("x = 1").problems[0]
    assert copy.deepcopy(problem) == problem


def holding_the_lock(folder):
    """The lock of the edits of the files of `folder`, as another edit holds it."""
    held = os.open(folder, os.O_RDONLY)
    fcntl.flock(held, fcntl.LOCK_EX)
    return held


# While an edit waits for another, the GIL is free and the wait is bounded.
def test_an_edit_waits_for_another_without_the_gil(hall):
    held = holding_the_lock(hall.parent)
    short = detector_settings.edit_settings_file(hall, set={"detection.sensitivity": 0.25}, lock_timeout=0.05)
    assert not short.written and "is being edited by another process" in short.problems[0].message
    edits = []
    waiting = threading.Thread(target=lambda: edits.append(
        detector_settings.edit_settings_file(hall, set={"detection.sensitivity": 0.25}, lock_timeout=60)))
    waiting.start()
    time.sleep(0.2)  # this thread goes on only if the waiting one let the GIL go
    os.close(held)
    waiting.join()
    assert edits[0].written


# A read lets other threads run: a big text takes milliseconds, within which
# a thread that looks at the clock every half millisecond looks many times;
# were the GIL held, one look at most could slip in as the call returns.
@pytest.mark.parametrize("read", [lambda path: detector_settings.read_settings(path.read_bytes()),
                                  detector_settings.read_settings_file, detector_settings.load_settings],
                         ids=["read_settings", "read_settings_file", "load_settings"])
def test_a_read_lets_other_threads_run(tmp_path, read):
    big = tmp_path / "big.toml"
    big.write_text("# " + "x" * 1_000_000 + "\nversion = 1\n")  # valid, and read in milliseconds
    looks, done = [], threading.Event()

    def look():
        while not done.is_set():
            looks.append(time.monotonic())
            time.sleep(0.0005)  # which lets the GIL go; a look takes it again
    looking = threading.Thread(target=look)
    looking.start()
    calls = []
    for _ in range(5):
        start = time.monotonic()
        read(big)
        calls.append((start, time.monotonic()))
    done.set()
    looking.join()
    assert max(sum(start < look < end for look in looks) for start, end in calls) >= 3


# Ctrl-C ends a wait for another edit at once.
WAITING = """
import sys, detector_settings
detector_settings.edit_settings_file(sys.argv[1], set={"detection.sensitivity": 0.25}, lock_timeout=600)
"""


def test_ctrl_c_ends_the_wait_for_another_edit(hall):
    held = holding_the_lock(hall.parent)
    edit = subprocess.Popen([sys.executable, "-c", WAITING, str(hall)], stderr=subprocess.PIPE, text=True)
    # Waiting once it holds the folder open, to take its lock.
    while not any(os.path.realpath(f"/proc/{edit.pid}/fd/{fd}") == str(hall.parent)
                  for fd in os.listdir(f"/proc/{edit.pid}/fd")):
        assert edit.poll() is None
        time.sleep(0.01)
    edit.send_signal(signal.SIGINT)
    try:
        _, err = edit.communicate(timeout=30)
        assert edit.returncode != 0 and "KeyboardInterrupt" in err
    finally:
        edit.kill()
        edit.communicate()
        os.close(held)
