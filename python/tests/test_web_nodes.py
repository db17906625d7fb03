"""The web view's reading of node positions and their projection: pure logic."""

import pytest

from talixdb.web.nodes import parse_positions, project


@pytest.mark.parametrize("text, nodes", [
    (b"0 0 0\n1 0 0\n", [(0, 0, 0), (1, 0, 0)]),
    ("2\nx y\n0.5,1.5\n\t-1;2 \n", [(0.5, 1.5, 0), (-1, 2, 0)]),  # a count and a header skipped; x y only
    ("7 1 2 3\n1 2 3 4 5\nnan 1 2\n1e3 2 3\n", [(1, 2, 3), (1000, 2, 3)]),  # index x y z; other rows dropped
    (None, []),
])
def test_node_positions_are_read_tolerantly(text, nodes):
    assert parse_positions(text) == nodes


def test_the_projection_keeps_the_two_widest_axes_in_order():
    points, axes = project([(5, 0, 0), (5, 1, 3), (5, 2, 1)])
    assert axes == ("y", "z") and points == [(0, 0), (1, 3), (2, 1)]
