#!/usr/bin/env python3
"""The command's reports for tools say what its JSON report says.

Runs `detector-settings check` on files with every kind of problem, a file
that cannot be read, variables and --set overrides, in the json, sarif and
github formats. The SARIF log must be valid against the SARIF 2.1.0 JSON
Schema (--sarif-schema) and hold one result per JSON diagnostic, with the same
rule, severity, message, file and position; GitHub's annotations must be one
line per diagnostic, in the form GitHub Actions reads, of the same severity.
A DETECTOR_ variable that names no setting is a warning in each.
"""

import json
import pathlib
import re

import jsonschema

from end_to_end_test_support import Failure, environment_without_settings, main

HERE = pathlib.Path(__file__).parent
ENVIRONMENT = {'DETECTOR_AUDIO_BUFFER_SIZE_MS': '0', 'DETECTOR_DETECTION_SENSITIVTY': '0.5'}
ARGUMENTS = ['--set', 'detection.sensitivity=0.8', '--set', 'cooldownMs=50', '--set', 'training.dataFile=',
             'problems.toml', 'valid.toml', 'syntax.toml', 'missing.toml', 'sources.toml']
ANNOTATION = re.compile(r'::(error|warning)(?: file=([^,:\r\n]+)(?:,line=(\d+),col=(\d+))?)?::([^\r\n]+)')


def check(runner, output_format):
    run = runner.run(['check', '--format', output_format] + ARGUMENTS, cwd=HERE,
                     env={**environment_without_settings(), **ENVIRONMENT})
    if run.returncode != 2 or run.stderr:
        raise Failure(f'{output_format}: status {run.returncode}, standard error {run.stderr!r}')
    return run.stdout.decode('utf-8')


def cases(runner):
    options = runner.options
    expected = []  # (file, line, column, rule, severity, text) of every JSON diagnostic
    for report in json.loads(check(runner, 'json'))['files']:
        for d in report['diagnostics']:
            text = f"{d['key']}: {d['message']}" if d['key'] else d['message']
            if d['origin']['kind'] == 'file':
                expected.append((report['path'], d['line'], d['column'], d['rule'], d['severity'], text))
            else:
                name = d['origin']['name'] if d['origin']['kind'] == 'environment' else '--set ' + d['origin']['name']
                expected.append((None, 0, 0, d['rule'], d['severity'], f'{name}: {text}'))
    kinds = {rule for _, _, _, rule, _, _ in expected}
    if not {'file', 'syntax', 'unknown', 'range', 'nonEmpty'} <= kinds:
        raise Failure(f'the files give too few kinds of problem: {sorted(kinds)}')
    if {severity for *_, severity, _ in expected} != {'error', 'warning'}:
        raise Failure('the files and variables give errors, or warnings, alone')

    if not options.sarif_schema.is_file():
        raise Failure(f'{options.sarif_schema}: no such file; install it as cmake/workflow.sh does, with '
                      'npm ci --prefix build/tools (after copying tests/command/package*.json there)')
    log = json.loads(check(runner, 'sarif'))
    schema = json.loads(options.sarif_schema.read_text(encoding='utf-8'))
    jsonschema.Draft4Validator(schema).validate(log)
    (run,) = log['runs']
    rule_ids = [rule['id'] for rule in run['tool']['driver']['rules']]
    results = []
    for result in run['results']:
        if result['ruleId'] not in rule_ids:
            raise Failure(f'SARIF: rule {result["ruleId"]} is not among the driver\'s rules')
        (location,) = result['locations']
        text = result['message']['text']
        if 'physicalLocation' in location:
            physical = location['physicalLocation']
            region = physical.get('region', {'startLine': 0, 'startColumn': 0})
            path = physical['artifactLocation']['uri'].replace('%3C', '<').replace('%3E', '>')
            results.append((path, region['startLine'], region['startColumn'], result['ruleId'], result['level'], text))
        else:
            (logical,) = location['logicalLocations']
            results.append((None, 0, 0, result['ruleId'], result['level'], f'{logical["name"]}: {text}'))
    if results != expected:
        raise Failure(f'SARIF results differ from the JSON report:\n{results}\n{expected}')

    annotations = []
    for line in check(runner, 'github').splitlines():
        match = ANNOTATION.fullmatch(line)
        if not match:
            raise Failure(f'not an annotation GitHub reads: {line!r}')
        severity, path, row, column, text = match.groups()
        annotations.append((path, int(row or 0), int(column or 0), severity, text))
    if annotations != [(path, row, column, severity, text) for path, row, column, _, severity, text in expected]:
        raise Failure(f'GitHub annotations differ from the JSON report:\n{annotations}\n{expected}')
    return f'{len(expected)} problems, in a valid SARIF log and in annotations as in JSON'


if __name__ == '__main__':
    main(__doc__, cases, lambda parser: parser.add_argument('--sarif-schema', required=True, type=pathlib.Path))
