"""The Python module against the command line's table mode, and mapped over a Dask DataFrame on a cluster of two
worker processes. Run by CTest with PYTHONPATH=<build>/python and VONTRALEK_CLI=<vontralek-cli>."""
import json, os, subprocess
import numpy as np, pandas as pd, pytest
import vontralek

DATA = os.path.join(os.path.dirname(__file__), "..", "..", "data", "example-waters.csv")
CLI = os.environ.get("VONTRALEK_CLI", "vontralek-cli")


def example_waters(copies=1):
    """The example waters (data/example-waters.csv) under the table's column names."""
    waters = pd.read_csv(DATA, float_precision="round_trip")
    frame = pd.DataFrame({"sample": waters["id"], "pH": waters["pH"], "alkalinity_meq_L": waters["alk_meq_L"]})
    frame = frame.assign(**{ion + "_mmol_L": waters[ion] for ion in ["Na", "K", "Ca", "Mg", "Cl", "NO3", "SO4"]})
    return pd.concat([frame] * copies, ignore_index=True)


def run_cli(frame, tmp_path, *options):
    source, target = tmp_path / "in.csv", tmp_path / "out.csv"
    frame.to_csv(source, index=False, float_format="%.17g")
    done = subprocess.run([CLI, str(source), "-o", str(target), *options], capture_output=True, text=True)
    return done, target


def cli_table(frame, tmp_path, *options):
    """The command line's output table of a run that must succeed."""
    done, target = run_cli(frame, tmp_path, *options)
    assert done.returncode == 0, done.stderr
    return pd.read_csv(target, float_precision="round_trip", keep_default_na=False, na_values=[""])


def same_bits(a, b):
    """Equal numbers, NaN where the other has NaN."""
    a, b = np.asarray(a, dtype=np.float64), np.asarray(b, dtype=np.float64)
    return bool(np.all((a == b) | (np.isnan(a) & np.isnan(b))))


@pytest.mark.parametrize("model", [None, "specified", "ion-association"])
def test_frame_results_are_the_tables(tmp_path, model):
    # Nothing stored chooses the model: the ion-association model, in Python as in the command line's table mode.
    frame = example_waters()
    table = cli_table(frame, tmp_path, "--threads", "2", *(["--model", model] if model else []))
    result = vontralek.speciate(frame, threads=1, **({"model": "as specified" if model == "specified" else model}
                                                     if model else {}))
    assert result.attrs["vontralek"]["model"] == ("as specified" if model == "specified" else "ion association")
    assert list(result.columns) == list(table.columns) == vontralek.result_columns(frame)
    numbers = [c for c in result.columns if c not in ("sample", "status")]
    assert same_bits(result[numbers], table[numbers]) and list(result["status"]) == ["ok"] * len(frame)
    provenance = json.loads((tmp_path / "out.csv.json").read_text())
    assert all(result.attrs["vontralek"][k] == provenance[k] for k in ("model", "pair", "constants_sha256", "below_limit"))


def test_mineral_columns_follow_their_switches(tmp_path):
    # After "status": SI_<phase> of the sixteen shipped phases, log_a_H2O and the water-quality values; the specified
    # model has a(H2O) = 1. Switched off, both the command line and Python end at "status".
    frame = example_waters()
    names = vontralek.result_columns(frame)
    assert names[names.index("status") + 1:][:3] == ["SI_aragonite", "SI_dolomite", "SI_dolomite_d"]
    assert names[-11:] == ["SI_portlandite", "log_a_H2O", "hardness_mmol_L", "hardness_mg_L_as_CaCO3", "hardness_dH",
                           "carbonate_hardness_mmol_L", "dissolved_solids_mg_L", "larson_skold", "LSI", "RSI", "PSI"]
    assert (vontralek.speciate(frame, model="as specified")["log_a_H2O"] == 0).all()
    done, target = run_cli(frame, tmp_path, "--no-saturation-indices", "--no-water-quality")
    assert done.returncode == 0, done.stderr
    plain = vontralek.speciate(frame, saturation_indices=False, water_quality=False)
    assert list(pd.read_csv(target).columns) == list(plain.columns) == \
        vontralek.result_columns(frame, saturation_indices=False, water_quality=False)
    assert plain.columns[-1] == "status"
    with pytest.raises(vontralek.VontralekError, match="LSI"):
        vontralek.speciate(frame.assign(LSI=1.0))


def test_a_dict_of_arrays_and_keep_going(tmp_path):
    frame = example_waters()
    columns = {name: frame[name].to_numpy() for name in frame.columns}
    columns["Ca_mmol_L"] = np.array(["<0.5", "1.2", "x", "", "0.1"], dtype=object)
    result = vontralek.speciate(columns, keep_going=True, below_limit="half")
    assert list(result["status"][[0, 1, 3, 4]]) == ["ok"] * 4 and "frame row 2, column 6 (Ca_mmol_L)" in result["status"][2]
    assert result.loc[2, "ionic_strength_mmol_L"] != result.loc[2, "ionic_strength_mmol_L"]  # NaN
    # "<0.5" under "half" is 0.25 mmol/L: the same as the number.
    columns["Ca_mmol_L"] = np.array([0.25, 1.2, 1.0, 0.0, 0.1])
    plain = vontralek.speciate(columns)
    assert same_bits(result.loc[0, "SAR"], plain.loc[0, "SAR"])


def test_errors_carry_the_command_lines_message(tmp_path):
    frame = example_waters().astype({"Na_mmol_L": object})
    frame.loc[1, "Na_mmol_L"] = "1,5"
    done, _ = run_cli(frame, tmp_path)
    assert done.returncode == 1
    with pytest.raises(vontralek.VontralekError) as error:
        vontralek.speciate(frame)
    # The same reason after the place ("in.csv line 3" / "frame row 1").
    reason = done.stderr.split("(Na_mmol_L): ")[1].split(". The run stopped")[0]
    assert "frame row 1, column 4 (Na_mmol_L): " + reason in str(error.value)
    with pytest.raises(ValueError, match="unknown unit"):
        vontralek.speciate(frame.rename(columns={"K_mmol_L": "K_ppm"}))


def test_temperature_argument_overrides_the_column_and_agrees_with_the_table(tmp_path):
    # Every row at 10 °C by the argument is the table with a column of 10s;
    # an empty column (NaN) is no temperature; 150 °C is refused.
    frame = example_waters()
    at10 = frame.assign(temperature_C=10.0)
    table = cli_table(at10, tmp_path, "--model", "ion-association")
    result = vontralek.speciate(frame.assign(temperature_C=np.nan), model="ion-association", temperature_C=10)
    numbers = [c for c in result.columns if c not in ("sample", "status", "temperature_C")]
    assert same_bits(result[numbers], table[numbers])
    assert same_bits(vontralek.speciate(at10, model="ion-association")[numbers], table[numbers])
    assert "10 degrees C" in result.attrs["vontralek"]["temperature"]
    none = vontralek.speciate(frame.assign(temperature_C=np.nan), model="ion-association")
    assert same_bits(none[numbers], vontralek.speciate(frame, model="ion-association")[numbers])
    with pytest.raises(vontralek.VontralekError, match="150 °C given for every row is outside 0 to 100"):
        vontralek.speciate(frame, temperature_C=150)


def test_dask_partitions_on_two_worker_processes_give_one_calls_results():
    dd = pytest.importorskip("dask.dataframe")
    distributed = pytest.importorskip("dask.distributed")
    frame = example_waters(copies=400)  # 2000 rows
    whole = vontralek.speciate(frame)
    with distributed.LocalCluster(n_workers=2, processes=True, threads_per_worker=1, dashboard_address=None) as cluster, \
            distributed.Client(cluster):
        mapped = dd.from_pandas(frame, npartitions=7).map_partitions(vontralek.speciate, threads=1,
                                                                      meta=vontralek.speciate(frame.iloc[:0]))
        result = mapped.compute()
    numbers = [c for c in whole.columns if c not in ("sample", "status")]
    assert same_bits(result[numbers], whole[numbers]) and list(result["status"]) == list(whole["status"])


def test_every_bad_input_raises_the_modules_own_error_naming_the_column():
    frame = example_waters()
    for bad, message in [(pd.concat([frame, frame[["Na_mmol_L"]]], axis=1), "second column for Na"),
                         (frame.assign(K_mmol_L=True), r"frame row 0, column 5 \(K_mmol_L\)")]:
        with pytest.raises(vontralek.VontralekError, match=message):
            vontralek.speciate(bad)
    for threads in (0, 10000, 2.5, True, "2"):
        with pytest.raises(vontralek.VontralekError, match="threads must be a whole number from 1 to 9999"):
            vontralek.speciate(frame, threads=threads)
    for model in (None, "ionassociation"):
        with pytest.raises(vontralek.VontralekError, match="model"):
            vontralek.speciate(frame, model=model)
    # A column that names no quantity may come twice: both are passed through, in place.
    notes = pd.concat([frame, pd.DataFrame({"note": ["a"] * 5}), pd.DataFrame({"note": ["b"] * 5})], axis=1)
    assert list(vontralek.speciate(notes).iloc[:, 11]) == ["b"] * 5


def test_missing_values_mean_not_measured_whatever_the_dtype():
    # "<0.1" for the potassium of row 0 (half the limit: 0.05), none for that of row 1 and for the chloride of row 2:
    # as NaN in float columns, whatever the dtype and the missing value.
    frame = example_waters()
    plain = frame.assign(Cl_mmol_L=[1.0, 2.0, np.nan, 3.0, 4.0])
    plain.loc[0, "K_mmol_L"], plain.loc[1, "K_mmol_L"] = 0.05, np.nan
    want = vontralek.speciate(plain, below_limit="half")
    results = [c for c in want.columns if c not in frame.columns and c != "status"]
    texts = frame.astype({"K_mmol_L": object}).assign(Cl_mmol_L=pd.array([1, 2, None, 3, 4], dtype="Int64"))
    texts.loc[0, "K_mmol_L"] = "<0.1"
    variants = [plain.astype({"K_mmol_L": "Float64"})]
    for missing in (np.nan, None, pd.NA, np.float32("nan")):
        texts.loc[1, "K_mmol_L"] = missing
        variants += [texts.copy(), texts.astype({"K_mmol_L": "string"})]
    for variant in variants:
        got = vontralek.speciate(variant, below_limit="half")
        assert list(got["status"]) == ["ok"] * 5 and same_bits(got[results], want[results]), variant.dtypes


def test_model_words_in_any_spelling_and_safe_text():
    frame = example_waters()
    default = vontralek.speciate(frame)
    numbers = [c for c in default.columns if c not in ("sample", "status")]
    spelled = vontralek.speciate(frame, model="Ion_Association", pair="PH", below_limit="Half")
    assert same_bits(spelled[numbers], default[numbers])
    assert not same_bits(vontralek.speciate(frame, model="AS-SPECIFIED")[numbers], default[numbers])
    # Formula-like text gets an apostrophe unless raw_text; a NUL is refused; an ion without a column is not measured.
    named = frame.assign(sample=["=HYPERLINK(1)", "-1.5", "@x", "ok", "+"])
    assert list(vontralek.speciate(named)["sample"]) == ["'=HYPERLINK(1)", "-1.5", "'@x", "ok", "'+"]
    assert list(vontralek.speciate(named, raw_text=True)["sample"]) == list(named["sample"])
    with pytest.raises(vontralek.VontralekError, match=r"frame row 3, column 1 \(sample\): a NUL"):
        vontralek.speciate(frame.assign(sample=["a", "b", "c", "d\0", "e"]))
    assert vontralek.speciate(frame.drop(columns=["K_mmol_L"])).attrs["vontralek"]["ions_not_measured"] == ["K"]


def test_mix_gives_the_mixtures_phreeqc_gives():
    # 0.1 seawater + 0.9 river water and 0.5 + 0.5 of the two Madison waters at 25 degrees C, row i with row i,
    # against PHREEQC 3.8.8's MIX (tests/speciation/data/reference-reactions.csv); the same rows as the command line's.
    reference = pd.read_csv(os.path.join(os.path.dirname(DATA), "..", "tests", "speciation", "data",
                                         "reference-reactions.csv"), comment="#").set_index("case")
    waters = example_waters().set_index("sample").assign(temperature_C=25.0)
    for first, second, fraction in [("SW", "RIV", 0.1), ("MR", "MY", 0.5)]:
        mixture = vontralek.mix(waters.loc[[first]].reset_index(), waters.loc[[second]].reset_index(), fraction)
        want = reference.loc["mix:%s%g+%s%g" % (first, fraction, second, 1 - fraction)]
        assert list(mixture["sample"]) == ["%s + %s" % (first, second)] and list(mixture["status"]) == ["ok"]
        assert abs(mixture["pH"][0] - want["pH"]) < 1e-6 and abs(mixture["SI_calcite"][0] - want["SI_Calcite"]) < 1e-6
        assert abs(mixture["DIC_mmol_L"][0] / (want["tot_C"] * 1000) - 1) < 1e-6
    with pytest.raises(vontralek.VontralekError, match="has 5 rows"):
        vontralek.mix(example_waters(), waters.loc[["SW"]].reset_index(), 0.5)
