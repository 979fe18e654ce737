// Fuzzes the application manifest reader with the input as the manifest file. "@TAJNE@"
// in the input stands for the full path of a secret file beside it, so that inputs
// can name it in a DOCTYPE: its text (new for every input) must never show up in the document (no
// external entity is resolved). The update server comes out with exactly the seven attributes of
// "UpdateOnLine", or fails with the platform's errors (missing element 91, attribute 94, a port
// that is no number 13 or too large 6); the file is read once.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <string_view>

#include "common/chyba.h"
#include "common/text.h"
#include "pomucky.h"
#include "server/manifest.h"

namespace {

using namespace zevlon;
using fuzz::Pracoviste;
using fuzz::Ukazat;

constexpr std::size_t kNejviceUzlu = 4096;

// The secret file's text, new for every input so that no input can hold it.
std::string NoveTajemstvi() {
  static std::random_device nahoda;
  return "ZEVLON-" + std::to_string(nahoda()) + "-" + std::to_string(nahoda());
}

// No node or attribute of the document holds the secret.
void OveritBezTajemstvi(pugi::xml_node koren, std::string_view tajemstvi) {
  std::size_t uzlu = 0;
  auto obsahuje = [&](const char* s) {
    return std::string_view(s).find(tajemstvi) != std::string_view::npos;
  };
  for (pugi::xml_node n = koren; n && uzlu < kNejviceUzlu; ++uzlu) {
    OVERIT(!obsahuje(n.name()) && !obsahuje(n.value()),
           "dokument obsahuje text tajného souboru: " + Ukazat(n.value()));
    for (pugi::xml_attribute a : n.attributes())
      OVERIT(!obsahuje(a.name()) && !obsahuje(a.value()),
             "atribut obsahuje text tajného souboru: " + Ukazat(a.value()));
    // Depth first, without recursion.
    if (n.first_child()) {
      n = n.first_child();
      continue;
    }
    while (n && !n.next_sibling() && n != koren)
      n = n.parent();
    if (!n || n == koren) break;
    n = n.next_sibling();
  }
}

bool ChybaManifestu(std::int32_t cislo) {
  return cislo == kod::kObjektNenastaven || cislo == kod::kNeplatnePouzitiNull ||
         cislo == kod::kNeshodaTypu || cislo == kod::kPreteceni;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Pracoviste& p = Pracoviste::Instance();
  p.Vycistit();
  const std::string tajny = p.Cesta("tajne.txt");
  const std::string tajemstvi = NoveTajemstvi();
  fuzz::Zapsat(tajny, tajemstvi);
  const std::string obsah =
      NahraditVse(std::string_view(reinterpret_cast<const char*>(data), size), "@TAJNE@", tajny);
  const std::string soubor = p.Cesta("a.manifest.xml");
  fuzz::Zapsat(soubor, obsah);

  Manifest m(soubor);
  pugi::xml_node dat = m.ElementDat();
  pugi::xml_node aktualizace = m.ElementAktualizace();
  OVERIT(!dat || std::string_view(dat.name()) == "merkoData",
         "ElementDat je " + Ukazat(dat.name()));
  OVERIT(!aktualizace || std::string_view(aktualizace.name()) == "UpdateOnLine",
         "ElementAktualizace je " + Ukazat(aktualizace.name()));
  OVERIT(!dat || dat.parent().parent() == dat.root(), "merkoData není pod kořenem");
  if (dat) OveritBezTajemstvi(dat.root(), tajemstvi);
  if (aktualizace) OveritBezTajemstvi(aktualizace.root(), tajemstvi);

  std::unique_ptr<UpdateServer> u;
  try {
    u = m.UpdateServer();
  } catch (const Chyba& c) {
    OVERIT(ChybaManifestu(c.Cislo()), "nečekaná chyba " + std::to_string(c.Cislo()) + " " +
                                          Ukazat(c.Popis()) + " pro " + Ukazat(obsah));
    OVERIT(c.Cislo() != kod::kObjektNenastaven || !aktualizace,
           "chyba 91, a přitom UpdateOnLine je");
  }
  if (u) {
    OVERIT(aktualizace, "server bez prvku UpdateOnLine");
    auto atribut = [&](const char* jmeno) {
      return std::string(aktualizace.attribute(jmeno).as_string());
    };
    OVERIT(u->protocol == atribut("protocol") && u->server == atribut("server") &&
               u->user == atribut("user") && u->password == atribut("password") &&
               u->remoteLocation == atribut("remoteLocation") && u->snapshot == atribut("snapshot"),
           "server se liší od atributů UpdateOnLine");
    // The port: an optional minus and decimal digits, blanks around them.
    const std::string port(Orezat(atribut("port"), " \t"));
    const std::size_t cislice = port.starts_with('-') ? 1 : 0;
    OVERIT(port.size() > cislice &&
               port.find_first_not_of("0123456789", cislice) == std::string::npos &&
               std::stoll(port) == u->Port,
           "port " + std::to_string(u->Port) + " z " + Ukazat(atribut("port")));
  }

  // Read once: without the file the elements are still the ones read.
  std::remove(soubor.c_str());
  OVERIT(m.ElementDat() == dat && m.ElementAktualizace() == aktualizace, "manifest byl čten znovu");

  p.Vycistit();
  return 0;
}
