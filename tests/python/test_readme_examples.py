"""The README's Python examples, taken from README.md and run as written, each as a script of its own in a folder
holding the tables they name (waters.csv; waters-1.csv and waters-2.csv for the Dask example's waters-*.csv; the
shipped examples/lab-waters.csv): an
example that no longer runs, or hangs (Dask's worker processes import the script again), fails here."""
import os, re, shutil, subprocess, sys
import pandas as pd, pytest
from test_vontralek import example_waters

README = os.path.join(os.path.dirname(__file__), "..", "..", "README.md")


def python_examples():
    with open(README, encoding="utf-8") as readme:
        return re.findall(r"^```python\n(.*?)^```$", readme.read(), re.S | re.M)


def test_the_readme_has_its_examples():
    examples = python_examples()
    assert len(examples) >= 2 and any("import dask" in code for code in examples)


@pytest.mark.parametrize("index", range(len(python_examples())))
def test_readme_example_runs_as_written(tmp_path, index):
    code = python_examples()[index]
    waters = example_waters()
    waters.to_csv(tmp_path / "waters.csv", index=False, float_format="%.17g")
    waters.iloc[:3].to_csv(tmp_path / "waters-1.csv", index=False, float_format="%.17g")
    waters.iloc[3:].to_csv(tmp_path / "waters-2.csv", index=False, float_format="%.17g")
    (tmp_path / "examples").mkdir()
    shutil.copy(os.path.join(os.path.dirname(README), "examples", "lab-waters.csv"), tmp_path / "examples")
    (tmp_path / "example.py").write_text(code, encoding="utf-8")
    done = subprocess.run([sys.executable, "example.py"], cwd=tmp_path, capture_output=True, text=True, timeout=90)
    assert done.returncode == 0, done.stderr
    written = sorted(tmp_path.glob("results-*.csv"))
    if "import dask" in code:
        # Every water back, one file per partition.
        assert len(written) == 2
        assert sum(len(pd.read_csv(path)) for path in written) == len(waters)
    elif "lab-waters.csv" in code:
        lab = pd.read_csv(tmp_path / "examples" / "lab-waters.csv")
        assert all(name in done.stdout for name in lab["Sample"])
    else:
        assert all(name in done.stdout for name in waters["sample"])
