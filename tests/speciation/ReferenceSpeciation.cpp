#include "ReferenceSpeciation.h"

#include <cmath>

namespace vontralek::reference {

double ActivityCoefficient(double I, double z, bool isComplex, int row) {
  double logGamma = 0.0;
  if (z == 0.0) {
    if (isComplex && (row == 15 || row == 16 || row == 23 || row == 24)) {
      logGamma = 0.033 * std::pow(I, 2.0) - 0.3 * I;
    } else if (isComplex) {
      double t = I / (60.8128 * I + 1.0);
      double u = (t - 0.0319 * std::pow(I, 2.0)) * (-11.7021);
      logGamma = u - 0.044 * std::pow(I, 3.0);
    } else {
      logGamma = 0.1 * I;
    }
  } else {
    double s = std::pow(I, 0.5) / (std::pow(I, 0.5) + 1.0) - 0.3 * I;
    logGamma = (std::pow(z, 2.0) * (-0.512)) * s;
  }
  return std::pow(10.0, logGamma);
}

void CarbonateSystem(ModelState& s) {
  auto& T1 = s.SpeciesTable[1].TotalConc;
  auto& T10 = s.SpeciesTable[10].TotalConc;
  auto& T11 = s.SpeciesTable[11].TotalConc;
  double KH = s.ConstantTable[1].ConditionalK, Kw = s.ConstantTable[2].ConditionalK;
  double K1 = s.ConstantTable[3].ConditionalK, K2 = s.ConstantTable[4].ConditionalK;
  if (s.InputPair == "A") {
    T1 = std::pow(10.0, -s.PH) / s.SpeciesTable[1].Gamma;
    s.PCO2 = std::pow(T1, 2.0) / (K1 * KH) * (s.Alkalinity + T1 - Kw / T1) / (T1 + 2.0 * K2);
    T10 = K1 * KH * s.PCO2 / T1;
    T11 = K1 * KH * K2 * s.PCO2 / std::pow(T1, 2.0);
  } else if (s.InputPair == "B") {
    double S = K1 * KH * s.PCO2 + Kw;
    if (s.Alkalinity > 0.0) {
      T1 = (std::pow(std::pow(S, 2.0) + s.Alkalinity * 8.0 * KH * K1 * K2 * s.PCO2, 0.5) + S) / (2.0 * s.Alkalinity);
    } else {
      T1 = (std::pow(std::pow(s.Alkalinity, 2.0) + 4.0 * S, 0.5) + s.Alkalinity * (-1.0)) * 0.5;
    }
    T10 = K1 * KH * s.PCO2 / T1;
    T11 = K1 * KH * K2 * s.PCO2 / std::pow(T1, 2.0);
  } else if (s.InputPair == "C") {
    T1 = K2 * T10 / T11;
    s.PCO2 = T10 * T1 / (K1 * KH);
  }
}

void FinalQuantities(ModelState& s, WeightedSumSource& weightedSum) {
  auto& S = s.SpeciesTable;
  auto& C = s.ConstantTable;
  for (int n = 3; n <= 11; ++n)
    if (S[n].TotalConc != 0.0 && S[n].FreeConc != 0.0) S[n].Gamma = S[n].Gamma * S[n].FreeConc / S[n].TotalConc;
  C[5].ConditionalK = C[5].K / (S[11].Gamma * S[5].Gamma);
  C[6].ConditionalK = C[6].K / (S[5].Gamma * S[9].Gamma);
  S[12].TotalConc = C[1].ConditionalK * s.PCO2;
  S[12].FreeConc = S[12].TotalConc;
  for (int n = 1; n <= 12; ++n) {
    S[n].LogActivityDefined = S[n].TotalConc > 0.0;
    if (S[n].TotalConc > 0.0) S[n].LogActivity = std::log(S[n].Gamma * S[n].TotalConc) * 0.434294481903252;
  }
  if (s.InputPair == "B" || s.InputPair == "C") s.PH = -S[1].LogActivity;
  s.LogIapCaCO3 = S[11].LogActivity + S[5].LogActivity;
  s.LogIapCaSO4 = S[9].LogActivity + S[5].LogActivity;
  s.LogIapCaCO3Defined = S[11].LogActivityDefined && S[5].LogActivityDefined;
  s.LogIapCaSO4Defined = S[9].LogActivityDefined && S[5].LogActivityDefined;
  weightedSum.LoadWeightedSumParameters(s);
  auto& A = s.AuxTable[11];
  for (int n = 1; n <= 11; ++n)
    A.WeightedSum = A.WeightedSum + S[n].Charge * A.SumScale * S[n].SumWeight * 1000.0 * S[n].FreeConc;
  for (int n = 1; n <= 24; ++n)
    A.WeightedSum = A.WeightedSum + s.ComplexTable[n].Charge * A.SumScale * s.ComplexTable[n].SumWeight * 1000.0 *
                                        s.ComplexTable[n].FreeConc;
  s.Sar = 0.0;
  s.SarActivity = 0.0;
  if (S[5].TotalConc == 0.0 && S[6].TotalConc == 0.0) return;
  s.Sar = std::pow(1000.0, 0.5) * S[3].TotalConc / std::pow(S[6].TotalConc + S[5].TotalConc, 0.5);
  s.SarActivity = std::pow(1000.0, 0.5) * S[3].TotalConc * S[3].Gamma /
                  std::pow(S[5].Gamma * S[5].TotalConc + S[6].Gamma * S[6].TotalConc, 0.5);
}

void Solve(ModelState& s, WeightedSumSource& weightedSum) {
  auto& S = s.SpeciesTable;
  auto& X = s.ComplexTable;
  auto& C = s.ConstantTable;
  for (int n = 1; n <= 30; ++n) C[n].K = C[n].LogK != 0.0 ? std::pow(10.0, C[n].LogK) : 0.0;
  for (int n = 3; n <= 9; ++n) S[n].FreeConc = S[n].TotalConc;
  s.IonicStrength = 0.5 * s.Alkalinity;
  for (int n = 3; n <= 9; ++n) s.IonicStrength = s.IonicStrength + std::pow(S[n].Charge, 2.0) * (0.5 * S[n].TotalConc);
  s.InitialIonicStrength = s.IonicStrength;
  s.IterationCounters[3] = 0;
  while (true) {
    for (int n = 1; n <= 12; ++n) S[n].Gamma = ActivityCoefficient(s.IonicStrength, S[n].Charge, false, n);
    for (int n : {2, 10, 11})
      if (S[n].TotalConc != 0.0 && S[n].FreeConc != 0.0) S[n].Gamma = S[n].Gamma * S[n].FreeConc / S[n].TotalConc;
    for (int n = 1; n <= 24; ++n) X[n].Gamma = ActivityCoefficient(s.IonicStrength, X[n].Charge, true, n);
    C[1].ConditionalK = C[1].K / S[12].Gamma;
    C[2].ConditionalK = C[2].K / (S[2].Gamma * S[1].Gamma);
    C[3].ConditionalK = S[12].Gamma * C[3].K / (S[10].Gamma * S[1].Gamma);
    C[4].ConditionalK = S[10].Gamma * C[4].K / (S[11].Gamma * S[1].Gamma);
    CarbonateSystem(s);
    S[1].FreeConc = S[1].TotalConc;
    S[2].TotalConc = C[2].ConditionalK / S[1].TotalConc;
    for (int r = 1; r <= 4; ++r) {
      C[r + 6].ConditionalK = S[r + 2].Gamma * C[r + 6].K * S[2].Gamma / X[r].Gamma;
      for (int h = 0; h <= 4; ++h)
        C[4 * h + r + 10].ConditionalK = S[r + 2].Gamma * C[4 * h + r + 10].K * S[h + 7].Gamma / X[4 * h + r + 4].Gamma;
    }
    s.IterationCounters[4] = 0;
    while (true) {
      s.FreeHydroxide = S[2].TotalConc / (S[3].FreeConc * C[7].ConditionalK + 1.0 + S[4].FreeConc * C[8].ConditionalK +
                                          S[5].FreeConc * C[9].ConditionalK + S[6].FreeConc * C[10].ConditionalK);
      S[2].FreeConc = s.FreeHydroxide;
      for (int h = 0; h <= 4; ++h) {
        int l = h + 7;
        S[l].NextFreeConc =
            S[l].TotalConc /
            (C[4 * h + 11].ConditionalK * S[3].FreeConc + 1.0 + C[4 * h + 12].ConditionalK * S[4].FreeConc +
             C[4 * h + 13].ConditionalK * S[5].FreeConc + C[4 * h + 14].ConditionalK * S[6].FreeConc);
        if (S[l].NextFreeConc != 0.0)
          S[l].PercentChange = std::fabs((S[l].NextFreeConc - S[l].FreeConc) / S[l].NextFreeConc) * 100.0;
        S[l].FreeConc = S[l].NextFreeConc;
      }
      for (int r = 1; r <= 4; ++r)
        S[r + 2].FreeConc =
            S[r + 2].TotalConc / (C[r + 6].ConditionalK * S[2].FreeConc + 1.0 + C[r + 10].ConditionalK * S[7].FreeConc +
                                  C[r + 14].ConditionalK * S[8].FreeConc + C[r + 18].ConditionalK * S[9].FreeConc +
                                  C[r + 22].ConditionalK * S[10].FreeConc + C[r + 26].ConditionalK * S[11].FreeConc);
      s.IterationCounters[4]++;
      if (s.IterationCounters[4] > 100) break;
      bool converged = true;
      for (int l = 7; l <= 11; ++l)
        if (S[l].PercentChange > s.MachineEpsilon) converged = false;
      if (converged) break;
    }
    for (int r = 1; r <= 4; ++r) {
      X[r].FreeConc = S[r + 2].FreeConc * C[r + 6].ConditionalK * S[2].FreeConc;
      for (int h = 0; h <= 4; ++h)
        X[4 * h + r + 4].FreeConc = S[r + 2].FreeConc * C[4 * h + r + 10].ConditionalK * S[h + 7].FreeConc;
    }
    s.NewIonicStrength = 0.0;
    for (int n = 3; n <= 11; ++n)
      s.NewIonicStrength = s.NewIonicStrength + std::pow(S[n].Charge, 2.0) * (0.5 * S[n].FreeConc);
    for (int n = 1; n <= 24; ++n)
      s.NewIonicStrength = s.NewIonicStrength + std::pow(X[n].Charge, 2.0) * (0.5 * X[n].FreeConc);
    if (s.NewIonicStrength != 0.0)
      s.IonicStrengthChange = std::fabs((s.NewIonicStrength - s.IonicStrength) / s.NewIonicStrength) * 100.0;
    s.IonicStrength = s.NewIonicStrength;
    s.IterationCounters[3]++;
    if (s.IterationCounters[3] > 100) break;
    if (s.IonicStrengthChange <= s.MachineEpsilon) break;
  }
  FinalQuantities(s, weightedSum);
}

} // namespace vontralek::reference
