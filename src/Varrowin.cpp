#include "Varrowin.h"

namespace varrowin {

int RunVarrowin(const std::vector<std::string>& /*args*/, std::ostream& /*out*/,
                std::ostream& err) {
  err << kUsage;
  return 1;
}

}  // namespace varrowin
