"""What each page shows, read through a talixdb connection and returned as
plain values for JSON: the catalogue tree, a model, a solver, a surface's
reports and PCA modes, and one mode on the surface's nodes. Nothing here
knows of HTTP."""

import time

from .. import NotFound
from .nodes import parse_positions, project

# The largest page of a listing.
MAX_PAGE = 200


class Catalogue:
    """The catalogue's names from one look at it (the library's snapshot),
    kept for `max_age` seconds: listing pages read it instead of reading the
    whole catalogue again for every page."""

    def __init__(self, max_age):
        self.max_age = max_age
        self._tree = None
        self._taken = 0.0

    def tree(self, connection, fresh=False):
        """{category: {type: {model: {solver: [instance numbers]}}}}."""
        if fresh or self._tree is None or time.monotonic() - self._taken > self.max_age:
            self._tree = connection.catalogue()
            self._taken = time.monotonic()
        return self._tree


def categories(tree):
    return {"categories": [{"name": name, "types": len(types)} for name, types in tree.items()]}


def types(tree, category):
    found = _child(tree, category, "category")
    return {"category": category, "types": [{"name": name, "models": len(models)} for name, models in found.items()]}


def models(tree, category, type, offset=0, limit=50, contains=""):
    """A page of a type's models whose name holds `contains`."""
    found = _child(_child(tree, category, "category"), type, "type")
    names = [name for name in found if contains in name]
    offset = max(0, offset)
    limit = max(1, min(limit, MAX_PAGE))
    return {"category": category, "type": type, "total": len(names), "offset": offset, "limit": limit,
            "models": [{"name": name, "solvers": len(found[name])} for name in names[offset:offset + limit]]}


def model(connection, ref):
    found = connection.download_model(ref)
    return {"category": ref.category, "type": ref.type, "name": found.name, "description": found.description,
            "species": list(found.species), "ports": [_port(port) for port in found.ports],
            "parameters": [_parameter(parameter) for parameter in found.parameters],
            "solvers": [solver.name for solver in found.solvers]}


def solver(connection, tree, ref, name):
    found = connection.export_solver(ref, name)
    files = [option for parameter in found.parameters if parameter.name == "file-system"
             for option in parameter.options]
    instances = tree.get(ref.category, {}).get(ref.type, {}).get(ref.name, {}).get(name, [])
    return {"category": ref.category, "type": ref.type, "model": ref.name, "name": found.name,
            "description": found.description, "command": found.command, "species": list(found.species),
            "ports": [_port(port) for port in found.ports],
            "parameters": [_parameter(parameter) for parameter in found.parameters if parameter.name != "file-system"],
            "files": files, "surfaces": [surface.name for surface in found.surfaces], "instances": instances}


def surface(connection, ref, solver_name, name):
    """The surface's reports, its modes' singular values (sorted, with each
    one's share of their total) and the reports' modal amplitudes."""
    reports = connection.report_numbers(ref, solver_name, name)
    weights = [float(value) for value in connection.singular_values(ref, solver_name, name)]
    total = sum(abs(value) for value in weights)
    ranked = sorted(range(len(weights)), key=lambda mode: -abs(weights[mode]))
    singular = [{"mode": mode, "value": weights[mode], "share": abs(weights[mode]) / total if total else 0.0}
                for mode in ranked]
    amplitudes = []
    if weights:
        for number in reports:
            try:
                row = connection.amplitude(ref, solver_name, name, number)
            except NotFound:  # a report the modes do not cover (another length)
                continue
            amplitudes.append({"report": number, "values": [float(value) for value in row]})
    return {"category": ref.category, "type": ref.type, "model": ref.name, "solver": solver_name, "name": name,
            "reports": reports, "modes": len(weights), "singular": singular, "amplitudes": amplitudes}


def mode(connection, ref, solver_name, name, index):
    """Mode `index` on the surface's nodes: one point per node that has a
    value (the first min(nodes, values) of each), projected to 2-D."""
    values = [float(value) for value in connection.mode_values(ref, solver_name, name, index)]
    nodes = parse_positions(connection.node_positions(ref, solver_name, name))
    points, axes = project(nodes)
    count = min(len(points), len(values))
    return {"mode": index, "axes": list(axes), "nodes": len(nodes), "values": len(values),
            "points": [[points[i][0], points[i][1], values[i]] for i in range(count)]}


def _child(level, name, what):
    if name not in level:
        raise NotFound("no %s %s" % (what, name))
    return level[name]


def _port(port):
    return {"name": port.name, "description": port.description, "type": port.type, "direction": port.direction}


def _parameter(parameter):
    return {"name": parameter.name, "description": parameter.description, "type": parameter.type,
            "mode": parameter.mode, "default": parameter.default_value, "lower": parameter.lower_bound,
            "upper": parameter.upper_bound, "options": list(parameter.options)}
