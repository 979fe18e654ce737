#include "rozhrani/rozhrani.h"

namespace zevlon {

namespace {
TicheRozhrani tiche;
Rozhrani* aktivni = &tiche;
}  // namespace

Rozhrani& Ui() {
  return *aktivni;
}

void NastavitUi(Rozhrani* ui) {
  aktivni = ui ? ui : &tiche;
}

}  // namespace zevlon
