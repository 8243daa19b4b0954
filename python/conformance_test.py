"""The package against `detector-settings`: one corpus, read by both, must give
the same problems, field for field, in the same order.

The corpus: every settings file of the command's tests and the examples, the
hostile cases of the command's tests, and, for every setting, the edge values of
its rules as the JSON Schema gives them, each alone in a file; then the same
files under environments and overrides through load_settings, and edits.

Both sides are the same C++ library, so a fault of the library agrees with
itself here: this proves the binding (every field, every order, every
conversion), not the library, which its own tests hold to its texts."""
import json
import os
import pathlib
import subprocess
import tomllib

import pytest

import detector_settings
from end_to_end_test_support import hostile_texts  # the command's hostile cases are this corpus's too

ROOT = pathlib.Path(__file__).resolve().parent.parent

COMMAND = os.environ["DETECTOR_SETTINGS_COMMAND"]


def schema_settings():
    """(key path, its schema) of every setting, from the schema the table writes."""
    schema = json.loads(detector_settings.settings_schema())
    for name, node in schema["properties"].items():
        if "properties" not in node:
            yield name, node
        for member, leaf in node.get("properties", {}).items():
            yield f"{name}.{member}", leaf


def toml_value(value):
    return json.dumps(value) if isinstance(value, str) else repr(value).lower() if isinstance(value, bool) else repr(value)


def edge_values(node):
    """Values at, just inside and just beyond each bound, of the wrong type, and odd reals."""
    if node["type"] == "string":
        return ["", "x", 0]
    low, high = node.get("minimum", 0), node.get("maximum", 1)
    step = 1 if node["type"] == "integer" else 1e-6
    values = [low - step, low, high, high + step, (low + high) / 2, "1", True, -(2**31) - 1, 2**63]
    values += node.get("enum", [])[:2] + [float("nan"), float("inf")] * (node["type"] == "number")
    return [v for v in values if node["type"] == "number" or not isinstance(v, float) or v.is_integer()]


def table(section_and_key, value):
    section, _, key = section_and_key.rpartition(".")
    return (f"[{section}]\n" if section else "") + f"{key} = {toml_value(value)}\n"


def corpus():
    files = sorted((ROOT / "tests" / "command").glob("*.toml")) + sorted((ROOT / "examples").glob("*.toml"))
    yield from ((f.name, f.read_bytes()) for f in files)
    for name, text, _, _ in hostile_texts():
        yield name, text.encode("utf-8", "surrogatepass")
    for key, node in schema_settings():
        for i, value in enumerate(edge_values(node)):
            yield f"{key}-{i}", table(key, value).encode()
    yield "not-utf-8", b"[audio]\ndeviceNamePattern = \"\xff\"\n"
    yield "bom-crlf", b"\xef\xbb\xbfversion = 2\r\n[detection]\r\nfftSize = 1000\r\n"


CASES = list(corpus())


def checked(path, environment=None, overrides=()):
    """The diagnostics `check --format json` gives the file."""
    args = [COMMAND, "check", "--format", "json"] + [f"--set={o}" for o in overrides] + [path.name]
    run = subprocess.run(args, env=environment or {}, capture_output=True, cwd=path.parent, timeout=120)
    assert run.returncode in (0, 1), run.stderr
    return json.loads(run.stdout)["files"][0]["diagnostics"]


def as_json(problems):
    return [{"line": p.line, "column": p.column, "key": p.key, "rule": p.rule, "severity": p.severity,
             "message": p.message, "origin": {"kind": p.origin.kind, "name": p.origin.name}} for p in problems]


def file_name(name):
    return name if name.endswith(".toml") else f"{name}.toml"


@pytest.fixture(scope="module")
def checked_corpus(tmp_path_factory):
    """The folder of the corpus, and what one `check --format json` of all of it gives each file."""
    folder = tmp_path_factory.mktemp("corpus")
    for name, text in CASES:
        (folder / file_name(name)).write_bytes(text)
    args = [COMMAND, "check", "--format", "json", "--", *(file_name(name) for name, _ in CASES)]
    run = subprocess.run(args, env={}, capture_output=True, cwd=folder, timeout=600)
    assert run.returncode in (0, 1), run.stderr
    return folder, {file["path"]: file["diagnostics"] for file in json.loads(run.stdout)["files"]}


@pytest.mark.parametrize("name,text", CASES, ids=[c[0] for c in CASES])
def test_a_file_reads_as_check_reads_it(checked_corpus, name, text):
    folder, diagnostics = checked_corpus
    path = folder / file_name(name)
    os.chdir(folder)
    read = detector_settings.read_settings_file(path.name).problems
    assert as_json(read) == diagnostics[path.name]
    # The other readers give the same problems, compared whole (Problem.__eq__).
    assert detector_settings.read_settings(text, path.name).problems == read
    assert detector_settings.load_settings(path.name, {}).problems == read


SOURCES = [
    ({"DETECTOR_AUDIO_BUFFER_SIZE_MS": "0", "DETECTOR_DETECTION_SENSITIVTY": "1"}, ["cooldownMs=50"]),
    ({"detector_detection_sensitivity": "2", "DETECTOR_AUDIO_DEVICE_NAME_PATTERN": "a\nb"}, ["training.dataFile="]),
    ({"DETECTOR_DETECTION_FFT_SIZE": "[1]", "HOME": "/root"}, ["detection.fftSize=4096", "audio.bufferSizeMs=tru"]),
]


@pytest.mark.parametrize("environment,overrides", SOURCES)
def test_sources_load_as_check_loads_them(tmp_path, environment, overrides):
    for name in ("sources.toml", "problems.toml", "valid.toml"):
        path = tmp_path / name
        path.write_bytes((ROOT / "tests" / "command" / name).read_bytes())
        os.chdir(tmp_path)
        loaded = detector_settings.load_settings(name, environment, overrides)
        assert as_json(loaded.problems) == checked(path, environment, overrides)


def test_values_and_origins_are_what_explain_prints(tmp_path):
    path = tmp_path / "sources.toml"
    path.write_bytes((ROOT / "tests" / "command" / "sources.toml").read_bytes())
    environment, overrides = SOURCES[0]
    os.chdir(tmp_path)
    loaded = detector_settings.load_settings(path.name, environment, overrides)
    args = [COMMAND, "explain", "--format", "json", "--set=" + overrides[0], "--file", path.name, *loaded.values]
    explained = json.loads(subprocess.run(args, env=environment, capture_output=True, cwd=tmp_path).stdout)
    assert len(explained["settings"]) == len(loaded.values)
    for setting in explained["settings"]:
        values = loaded.values[setting["key"]]
        assert [{"kind": v.origin.kind, "name": v.origin.name, "line": v.line, "column": v.column} for v in values] == [
            {k: s[k] for k in ("kind", "name", "line", "column")} for s in setting["sources"]]
        origin = loaded.origin_of(setting["key"])
        assert (origin.kind, origin.name) == (setting["origin"]["kind"], setting["origin"]["name"])


@pytest.mark.parametrize("edits", [{"detection.sensitivity": 1.5}, {"sensitivity": "0.8"},
                                   {"audio.deviceNamePattern": "USB Mic", "detection.fftSize": 4096}])
def test_an_edit_is_judged_as_set_judges_it(tmp_path, edits):
    path = tmp_path / "problems.toml"
    path.write_bytes((ROOT / "examples" / "hall.toml").read_bytes())
    args = [COMMAND, "set", "--dry-run", "--format", "json", path.name] + [f"{k}={v}" for k, v in edits.items()]
    report = json.loads(subprocess.run(args, env={}, capture_output=True, cwd=tmp_path).stdout)
    os.chdir(tmp_path)
    edit = detector_settings.edit_settings_file(path.name, set=edits, dry_run=True)
    assert as_json(edit.problems) == report["diagnostics"]
    value = lambda toml: tomllib.loads(f"v = {toml}")["v"]  # noqa: E731  (JSON writes values, Python TOML text)
    assert [{"key": c.key, "old": value(c.old), "new": value(c.new)} for c in edit.changes] == report["changes"]


LAYERED = [  # paths of examples/layers, lowest first; the environment; the overrides
    (["usr/share/detector/settings.toml"], {}, []),
    (["usr/share/detector/settings.toml", "etc/detector/settings.toml", "etc/detector/settings.d"], {}, []),
    (["missing.toml", "etc/detector/settings.toml", "etc/detector/settings.d", "run/detector/settings.d"],
     {"DETECTOR_DETECTION_COOLDOWN_MS": "900"}, ["detection.sensitivity=0.9"]),
    (["usr/share/detector/settings.toml", "etc/detector/settings.d", "bad.d"], {}, ["audio.bufferSizeMs=1"]),
]


@pytest.mark.parametrize("layers,environment,overrides", LAYERED)
def test_a_layered_set_loads_as_explain_explains_it(tmp_path, layers, environment, overrides):
    for path in (ROOT / "examples" / "layers").rglob("*"):
        if path.is_file():
            (tmp_path / path.relative_to(ROOT / "examples" / "layers")).parent.mkdir(parents=True, exist_ok=True)
            (tmp_path / path.relative_to(ROOT / "examples" / "layers")).write_bytes(path.read_bytes())
    (tmp_path / "bad.d" / "10-dir.toml").mkdir(parents=True)
    (tmp_path / "bad.d" / "20-bad.toml").write_text("[detection]\nfftSize = 1000\n")
    os.chdir(tmp_path)
    loaded = detector_settings.load_settings(environment=environment, overrides=overrides, layers=layers)
    args = [COMMAND, "explain", "--format", "json", *(f"--set={o}" for o in overrides),
            *(f"--layer={layer}" for layer in layers), *loaded.values]
    explained = json.loads(subprocess.run(args, env=environment, capture_output=True, cwd=tmp_path).stdout)
    assert [{"key": key, "sources": [{"kind": v.origin.kind, "name": v.origin.name, "line": v.line,
                                      "column": v.column, "value": tomllib.loads(f"v = {v.value}")["v"]}
                                     for v in values]} for key, values in loaded.values.items()] == [
        {"key": s["key"], "sources": s["sources"]} for s in explained["settings"]]
    assert as_json(loaded.problems) == explained["diagnostics"]
