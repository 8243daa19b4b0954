#!/usr/bin/env python3
"""Agreement of `detector-settings check` with independent judges.

Generates a corpus of settings files from the JSON Schema that
`detector-settings schema` writes: every setting at each bound, one step
outside, far outside (beyond 32 and 64 bits), wrong types, unknown and
misspelt keys, each in every TOML spelling, and files that mix several
problems. Then each file is judged twice: by `detector-settings check`, and by
Python's tomllib with the jsonschema package against the schema. The verdicts,
valid or not, must be equal on every file. With --taplo, Taplo's command line
judges a sample of the corpus against the same schema, and must agree too.

Values JSON cannot hold (nan, inf) are out of a schema's reach and not in the
corpus; the reader's unit tests cover them.
"""

import json
import pathlib
import random
import re
import subprocess
import tomllib

import jsonschema

from end_to_end_test_support import Failure, main

# A TOML date, time or date-time.
DATE = re.compile(r'\d{4}-\d{2}-\d{2}|\d{2}:\d{2}:\d{2}')

# TOML texts of values that are the wrong type for every setting, or for strings.
WRONG_TYPES = ['"5"', 'true', '[1]', '{ a = 1 }', '1979-05-27', '07:32:00', '1979-05-27T07:32:00Z',
               '1979-05-27T07:32:00']
WRONG_TYPES_FOR_STRINGS = ['5', '1.5', 'false', '["a"]', '1979-05-27']


def integer_values(subschema):
    """TOML texts for an integer setting, from its bounds, constant and allowed values."""
    if 'const' in subschema:
        low = high = subschema['const']
    else:
        low, high = subschema['minimum'], subschema['maximum']
    values = {low, high, low - 1, high + 1, (low + high) // 2, 0, -1, 2 ** 31 - 1, -2 ** 31, 2 ** 31, 2 ** 32 + 1,
              2 ** 63 - 1, -2 ** 63}
    for allowed in subschema.get('enum', []):
        values |= {allowed, allowed - 1, allowed + 1, allowed * 2}
    texts = [str(v) for v in sorted(values)]
    # Floats without a fraction count as integers; with one they are the wrong type.
    texts += [f'{low}.0', f'{high}.0', f'{high + 1}.0', f'{low}.5', '1e3', '-0.0', '99999999999999999999',
              f'{low}.0000000000000000001', f'{high}.99999999999999999999']
    return texts


def number_values(subschema):
    low, high = subschema['minimum'], subschema['maximum']
    # Past a double's precision, TOML readers (ours and tomllib) read the nearest double.
    # (Below its normal range, such as 1e-310, toml++ takes the standard library's answer,
    # which differs between them; the reader's unit tests hold each to it.)
    past_precision = [f'{float(high)!r}0000000000000000001', f'{float(low)!r}0000000000000000001',
                      '0.99999999999999999999']
    return [repr(float(low)), repr(float(high)), str(int(low)), str(int(high)), repr((low + high) / 2),
            repr(low - 1e-9), repr(high + 1e-7), '1.00000001', '-0.0', '1e39', '-1e39', '2', '-1', '0.7',
            '1e-50'] + past_precision


def string_values(subschema):
    return ['""', '" "', '"x"', '"\u00e9\U0001f3a4"', '"tab\\there"', '"\\u0000"'] + WRONG_TYPES_FOR_STRINGS


def values_for(subschema):
    kind = subschema['type']
    values = {'integer': integer_values, 'number': number_values, 'string': string_values}[kind](subschema)
    return values + [t for t in WRONG_TYPES if not (kind == 'string' and t.startswith('"'))]


def settings_of(schema):
    """(section, name, subschema) of every setting; the section of a top-level setting is ''."""
    for key, subschema in schema['properties'].items():
        if subschema.get('type') == 'object':
            for name, setting in subschema['properties'].items():
                yield key, name, setting
        else:
            yield '', key, subschema


def spellings(section, name, value):
    """Every TOML spelling of one key set to one value."""
    if not section:
        return [f'{name} = {value}\n']
    return [f'[{section}]\n{name} = {value}\n', f'{section}.{name} = {value}\n', f'{section} = {{ {name} = {value} }}\n']


def as_tables(assignments):
    """A file of several (section, name, value): top-level keys first, then one table per section."""
    text = ''.join(f'{name} = {value}\n' for section, name, value in assignments if not section)
    sections = []
    for section, _, _ in assignments:
        if section and section not in sections:
            sections.append(section)
    for section in sections:
        text += f'\n[{section}]\n'
        text += ''.join(f'{name} = {value}\n' for s, name, value in assignments if s == section)
    return text


def quoted_keys(settings):
    """Files whose keys are quoted: one quoted key with a point in it is one key, never a setting."""
    files = []
    for section, name, subschema in settings:
        value = json.dumps(subschema['default'])
        if not section:
            files += [f'"{name}" = {value}\n', f"'{name}' = {value}\n", f'"{name}.x" = {value}\n']
            continue
        files += [f'"{section}.{name}" = {value}\n', f'"{section}"."{name}" = {value}\n',
                  f"'{section}'.'{name}' = {value}\n", f'[{section}]\n"{name}" = {value}\n',
                  f'["{section}"]\n{name} = {value}\n', f'[{section}]\n"{name}.x" = {value}\n',
                  f'"{section}.{name}" = {value}\n[{section}]\n{name} = {value}\n', f'"{section} " = {{}}\n']
    return files


def unknown_keys(settings, sections):
    """Files with unknown, misspelt or misplaced keys and tables."""
    files = ['colour = "blue"\n', 'Version = 1\n', 'versio = 1\n', '[Audio]\nbufferSizeMs = 10\n',
             '[extra]\nx = 1\n', '[[audio]]\nbufferSizeMs = 10\n']
    for section in sections:
        files += [f'{section} = 5\n', f'{section} = []\n', f'[{section}.extra]\nx = 1\n', f'[{section}]\nextra = 1\n']
    for section, name, _ in settings:
        prefix = f'[{section}]\n' if section else ''
        snake = ''.join('_' + c.lower() if c.isupper() else c for c in name)
        for wrong in {name[:-1], name.upper(), name + 's', snake} - {name}:
            files.append(f'{prefix}{wrong} = 1\n')
        for other in sections:
            if other != section:
                files.append(f'[{other}]\n{name} = 1\n')
    return files


def corpus(schema, seed=20261208):
    settings = list(settings_of(schema))
    sections = [key for key, subschema in schema['properties'].items() if subschema.get('type') == 'object']
    files = ['', '# only a comment\n'] + [f'[{section}]\n' for section in sections]
    values = {(section, name): values_for(subschema) for section, name, subschema in settings}
    for (section, name), texts in values.items():
        for value in texts:
            files += spellings(section, name, value)
    files += unknown_keys(settings, sections)
    files += quoted_keys(settings)
    # Several settings, valid or not, together; sometimes with an unknown key.
    rng = random.Random(seed)
    for _ in range(600):
        chosen = rng.sample(settings, rng.randint(2, len(settings)))
        assignments = [(section, name, rng.choice(values[(section, name)][:6] * 3 + values[(section, name)]))
                       for section, name, _ in chosen]
        if rng.random() < 0.2:
            section = rng.choice(sections)
            assignments.append((section, 'unknownKey', '1'))
        files.append(as_tables(assignments))
    return files


def schema_verdict(validator, text):
    try:
        data = tomllib.loads(text)
    except tomllib.TOMLDecodeError:
        return False
    return validator.is_valid(data)


def command_verdicts(runner, names, work_dir):
    verdicts = {}
    for start in range(0, len(names), 200):
        chunk = names[start:start + 200]
        result = runner.run(['check', '--format', 'json'] + chunk, cwd=work_dir)
        if result.returncode not in (0, 1):
            raise Failure(f'check failed with status {result.returncode}: {result.stderr.decode(errors="replace")}')
        for entry in json.loads(result.stdout)['files']:
            verdicts[entry['path']] = entry['valid']
    return verdicts


def options(parser):
    parser.add_argument('--work-dir', required=True, type=pathlib.Path)
    parser.add_argument('--taplo', help="Taplo's command line")
    parser.add_argument('--taplo-sample', type=int, default=300, help='how many files Taplo judges')


def cases(runner):
    args = runner.options
    work_dir = args.work_dir
    work_dir.mkdir(parents=True, exist_ok=True)
    for old in work_dir.glob('c*.toml'):
        old.unlink()
    schema_text = runner.run(['schema'], check=True).stdout
    schema = json.loads(schema_text)
    jsonschema.Draft202012Validator.check_schema(schema)
    validator = jsonschema.Draft202012Validator(schema)
    schema_file = work_dir / 'schema.json'
    schema_file.write_bytes(schema_text)

    texts = corpus(schema)
    names = []
    for index, text in enumerate(texts):
        name = f'c{index:05}.toml'
        (work_dir / name).write_text(text, encoding='utf-8', newline='\n')
        names.append(name)

    ours = command_verdicts(runner, names, work_dir)
    disagreements = []
    for name, text in zip(names, texts):
        theirs = schema_verdict(validator, text)
        if ours[name] != theirs:
            disagreements.append(f'{name}: check says {"valid" if ours[name] else "invalid"}, '
                                 f'the schema {"valid" if theirs else "invalid"}:\n{text}')
    valid = sum(ours.values())
    runner.failures += disagreements[:20]
    agreed = (f'{len(names)} files, {valid} valid and {len(names) - valid} invalid by check; '
              f'{len(names) - len(disagreements)} agree with jsonschema')
    if disagreements or not args.taplo:
        return agreed

    # Taplo maps TOML dates to JSON strings, so a date where a string is
    # expected is beyond its reach; files with dates are left out of its sample.
    undated = [name for name, text in zip(names, texts) if not DATE.search(text)]
    sample = undated[::max(1, len(undated) // args.taplo_sample)]
    result = subprocess.run([args.taplo, 'check', '--schema', schema_file.resolve().as_uri()] + sample,
                            cwd=work_dir, capture_output=True, text=True, check=False)
    invalid = {pathlib.Path(path).name for path in re.findall(r'invalid file .*path="([^"]+)"', result.stderr)}
    taplo_disagreements = [f'{name}: check says {"valid" if ours[name] else "invalid"}, Taplo the opposite:\n'
                           f'{(work_dir / name).read_text(encoding="utf-8")}'
                           for name in sample if (name not in invalid) != ours[name]]
    runner.failures += taplo_disagreements[:20]
    return (f'{agreed}; Taplo: {len(sample)} files sampled ({len(sample) - len(invalid)} valid), '
            f'{len(sample) - len(taplo_disagreements)} agree')


if __name__ == '__main__':
    main(__doc__, cases, options)
