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


def speciate(frame, pair=None, model="ion association", below_limit="stop", keep_going=False, threads=None,
             constants=None, temperature_C=None, raw_text=False):
    """Speciates every row of frame and returns a new DataFrame: the input
    columns unchanged, then the result columns (an undefined value is NaN),
    then "status" ("ok", or with keep_going=True the reason a row has no
    result). pair: None (from the columns), "ph", "pco2" or "carbonate";
    model: "ion association" (the default) or "as specified"; below_limit:
    what "<x" counts as ("stop", "zero", "half", "limit"); these words in any
    letter case, with spaces, hyphens or underscores between their parts;
    threads: worker threads (None: all
    cores); constants: a workbook whose worksheets 3 and 4 give log K, charges
    and weights (None: the shipped ones); temperature_C: the water's
    temperature in °C for every row, overriding a temperature_C column (None:
    the column's, where an empty field or no column means log K at 25 °C);
    raw_text: keep text as it is (by default a text that begins with "=",
    "+", "-", "@", a tab or a carriage return and is no number gets a leading
    apostrophe, so that a spreadsheet program opening the frame's CSV or Excel
    file does not run it as a formula). A text with a NUL character is
    refused. An ion without a column is not measured (0): the record's
    "ions_not_measured" names it. The provenance record is in the
    result's attrs["vontralek"]. Raises VontralekError (a ValueError) with the
    same message as the command line."""
    frame = _frame(frame)
    header = [str(name) for name in frame.columns]
    # Text columns: refused with a NUL, made safe for spreadsheets unless raw_text.
    texts = {}
    for position, name in enumerate(frame.columns):
        column = frame[name]
        if pd.api.types.is_object_dtype(column.dtype) or pd.api.types.is_string_dtype(column.dtype):
            values = column.tolist()
            safe = _core.safe_texts(position, header[position], values, bool(raw_text))
            if safe is not None:
                texts[position] = safe
    data = []
    for name in frame.columns:
        column = frame[name]
        if pd.api.types.is_float_dtype(column.dtype) or pd.api.types.is_integer_dtype(column.dtype):
            data.append(column.to_numpy(dtype=np.float64))
        else:
            data.append(column.tolist())
    values, status, names, provenance = _core.speciate(header, data, len(frame), pair, model, below_limit,
                                                       bool(keep_going), threads,
                                                       None if constants is None else str(constants),
                                                       None if temperature_C is None else float(temperature_C))
    results = {}
    all_names = _core.all_result_names()
    keep = [all_names.index(name) for name in names[:-1]]
    for name, index in zip(names[:-1], keep):
        results[name] = values[:, index]
    results["status"] = status
    inputs = frame.reset_index(drop=True)
    if texts:
        inputs = inputs.copy()
        for position, values in texts.items():
            inputs.isetitem(position, pd.Series(values, dtype=frame.dtypes.iloc[position]))
    out = pd.concat([inputs, pd.DataFrame(results)], axis=1)
    out.index = frame.index
    out.attrs = dict(frame.attrs)
    out.attrs["vontralek"] = json.loads(provenance)
    return out


def result_columns(columns, pair=None):
    """The output column names for input columns (a list of names or a
    DataFrame): the inputs, then the results the pair does not give, then
    "status". For a Dask meta, vontralek.speciate(ddf._meta) gives the empty
    frame with the dtypes."""
    if isinstance(columns, pd.DataFrame):
        columns = list(columns.columns)
    return _core.result_columns([str(c) for c in columns], pair)
