#include "run/TableParameters.h"

#include <openssl/evp.h>

#include <cstring>
#include <exception>
#include <memory>
#include <sstream>
#include <vector>

#include <fmt/format.h>

#include "layout/ParameterLoading.h"
#include "run/DefaultParameters.h"
#include "run/TableError.h"
#include "speciation/Speciation.h"
#include "workbook/Workbook.h"

namespace vontralek {

namespace {

// SHA-256 of the parameters as IEEE doubles (little-endian bytes): log K of
// rows 1..30, then charge and weight of species 1..11, then of complexes 1..24.
std::string ParameterDigest(const ModelState& state) {
  std::vector<double> values;
  for (int i = 1; i <= 30; ++i) values.push_back(state.ConstantTable[i].LogK);
  for (int i = 1; i <= 11; ++i)
    values.insert(values.end(), {state.SpeciesTable[i].Charge, state.SpeciesTable[i].SumWeight});
  for (int i = 1; i <= 24; ++i)
    values.insert(values.end(), {state.ComplexTable[i].Charge, state.ComplexTable[i].SumWeight});
  std::vector<unsigned char> bytes;
  for (double v : values) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    for (int b = 0; b < 8; ++b) bytes.push_back(static_cast<unsigned char>(bits >> (8 * b)));
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr) != 1)
    throw TableError("The SHA-256 of the constants could not be computed (OpenSSL).");
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) hex += fmt::format("{:02x}", digest[i]);
  return hex;
}

} // namespace

TableParameters LoadTableParameters(const std::optional<std::filesystem::path>& constants) {
  TableParameters parameters;
  ModelState& start = parameters.start;
  ComputeMachineEpsilon(start);
  start.SheetMode = DataSheet::Batch;
  if (constants) {
    try {
      const std::unique_ptr<workbook::Workbook> book = workbook::OpenWorkbook(*constants);
      LoadParameterTables(start, *book);
      LoadWeightedSumParameters(start, *book);
      parameters.temperatureData = LoadTemperatureTable(start, *book);
    } catch (const std::exception& error) {
      throw TableError(
          "The constants of " + constants->string() +
          " (log K on worksheet 3, charges and weights on worksheet 4) could not be loaded: " + error.what());
    }
    parameters.constantsSource = constants->string();
  } else {
    LoadDefaultParameters(start);
    LoadDefaultTemperatureData(start);
    parameters.temperatureData = true;
    parameters.constantsSource = "shipped defaults";
  }
  std::istringstream masses(
#include "MolarMassesText.inc"
  );
  parameters.masses = labdata::LoadMolarMasses(masses, "the shipped molar masses");
  parameters.digest = ParameterDigest(start);
  return parameters;
}

} // namespace vontralek
