// What the whole runs of the real Zevlon share: a program folder of its own in the
// sandbox, with its options and the registry that names the profile, the publisher of
// the site, and the preloaded interventions.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/neprivilegovany.h"
#include "support/sandbox.h"

namespace zevlon::test {

using Cesty = std::vector<std::string>;

// Zevlon.ini for the site `web` and the profile, with further [Server] lines; a run as
// root accepts only options that others cannot change.
inline void ZapsatVolby(const Sandbox& s, const std::string& web, const std::string& profil,
                        const std::string& dalsi = "") {
  ::chmod(s.Zapsat("program/Zevlon.ini", "[Server]\r\nAdresa=" + web + "\r\n" + dalsi +
                                             "[Nastaveni]\r\nSlozkaDat=" + profil + "\r\n")
              .c_str(),
          0644);
}

// The program folder with Zevlon and its options, with the modes a run as root requires
// whatever the umask, and the registry naming the suite's folder whose Merko.ini names
// the profile "Firma".
inline void PripravitProgram(const Sandbox& s, const std::string& web, const std::string& profil) {
  s.Zapsat("registry.reg",
           "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dunmor\\Merko\\12.0\\Aplikace]\r\n"
           "\"Slozka_Merka\"=\"" +
               (s / "merko/") + "\"\r\n");
  s.Zapsat("merko/Merko.ini", "[Profily]\r\nFirma=" + profil + "\r\n");
  ZapsatVolby(s, web, profil);
  std::filesystem::copy_file(ZEVLON_PROGRAM, s / "program/Zevlon");
  for (const char* cesta : {"program", "program/Zevlon"})
    ::chmod((s / cesta).c_str(), 0755);
}

// Publishes the release in "vydani" onto the site's folder "www/aktualizace-online".
inline void Publikovat(const Sandbox& s, const std::string& web, const std::string& vydani,
                       const Cesty& dalsi = {}) {
  Cesty a{ZEVLON_PUBLIKOVAT, "vydat", "--vydani", vydani, "--adresa", web};
  a.insert(a.end(), dalsi.begin(), dalsi.end());
  a.insert(a.end(), {s / "vydani", s / "www/aktualizace-online"});
  auto v = Spustit(a);
  ASSERT_EQ(v.kod, 0) << v.vystup;
}

// The environment that preloads the interventions (see the preload library) into Zevlon.
inline Cesty PrednacteneZasahy() {
  EXPECT_TRUE(Existuje(ZEVLON_ZASAHY));         // the loader would pass over it in silence
  const char* a = std::getenv("ASAN_OPTIONS");  // the sanitizer runtime is not preloaded first
  return {std::string("LD_PRELOAD=") + ZEVLON_ZASAHY,
          "ASAN_OPTIONS=" + std::string(a ? a : "") + ":verify_asan_link_order=0"};
}

// A log of the program folder, or "" when there is none.
inline std::string LogProgramu(const Sandbox& s, const std::string& jmeno = "online_errors.log") {
  return Existuje(s / ("program/" + jmeno)) ? s.Cist("program/" + jmeno) : "";
}

}  // namespace zevlon::test
