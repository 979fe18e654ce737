#include "support/helper/prikazy.h"

namespace zevlon::test {

TabulkaPrikazu PrikazyOperaci() {
  return {};
}

}  // namespace zevlon::test
