// Fuzzes the snapshot reader with the input as the snapshot file. A malformed file
// fails with one of the reader's own errors (fewer than three fields 9, a refused
// path the user error, a bad time or size 13, a repeated path 457), logged in the
// error log of the program folder; any other failure is a fault. A file that reads
// holds only safe relative paths, compares equal to itself, and reads back the same
// after the program writes it out again.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "aplikace/instalacni_slozka.h"
#include "common/chyba.h"
#include "common/text.h"
#include "pomucky.h"
#include "soubory/log.h"

namespace {

using namespace zevlon;
using fuzz::Pracoviste;
using fuzz::Ukazat;

bool ChybaCteni(std::int32_t cislo) {
  return cislo == kod::kIndexMimoRozsah || cislo == kChybaUzivatele || cislo == kod::kNeshodaTypu ||
         cislo == kod::kKlicJizExistuje;
}

// A path relative to the folder that stays inside it: not absolute, no empty, "." or
// ".." part, no ":" (a Windows drive) and no NUL.
bool BezpecnaCesta(std::string_view p) {
  if (p.empty() || p.front() == '/' || p.find(':') != std::string_view::npos ||
      p.find('\0') != std::string_view::npos)
    return false;
  for (const std::string& cast : Rozdelit(p, '/'))
    if (cast.empty() || cast == "..") return false;
  return true;
}

SeznamSouboru Nacist(const InstalacniSlozka& slozka, const std::string& soubor,
                     std::string_view obsah) {
  try {
    return slozka.NacistSnapshot(soubor);
  } catch (const Chyba& c) {
    OVERIT(ChybaCteni(c.Cislo()), "nečekaná chyba " + std::to_string(c.Cislo()) + " " +
                                      Ukazat(c.Popis()) + " pro " + Ukazat(obsah));
    auto log = fuzz::Precist(CestaLogu(kChybovyLog));
    OVERIT(log && log->find("\tInstalacniSlozka::NacistSnapshot\t" + std::to_string(c.Cislo()) +
                            "\t") != std::string::npos,
           "chyba nebyla zapsána do " + CestaLogu(kChybovyLog));
    throw;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Pracoviste& p = Pracoviste::Instance();
  p.Vycistit();
  const std::string_view obsah(reinterpret_cast<const char*>(data), size);
  const std::string soubor = p.Cesta("snapshot.txt");
  fuzz::Zapsat(soubor, obsah);

  InstalacniSlozka slozka;
  SeznamSouboru seznam;
  try {
    seznam = Nacist(slozka, soubor, obsah);
  } catch (const Chyba&) {
    p.Vycistit();
    return 0;
  }

  for (const auto& z : seznam) {
    OVERIT(z.hodnota && z.klic == z.hodnota->Cesta, "klíč záznamu není jeho cesta");
    OVERIT(BezpecnaCesta(z.hodnota->Cesta), "přijata cesta " + Ukazat(z.hodnota->Cesta));
  }
  OVERIT(slozka.PorovnatSnapshoty(seznam, seznam).Prazdny(), "snapshot se liší sám od sebe");
  OVERIT(slozka.PorovnatSnapshoty(SeznamSouboru(), seznam).Pocet() == seznam.Pocet(),
         "proti prázdnému snapshotu se liší jiný počet souborů");

  // Written out by the program and read again: the same records in the same order.
  const std::string kopie = p.Cesta("kopie.txt");
  slozka.UlozitSnapshot(kopie, seznam);
  auto zapsano = fuzz::Precist(kopie);
  OVERIT(zapsano, "snapshot nebyl zapsán");
  SeznamSouboru znovu;
  try {
    znovu = slozka.NacistSnapshot(kopie);
  } catch (const Chyba& c) {
    OVERIT(false, "zapsaný snapshot nejde přečíst: " + Ukazat(c.Popis()) + " v " +
                      Ukazat(*zapsano) + " z " + Ukazat(obsah));
  }
  OVERIT(znovu.Pocet() == seznam.Pocet(), "jiný počet záznamů po zápisu: " + Ukazat(*zapsano));
  auto a = seznam.begin();
  for (auto b = znovu.begin(); b != znovu.end(); ++a, ++b) {
    const InstalovanySoubor& x = *a->hodnota;
    const InstalovanySoubor& y = *b->hodnota;
    OVERIT(x.Cesta == y.Cesta && x.Datum == y.Datum && x.Velikost == y.Velikost,
           "záznam " + Ukazat(x.Cesta) + " " + FormatUtc(x.Datum) + " " +
               std::to_string(x.Velikost) + " čte po zápisu " + Ukazat(y.Cesta) + " " +
               FormatUtc(y.Datum) + " " + std::to_string(y.Velikost) + " ze " + Ukazat(*zapsano));
  }

  p.Vycistit();
  return 0;
}
