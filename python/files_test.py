"""Paths, texts and edits as Python gives them: str, bytes and os.PathLike
paths alike; what cannot be read is a problem, never an exception."""
import os
import pathlib

import pytest

import detector_settings


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


@pytest.mark.parametrize("call", [
    lambda: detector_settings.edit_settings_file("x.toml", set={"detection.sensitivity": True}),
    lambda: detector_settings.load_settings(overrides="detection.sensitivity=0.8"),
    lambda: detector_settings.load_settings(environment={"DETECTOR_VERSION": 1}),
    lambda: detector_settings.read_settings(1),
])
def test_arguments_of_the_wrong_type_are_refused(call):
    with pytest.raises(TypeError):
        call()
