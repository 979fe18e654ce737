#include "beh/vlastnik/prostrednik.h"

#include <cstdint>
#include <iterator>
#include <vector>

#include "platform/procesy/ukonceni.h"
#include "rozhrani/pomucky.h"
#include "rozhrani/prubeh.h"
#include "rozhrani/rozhrani.h"
#include "soubory/log.h"

namespace zevlon {

namespace {

constexpr std::size_t kMaxTextu = 4096;  // one shown or logged text of the owner's process
constexpr int kMaxRadkuLogu = 10000;     // log lines taken from it in one run
constexpr std::size_t kMaxVydani = 64;   // a release number it reports
constexpr std::int64_t kMaxPoctu = std::int64_t{1} << 50;  // a count or size it reports
// What root may have queued unread for it: answers and a stop are a few bytes each.
constexpr int kFronta = 16 * 1024;

using Hodiny = std::chrono::steady_clock;

class Prostrednik {
 public:
  Prostrednik(Kanal& k, const std::string& vlastnik, bool logovat, const LhutyVlastnika& l)
      : k_(k), vlastnik_(vlastnik), logovat_(logovat), lhuty_(l) {}
  PrenosVlastnika Prenaset();

 private:
  bool Zpracovat(const ZpravaKanalu& z);
  void Poslat(const ZpravaKanalu& z) {
    if (k_.PoslatBezCekani(z) == Kanal::Odeslani::kPlno && !necte_) necte_ = true;
  }
  void Odpovedet(int odpoved) { Poslat({zpravy::kOdpoved, {std::to_string(odpoved)}}); }
  std::string Text(const std::string& t, bool radky = true) const {
    return OcistitText(t, kMaxTextu, radky);
  }
  // Asks the process to stop, once, and says why.
  void Zastavit(KonecVlastnika proc) {
    if (zastaveni_) return;
    vysledek_.konec = proc;
    zastaveni_ = Hodiny::now();
    Poslat({zpravy::kZruseni, {}});
  }

  Kanal& k_;
  const std::string& vlastnik_;
  const bool logovat_;
  const LhutyVlastnika lhuty_;
  PrenosVlastnika vysledek_;
  std::optional<Hodiny::time_point> zastaveni_;
  bool necte_ = false;
  bool vymeny_ = false;  // its swaps are under way: a stop waits for them as in root's run
  int radkuLogu_ = 0;
};

bool Prostrednik::Zpracovat(const ZpravaKanalu& z) {
  const std::vector<std::string>& p = z.pole;
  auto ano = [](const std::string& s) { return s == "1"; };
  switch (z.typ) {
    case zpravy::kTep:
      return p.empty();
    case zpravy::kVymeny:
      if (p.size() != 1 || (p[0] != "1" && p[0] != "0")) return false;
      vymeny_ = p[0] == "1";
      // Its swaps and their record are done: the stop's own bound counts from here.
      if (!vymeny_ && zastaveni_) zastaveni_ = Hodiny::now();
      return true;
    case zpravy::kPrubeh: {
      if (p.size() != 7) return false;
      const auto hotovo = CisloPole(p[3], INT32_MIN, INT32_MAX);
      const auto celkem = CisloPole(p[4], INT32_MIN, INT32_MAX);
      if (!hotovo || !celkem) return false;
      const std::string podnadpis = Text(p[0], false), zprava = Text(p[1]);
      HlaseniPrubehu h{podnadpis,
                       zprava,
                       ano(p[2]),
                       static_cast<std::int32_t>(*hotovo),
                       static_cast<std::int32_t>(*celkem),
                       ano(p[5]),
                       ano(p[6])};
      Ui().Prubeh(h);
      return true;
    }
    case zpravy::kOtazka: {
      const auto styl = p.size() == 3 ? CisloPole(p[1], 0, 0xffff) : std::nullopt;
      if (!styl) return false;
      // A process asked to stop shows nothing more: its questions end as Storno would.
      if (zastaveni_) {
        Odpovedet(mb::kIdStorno);
        return true;
      }
      Odpovedet(Ui().Zprava(Text(p[0]), static_cast<int>(*styl), Text(p[2], false)));
      return true;
    }
    case zpravy::kVolba: {
      const auto cislo = p.size() == 7 ? CisloPole(p[4], INT32_MIN, INT32_MAX) : std::nullopt;
      if (!cislo) return false;
      if (zastaveni_) {
        Odpovedet(0);
        return true;
      }
      ParametryVolby v{Text(p[0]),
                       Text(p[1], false),
                       Text(p[2]),
                       Text(p[3]),
                       static_cast<std::int32_t>(*cislo),
                       Text(p[5], false),
                       ano(p[6])};
      Odpovedet(Ui().Volba(v));
      return true;
    }
    case zpravy::kOkno:
      if (p.size() != 1) return false;
      if (p[0] == "m") Ui().Minimalizovat();
      if (p[0] == "o") Ui().Obnovit();
      return true;
    case zpravy::kLog: {
      if (p.size() != 2) return false;
      const char* log = p[0] == kChybovyLog     ? kChybovyLog
                        : p[0] == kPrenosovyLog ? kPrenosovyLog
                                                : nullptr;
      if (!log) return false;
      if (!logovat_) return true;
      // Root's log folder is not the owner's to fill, and a line of the owner's says so:
      // without a TAB it cannot pose as a record of root's.
      if (++radkuLogu_ <= kMaxRadkuLogu)
        ZapsatDoLogu(log,
                     "[uživatel " + vlastnik_ + "] " + NahraditVse(Text(p[1], false), "\t", " "));
      if (radkuLogu_ == kMaxRadkuLogu + 1)
        ZapsatDoLogu(kChybovyLog, "Proces uživatele " + vlastnik_ + " zapsal přes " +
                                      std::to_string(kMaxRadkuLogu) +
                                      " řádků logu, další se nezapisují.");
      return true;
    }
    case zpravy::kVysledek: {
      if (p.size() != 13 || vysledek_.vysledek) return false;
      VysledekVlastnika v;
      v.pokracovat = ano(p[3]);
      std::int64_t* pocty[] = {&v.souhrn.slozek, &v.souhrn.zkopirovano, &v.souhrn.stazeno,
                               &v.souhrn.zRozdilu, &v.souhrn.bajtu};
      for (std::size_t i = 0; i < std::size(pocty); ++i) {
        const auto c = CisloPole(p[4 + i], 0, kMaxPoctu);
        if (!c) return false;
        *pocty[i] = *c;
      }
      v.souhrn.vydaniPred = OcistitText(p[9], kMaxVydani, false);
      v.souhrn.vydaniPo = OcistitText(p[10], kMaxVydani, false);
      v.souhrn.odmitnuto = ano(p[11]);
      v.souhrn.vraceno = OcistitText(p[12], kMaxVydani, false);
      if (!p[0].empty()) {
        const auto cislo = CisloPole(p[0], INT32_MIN, INT32_MAX);
        if (!cislo) return false;
        v.chyba = true;
        v.cislo = static_cast<std::int32_t>(*cislo);
        v.popis = Text(p[1]);
        v.polozka = Text(p[2], false);
      }
      vysledek_.vysledek = v;
      return true;
    }
    default:
      return false;
  }
}

PrenosVlastnika Prostrednik::Prenaset() {
  k_.OmezitFrontu(kFronta);
  // The silence is counted from the end of the last message's handling: a question that
  // waited for a person's answer is no silence of the process.
  Hodiny::time_point posledni = Hodiny::now();
  for (;;) {
    bool konec = false;
    const std::optional<ZpravaKanalu> z = k_.Prijmout(std::chrono::milliseconds(50), konec);
    if (z) {
      if (!Zpracovat(*z)) {
        vysledek_.konec = KonecVlastnika::kNeplatnaZprava;
        return vysledek_;
      }
      posledni = Hodiny::now();
    }
    if (konec) {
      vysledek_.zavreno = true;
      return vysledek_;
    }
    if (necte_) {
      vysledek_.konec = KonecVlastnika::kNecte;
      return vysledek_;
    }
    const Hodiny::time_point ted = Hodiny::now();
    if (zastaveni_) {
      if (ted - *zastaveni_ >= (vymeny_ ? kOdkladZastaveni : lhuty_.poZruseni)) return vysledek_;
    } else if (ted - posledni >= lhuty_.ticho) {
      vysledek_.konec = KonecVlastnika::kTicho;
      return vysledek_;
    }
    Ui().ZpracovatUdalosti();
    if (Ui().Zruseno() || UkonceniVyzadano()) Zastavit(KonecVlastnika::kZruseno);
    if (lhuty_.konecBehu && ted >= *lhuty_.konecBehu) Zastavit(KonecVlastnika::kLhutaBehu);
  }
}

}  // namespace

PrenosVlastnika PrenasetZVlastnika(Kanal& k, const std::string& vlastnik, bool logovat,
                                   const LhutyVlastnika& lhuty) {
  return Prostrednik(k, vlastnik, logovat, lhuty).Prenaset();
}

}  // namespace zevlon
