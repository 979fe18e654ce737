#include "prenos/stahovani/stahovani.h"

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <optional>

#include "common/adresa.h"
#include "common/chyba.h"
#include "platform/http/http.h"
#include "platform/nahrady/platforma.h"
#include "platform/soubory/soubor.h"
#include "platform/soubory/souborovy_system.h"
#include "prenos/zip/mzip32.h"
#include "prenos/zip/shell_rozbaleni.h"
#include "prenos/zip/zip32_pomucky.h"
#include "rozhrani/pomucky.h"
#include "rozhrani/prubeh.h"
#include "rozhrani/rozhrani.h"
#include "rozhrani/stav.h"
#include "soubory/operace_souboru.h"

namespace zevlon {

std::int64_t StahnoutSoubor(const std::string& url, const std::string& soubor,
                            std::int64_t maxBajtu, std::int64_t ocekavanaVelikost) {
  OdpovedHttp o = Http().Stahnout(url, soubor, maxBajtu, ocekavanaVelikost);
  if (o.status != 200) VyvolatChybu("http error: " + std::to_string(o.status) + " " + o.textStavu);
  return o.bajtu;
}

bool JeZip(const std::string& soubor) {
  Popisovac fd(::open(soubor.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.Platny()) return false;
  char hlava[2];
  if (::read(fd.Fd(), hlava, 2) != 2) return false;
  return (hlava[0] == 'P' || hlava[0] == 'p') && (hlava[1] == 'K' || hlava[1] == 'k');
}

namespace {

// The one entry a package unpacks to. A file listed with a negative size has none.
std::optional<JedinaPolozka> Polozka(const std::string& jmeno, const MezeBalicku& meze) {
  if (meze.velikost < 0) return std::nullopt;
  return JedinaPolozka{jmeno, static_cast<std::uint64_t>(meze.velikost), meze.presne};
}

// The largest archive that a package within these bounds comes in: its file stored,
// plus deflate's worst growth and the archive's own bytes (headers, names). A listed
// size counts for no more than the largest entry that unpacking accepts, so a listing
// of huge files cannot make the download itself unbounded.

// The bound of one archive download: the package's largest archive, or what the budget
// has left when that is less (then an answer beyond it is the budget's error).
struct MezStazeni {
  std::int64_t bajtu;
  bool rozpoctu;
};

std::string TextPrekroceni(const RozpocetStahovani* rozpocet) {
  return rozpocet ? "Server poslal víc dat, než odpovídá seznamu souborů aktualizace (povoleno " +
                        std::to_string(rozpocet->Celkem()) + " bajtů). Stahování bylo přerušeno."
                  : "";
}

// The bytes that this user may still write in the folder's file system (0 when unknown).
std::int64_t VolneMisto(const std::string& slozka) {
  struct statvfs st {};
  if (::statvfs(slozka.c_str(), &st) != 0) return 0;
  return static_cast<std::int64_t>(st.f_bavail) * static_cast<std::int64_t>(st.f_frsize);
}

MezStazeni Mez(const MezeBalicku& meze, const RozpocetStahovani* rozpocet, std::int64_t jinde) {
  MezStazeni m{NejvetsiArchiv(meze), false};
  if (rozpocet && rozpocet->Zbyva() - jinde < m.bajtu) m = {rozpocet->Zbyva() - jinde, true};
  return m;
}

// The outcome of an archive download: its status, the budget's error for an answer
// beyond what the budget had left, and the bytes counted against the budget.
template <typename F>
void VyhodnotitArchiv(F&& stahnout, const MezStazeni& mez, RozpocetStahovani* rozpocet) {
  OdpovedHttp o;
  try {
    o = stahnout();
  } catch (const PrilisVelkaOdpoved&) {
    if (mez.rozpoctu) VyvolatChybu(TextPrekroceni(rozpocet));
    throw;
  }
  if (o.status != 200) VyvolatChybu("http error: " + std::to_string(o.status) + " " + o.textStavu);
  if (rozpocet) rozpocet->Odecist(o.bajtu);
}

// Downloads a package's archive within its bound and what the budget has left.
void StahnoutArchiv(const std::string& url, const std::string& archiv, const MezeBalicku& meze,
                    RozpocetStahovani* rozpocet) {
  const MezStazeni mez = Mez(meze, rozpocet, 0);
  if (mez.bajtu <= 0) VyvolatChybu(TextPrekroceni(rozpocet));
  VyhodnotitArchiv([&] { return Http().Stahnout(url, archiv, mez.bajtu, meze.ocekavano); }, mez,
                   rozpocet);
}

}  // namespace

std::int64_t NejvetsiArchiv(const MezeBalicku& meze) {
  const std::int64_t velikost = std::clamp<std::int64_t>(
      meze.velikost, 0, static_cast<std::int64_t>(zip32::kMaxVelikostPolozky));
  return velikost + velikost / 64 + (std::int64_t{64} << 10);
}

void RozbalitPresShell(const std::string& slozka, const std::string& jmeno,
                       const MezeBalicku& meze) {
  if (auto polozka = Polozka(jmeno, meze))
    (void)ZkopirovatZArchivu(slozka + jmeno + ".zip", *polozka, slozka);
}

PredstihStahovani::PredstihStahovani(std::string slozka, RozpocetStahovani* rozpocet)
    : slozka_(std::move(slozka)), rozpocet_(rozpocet), skupina_(Http()) {}

PredstihStahovani::~PredstihStahovani() = default;

static_assert(KlientHttp::kMaxSpojeni * PredstihStahovani::kNasobekHttp2 <=
                  KlientHttp::kProuduNaSpojeni,
              "the downloads ahead over HTTP/2 fit on one connection");

std::size_t PredstihStahovani::Okno() const {
  // Under the run's bound, only as many as it lets each go at twice the minimum speed.
  const std::size_t n = static_cast<std::size_t>(Http().VLetu());
  return Http().Http2() && !Http().Omezuje() ? n * kNasobekHttp2 : n;
}

bool PredstihStahovani::Zacit(std::size_t poradi, const std::string& url, const MezeBalicku& meze) {
  if (zaznamy_.count(poradi)) return true;
  if (skupina_.Probiha() >= Okno() || skupina_.Bezi() >= Okno() * kNasobekHotovych) return false;
  const MezStazeni mez = Mez(meze, rozpocet_, rezervovano_);
  // Only with the package's whole bound left in the budget beside the others in flight
  // (else it waits for its turn, where the budget decides as for a download alone), and,
  // unless nothing else is in flight, within the disk bound.
  if (mez.rozpoctu || mez.bajtu <= 0 ||
      (skupina_.Bezi() > 0 && rezervovano_ + mez.bajtu > kMaxVLetu))
    return false;
  // Nor may the downloads ahead fill the disk that the downloads at their turn and the
  // unpacking need.
  const std::int64_t rezerva =
      std::max(kVolneMisto, rozpocet_ ? rozpocet_->Uvedeno() / 10 : std::int64_t{0});
  if (VolneMisto(slozka_) - rezervovano_ - mez.bajtu < rezerva) return false;
  const std::string soubor = slozka_ + std::to_string(poradi) + ".zip";
  std::size_t cislo = 0;
  try {
    cislo = skupina_.Pridat(url, soubor, mez.bajtu, meze.ocekavano);
  } catch (const Chyba&) {
    // Not ahead, then: the download at its own turn raises what it raises.
    return false;
  }
  Zaznam z{cislo, soubor, mez.bajtu, mez.rozpoctu};
  rezervovano_ += z.mez;
  zaznamy_.emplace(poradi, z);
  return true;
}

bool PredstihStahovani::Zacato(std::size_t poradi) const {
  return zaznamy_.count(poradi) > 0;
}

void PredstihStahovani::Prevzit(std::size_t poradi, const std::string& archiv) {
  const Zaznam z = zaznamy_.at(poradi);
  zaznamy_.erase(poradi);
  rezervovano_ -= z.mez;
  VyhodnotitArchiv([&] { return skupina_.Dokoncit(z.cislo, doplnit_); },
                   MezStazeni{z.mez, z.rozpoctu}, rozpocet_);
  if (::rename(z.soubor.c_str(), archiv.c_str()) != 0) {
    const int e = errno;
    ::unlink(z.soubor.c_str());
    ss::Vysledek v = ss::ChybaSystemu(e, archiv);
    throw Chyba(v.kod, "Nelze zapsat soubor " + archiv + ": " + v.popis);
  }
}

void StahnoutARozbalit(const std::string& url, const std::string& slozka, const std::string& jmeno,
                       const std::string& zprava, const MezeBalicku& meze,
                       RozpocetStahovani* rozpocet, PredstihStahovani* predstih,
                       std::size_t poradi) {
  const std::string archiv = slozka + jmeno + ".zip";
  const std::string cil = slozka + jmeno;
  const std::optional<JedinaPolozka> polozka = Polozka(jmeno, meze);
  // Two passes; in each, a download that is not an archive is fetched once more.
  for (int pruchod = 1;; ++pruchod) {
    for (int stazeni = 1;; ++stazeni) {
      AktualniPolozka = BezPristupovychUdaju(url) + "->" + archiv;
      try {
        // The first download may have been started ahead of its turn.
        bool prevzato = false;
        if (pruchod == 1 && stazeni == 1 && predstih && predstih->Zacato(poradi)) {
          try {
            predstih->Prevzit(poradi, archiv);
            prevzato = true;
          } catch (const Chyba& c) {
            // A download ahead that met a full disk is fetched again now.
            if (c.Cislo() != ENOSPC && c.Cislo() != EDQUOT) throw;
          }
        }
        if (!prevzato) StahnoutArchiv(url, archiv, meze, rozpocet);
      } catch (const PrerusenyPrenos&) {
        // A connection lost part-way: the next download continues where it stopped.
        if (stazeni == 2) throw;
        continue;
      }
      if (JeZip(archiv)) break;
      if (stazeni == 2)
        VyvolatChybu(zprava.empty() ? "Nepodařilo se stáhnout soubor " + archiv : zprava);
    }
    AktualniPolozka = archiv;
    if (ExistujeSoubor(cil)) SmazatSoubor(cil, false);
    // Only the package's own file, within its size, by either way of unpacking.
    if (polozka) (void)RozzipovatJednoduse(archiv, slozka, 0, "", &*polozka);
    if (!ExistujeSoubor(cil)) RozbalitPresShell(slozka, jmeno, meze);
    SmazatSoubor(archiv, true);
    AktualniPolozka.clear();
    if (ExistujeSoubor(cil)) return;
    if (pruchod == 2) {
      AktualniPolozka = archiv;
      // A package that would not unpack onto a disk without room for it is told as that.
      if (VolneMisto(slozka) < std::max<std::int64_t>(meze.velikost, 0) + (std::int64_t{1} << 16))
        VyvolatChybu("Na disku není dost místa ve složce " + slozka + " (soubor " + cil + ").");
      VyvolatChybu("Nepodařilo se dekomprimovat soubor (" + archiv + ").");
    }
  }
}

void StahnoutVRozpoctu(const std::string& url, const std::string& soubor, const MezeBalicku& meze,
                       RozpocetStahovani* rozpocet, PredstihStahovani* predstih,
                       std::size_t poradi) {
  AktualniPolozka = BezPristupovychUdaju(url) + "->" + soubor;
  if (predstih && predstih->Zacato(poradi))
    predstih->Prevzit(poradi, soubor);
  else
    StahnoutArchiv(url, soubor, meze, rozpocet);
  AktualniPolozka.clear();
}

void Pockat(float sekundy) {
  const auto konec =
      platforma().Monotonni() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                    std::chrono::duration<float>(sekundy));
  while (platforma().Monotonni() < konec) {
    OveritPreruseni();
    platforma().Uspat(std::chrono::milliseconds(20));
  }
}

}  // namespace zevlon
