// Speed of SolveSpeciation over the example waters of data/example-waters.csv
// with the shipped constants, one state carried from sample to sample as in a
// batch run, with either model; and at the water's own temperature, one for
// the whole batch (15 °C) or each sample's own (5 to 60 °C, so that log K and
// the Davies slope are computed anew for every sample). Target: at least 20,000 samples per second on
// one core; the ion-association model, which needs far fewer passes, at least
// twice the rate of the procedure as specified.

#include <benchmark/benchmark.h>

#include "../tests/speciation/SpeciationTestSupport.h"
#include "speciation/Reactions.h"

namespace {

using namespace vontralek;

// temperature: none (below 0), a fixed one, or (above 100) each sample its own.
void RunBatch(benchmark::State& bench, CarbonatePair pair, SpeciationModel model, double temperature = -1.0) {
  ModelState state = testsupport::Sample({}, pair, model);
  state.TemperatureTable = testsupport::ShippedTemperatureData();
  state.TemperatureGiven = temperature >= 0.0;
  state.TemperatureC = temperature > 100.0 ? 5.0 : temperature;
  const auto& waters = testsupport::Waters();
  testsupport::FixedWeightedSum weights;

  // The pCO2 and carbonate totals of pairs "B" and "C" come from a solve with
  // pair "A", so that all three pairs speciate the same waters.
  std::vector<ModelState> samples;
  for (const auto& water : waters) {
    ModelState a = state;
    a.InputPair = CarbonatePair::AlkalinityPH;
    testsupport::PutSample(a, water);
    SolveSpeciation(a, weights);
    ModelState sample = state;
    testsupport::PutSample(sample, water);
    sample.PCO2 = a.PCO2;
    sample.SpeciesTable[10].TotalConc = a.SpeciesTable[10].TotalConc;
    sample.SpeciesTable[11].TotalConc = a.SpeciesTable[11].TotalConc;
    samples.push_back(sample);
  }

  const SolverMemo start = state.Memo;
  std::size_t next = 0;
  for (auto _ : bench) {
    // Put the sample's inputs into the shared state, as the run does.
    const ModelState& sample = samples[next];
    for (int n = 3; n <= 9; ++n) state.SpeciesTable[n].TotalConc = sample.SpeciesTable[n].TotalConc;
    state.PH = sample.PH;
    if (pair != CarbonatePair::BicarbonateCarbonate) state.Alkalinity = sample.Alkalinity;
    if (pair == CarbonatePair::AlkalinityPCO2) state.PCO2 = sample.PCO2;
    if (pair == CarbonatePair::BicarbonateCarbonate) {
      state.SpeciesTable[10].TotalConc = sample.SpeciesTable[10].TotalConc;
      state.SpeciesTable[11].TotalConc = sample.SpeciesTable[11].TotalConc;
    }
    if (temperature > 100.0) state.TemperatureC = 5.0 + 55.0 * static_cast<double>(next) / 4.0;
    SolveSpeciation(state, weights);
    benchmark::DoNotOptimize(state.IonicStrength);
    next = (next + 1) % samples.size();
  }
  const SolverMemo end = state.Memo;
  const double solves = static_cast<double>(end.solves - start.solves);
  bench.counters["samples/s"] =
      benchmark::Counter(static_cast<double>(bench.iterations()), benchmark::Counter::kIsRate);
  bench.counters["outer/sample"] = static_cast<double>(end.outerPasses - start.outerPasses) / solves;
  bench.counters["inner/outer"] = static_cast<double>(end.innerPasses - start.innerPasses) /
                                  static_cast<double>(end.outerPasses - start.outerPasses);
  bench.counters["inner/sample"] = static_cast<double>(end.innerPasses - start.innerPasses) / solves;
}

constexpr auto kSpecified = SpeciationModel::AsSpecified;
constexpr auto kIonAssociation = SpeciationModel::IonAssociation;

BENCHMARK_CAPTURE(RunBatch, AlkalinityPH_Specified, CarbonatePair::AlkalinityPH, kSpecified);
BENCHMARK_CAPTURE(RunBatch, AlkalinityPH_IonAssociation, CarbonatePair::AlkalinityPH, kIonAssociation);
BENCHMARK_CAPTURE(RunBatch, AlkalinityPCO2_Specified, CarbonatePair::AlkalinityPCO2, kSpecified);
BENCHMARK_CAPTURE(RunBatch, AlkalinityPCO2_IonAssociation, CarbonatePair::AlkalinityPCO2, kIonAssociation);
BENCHMARK_CAPTURE(RunBatch, BicarbonateCarbonate_Specified, CarbonatePair::BicarbonateCarbonate, kSpecified);
BENCHMARK_CAPTURE(RunBatch, BicarbonateCarbonate_IonAssociation, CarbonatePair::BicarbonateCarbonate, kIonAssociation);
BENCHMARK_CAPTURE(RunBatch, AlkalinityPH_IonAssociation_15C, CarbonatePair::AlkalinityPH, kIonAssociation, 15.0);
BENCHMARK_CAPTURE(RunBatch, AlkalinityPH_IonAssociation_OwnTemperature, CarbonatePair::AlkalinityPH, kIonAssociation,
                  999.0);

// The reactions on the example waters solved at 15 °C with the ion-association
// model: calcite saturation at the sample's own temperature (one solve) or at
// 10 °C (two), equilibrium with CO2 at 10^-3.4 atm (one). Compare the time per
// reaction with AlkalinityPH_IonAssociation_15C, the speciation of the sample.
void RunReaction(benchmark::State& bench, ReactionConditions conditions) {
  testsupport::FixedWeightedSum weights;
  std::vector<ModelState> solved;
  for (const auto& water : testsupport::Waters()) {
    ModelState s = testsupport::AtTemperature(water, CarbonatePair::AlkalinityPH, 15.0);
    SolveSpeciation(s, weights);
    solved.push_back(s);
  }
  std::size_t next = 0;
  for (auto _ : bench) {
    ComputeReactions(solved[next], conditions, weights);
    benchmark::DoNotOptimize(solved[next].Reactions);
    next = (next + 1) % solved.size();
  }
  bench.counters["reactions/s"] =
      benchmark::Counter(static_cast<double>(bench.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK_CAPTURE(RunReaction, CalciteSaturation_OwnTemperature, ReactionConditions{.calciteSaturation = true});
BENCHMARK_CAPTURE(RunReaction, CalciteSaturation_At10C,
                  ReactionConditions{
                      .calciteSaturation = true, .evaluationTemperatureGiven = true, .evaluationTemperatureC = 10.0});
BENCHMARK_CAPTURE(RunReaction, CO2Equilibrium,
                  ReactionConditions{.equilibriumPCO2Given = true, .equilibriumPCO2 = 3.981071705534972e-4});

} // namespace

BENCHMARK_MAIN();
