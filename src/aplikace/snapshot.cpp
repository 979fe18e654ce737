// Snapshot files of an installation folder: reading, writing and comparing them with
// a scanned folder.
#include <sys/stat.h>

#include <charconv>

#include "aplikace/instalacni_slozka.h"
#include "common/kodovani.h"
#include "common/text.h"
#include "platform/soubory/soubor.h"
#include "rozhrani/pomucky.h"
#include "soubory/cesty.h"
#include "soubory/log.h"
#include "soubory/operace_souboru.h"

namespace zevlon {

namespace {

[[noreturn]] void ChybnyRadek(std::int32_t cislo, const std::string& soubor, std::size_t radek,
                              const std::string& co) {
  throw Chyba(cislo, "Soubor " + soubor + " obsahuje na řádku " + std::to_string(radek) + " " + co);
}

std::optional<std::int64_t> CistVelikost(std::string_view text) {
  text = Orezat(text, " \t");
  std::int64_t v = 0;
  auto [konec, chyba] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (chyba != std::errc() || konec != text.data() + text.size() || text.empty())
    return std::nullopt;
  return v;
}

}  // namespace

std::string BajtySnapshotu(const std::string& text) {
  // Windows peers read the code page. The file stays UTF-8 when a path does not fit it
  // or when the code-page bytes would read back as other text: as UTF-8 ("ČŠ"), or
  // with a leading "ď»ż" taken for a byte order mark. UTF-8 text that begins with
  // U+FEFF gets a byte order mark of its own, for the reader to drop instead.
  constexpr std::string_view kBom = "\xEF\xBB\xBF";
  std::optional<std::string> kodovany = Do1250(text);
  if (kodovany && (*kodovany == text || (!JePlatneUtf8(*kodovany) && !kodovany->starts_with(kBom))))
    return std::move(*kodovany);
  return (text.starts_with(kBom) ? std::string(kBom) : std::string()) + text;
}

SeznamSouboru InstalacniSlozka::NacistSnapshot(const std::string& CestaSnapshotu) const {
  return SLogovanim("InstalacniSlozka::NacistSnapshot", [&] {
    SeznamSouboru seznam;
    // A snapshot beyond any real installation is refused before it is read.
    struct stat st {};
    if (::stat(CestaSnapshotu.c_str(), &st) == 0 && st.st_size > kMaxVelikostSnapshotu)
      VyvolatChybu("Soubor " + CestaSnapshotu + " je větší než povolených " +
                   std::to_string(kMaxVelikostSnapshotu) + " bajtů.");
    auto bajty = NacistSoubor(CestaSnapshotu);
    if (!bajty) return seznam;
    const std::string text = Dekodovat(*bajty).text;

    std::size_t cisloRadku = 0;
    for (std::size_t pos = 0; pos < text.size();) {
      std::size_t lf = text.find('\n', pos);
      std::string_view radek(text.data() + pos, (lf == std::string::npos ? text.size() : lf) - pos);
      pos = lf == std::string::npos ? text.size() : lf + 1;
      ++cisloRadku;
      if (!radek.empty() && radek.back() == '\r') radek.remove_suffix(1);

      // Path, time, size and, on signed sites, the content's SHA-256; anything after that
      // is left to other readers.
      std::string_view pole[4];
      std::size_t pocet = 0, zacatek = 0;
      while (pocet < 4) {
        std::size_t tab = radek.find('\t', zacatek);
        pole[pocet++] =
            radek.substr(zacatek, tab == std::string_view::npos ? radek.npos : tab - zacatek);
        if (tab == std::string_view::npos) break;
        zacatek = tab + 1;
      }
      if (pocet < 3)
        ChybnyRadek(kod::kIndexMimoRozsah, CestaSnapshotu, cisloRadku, "méně než tři údaje.");

      auto z = std::make_shared<InstalovanySoubor>();
      z->Cesta = ZDratoveCesty(pole[0]);
      if (!JeBezpecnaRelativniCesta(z->Cesta))
        ChybnyRadek(kChybaUzivatele, CestaSnapshotu, cisloRadku,
                    "nepřípustnou cestu " + std::string(pole[0]) + ".");
      auto datum = ParsovatUtc(pole[1]);
      if (!datum)
        ChybnyRadek(kod::kNeshodaTypu, CestaSnapshotu, cisloRadku,
                    "neplatné datum " + std::string(pole[1]) + ".");
      auto velikost = CistVelikost(pole[2]);
      if (!velikost)
        ChybnyRadek(kod::kNeshodaTypu, CestaSnapshotu, cisloRadku,
                    "neplatnou velikost " + std::string(pole[2]) + ".");
      z->Datum = *datum;
      z->Velikost = *velikost;
      if (pocet == 4) z->Sha256 = Orezat(pole[3], " \t");
      seznam.Pridat(z->Cesta, z);
    }
    return seznam;
  });
}

void InstalacniSlozka::UlozitSnapshot(const std::string& CestaSnapshotu,
                                      const SeznamSouboru& snapshot) const {
  SLogovanim("InstalacniSlozka::UlozitSnapshot", [&] {
    if (!CestaSnapshotu.empty() && ExistujeSoubor(CestaSnapshotu))
      SmazatSoubor(CestaSnapshotu, false);

    std::string text;
    text.reserve(snapshot.Pocet() * 64);
    for (const auto& p : snapshot) {
      const InstalovanySoubor& z = *p.hodnota;
      text += NaDratovouCestu(z.Cesta);
      text += '\t';
      text += FormatUtc(z.Datum);
      text += '\t';
      text += std::to_string(z.Velikost);
      text += '\t';
      text += z.Sha256;
      text += "\r\n";
    }
    const std::string bajty = BajtySnapshotu(text);
    if (int e = ZapsatSouborAtomicky(CestaSnapshotu, bajty)) {
      try {
        ZalogovatChybu(e, "Nelze vytvořit soubor " + CestaSnapshotu + ".",
                       "InstalacniSlozka::UlozitSnapshot");
      } catch (const Chyba&) {
        // Logged; the caller is not told.
      }
    }
  });
}

void InstalacniSlozka::UlozitSeznam(const char* navesti, std::int32_t typ,
                                    const std::string& cesta) const {
  SLogovanim(std::string("InstalacniSlozka::") + navesti, [&] {
    auto seznam = DejObsahSlozky(typ);
    UlozitSnapshot(cesta, *seznam);
  });
}

void InstalacniSlozka::UlozitJadroSystemuJakoSnapshot(const std::string& CestaSnapshotu) const {
  UlozitSeznam("UlozitJadroSystemuJakoSnapshot", JadroSystemu, CestaSnapshotu);
}

void InstalacniSlozka::UlozitNormalniSouboryJakoSnapshot(const std::string& CestaSnapshotu) const {
  UlozitSeznam("UlozitNormalniSouboryJakoSnapshot", NormalniSoubory, CestaSnapshotu);
}

void InstalacniSlozka::UlozitManifestyJakoSnapshot(const std::string& CestaSnapshotu) const {
  UlozitSeznam("UlozitManifestyJakoSnapshot", Manifesty, CestaSnapshotu);
}

void InstalacniSlozka::UlozitVzoroveDatabazeJakoSnapshot(const std::string& CestaSnapshotu) const {
  UlozitSeznam("UlozitVzoroveDatabazeJakoSnapshot", VzoroveDatabaze, CestaSnapshotu);
}

SeznamSouboru InstalacniSlozka::PorovnatSnapshoty(const SeznamSouboru& snapshot,
                                                  const SeznamSouboru& zastupceSouboru) const {
  return SLogovanim("InstalacniSlozka::PorovnatSnapshoty", [&] {
    // Each file's copy, unless the snapshot holds it with an equal time and size.
    SeznamSouboru vysledek;
    for (const auto& p : zastupceSouboru) {
      const InstalovanySoubor& r = *p.hodnota;
      auto s = snapshot.NajitSlozeny(p.Slozeny());
      if (s && StejnyCas(s->Datum, r.Datum) && s->Velikost == r.Velikost) continue;
      vysledek.PridatSlozeny(p.klic, p.Slozeny(), r.Clone());
    }
    return vysledek;
  });
}

SeznamSouboru InstalacniSlozka::PorovnatSnapshot(const SeznamSouboru& snapshot,
                                                 std::int32_t typ) const {
  return SLogovanim("InstalacniSlozka::PorovnatSnapshot", [&] {
    auto seznam = DejObsahSlozky(typ);
    if (!seznam)
      throw Chyba(kod::kObjektNenastaven, "Proměnná objektu nebo bloku With není nastavena.");
    return PorovnatSnapshoty(snapshot, *seznam);
  });
}

}  // namespace zevlon
