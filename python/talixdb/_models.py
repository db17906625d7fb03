"""Models and solvers as plain dataclasses, read from and written to the
JSON files of the talixdb tool (the tool's own reading and writing does it,
with its checks)."""

from dataclasses import dataclass, field
from typing import List, NamedTuple

from . import _talixdb

_ROOT = "/Repository/talixdb"


@dataclass
class Port:
    """A port of a model or solver."""
    name: str
    description: str = ""
    type: str = ""
    direction: str = ""


@dataclass
class Parameter:
    """A parameter: its CAPE-OPEN type ("CAPE_REAL", "CAPE_INT", "CAPE_OPTION",
    "CAPE_STRING", ...) decides what is kept: bounds for CAPE_REAL and
    CAPE_INT, options for CAPE_OPTION. A solver's CAPE_OPTION parameter
    named "file-system" lists the solver's files, relative to its directory."""
    name: str
    description: str = ""
    type: str = ""
    mode: str = ""
    dimensionality: str = ""
    default_value: str = ""
    lower_bound: str = ""
    upper_bound: str = ""
    options: List[str] = field(default_factory=list)
    restricted_to_list: str = ""


@dataclass
class Surface:
    """A named surface of a solver, with its grid texts."""
    name: str
    node_positions: str = ""
    grid_connectivity: str = ""


@dataclass
class Solver:
    """A solver of a model. `species` left empty takes the model's on import;
    `sorted_model_components` must then hold as many names."""
    name: str
    description: str = ""
    command: str = ""
    ports: List[Port] = field(default_factory=list)
    parameters: List[Parameter] = field(default_factory=list)
    species: List[str] = field(default_factory=list)
    sorted_model_components: List[str] = field(default_factory=list)
    surfaces: List[Surface] = field(default_factory=list)
    node_positions: str = ""
    grid_connectivity: str = ""

    @classmethod
    def from_json(cls, text):
        """The solver of a solver file, as the talixdb tool reads it; ValueError
        names what is wrong ("parameters[2].options must be a list of texts")."""
        return _talixdb.model_from_json(text, True)

    def to_json(self):
        """The solver as the talixdb tool writes it (indented JSON)."""
        return _talixdb.model_to_json(self, True)


@dataclass
class Model:
    """A catalogue model: where it belongs (category and type), its ports,
    parameters and species, and its solvers (filled by download_model)."""
    name: str
    category: str = ""
    type: str = ""
    description: str = ""
    ports: List[Port] = field(default_factory=list)
    parameters: List[Parameter] = field(default_factory=list)
    species: List[str] = field(default_factory=list)
    solvers: List[Solver] = field(default_factory=list)

    @classmethod
    def from_json(cls, text):
        """The model of a model file, as the talixdb tool reads it; ValueError
        names what is wrong."""
        return _talixdb.model_from_json(text, False)

    def to_json(self):
        """The model as the talixdb tool writes it (with category, type and
        solvers)."""
        return _talixdb.model_to_json(self, False)

    @property
    def ref(self):
        """Where the model is in the catalogue."""
        return ModelRef(self.category, self.type, self.name)


class ModelRef(NamedTuple):
    """A model's place in the catalogue: category, type and name."""
    category: str
    type: str
    name: str

    @property
    def path(self):
        """The model folder's repository path (the library's modelPath)."""
        return "/".join((_ROOT, self.category, self.type, self.name))

    def __str__(self):
        return "/".join(self)


def model_ref(model):
    """A ModelRef from what the connection's methods take as a model: a
    ModelRef or (category, type, name), a Model with its category and type,
    "CATEGORY/TYPE/MODEL" (as browse lists them) or the model folder's
    repository path."""
    if isinstance(model, Model):
        model = (model.category, model.type, model.name)
    elif isinstance(model, str):
        text = model[len(_ROOT) + 1:] if model.startswith(_ROOT + "/") else model
        model = tuple(text.split("/"))
    if not isinstance(model, tuple) or len(model) != 3 or not all(isinstance(p, str) and p for p in model):
        raise ValueError("a model is named by category, type and name: %r does not name all three" % (model,))
    return ModelRef(*model)


def solver_name(solver):
    """The name of a solver given as a Solver or as its name."""
    return solver.name if isinstance(solver, Solver) else solver
