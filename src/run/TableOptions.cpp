#include "run/TableOptions.h"

#include <string>

#include "common/Words.h"
#include "run/TableError.h"

namespace vontralek {

SpeciationModel ParseModel(std::string_view text) {
  if (SameLetters(text, "specified") || SameLetters(text, "as specified")) return SpeciationModel::AsSpecified;
  if (SameLetters(text, "ion-association") || SameLetters(text, "ion association"))
    return SpeciationModel::IonAssociation;
  throw TableError("Unknown speciation model \"" + std::string(text) +
                   "\": use \"specified\" (the procedure as specified, the default) or \"ion-association\".");
}

std::string_view ModelText(SpeciationModel model) {
  return model == SpeciationModel::IonAssociation ? "ion-association" : "specified";
}

} // namespace vontralek
