#include "tools/publikace/slozka_vydani.h"

#include <filesystem>

#include "common/chyba.h"
#include "platform/nahrady/ini.h"
#include "soubory/cesty.h"

namespace fs = std::filesystem;

namespace zevlon::publikace {

namespace {

[[noreturn]] void JeWeb(const std::string& zdroj, const std::string& co) {
  VyvolatChybu("Složka vydání " + zdroj + " obsahuje " + co +
               ", je to tedy web, ne vydání; nejsou složka vydání a složka webu zaměněny?");
}

}  // namespace

void OveritSlozkuVydani(const std::string& zdroj, const std::string& vydani) {
  if (fs::exists(fs::symlink_status(zdroj + "download.ini"))) JeWeb(zdroj, "download.ini");
  if (!ExistujeSlozka(zdroj + "Setup/") && !ExistujeSlozka(zdroj + "Setup14/"))
    VyvolatChybu("Složka vydání " + zdroj + " neobsahuje složku Setup ani Setup14.");
  // Links are not followed: what they lead to is not published either.
  for (const auto& e : fs::recursive_directory_iterator(zdroj))
    if (e.path().filename() == "master.snapshot.zip")
      JeWeb(zdroj, fs::relative(e.path(), zdroj).string());
  for (const char* setup : {"Setup", "Setup14", "SetupCommon"}) {
    const std::string merko = zdroj + setup + "/Merko/";
    if (!fs::is_directory(fs::symlink_status(merko))) continue;
    const std::string ini = merko + "Merko.ini";
    // A link is not read: it may lead anywhere.
    const std::string uvedene = fs::is_regular_file(fs::symlink_status(ini))
                                    ? ini::CistKlic(ini, "Merko", "Release").value_or("")
                                    : std::string();
    if (uvedene.empty())
      VyvolatChybu("Ve složce vydání chybí " + ini + " s vydáním " + vydani +
                   " ([Merko] Release=" + vydani + ").");
    if (uvedene != vydani)
      VyvolatChybu("Vydání " + vydani + " nesouhlasí s vydáním " + uvedene + " v souboru " + ini +
                   ".");
  }
}

}  // namespace zevlon::publikace
