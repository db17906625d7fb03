"""The node positions of a surface, read tolerantly, and their 2-D projection.

A node positions file holds one node per line: "x y z", or "x y" for a flat
surface, or "index x y z"; numbers split by blanks, tabs, commas or
semicolons. Lines that hold no such row (a count, a header, a comment) are
skipped. The projection keeps the two coordinates that spread the most, so
a surface in a plane is shown flat whichever plane it is in.
"""

import math
import re

_SEPARATORS = re.compile(r"[\s,;]+")


def parse_positions(data):
    """The nodes of a node positions file (bytes or text) as (x, y, z) tuples."""
    if data is None:
        return []
    text = data.decode("utf-8", "replace") if isinstance(data, (bytes, bytearray, memoryview)) else data
    nodes = []
    for line in text.splitlines():
        fields = [field for field in _SEPARATORS.split(line.strip()) if field]
        try:
            numbers = [float(field) for field in fields]
        except ValueError:
            continue
        if not all(math.isfinite(number) for number in numbers):
            continue
        if len(numbers) == 2:
            nodes.append((numbers[0], numbers[1], 0.0))
        elif len(numbers) == 3:
            nodes.append(tuple(numbers))
        elif len(numbers) == 4:
            nodes.append(tuple(numbers[1:]))
    return nodes


def project(nodes):
    """The nodes as (a, b) points on the two axes of the largest spread, and
    the names of those axes ("x", "y" or "z")."""
    if not nodes:
        return [], ("x", "y")
    spreads = []
    for axis in range(3):
        values = [node[axis] for node in nodes]
        spreads.append(max(values) - min(values))
    first, second = sorted(sorted(range(3), key=lambda axis: -spreads[axis])[:2])
    names = "xyz"
    return [(node[first], node[second]) for node in nodes], (names[first], names[second])
