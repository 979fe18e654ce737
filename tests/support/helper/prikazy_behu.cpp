#include "support/helper/prikazy.h"

namespace zevlon::test {

TabulkaPrikazu PrikazyBehu() {
  return {};
}

}  // namespace zevlon::test
