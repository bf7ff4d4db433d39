"""vontralek.diagram(): the Piper, Stiff and Schoeller diagrams of a frame's
samples, solved as speciate() solves them (a failed row is left out and
counted in the caption)."""

from . import _core


class Diagram:
    """A diagram as SVG text; notebooks show it (_repr_svg_)."""

    def __init__(self, svg):
        self.svg = svg

    def _repr_svg_(self):
        return self.svg

    def __str__(self):
        return self.svg


def diagram(frame, kind, path=None, pair=None, model="as specified", below_limit="stop", constants=None):
    """Draws the rows of frame (a DataFrame with the columns speciate() takes;
    a "sample" column names them in the legend) as kind: "piper", "stiff" or
    "schoeller". Without path it returns a Diagram (its SVG text in .svg);
    with path it writes the file, SVG or PNG by the name's ending, whole or not
    at all, and returns the caption (how many samples were drawn and left
    out). pair, model, below_limit, constants: as for speciate()."""
    from . import _frame, _option  # the package's own frame and option checks
    frame = _frame(frame)
    csv = frame.to_csv(index=False)
    kind = _option("kind", kind, '"piper", "stiff" or "schoeller"')
    options = (_option("pair", pair, '"ph", "pco2", "carbonate" or None', True),
               _option("model", model, '"as specified" or "ion-association"'),
               _option("below_limit", below_limit, '"stop", "zero", "half" or "limit"'),
               None if constants is None else str(constants))
    if path is None:
        return Diagram(_core.diagram(csv, kind, *options))
    return _core.save_diagram(csv, kind, str(path), *options)
