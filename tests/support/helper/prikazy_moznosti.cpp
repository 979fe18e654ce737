#include <iostream>

#include "support/falesne_ui.h"
#include "support/helper/platforma_s_programem.h"
#include "support/helper/prikazy.h"
#include "tvare/moznosti.h"

namespace zevlon::test {

TabulkaPrikazu PrikazyMoznosti() {
  return {
      // moznosti <program file> <folder> <frequency or "rucne"> <day> <time>: OK in the
      // options window with the process's own scheduler; prints every message shown,
      // then "ok" when the window may close, else "odmitnuto".
      {"moznosti",
       [](const std::vector<std::string>& a) {
         PlatformaSProgramem p(a.at(0));
         FalesneUi ui;
         ModelMoznosti m;
         m.comProfily.text = a.at(1);
         if (a.at(2) == "rucne") {
           m.ZvolitNeaktualizovat();
         } else {
           m.ZvolitAktualizovat();
           m.ZmenitCetnost(a.at(2));
           m.comDen.text = a.at(3);
           m.comHodiny.text = a.at(4);
         }
         const bool ok = m.Ok();
         for (const auto& z : ui.zpravy)
           std::cout << "zprava: " << z.text << "\n";
         std::cout << (ok ? "ok" : "odmitnuto") << "\n";
       }},
  };
}

}  // namespace zevlon::test
