#include "tvare/moznosti.h"

#include <charconv>
#include <cstdio>
#include <optional>

#include "beh/nastaveni_prenosu.h"
#include "beh/profily.h"
#include "common/adresa.h"
#include "common/chyba.h"
#include "common/text.h"
#include "platform/nahrady/ini.h"
#include "platform/nahrady/platforma.h"
#include "platform/soubory/soukromy_temp.h"
#include "prenos/stahovani/zrcadlo.h"
#include "rozhrani/pomucky.h"
#include "rozhrani/prubeh.h"
#include "soubory/pravo.h"
#include "soubory/volby.h"

namespace zevlon {

namespace {

constexpr const char* kNastaveni = "Nastaveni";
constexpr const char* kUloha = "Uloha";
constexpr const char* kServer = "Server";
constexpr const char* kChybiSekce =
    "Program se pokouší přistupovat k INI souboru bez uvedení sekce. Nový formát INI souboru "
    "však zadání sekce vyžaduje. Prosím obraťte se na dodavatele se žádostí o aktualizaci.";

[[noreturn]] void NelzeZapsat(const std::string& soubor) {
  VyvolatChybu("Nelze zapsat do souboru " + soubor + " .\r\n" +
               "Zkontrolujte cestu a oprávnění pro zápis do tohoto souboru.");
}

// The window's own INI writers: they raise instead of asking to retry.
void ZapsatKlic(const std::string& soubor, const std::string& sekce, const std::string& klic,
                const std::string& hodnota) {
  if (sekce.empty()) VyvolatChybu(kChybiSekce);
  if (!ini::ZapsatKlic(soubor, sekce, klic, hodnota)) NelzeZapsat(soubor);
}

// Removes the section and writes it again, empty.
void VyprazdnitSekci(const std::string& soubor, const std::string& sekce) {
  if (sekce.empty()) VyvolatChybu(kChybiSekce);
  if (!ini::SmazatSekci(soubor, sekce) || !ini::ZapsatSekci(soubor, sekce, {})) NelzeZapsat(soubor);
}

std::optional<int> CeleCislo(std::string_view text) {
  text = Orezat(text, " \t");
  int n = 0;
  auto [konec, chyba] = std::from_chars(text.data(), text.data() + text.size(), n);
  if (text.empty() || chyba != std::errc() || konec != text.data() + text.size())
    return std::nullopt;
  return n;
}

std::vector<std::string> DnyMesice() {
  std::vector<std::string> dny;
  for (int d = 1; d <= 28; ++d)
    dny.push_back(std::to_string(d) + ".");
  return dny;
}

// The leading digits of a stored job number, as a number (0 when there are none).
std::uint32_t CisloUlohy(const std::string& text) {
  std::string_view t = Orezat(text, " \t");
  std::uint32_t n = 0;
  std::from_chars(t.data(), t.data() + t.size(), n);
  return n;
}

bool ZTempu() {
  try {
    return StejnyText(SlozkaProgramu() + "/", SlozkaTempBehu() + "/");
  } catch (const std::exception&) {
    return false;  // no private temp folder: this program cannot be the copy in it
  }
}

}  // namespace

ZaznamUlohy SestavitZaznamUlohy(const std::string& cas, const std::string& cetnost,
                                const std::string& den) {
  ZaznamUlohy z;
  if (!JeCasDne(cas)) throw Chyba(kod::kNeshodaTypu, "Nekompatibilní typ (" + cas + ")");
  auto [hodina, minuta] = *PrecistCas(cas);
  z.JobTime = static_cast<std::uint32_t>((hodina * 3600 + minuta * 60) * 1000);

  if (StejnyText(cetnost, kCetnostMesicne)) {
    std::string_view d = Orezat(den, " \t");
    if (!d.empty() && d.back() == '.') d.remove_suffix(1);
    auto cislo = CeleCislo(d);
    if (!cislo) throw Chyba(kod::kNeshodaTypu, "Nekompatibilní typ (" + den + ")");
    if (*cislo < 1 || *cislo > 31) throw Chyba(kod::kPreteceni, "Přetečení");
    z.DaysOfMonth = 1u << (*cislo - 1);
  }
  // A frequency the schedule does not know makes no job (it would run once and be gone).
  if (!StejnyText(cetnost, kCetnostDenne) && !StejnyText(cetnost, kCetnostTydne) &&
      !StejnyText(cetnost, kCetnostMesicne))
    throw Chyba(kod::kNeshodaTypu, "Nekompatibilní typ (" + cetnost + ")");
  if (StejnyText(cetnost, kCetnostDenne)) {
    z.DaysOfWeek = 0x7F;
  } else if (StejnyText(cetnost, kCetnostTydne)) {
    std::optional<int> cislo;
    for (std::size_t i = 0; i < kDnyTydne.size(); ++i)
      if (StejnyText(Orezat(den, " \t"), kDnyTydne[i])) cislo = static_cast<int>(i);
    if (!cislo) cislo = CeleCislo(den);
    if (!cislo) throw Chyba(kod::kNeshodaTypu, "Nekompatibilní typ (" + den + ")");
    if (*cislo < 0 || *cislo > 6) throw Chyba(kod::kPreteceni, "Přetečení");
    z.DaysOfWeek = static_cast<std::uint8_t>(1u << *cislo);
  }
  // Periodic: the job comes back on every chosen day instead of running once.
  z.Flags = kUlohaOpakovana | kUlohaNeinteraktivni;
  // The run starts after a random delay of its own, so that many machines with one
  // schedule spread over the time.
  z.Command = "\"" + platforma().CestaProgramu() + "\"";
  if (const int minut = NahodneZpozdeni(); minut > 0)
    z.Command += " " + std::string(kVolbaZpozdeni) + " " + std::to_string(minut);
  return z;
}

ModelMoznosti::ModelMoznosti() {
  comMoznosti.polozky = {kCetnostDenne, kCetnostTydne, kCetnostMesicne};
  comMoznosti.text = kCetnostMesicne;
  for (int h = 0; h <= 24; ++h) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d:00", h);
    comHodiny.polozky.push_back(buf);
  }
  Nacist();
}

std::array<std::pair<const char*, std::string*>, 3> ModelMoznosti::PoleServeru() {
  return {{{kKlicZrcadla, &txtZrcadlo}, {kKlicProxy, &txtProxy}, {kKlicBezProxy, &txtBezProxy}}};
}

void ModelMoznosti::Nacist() {
  const std::string soubor = CestaVolebIni();
  if (ExistujeSoubor(soubor)) {
    comProfily.text = CistIni(soubor, kNastaveni, "SlozkaDat");
    for (auto [klic, pole] : PoleServeru())
      *pole = CistIni(soubor, kServer, klic);
    std::string cas = CistIni(soubor, kNastaveni, "Cas");
    std::string cetnost = CistIni(soubor, kNastaveni, "Cetnost");
    std::string den = CistIni(soubor, kNastaveni, "Den");
    const bool znama = StejnyText(cetnost, kCetnostDenne) || StejnyText(cetnost, kCetnostTydne) ||
                       StejnyText(cetnost, kCetnostMesicne);
    if (!cetnost.empty() && !znama) {
      // Named, and offered for a choice: never kept as it stands.
      ZobrazZpravu("Soubor voleb " + soubor + " uvádí neznámou četnost " + cetnost +
                       " (klíč Cetnost v sekci [Nastaveni]). Zvolte četnost Denně, Týdně nebo "
                       "Měsíčně.",
                   mb::kVykricnik, kTitulekMoznosti);
      cetnost = kCetnostMesicne;
      den.clear();
    }
    if (cas.empty() || cetnost.empty()) {
      ZvolitNeaktualizovat();
    } else {
      comHodiny.text = cas;
      comMoznosti.text = cetnost;
      comDen.text = den;
      comDen.povoleno = !StejnyText(cetnost, kCetnostDenne);
      if (StejnyText(cetnost, kCetnostTydne))
        comDen.polozky.assign(kDnyTydne.begin(), kDnyTydne.end());
      else if (StejnyText(cetnost, kCetnostMesicne))
        comDen.polozky = DnyMesice();
    }
  } else {
    ZvolitNeaktualizovat();
  }
  // Without an installed suite the list stays empty; the folder can still be typed.
  try {
    for (const auto& profil : SeznamProfilu())
      comProfily.polozky.push_back(profil.hodnota->SlozkaDat);
  } catch (const Chyba&) {
  }
}

void ModelMoznosti::ZvolitAktualizovat() {
  OptAktualizovat = true;
  comHodiny.povoleno = comMoznosti.povoleno = true;
  ZmenitCetnost(comMoznosti.text);
}

void ModelMoznosti::ZvolitNeaktualizovat() {
  OptAktualizovat = false;
  comHodiny.povoleno = comMoznosti.povoleno = comDen.povoleno = false;
}

void ModelMoznosti::ZmenitCetnost(const std::string& cetnost) {
  comMoznosti.text = cetnost;
  comDen.povoleno = !StejnyText(cetnost, kCetnostDenne);
  if (StejnyText(cetnost, kCetnostTydne)) {
    comDen.polozky.assign(kDnyTydne.begin(), kDnyTydne.end());
    comDen.text.clear();
  } else if (StejnyText(cetnost, kCetnostMesicne)) {
    comDen.polozky = DnyMesice();
    comDen.text.clear();
  }
}

bool ModelMoznosti::Ok() {
  // An hour past the end of the day (the list offers 24:00) is no time to run at.
  const bool mimoDen = PrecistCas(comHodiny.text) && !JeCasDne(comHodiny.text);
  // A weekly or monthly run needs a day that is one.
  bool bezDne = false;
  if (OptAktualizovat && !StejnyText(comMoznosti.text, kCetnostDenne) && !mimoDen &&
      JeCasDne(comHodiny.text)) {
    try {
      (void)SestavitZaznamUlohy(comHodiny.text, comMoznosti.text, comDen.text);
    } catch (const std::exception&) {
      bezDne = true;
    }
  }
  if (comProfily.text.empty() ||
      (OptAktualizovat &&
       (comHodiny.text.empty() || comMoznosti.text.empty() || mimoDen || bezDne))) {
    ZobrazZpravu(kChybaVyplnte, mb::kVykricnik, kTitulekMoznosti);
    return false;
  }
  if (const std::string z(Orezat(txtZrcadlo, " \t"));
      !z.empty() && !JeAbsolutniAdresa(z, {"http://", "https://"})) {
    ZobrazZpravu("Zrcadlo webu " + BezPristupovychUdaju(z) +
                     " není úplná adresa http:// ani https://. Opravte ji, nebo pole "
                     "nechte prázdné.",
                 mb::kVykricnik, kTitulekMoznosti);
    return false;
  }
  if (const std::string p(Orezat(txtProxy, " \t"));
      !p.empty() && (!JeAbsolutniAdresa(p, {"http://", "https://", "socks5://", "socks5h://"}) ||
                     ProxyBezUdaju(p) != p)) {
    ZobrazZpravu("Proxy " + ProxyBezUdaju(p) +
                     " není úplná adresa http://, https:// ani socks5:// bez uživatele a hesla "
                     "(ty patří do souboru, který jmenuje ProxyUdaje). Opravte ji, nebo pole "
                     "nechte prázdné.",
                 mb::kVykricnik, kTitulekMoznosti);
    return false;
  }
  // The new job comes first: a schedule that cannot be registered saves nothing that
  // would claim it runs.
  std::uint32_t nova = 0;
  if (OptAktualizovat && !ZaregistrovatUlohu(nova)) return false;
  if (!Ulozit()) {
    if (nova) planovac().SmazatUlohy(JmenoPocitace(), nova, nova);
    return false;
  }
  try {
    NahraditUlohu(nova);
  } catch (const std::exception&) {
    ZobrazZpravu(kChybaUlohy, mb::kVykricnik, "");
    return false;
  }
  return true;
}

bool ModelMoznosti::ZaregistrovatUlohu(std::uint32_t& cislo) {
  ZaznamUlohy zaznam;
  try {
    zaznam = SestavitZaznamUlohy(comHodiny.text, comMoznosti.text, comDen.text);
  } catch (const std::exception&) {
    ZobrazZpravu(kChybaUlohy, mb::kVykricnik, "");
    return false;
  }
  if (planovac().PridatUlohu(JmenoPocitace(), zaznam, cislo) != kPlanovacOk) {
    ZobrazZpravu(std::string(kChybaUlohy) + "\r\n" + planovac().PosledniChyba(), mb::kVykricnik,
                 "");
    cislo = 0;
    return false;
  }
  return true;
}

bool ModelMoznosti::Ulozit() {
  // The temporary copy of the program keeps no settings of its own.
  if (ZTempu()) return true;
  const std::string soubor = CestaVolebIni();
  try {
    // Only a changed field is written: the rest of section "Server" stays byte for byte.
    for (auto [klic, pole] : PoleServeru())
      if (std::string(Orezat(*pole, " \t")) != Orezat(CistIni(soubor, kServer, klic), " \t"))
        ZapsatKlic(soubor, kServer, klic, std::string(Orezat(*pole, " \t")));
    VyprazdnitSekci(soubor, kNastaveni);
    ZapsatKlic(soubor, kNastaveni, "SlozkaDat", comProfily.text);
    if (OptAktualizovat) {
      ZapsatKlic(soubor, kNastaveni, "Cas", comHodiny.text);
      ZapsatKlic(soubor, kNastaveni, "Cetnost", comMoznosti.text);
      if (comDen.povoleno) ZapsatKlic(soubor, kNastaveni, "Den", comDen.text);
    }
  } catch (const Chyba& c) {
    ZobrazZpravu(c.Popis(), mb::kKriticka, "");
    return false;
  }
  return true;
}

void ModelMoznosti::NahraditUlohu(std::uint32_t nova) {
  const std::string soubor = CestaVolebIni();
  // A refusal of the deletion (also "no such job") is not the user's concern; the
  // stored number stays until a new job replaces it.
  if (std::uint32_t stara = CisloUlohy(CistIni(soubor, kUloha, "ID")); stara && stara != nova)
    planovac().SmazatUlohy(JmenoPocitace(), stara, stara);
  if (!nova) return;
  VyprazdnitSekci(soubor, kUloha);
  ZapsatKlic(soubor, kUloha, "ID", std::to_string(nova));
}

}  // namespace zevlon
