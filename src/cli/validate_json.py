"""Checks JSON documents against a JSON schema with the jsonschema package.

Usage: validate_json.py SCHEMA DOCUMENT...
Exits 0 when the schema is valid and every document parses as strict UTF-8 JSON and
follows it; otherwise prints each error and exits 1.
"""
import json
import sys

import jsonschema


def main(schema_path, document_paths):
    with open(schema_path, encoding="utf-8") as schema_file:
        schema = json.load(schema_file)
    validator_class = jsonschema.validators.validator_for(schema)
    validator_class.check_schema(schema)
    validator = validator_class(schema)
    failed = False
    for path in document_paths:
        with open(path, "rb") as document_file:
            document = json.loads(document_file.read().decode("utf-8"))
        for error in validator.iter_errors(document):
            failed = True
            print(f"{path}: {'/'.join(map(str, error.absolute_path))}: {error.message}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2:]))
