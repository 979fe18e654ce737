#include "beh/kontrola.h"

#include <unistd.h>

#include <string>
#include <vector>

#include "beh/kontrola_voleb.h"
#include "beh/nastaveni_prenosu.h"
#include "beh/profily.h"
#include "beh/vlastnik/vlastnik.h"
#include "beh/vlastnik/zpravy.h"
#include "beh/vydani.h"
#include "beh/zaznam_behu.h"
#include "common/adresa.h"
#include "common/chyba.h"
#include "common/text.h"
#include "instalace/odhad_profilu.h"
#include "platform/http/http.h"
#include "platform/nahrady/platforma.h"
#include "platform/procesy/ucty.h"
#include "platform/soubory/soubor.h"
#include "platform/soubory/soukromy_temp.h"
#include "prenos/podpisy/klice_webu.h"
#include "prenos/podpisy/overeni.h"
#include "prenos/podpisy/podpis.h"
#include "prenos/stahovani/informace_vydani.h"
#include "prenos/stahovani/stahovani.h"
#include "prenos/stahovani/zrcadlo.h"
#include "rozhrani/pomucky.h"
#include "soubory/duvera.h"
#include "soubory/log.h"
#include "soubory/volby.h"

namespace zevlon {

namespace {

class Kontroly {
 public:
  explicit Kontroly(std::FILE* out) : out_(out) {}
  int Provest();

 private:
  void Zkontrolovat();
  void Radek(const std::string& text) { std::fprintf(out_, "%s\n", text.c_str()); }
  // A finding that stops the run, and one the run goes on with, saying how.
  void Chyba_(const std::string& text) {
    ++chyb_;
    Radek("  Chyba: " + RadekLogu(text) + " (běh se zastaví)");
  }
  void Varovani(const std::string& text, const std::string& pokracovani) {
    ++varovani_;
    Radek("  Varování: " + RadekLogu(text) + " (běh pokračuje" + pokracovani + ")");
  }
  // Runs a step; its error is a finding. Answers whether it succeeded.
  template <typename F>
  bool Krok(F&& krok) {
    try {
      krok();
      return true;
    } catch (const std::exception& e) {
      Chyba_(JakoChyba(e).Popis());
      return false;
    }
  }
  void Volby();
  void Zrcadlo(const std::string& ini, const std::string& slozka);
  std::string Profil();
  void Odhad(const std::string& profil, const std::string& ini, const std::string& vydaniWebu);

  std::FILE* out_;
  int chyb_ = 0, varovani_ = 0;
  bool neniCoDelat_ = false;
};

std::string Soubory(std::int64_t n) {
  return Pocet(n, "soubor", "soubory", "souborů");
}

void Kontroly::Volby() {
  const std::string volby = CestaVolebIni();
  Radek("Soubor voleb " + volby + ":");
  if (!ExistujeSoubor(volby)) Radek("  neexistuje, platí výchozí hodnoty");
  const int pred = chyb_ + varovani_;
  for (const std::string& z : NeznameVolby(volby))
    Varovani(z, "");
  for (const NepouzitelnaHodnota& h : NepouzitelneHodnoty(volby)) {
    if (h.ZastaviBeh())
      Chyba_(h.zprava);
    else
      Varovani(h.zprava, h.nahrada.empty()
                             ? (h.pokracovani.starts_with("s ") ? " " : ", ") + h.pokracovani
                             : " s výchozí hodnotou " + h.nahrada);
  }
  // What a run checks before it reads anything: root's places, and the key a scheduled
  // run of the package requires.
  Krok([] { OveritMistaRoota(); });
  Krok([] { OveritPovinnyKlic(true); });
  if (chyb_ + varovani_ == pred) Radek("  v pořádku");
}

// The profile folder the options name, with "/" at its end; empty (with the installed
// profiles listed) when they name none.
std::string Kontroly::Profil() {
  std::string slozka = CistIni(CestaVolebIni(), "Nastaveni", "SlozkaDat");
  if (!slozka.empty()) return PridatLomitko(slozka);
  Radek(
      "Profil: volba SlozkaDat v sekci [Nastaveni] není nastavena; naplánovaný běh nic "
      "neaktualizuje, běh spuštěný ručně nabídne tyto profily:");
  Krok([&] {
    std::vector<std::string> neprectene;
    for (const auto& p : SeznamProfilu(&neprectene))
      Radek("  " + p.hodnota->SlozkaDat + " (" + p.hodnota->Nazev + ", vydání " +
            (p.hodnota->Vydani.empty() ? "neznámé" : p.hodnota->Vydani) + ")");
    for (const std::string& zprava : neprectene)
      Radek("  " + zprava);
  });
  neniCoDelat_ = true;
  return {};
}

// The mirror asked for the release's first snapshot, as a run would ask for it.
void Kontroly::Zrcadlo(const std::string& ini, const std::string& slozka) {
  const std::string zrcadlo = BezPristupovychUdaju(Http().zrcadleni->zrcadlo);
  const std::string url = CistIni(ini, "Merko", "Url") + "SetupCommon/master.snapshot.zip";
  const std::string adresa = AdresaZeZrcadla(url);
  if (adresa == url) {
    Varovani("Zrcadlo " + zrcadlo + " se nepoužije: vydání neleží pod adresou webu (" +
                 BezPristupovychUdaju(url) + ")",
             ", soubory od vydavatele");
    return;
  }
  try {
    const std::int64_t bajtu =
        StahnoutSoubor(adresa, slozka + "/zrcadlo.zip", KlientHttp::kMaxInformaci);
    Radek("  zrcadlo " + zrcadlo + " odpovídá (" + BezPristupovychUdaju(adresa) + ", " +
          Pocet(bajtu, "bajt", "bajty", "bajtů") + ")");
  } catch (const Chyba& c) {
    Varovani("Zrcadlo " + zrcadlo + " neodpovídá: " + BezPristupovychUdaju(c.Popis()),
             ", soubory od vydavatele");
  }
}

void Kontroly::Odhad(const std::string& profil, const std::string& ini,
                     const std::string& vydaniWebu) {
  uid_t kdo = ::geteuid();
  if (!Krok([&] { kdo = KdoAktualizuje(profil); })) return;
  const bool sam = kdo == ::geteuid();
  Radek("Profil " + profil + ": aktualizuje " +
        (sam ? (kdo == 0 ? std::string("root") : "uživatel " + JmenoUctu(kdo))
             : "proces vlastníka, uživatele " + JmenoUctu(kdo)));
  ZapsatIni(ini, "Merko", "SlozkaProfilu", profil);
  const std::string temp = ini.substr(0, ini.rfind('/') + 1);
  std::vector<OdhadSlozky> odhad;
  SouhrnObnovy souhrn;
  const bool hotovo = Krok([&] {
    if (sam) {
      odhad = OdhadnoutProfil(ini, temp);
      souhrn = SoucetOdhadu(odhad);
    } else {
      AktualizovatZaVlastnika(kdo, ini, souhrn, kOdhadZaVlastnika);
    }
  });
  if (!hotovo) return;
  Radek("Nainstalované vydání: " + (souhrn.vydaniPred.empty() ? "neznámé" : souhrn.vydaniPred));
  if (!souhrn.vraceno.empty()) {
    Radek("Vydání " + souhrn.vraceno +
          " bylo vráceno, čeká se na novější; aktualizace nic neprovede.");
    neniCoDelat_ = true;
    return;
  }
  if (!souhrn.vydaniPred.empty() && PorovnatVydani(vydaniWebu, souhrn.vydaniPred) < 0 &&
      CistIni(CestaVolebIni(), "Server", "PovolitStarsi") != "1") {
    Radek(
        "Vydání na webu je starší než nainstalované; aktualizace nic neprovede "
        "(PovolitStarsi=1 v sekci [Server] by je nainstalovala).");
    neniCoDelat_ = true;
    return;
  }
  Radek("Aktualizace by obnovila:");
  for (const OdhadSlozky& o : odhad)
    Radek("  " + o.slozka + ": " +
          (o.aktualni ? std::string("aktuální")
                      : "zkopírovat " + Soubory(o.souhrn.zkopirovano) + ", stáhnout " +
                            Soubory(o.souhrn.stazeno) + " (" +
                            Pocet(o.souhrn.bajtu, "bajt", "bajty", "bajtů") + ")"));
  Radek("  celkem " + Pocet(souhrn.slozek, "složka", "složky", "složek") + ": zkopírovat " +
        Soubory(souhrn.zkopirovano) + ", stáhnout " + Soubory(souhrn.stazeno) + " (" +
        Pocet(souhrn.bajtu, "bajt", "bajty", "bajtů") + " před kompresí)");
  if (souhrn.slozek == 0) neniCoDelat_ = true;
}

int Kontroly::Provest() {
  Zkontrolovat();
  if (chyb_ > 0) {
    Radek("Výsledek: " + Pocet(chyb_, "chyba", "chyby", "chyb") + ", aktualizace by neproběhla.");
    return 1;
  }
  const std::string varovani =
      varovani_ > 0 ? "; " + Pocet(varovani_, "varování", "varování", "varování") : "";
  Radek((neniCoDelat_ ? "Výsledek: není co aktualizovat" : "Výsledek: aktualizace by proběhla") +
        varovani + ".");
  return 0;
}

void Kontroly::Zkontrolovat() {
  Radek("Kontrola aktualizace Dunmor Merko");
  Volby();
  const std::string profil = Profil();

  const std::string adresa = AdresaWebu();
  Radek("Aktualizační web " + BezPristupovychUdaju(adresa) + ":");
  NastaveniOvereni overeni;
  if (!Krok([&] { overeni = NastaveniOvereniWebu(); })) return;
  TempBehu temp;
  if (!Krok([&] { temp.Zvolit(); })) return;
  SlozkaVTempu slozka(temp.Slozka(), "kontrola");
  if (slozka.Cesta().empty()) {
    Chyba_("Ve složce " + temp.Slozka() + " se nepodařilo vytvořit složku kontroly.");
    return;
  }
  NastavitPrenosy();
  // The release information comes through the options' proxy, so its download tries it.
  if (const auto& p = Http().proxy; p && !p->vse.empty())
    Radek("  přes proxy " + BezPristupovychUdaju(p->vse) +
          (p->vyjimky.empty() ? "" : ", bez proxy pro " + p->vyjimky));
  const std::string ini = slozka.Cesta() + "/" + kSouborVydani;
  std::string vydani;
  if (!JePripojenInternet(adresa) && JenNaSiti()) {
    Radek("  Počítač není připojen k síti: běh bez obsluhy skončí bez chyby výsledkem " +
          std::string(vysledky::kBezPripojeni) + " (" + kKlicJenNaSiti +
          "=1), běh spuštěný uživatelem ohlásí chybu.");
    neniCoDelat_ = true;
    return;
  }
  if (!Krok([&] {
        if (!JePripojenInternet(adresa))
          VyvolatChybu("Nepodařilo se vyhledat aktualizace, protože není připojen internet.");
        StahnoutInformace(adresa, ini);
        vydani = CistVydaniWebu(ini);
      }))
    return;
  std::string podpis = "podpis neověřen (v souboru voleb není VerejnyKlic)";
  if (overeni.Zapnuto()) {
    podpis = "podpis ověřen";
    const auto p = NacistSoubor(ini + kPriponaPodpisu);
    const auto cteny = p ? podpis::CistPodpis(*p) : std::nullopt;
    if (const auto kdy = cteny ? podpis::CasPodpisu(cteny->duveryhodnyKomentar) : std::nullopt)
      podpis += ", podepsán " + MistniRazitkoLogu(Okamzik(std::chrono::seconds(*kdy))) +
                (overeni.platnostDni ? ", platí " + Pocet(*overeni.platnostDni, "den", "dny", "dní")
                                     : std::string());
  }
  Radek("  informace o vydání staženy, vydání " + vydani + ", " + podpis);
  if (Http().zrcadleni) Zrcadlo(ini, slozka.Cesta());

  if (!profil.empty()) Odhad(profil, ini, vydani);
}

}  // namespace

int Kontrola(std::FILE* out) {
  return Kontroly(out).Provest();
}

}  // namespace zevlon
