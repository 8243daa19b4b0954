"""Config as the training side uses it: every setting an attribute at its key
path, values of Python's types that never lose what they are given; cases
made from the record's own key paths and the schema's bounds."""
import copy
import json
import struct

import pytest

import detector_settings
from detector_settings import Config

DEFAULTS = Config().to_dict()
SCHEMA = json.loads(detector_settings.settings_schema())


def attribute(config, key_path):
    *sections, name = key_path.split(".")
    for section in sections:
        config = getattr(config, section)
    return config, name


def single(value):
    return struct.unpack("f", struct.pack("f", value))[0]


# A value of each kind, and what assigning it does: the value read back, or the error raised.
FITS = {
    int: [(2**31 - 1, 2**31 - 1), (-(2**31), -(2**31)), (2**31, OverflowError), (-(2**31) - 1, OverflowError),
          (2**40, OverflowError), (True, TypeError), (1.0, TypeError), ("1", TypeError)],
    float: [(0.7, single(0.7)), (1, 1.0), (3.4e38, single(3.4e38)), (1e39, OverflowError), (-1e39, OverflowError),
            (2**1024, OverflowError), (float("inf"), float("inf")), (False, TypeError), ("0.5", TypeError)],
    str: [("USB Mic", "USB Mic"), ("", ""), ("\u00e9\U0001f3a4", "\u00e9\U0001f3a4"), ("\ud800", ValueError),
          (b"x", TypeError), (None, TypeError)],
}


@pytest.mark.parametrize("key_path", DEFAULTS)
def test_each_setting_holds_what_fits_it_and_refuses_what_does_not(key_path):
    config = Config()
    section, name = attribute(config, key_path)
    for given, expected in FITS[type(DEFAULTS[key_path])]:
        if isinstance(expected, type):
            before = config.to_dict()[key_path]
            with pytest.raises(expected, match=f"^{key_path}: "):
                setattr(section, name, given)
            assert config.to_dict()[key_path] == before, "a refused value changed the record"
        else:
            setattr(section, name, given)
            assert getattr(section, name) == expected and config.to_dict()[key_path] == expected


def test_a_record_is_a_value():
    config = Config.from_dict({"detection.sensitivity": 0.25, "audio.deviceNamePattern": "USB"})
    twin = copy.copy(config)
    deep = copy.deepcopy(config)
    assert twin == config == deep and twin is not config and config != Config()
    twin.detection.sensitivity = 0.5
    assert config.detection.sensitivity == 0.25 and twin != config
    assert eval(repr(config), {"Config": Config}) == config  # noqa: S307  (repr names every key path)
    assert all(f"'{key_path}'" in repr(config) for key_path in DEFAULTS)
    with pytest.raises(KeyError, match="did you mean detection.sensitivity"):
        Config.from_dict({"sensitivity": 0.5})
    with pytest.raises(AttributeError):
        config.detection.sensitivty = 0.5


def test_help_lists_each_setting_with_its_rule_and_default():
    doc = Config.__doc__
    for key_path, node in [(k, v) for name, top in SCHEMA["properties"].items()
                           for k, v in ([(name, top)] if "properties" not in top else
                                        [(f"{name}.{m}", leaf) for m, leaf in top["properties"].items()])]:
        assert f"  {key_path} = " in doc
        for bound in ("minimum", "maximum"):
            assert bound not in node or f"{node[bound]}" in doc.split(f"  {key_path} = ")[1].split("\n")[1]
    section, name = attribute(Config(), "detection.sensitivity")
    assert "0.699999988" in getattr(type(section), name).__doc__


def test_validation_gives_the_first_broken_rule_then_all_of_them():
    config = Config.from_dict({"audio.bufferSizeMs": 0, "detection.fftSize": 1000, "training.dataFile": ""})
    errors = detector_settings.validate_all(config)
    assert [e.field for e in errors] == ["audio.bufferSizeMs", "detection.fftSize", "training.dataFile"]
    assert detector_settings.validate(config) == errors[0]
    assert errors[1].message == "must be a power of 2; got 1000"
    assert detector_settings.validate(Config()) is None and detector_settings.validate_all(Config()) == []
