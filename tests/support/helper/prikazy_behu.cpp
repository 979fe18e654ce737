#include <linux/keyctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <iostream>
#include <string>

#include "aplikace/instalacni_slozka.h"
#include "platform/nahrady/ini.h"
#include "platform/soubory/soubor.h"
#include "soubory/log.h"
#include "soubory/pravo.h"
#include "support/helper/platforma_s_programem.h"
#include "support/helper/prikazy.h"

namespace zevlon::test {

TabulkaPrikazu PrikazyBehu() {
  return {
      // sken <root/>: prints the relative paths of all files found.
      {"sken",
       [](const std::vector<std::string>& a) {
         PlatformaSProgramem p("/nonexistent/Zevlon");
         InstalacniSlozka sl;
         sl.NacistObsahSlozky(a.at(0));
         for (const auto& z : *sl.DejObsahSlozky(VsechnySoubory))
           std::cout << z.klic << "\n";
       }},
      // pravo <folder/>: prints 1 when the user may update the folder.
      {"pravo",
       [](const std::vector<std::string>& a) {
         std::cout << MaPravoAktualizovat(a.at(0)) << "\n";
       }},
      // uzivatel: prints the user name as the run sees it.
      {"uzivatel", [](const std::vector<std::string>&) { std::cout << JmenoUzivatele() << "\n"; }},
      // zaloguj <program file> <number> <description> <source>
      {"zaloguj",
       [](const std::vector<std::string>& a) {
         PlatformaSProgramem p(a.at(0));
         ZalogovatChybu(std::stoi(a.at(1)), a.at(2), a.at(3));
       }},
      // inizapis <file> <section> <key> <value>: prints 1 when written.
      {"inizapis",
       [](const std::vector<std::string>& a) {
         std::cout << ini::ZapsatKlic(a.at(0), a.at(1), a.at(2), a.at(3)) << "\n";
       }},
      // klicenka: writes to descriptor 3 its session keyring (or -errno) and its core limits.
      {"klicenka",
       [](const std::vector<std::string>&) {
         const long k = ::syscall(SYS_keyctl, KEYCTL_GET_KEYRING_ID, KEY_SPEC_SESSION_KEYRING, 0);
         struct rlimit r {};
         ::getrlimit(RLIMIT_CORE, &r);
         const std::string o = std::to_string(k < 0 ? -errno : k) + " " +
                               std::to_string(r.rlim_cur) + " " + std::to_string(r.rlim_max);
         Nepovinne(static_cast<int>(::write(3, o.data(), o.size())));
       }},
  };
}

}  // namespace zevlon::test
