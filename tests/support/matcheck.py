"""What the MAT-file checks share: a failed check ends the script with a MISMATCH line, and the
structures scipy.io.loadmat returns are walked by field name."""

import sys


def fail(message):
    print("MISMATCH:", message)
    sys.exit(1)


def check(condition, message):
    if not condition:
        fail(message)


def field(structure, name):
    """A nested structure as its one element, any other field as its array."""
    value = structure[name]
    return value[0, 0] if value.dtype.names is not None else value


def names(structure):
    return list(structure.dtype.names or ())
