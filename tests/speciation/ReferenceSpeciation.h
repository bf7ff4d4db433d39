#pragma once

// A plain transcription of the speciation iteration, step by step, without shared evaluations, caches or fault tests:
// the yardstick the solver must match to the last bit; and the comparison of states, doubles by their bits.

#include <array>
#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "model/ModelState.h"
#include "speciation/Speciation.h"

namespace vontralek::reference {

inline double ActivityCoefficient(double I, double z, bool isComplex, int row) {
  const bool quadratic = row == 15 || row == 16 || row == 23 || row == 24;
  const double logGamma =
      z != 0.0     ? (std::pow(z, 2.0) * (-0.512)) * (std::pow(I, 0.5) / (std::pow(I, 0.5) + 1.0) - 0.3 * I)
      : !isComplex ? 0.1 * I
      : quadratic  ? 0.033 * std::pow(I, 2.0) - 0.3 * I
                   : (I / (60.8128 * I + 1.0) - 0.0319 * std::pow(I, 2.0)) * (-11.7021) - 0.044 * std::pow(I, 3.0);
  return std::pow(10.0, logGamma);
}

inline void Solve(ModelState& s, WeightedSumSource& weightedSum) {
  std::feclearexcept(FE_ALL_EXCEPT);
  // The procedure's own notation: T, F, z, g of species row n; Fc, zc, gc of complex row n; K and CK of constant row n.
  auto T = [&](int n) -> double& { return s.SpeciesTable[n].TotalConc; };
  auto F = [&](int n) -> double& { return s.SpeciesTable[n].FreeConc; };
  auto g = [&](int n) -> double& { return s.SpeciesTable[n].Gamma; };
  auto Fc = [&](int n) -> double& { return s.ComplexTable[n].FreeConc; };
  auto K = [&](int n) -> double& { return s.ConstantTable[n].K; };
  auto CK = [&](int n) -> double& { return s.ConstantTable[n].ConditionalK; };
  auto z = [&](int n) { return s.SpeciesTable[n].Charge; };
  auto zc = [&](int n) { return s.ComplexTable[n].Charge; };
  auto& I = s.IonicStrength;
  for (int n = 1; n <= 30; ++n) {
    K(n) = s.ConstantTable[n].LogK != 0.0 ? std::pow(10.0, s.ConstantTable[n].LogK) : 0.0;
    s.ConstantTable[n].SampleLogK = s.ConstantTable[n].LogK;
  }
  for (int n = 3; n <= 9; ++n) F(n) = T(n);
  I = 0.5 * s.Alkalinity;
  for (int n = 3; n <= 9; ++n) I = I + std::pow(z(n), 2.0) * (0.5 * T(n));
  s.InitialIonicStrength = I;
  for (s.IterationCounters[3] = 0;;) {
    for (int n = 1; n <= 12; ++n) g(n) = s.FreeIonGamma[n] = ActivityCoefficient(I, z(n), false, n);
    for (int n : {2, 10, 11})
      if (T(n) != 0.0 && F(n) != 0.0) g(n) = g(n) * F(n) / T(n);
    for (int n = 1; n <= 24; ++n) s.ComplexTable[n].Gamma = ActivityCoefficient(I, zc(n), true, n);
    CK(1) = K(1) / g(12);
    CK(2) = K(2) / (g(2) * g(1));
    CK(3) = g(12) * K(3) / (g(10) * g(1));
    CK(4) = g(10) * K(4) / (g(11) * g(1));
    // The carbonate system from the given pair.
    const bool A = s.InputPair == CarbonatePair::AlkalinityPH, B = s.InputPair == CarbonatePair::AlkalinityPCO2,
               C = s.InputPair == CarbonatePair::BicarbonateCarbonate;
    double &H = T(1), &P = s.PCO2, Alk = s.Alkalinity, S = B ? CK(3) * CK(1) * P + CK(2) : 0.0;
    if (A) H = std::pow(10.0, -s.PH) / g(1);
    if (A) P = std::pow(H, 2.0) / (CK(3) * CK(1)) * (Alk + H - CK(2) / H) / (H + 2.0 * CK(4));
    if (B && Alk > 0.0) H = (std::pow(std::pow(S, 2.0) + Alk * 8.0 * CK(1) * CK(3) * CK(4) * P, 0.5) + S) / (2.0 * Alk);
    if (B && Alk <= 0.0) H = (std::pow(std::pow(Alk, 2.0) + 4.0 * S, 0.5) + Alk * (-1.0)) * 0.5;
    if (A || B) T(10) = CK(3) * CK(1) * P / H;
    if (A || B) T(11) = CK(3) * CK(1) * CK(4) * P / std::pow(H, 2.0);
    if (C) H = CK(4) * T(10) / T(11);
    if (C) P = T(10) * H / (CK(3) * CK(1));
    F(1) = T(1);
    T(2) = CK(2) / T(1);
    for (int r = 1; r <= 4; ++r) {
      CK(r + 6) = g(r + 2) * K(r + 6) * g(2) / s.ComplexTable[r].Gamma;
      for (int h = 0; h <= 4; ++h)
        CK(4 * h + r + 10) = g(r + 2) * K(4 * h + r + 10) * g(h + 7) / s.ComplexTable[4 * h + r + 4].Gamma;
    }
    for (s.IterationCounters[4] = 0;;) {
      s.FreeHydroxide = T(2) / (F(3) * CK(7) + 1.0 + F(4) * CK(8) + F(5) * CK(9) + F(6) * CK(10));
      F(2) = s.FreeHydroxide;
      for (int h = 0, l = 7; h <= 4; ++h, ++l) {
        double& N = s.SpeciesTable[l].NextFreeConc;
        N = T(l) /
            (CK(4 * h + 11) * F(3) + 1.0 + CK(4 * h + 12) * F(4) + CK(4 * h + 13) * F(5) + CK(4 * h + 14) * F(6));
        if (N != 0.0) s.SpeciesTable[l].PercentChange = std::fabs((N - F(l)) / N) * 100.0;
        F(l) = N;
      }
      for (int r = 1, c = 3; r <= 4; ++r, ++c)
        F(c) = T(c) / (CK(r + 6) * F(2) + 1.0 + CK(r + 10) * F(7) + CK(r + 14) * F(8) + CK(r + 18) * F(9) +
                       CK(r + 22) * F(10) + CK(r + 26) * F(11));
      bool settled = true;
      for (int l = 7; l <= 11; ++l) settled = settled && s.SpeciesTable[l].PercentChange <= s.MachineEpsilon;
      if (++s.IterationCounters[4] > 100 || settled) break;
    }
    for (int r = 1; r <= 4; ++r) {
      Fc(r) = F(r + 2) * CK(r + 6) * F(2);
      for (int h = 0; h <= 4; ++h) Fc(4 * h + r + 4) = F(r + 2) * CK(4 * h + r + 10) * F(h + 7);
    }
    s.NewIonicStrength = 0.0;
    for (int n = 3; n <= 11; ++n) s.NewIonicStrength = s.NewIonicStrength + std::pow(z(n), 2.0) * (0.5 * F(n));
    for (int n = 1; n <= 24; ++n) s.NewIonicStrength = s.NewIonicStrength + std::pow(zc(n), 2.0) * (0.5 * Fc(n));
    if (s.NewIonicStrength != 0.0)
      s.IonicStrengthChange = std::fabs((s.NewIonicStrength - I) / s.NewIonicStrength) * 100.0;
    I = s.NewIonicStrength;
    if (++s.IterationCounters[3] > 100 || s.IonicStrengthChange <= s.MachineEpsilon) break;
  }
  // The final quantities: the production step itself (tested by hand in SpeciationTest), once no fault was met.
  if (!std::fetestexcept(FE_DIVBYZERO | FE_OVERFLOW | FE_INVALID)) ComputeFinalQuantities(s, weightedSum);
}

// The first N doubles of a record (its numbers, before any flag) as bits.
template <std::size_t N, typename Record> std::array<std::uint64_t, N> Bits(const Record& record) {
  std::array<std::uint64_t, N> out;
  std::memcpy(out.data(), &record, sizeof out);
  return out;
}

// Empty when the states are equal, the records' numbers to the bit (0 and -0 differ), else where they first differ.
inline std::string FirstDifference(const ModelState& a, const ModelState& b) {
  for (int n = 1; n <= 36; ++n) {
    const SpeciesRecord &x = n <= 12 ? a.SpeciesTable[n] : a.ComplexTable[n - 12],
                        &y = n <= 12 ? b.SpeciesTable[n] : b.ComplexTable[n - 12];
    if (Bits<8>(x) != Bits<8>(y) || !(x == y))
      return n <= 12 ? "SpeciesTable[" + std::to_string(n) + "]" : "ComplexTable[" + std::to_string(n - 12) + "]";
  }
  for (int n = 1; n <= 30; ++n)
    if (Bits<4>(a.ConstantTable[n]) != Bits<4>(b.ConstantTable[n])) return "ConstantTable[" + std::to_string(n) + "]";
  return a == b ? "" : "a scalar, flag or counter";
}

} // namespace vontralek::reference
