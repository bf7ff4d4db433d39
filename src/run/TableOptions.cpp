#include "run/TableOptions.h"

#include <string>

#include "common/Words.h"
#include "run/TableError.h"

namespace vontralek {

SpeciationModel ParseModel(std::string_view text) {
  if (SameWord(text, "as specified") || SameWord(text, "specified")) return SpeciationModel::AsSpecified;
  if (SameWord(text, "ion association")) return SpeciationModel::IonAssociation;
  throw TableError("Unknown speciation model \"" + std::string(text) +
                   "\": use \"ion association\" (the default) or \"as specified\" (the procedure as specified).");
}

std::string_view ModelText(SpeciationModel model) {
  return model == SpeciationModel::IonAssociation ? "ion association" : "as specified";
}

} // namespace vontralek
