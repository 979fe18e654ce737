#include "rozhrani/stav.h"

namespace zevlon {

bool RezimSystem = false;
std::string AktualniPolozka;
std::vector<std::string> DocasneSlozky;
Etapa EtapaPrubehu;

}  // namespace zevlon
