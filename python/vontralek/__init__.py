"""VONTRALEK: speciation of water analyses for scripts and data pipelines.

speciate() takes a pandas DataFrame (or a dict of NumPy arrays) whose column
names give each quantity with its unit, exactly as the command line's table
mode (see the README, "Tables, Python and Dask"), and returns a DataFrame with
the input columns followed by the results. Every row is solved from the same
fresh start state, so a row's result does not depend on its position, the
thread count or how the frame was split.
"""

import io
import json
import numbers

import numpy as np
import pandas as pd

from ._core import VontralekError
from . import _core

__all__ = ["speciate", "mix", "result_columns", "VontralekError"]


def _frame(frame):
    if isinstance(frame, pd.DataFrame):
        return frame
    if isinstance(frame, dict):
        return pd.DataFrame(frame)
    raise TypeError("speciate() takes a pandas DataFrame or a dict of NumPy arrays, not %s" % type(frame).__name__)


def _column(name, column):
    """A column as the core reads it: float64 values for a numeric column,
    nullable ones included (pd.NA is NaN); else its items, None for every
    missing value (None, NaN, pd.NA, NaT). NaN and None are "not measured", as
    an empty field of a CSV file."""
    dtype = column.dtype
    if not pd.api.types.is_bool_dtype(dtype) and (pd.api.types.is_float_dtype(dtype)
                                                  or pd.api.types.is_integer_dtype(dtype)):
        if isinstance(dtype, pd.api.extensions.ExtensionDtype):
            return column.to_numpy(dtype=np.float64, na_value=np.nan)
        return column.to_numpy(dtype=np.float64)  # a float64 column's own array: no copy
    values = column.to_numpy(dtype=object)
    missing = pd.isna(values)
    if missing.any():
        values = values.copy()
        values[missing] = None
    return values


def _option(name, value, allowed, none_allowed=False):
    if not isinstance(value, str) and not (none_allowed and value is None):
        raise VontralekError("%s must be %s, not %r" % (name, allowed, value))
    return value


def _threads(threads):
    """A whole number (its range is the core's to check, as for --threads) or None."""
    if threads is not None and (isinstance(threads, (bool, np.bool_)) or not isinstance(threads, numbers.Integral)):
        raise VontralekError("threads must be a whole number from 1 to %d (None: all cores), not %r"
                             % (_core.most_threads, threads))
    return None if threads is None else max(min(int(threads), 2**31 - 1), -2**31)


def speciate(frame, pair=None, model="ion association", below_limit="stop", keep_going=False, threads=None,
             constants=None, temperature_C=None, saturation_indices=True, water_quality=True,
             raw_text=False, calcite_saturation=False, evaluation_temperature_C=None, equilibrium_pco2=None):
    """Speciates every row of frame and returns a new DataFrame: the input
    columns unchanged, then the result columns (an undefined value is NaN),
    then "status" ("ok", or with keep_going=True the reason a row has no
    result). pair: None (from the columns), "ph", "pco2", "carbonate",
    "dic-ph" or "alkalinity-dic";
    model: "ion association" (the default) or "as specified"; below_limit:
    what "<x" counts as ("stop", "zero", "half", "limit"); these words in any
    letter case, with spaces, hyphens or underscores between their parts;
    threads: worker threads (None: all
    cores); constants: a workbook whose worksheets 3 and 4 give log K, charges
    and weights (None: the shipped ones); temperature_C: the water's
    temperature in °C for every row, overriding a temperature_C column (None:
    the column's, where an empty field or no column means log K at 25 °C);
    saturation_indices, water_quality: append SI_<phase> for every phase of the
    phase table (the shipped one, or the constants workbook's) and log_a_H2O,
    hardness_mmol_L, hardness_mg_L_as_CaCO3, hardness_dH,
    carbonate_hardness_mmol_L, dissolved_solids_mg_L, larson_skold, LSI, RSI,
    PSI after "status".
    calcite_saturation: append pH_evaluation, SI_calcite_evaluation, pHC,
    calcite_dissolution_capacity_mmol_L, calcite_dissolution_capacity_mg_L_as_CaCO3
    and CCPP_mg_L_as_CaCO3 (the water at evaluation_temperature_C, None: its
    own, or an evaluation_temperature_C column's, brought to equilibrium with
    calcite in a closed system); equilibrium_pco2 (atm): append
    pH_CO2_equilibrium, DIC_CO2_equilibrium_mmol_L, SI_calcite_CO2_equilibrium
    and CO2_degassed_mmol_L (open system at that CO2 pressure).
    NaN, None and pd.NA in any column mean "not measured", as an empty
    field; nullable dtypes (Float64, Int64) are read as numbers. The
    provenance record is in the result's attrs["vontralek"]. Every bad input
    raises VontralekError (a ValueError) with the command line's message,
    naming the row and column.
    raw_text: keep text as it is (by default a text that begins with "=",
    "+", "-", "@", a tab or a carriage return and is no number gets a leading
    apostrophe, so that a spreadsheet program opening the frame's CSV or Excel
    file does not run it as a formula). A text with a NUL character is
    refused. An ion without a column is not measured (0): the record's
    "ions_not_measured" names it."""
    frame = _frame(frame)
    header = [str(name) for name in frame.columns]
    # By position: a name given twice is refused by the core when it names a
    # quantity, and passed through when it does not.
    data = [_column(name, frame.iloc[:, i]) for i, name in enumerate(header)]
    # Text columns: refused with a NUL, made safe for spreadsheets unless raw_text.
    texts = {}
    for position, column in enumerate(data):
        if column.dtype == object:
            safe = _core.safe_texts(position, header[position], column.tolist(), bool(raw_text))
            if safe is not None:
                texts[position] = pd.Series(safe, index=frame.index, dtype=frame.dtypes.iloc[position])
    temperature = _number("temperature_C", temperature_C, "a temperature in degrees C")
    values, status, names, provenance, minerals, mineral_names = _core.speciate(
        header, data, len(frame), _option("pair", pair, _PAIRS, True),
        _option("model", model, '"as specified" or "ion-association"'),
        _option("below_limit", below_limit, '"stop", "zero", "half" or "limit"'), bool(keep_going),
        _threads(threads), None if constants is None else str(constants), temperature,
        bool(saturation_indices), bool(water_quality), *_reactions(calcite_saturation, evaluation_temperature_C,
                                                                   equilibrium_pco2))
    del data
    # The results are one float64 block whose columns are views of the core's
    # array (no copy); the input columns are put in front of them.
    out = pd.DataFrame(values.T, columns=names, index=frame.index, copy=False)
    del values
    out["status"] = status
    for index, name in enumerate(mineral_names):
        out[name] = minerals[index]
    del minerals
    for i, name in enumerate(frame.columns):
        out.insert(i, name, texts.get(i, frame.iloc[:, i]), allow_duplicates=True)
    out.attrs = dict(frame.attrs)
    out.attrs["vontralek"] = json.loads(provenance)
    return out


def result_columns(columns, pair=None, saturation_indices=True, water_quality=True, constants=None,
                   calcite_saturation=False, equilibrium_pco2=None):
    """The output column names for input columns (a list of names or a
    DataFrame): the inputs, then the results the pair does not give, then
    "status", then the mineral and reaction columns asked for. For a Dask
    meta, vontralek.speciate(ddf._meta) gives the empty frame with the dtypes."""
    if isinstance(columns, pd.DataFrame):
        columns = list(columns.columns)
    return _core.result_columns([str(c) for c in columns], pair, bool(saturation_indices), bool(water_quality),
                                None if constants is None else str(constants), bool(calcite_saturation),
                                _number("equilibrium_pco2", equilibrium_pco2, "a partial pressure in atm"))


_PAIRS = '"ph", "pco2", "carbonate", "dic-ph", "alkalinity-dic" or None'


def _number(name, value, what):
    """A number as float, or None."""
    if value is None:
        return None
    try:
        return float(value)
    except (TypeError, ValueError):
        raise VontralekError("%s must be %s or None, not %r" % (name, what, value))


def _reactions(calcite_saturation, evaluation_temperature_C, equilibrium_pco2):
    return (bool(calcite_saturation), _number("evaluation_temperature_C", evaluation_temperature_C,
                                              "a temperature in degrees C"),
            _number("equilibrium_pco2", equilibrium_pco2, "a partial pressure in atm"))


def mix(a, b, fraction, with_sample=None, pair=None, model="ion association", keep_going=False, constants=None,
        saturation_indices=True, water_quality=True, calcite_saturation=False, evaluation_temperature_C=None,
        equilibrium_pco2=None):
    """The mixtures of the waters of frames a and b (DataFrames, or dicts of
    NumPy arrays, with speciate()'s columns): row i of a with row i of b (both
    need as many rows), or every row of a with the row of b whose "sample" is
    with_sample. fraction is a's share (0 to 1), b's is 1 - fraction. Each
    water is speciated, the totals (alkalinity, DIC, the ions and the
    temperature) are fraction-weighted and the mixture is speciated again, as
    `vontralek-cli mix` does. Returns a DataFrame: the mixture's inputs
    (sample "a-name + b-name", temperature_C, alkalinity_meq_L, DIC_mmol_L and
    the ions in mmol/L; a row without a sample name is named by its line of
    the frame's CSV text, line 2 being row 0), then speciate()'s result
    columns, with the provenance in attrs["vontralek"]."""
    fraction = _number("fraction", fraction, "the first frame's share, 0 to 1")
    if fraction is None:
        raise VontralekError("fraction must be the first frame's share, 0 to 1, not None")
    texts = [_frame(frame).to_csv(index=False) for frame in (a, b)]
    table, provenance = _core.mix(
        texts[0], texts[1], fraction, None if with_sample is None else str(with_sample),
        _option("pair", pair, _PAIRS, True), _option("model", model, '"as specified" or "ion-association"'),
        bool(keep_going), None if constants is None else str(constants), bool(saturation_indices),
        bool(water_quality), *_reactions(calcite_saturation, evaluation_temperature_C, equilibrium_pco2))
    out = pd.read_csv(io.StringIO(table), float_precision="round_trip", keep_default_na=False, na_values=[""])
    out.attrs["vontralek"] = json.loads(provenance)
    return out


from ._diagram import Diagram, diagram  # noqa: E402  (it uses the helpers above)

__all__ += ["diagram", "Diagram"]
