#include <signal.h>
#include <sys/resource.h>

#include <iostream>
#include <string>

#include "rozhrani/rozhrani.h"
#include "soubory/operace_slozek.h"
#include "soubory/operace_souboru.h"
#include "support/helper/prikazy.h"

namespace zevlon::test {

namespace {

// Prints every question ("otazka <style>\n<text>\n") and answers No, so that a test
// sees exactly what a user would have been asked before the operation gave up.
class VypisujiciUi : public TicheRozhrani {
 public:
  VypisujiciUi() { NastavitUi(this); }
  ~VypisujiciUi() override { NastavitUi(nullptr); }
  int Zprava(const std::string& text, int styl, const std::string&) override {
    std::cout << "otazka " << styl << "\n" << text << "\n";
    return mb::kIdNe;
  }
};

// Runs one operation with retry questions allowed; prints "ok" when it returns.
Prikaz SOtazkami(void (*operace)(const std::vector<std::string>&)) {
  return [operace](const std::vector<std::string>& a) {
    VypisujiciUi ui;
    operace(a);
    std::cout << "ok\n";
  };
}

}  // namespace

TabulkaPrikazu PrikazyOperaci() {
  return {
      // smazat-soubor <file or pattern>
      {"smazat-soubor", SOtazkami([](const auto& a) { SmazatSoubor(a.at(0), true); })},
      // vytvorit-slozku <folder>
      {"vytvorit-slozku", SOtazkami([](const auto& a) { VytvoritSlozku(a.at(0), true); })},
      // kopirovat-soubor <source> <target> [largest file size in bytes the process may write]
      {"kopirovat-soubor", SOtazkami([](const auto& a) {
         if (a.size() > 2) {
           ::signal(SIGXFSZ, SIG_IGN);
           rlim_t mez = std::stoull(a.at(2));
           struct rlimit r {
             mez, mez
           };
           ::setrlimit(RLIMIT_FSIZE, &r);
         }
         KopirovatSoubor(a.at(0), a.at(1), true);
       })},
      // kopirovat-slozku <source> <target>
      {"kopirovat-slozku", SOtazkami([](const auto& a) { KopirovatSlozku(a.at(0), a.at(1)); })},
      // smazat-slozku <folder>
      {"smazat-slozku", SOtazkami([](const auto& a) { SmazatSlozku(a.at(0), true); })},
      // prejmenovat-slozku <source> <target>
      {"prejmenovat-slozku", SOtazkami([](const auto& a) { PrejmenovatSlozku(a.at(0), a.at(1)); })},
  };
}

}  // namespace zevlon::test
