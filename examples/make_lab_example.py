#!/usr/bin/env python3
"""Writes examples/lab-waters.csv, the example waters of data/example-waters.csv
as a laboratory reports them: mg/L rounded to four significant figures,
alkalinity as CaCO3, nitrate as N, "<0.01" where no nitrate was found, the
temperature, sample names in the first column.

Conversions (molar masses of data/molar-masses.csv, g/mol):
  ion mg/L            = mmol/L * M(ion)
  alkalinity mg/L as CaCO3 = meq/L * M(CaCO3) / 2   (one CaCO3 neutralises two equivalents)
  nitrate mg/L as N   = mmol/L * M(N)
The temperature is 25 °C, the temperature at which the waters' compositions
were converted from their sources.

usage: python3 examples/make_lab_example.py   (from the repository's root)
"""
import csv
import decimal
import pathlib

ROOT = pathlib.Path(__file__).resolve().parent.parent
NAMES = {"SW": "Seawater", "MY": "Mysse well", "MR": "Madison recharge 3",
         "SN2": "Sierra Nevada spring", "RIV": "World river average"}
# Column of data/example-waters.csv, header written, species of data/molar-masses.csv.
IONS = [("Ca", "Ca (mg/L)", "Ca2+"), ("Mg", "Mg (mg/L)", "Mg2+"), ("Na", "Na (mg/L)", "Na+"),
        ("K", "K (mg/L)", "K+"), ("Cl", "Cl (mg/L)", "Cl-"), ("SO4", "SO4 (mg/L)", "SO4 2-")]


def four_figures(value):
    return format(decimal.Decimal("%.4g" % value), "f")  # 11020, not 1.102e+04


def main():
    with open(ROOT / "data" / "molar-masses.csv", newline="", encoding="utf-8") as f:
        mass = {row["species"]: float(row["molar_mass_g_mol"]) for row in csv.DictReader(f)}
    with open(ROOT / "data" / "example-waters.csv", newline="", encoding="utf-8") as f:
        waters = list(csv.DictReader(f))
    header = ["Sample", "Site", "Temp (°C)", "pH", "Alkalinity (mg/L as CaCO3)"]
    header += [name for _, name, _ in IONS] + ["NO3 (mg/L as N)"]
    with open(ROOT / "examples" / "lab-waters.csv", "w", newline="", encoding="utf-8") as f:
        out = csv.writer(f, lineterminator="\n")
        out.writerow(header)
        for w in waters:
            nitrate = float(w["NO3"]) * mass["N"]
            row = [NAMES[w["id"]], w["id"], "25.0", w["pH"], four_figures(float(w["alk_meq_L"]) * mass["CaCO3"] / 2)]
            row += [four_figures(float(w[column]) * mass[species]) for column, _, species in IONS]
            row.append(four_figures(nitrate) if nitrate > 0 else "<0.01")
            out.writerow(row)


if __name__ == "__main__":
    main()
