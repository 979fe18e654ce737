#include "common/chyba.h"

#include <new>
#include <system_error>

namespace zevlon {

void VyvolatChybu(std::string popis, std::string zdroj) {
  throw Chyba(kChybaUzivatele, std::move(popis), std::move(zdroj));
}

void VyvolatZruseni() {
  throw Chyba(kChybaZruseno, kTextZruseno);
}

void ZnovuVyvolat(const Chyba& chyba, std::string zdroj) {
  throw Chyba(chyba.Cislo(), chyba.Popis(), std::move(zdroj));
}

Chyba JakoChyba(const std::exception& e) {
  if (auto* c = dynamic_cast<const Chyba*>(&e)) return *c;
  if (dynamic_cast<const std::bad_alloc*>(&e)) return Chyba(7, "Nedostatek paměti");
  if (auto* s = dynamic_cast<const std::system_error*>(&e))
    return Chyba(s->code().value(), s->what());
  return Chyba(kChybaUzivatele, e.what());
}

}  // namespace zevlon
