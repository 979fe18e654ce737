#include "server/manifest.h"

#include <charconv>
#include <climits>

#include "aplikace/instalacni_slozka.h"
#include "common/chyba.h"
#include "common/text.h"
#include "soubory/log.h"

namespace zevlon {

namespace {

std::string Atribut(const pugi::xml_node& e, const char* jmeno) {
  pugi::xml_attribute a = e.attribute(jmeno);
  if (!a) throw Chyba(kod::kNeplatnePouzitiNull, "Neplatné použití hodnoty Null");
  return a.as_string();
}

std::int32_t CeleCislo(const std::string& text) {
  std::string_view t = Orezat(text, " \t");
  std::int64_t v = 0;
  auto [konec, chyba] = std::from_chars(t.data(), t.data() + t.size(), v);
  if (t.empty() || chyba == std::errc::invalid_argument || konec != t.data() + t.size())
    throw Chyba(kod::kNeshodaTypu, "Nekompatibilní typ");
  if (chyba == std::errc::result_out_of_range || v < INT32_MIN || v > INT32_MAX)
    throw Chyba(kod::kPreteceni, "Přetečení");
  return static_cast<std::int32_t>(v);
}

}  // namespace

void Manifest::NacistDokument() {
  if (nacteno_) return;
  nacteno_ = true;
  if (!dokument_.load_file(cesta_.c_str(), pugi::parse_default)) dokument_.reset();
}

pugi::xml_node Manifest::ElementDat() {
  NacistDokument();
  return dokument_.document_element().child("merkoData");
}

pugi::xml_node Manifest::ElementAktualizace() {
  NacistDokument();
  return dokument_.document_element().child("UpdateOnLine");
}

std::unique_ptr<zevlon::UpdateServer> Manifest::UpdateServer() {
  pugi::xml_node e = ElementAktualizace();
  if (!e) throw Chyba(kod::kObjektNenastaven, "Proměnná objektu nebo bloku With není nastavena.");
  auto u = std::make_unique<zevlon::UpdateServer>();
  u->protocol = Atribut(e, "protocol");
  u->server = Atribut(e, "server");
  u->Port = CeleCislo(Atribut(e, "port"));
  u->user = Atribut(e, "user");
  u->password = Atribut(e, "password");
  u->remoteLocation = Atribut(e, "remoteLocation");
  u->snapshot = Atribut(e, "snapshot");
  return u;
}

std::unique_ptr<Manifest> InstalacniSlozka::VytvoritManifestZeSouboru(
    const InstalovanySoubor& S) const {
  return SLogovanim("InstalacniSlozka::NacistManifest",
                    [&] { return std::make_unique<Manifest>(Koren() + S.Cesta); });
}

}  // namespace zevlon
