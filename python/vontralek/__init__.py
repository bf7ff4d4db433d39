"""VONTRALEK: speciation of water analyses for scripts and data pipelines.

speciate() takes a pandas DataFrame (or a dict of NumPy arrays) whose column
names give each quantity with its unit, exactly as the command line's table
mode (see the README, "Tables, Python and Dask"), and returns a DataFrame with
the input columns followed by the results. Every row is solved from the same
fresh start state, so a row's result does not depend on its position, the
thread count or how the frame was split.
"""

import json

import numpy as np
import pandas as pd

from ._core import VontralekError
from . import _core

__all__ = ["speciate", "result_columns", "VontralekError"]


def _frame(frame):
    if isinstance(frame, pd.DataFrame):
        return frame
    if isinstance(frame, dict):
        return pd.DataFrame(frame)
    raise TypeError("speciate() takes a pandas DataFrame or a dict of NumPy arrays, not %s" % type(frame).__name__)


def speciate(frame, pair=None, model="as specified", below_limit="stop", keep_going=False, threads=None,
             constants=None, temperature_C=None, saturation_indices=True, water_quality=True):
    """Speciates every row of frame and returns a new DataFrame: the input
    columns unchanged, then the result columns (an undefined value is NaN),
    then "status" ("ok", or with keep_going=True the reason a row has no
    result). pair: None (from the columns), "ph", "pco2" or "carbonate";
    model: "as specified" or "ion-association"; below_limit: what "<x" counts
    as ("stop", "zero", "half", "limit"); threads: worker threads (None: all
    cores); constants: a workbook whose worksheets 3 and 4 give log K, charges
    and weights (None: the shipped ones); temperature_C: the water's
    temperature in °C for every row, overriding a temperature_C column (None:
    the column's, where an empty field or no column means log K at 25 °C);
    saturation_indices, water_quality: append SI_<phase> for every phase of the
    phase table (the shipped one, or the constants workbook's) and log_a_H2O,
    hardness_mmol_L, hardness_mg_L_as_CaCO3, hardness_dH,
    carbonate_hardness_mmol_L, dissolved_solids_mg_L, larson_skold, LSI, RSI,
    PSI after "status".
    The provenance record is in the
    result's attrs["vontralek"]. Raises VontralekError (a ValueError) with the
    same message as the command line."""
    frame = _frame(frame)
    header = [str(name) for name in frame.columns]
    data = []
    for name in frame.columns:
        column = frame[name]
        if pd.api.types.is_float_dtype(column.dtype) or pd.api.types.is_integer_dtype(column.dtype):
            data.append(column.to_numpy(dtype=np.float64))
        else:
            data.append(column.tolist())
    values, status, names, provenance, minerals, mineral_names = _core.speciate(
        header, data, len(frame), pair, model, below_limit, bool(keep_going), threads,
        None if constants is None else str(constants), None if temperature_C is None else float(temperature_C),
        bool(saturation_indices), bool(water_quality))
    results = {}
    all_names = _core.all_result_names()
    keep = [all_names.index(name) for name in names[:-1]]
    for name, index in zip(names[:-1], keep):
        results[name] = values[:, index]
    results["status"] = status
    for index, name in enumerate(mineral_names):
        results[name] = minerals[:, index]
    out = pd.concat([frame.reset_index(drop=True), pd.DataFrame(results)], axis=1)
    out.index = frame.index
    out.attrs = dict(frame.attrs)
    out.attrs["vontralek"] = json.loads(provenance)
    return out


def result_columns(columns, pair=None, saturation_indices=True, water_quality=True, constants=None):
    """The output column names for input columns (a list of names or a
    DataFrame): the inputs, then the results the pair does not give, then
    "status". For a Dask meta, vontralek.speciate(ddf._meta) gives the empty
    frame with the dtypes."""
    if isinstance(columns, pd.DataFrame):
        columns = list(columns.columns)
    return _core.result_columns([str(c) for c in columns], pair, bool(saturation_indices), bool(water_quality),
                                None if constants is None else str(constants))
