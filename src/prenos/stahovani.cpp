#include "prenos/stahovani.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <optional>

#include "common/adresa.h"
#include "common/chyba.h"
#include "platform/http.h"
#include "platform/platforma.h"
#include "platform/soubor.h"
#include "prenos/mzip32.h"
#include "prenos/shell_rozbaleni.h"
#include "prenos/zip32_pomucky.h"
#include "rozhrani/pomucky.h"
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
std::int64_t NejvetsiArchiv(const MezeBalicku& meze) {
  const std::int64_t velikost = std::clamp<std::int64_t>(
      meze.velikost, 0, static_cast<std::int64_t>(zip32::kMaxVelikostPolozky));
  return velikost + velikost / 64 + (std::int64_t{64} << 10);
}

// Downloads a package's archive within its bound and what the budget has left.
void StahnoutArchiv(const std::string& url, const std::string& archiv, const MezeBalicku& meze,
                    RozpocetStahovani* rozpocet) {
  const std::string prekroceno =
      rozpocet ? "Server poslal víc dat, než odpovídá seznamu souborů aktualizace (povoleno " +
                     std::to_string(rozpocet->Celkem()) + " bajtů). Stahování bylo přerušeno."
               : "";
  std::int64_t mez = NejvetsiArchiv(meze);
  const bool mezRozpoctu = rozpocet && rozpocet->Zbyva() < mez;
  if (mezRozpoctu) mez = rozpocet->Zbyva();
  if (mez <= 0) VyvolatChybu(prekroceno);
  std::int64_t prijato = 0;
  try {
    prijato = StahnoutSoubor(url, archiv, mez, meze.ocekavano);
  } catch (const PrilisVelkaOdpoved&) {
    if (mezRozpoctu) VyvolatChybu(prekroceno);
    throw;
  }
  if (rozpocet) rozpocet->Odecist(prijato);
}

}  // namespace

void RozbalitPresShell(const std::string& slozka, const std::string& jmeno,
                       const MezeBalicku& meze) {
  if (auto polozka = Polozka(jmeno, meze))
    (void)ZkopirovatZArchivu(slozka + jmeno + ".zip", *polozka, slozka);
}

void StahnoutARozbalit(const std::string& url, const std::string& slozka, const std::string& jmeno,
                       const std::string& zprava, const MezeBalicku& meze,
                       RozpocetStahovani* rozpocet) {
  const std::string archiv = slozka + jmeno + ".zip";
  const std::string cil = slozka + jmeno;
  const std::optional<JedinaPolozka> polozka = Polozka(jmeno, meze);
  // Two passes; in each, a download that is not an archive is fetched once more.
  for (int pruchod = 1;; ++pruchod) {
    for (int stazeni = 1;; ++stazeni) {
      AktualniPolozka = BezPristupovychUdaju(url) + "->" + archiv;
      StahnoutArchiv(url, archiv, meze, rozpocet);
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
      VyvolatChybu("Nepodařilo se dekomprimovat soubor (" + archiv + ").");
    }
  }
}

void Pockat(float sekundy) {
  const auto konec =
      platforma().Monotonni() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                    std::chrono::duration<float>(sekundy));
  while (platforma().Monotonni() < konec) {
    Ui().ZpracovatUdalosti();
    platforma().Uspat(std::chrono::milliseconds(20));
  }
}

}  // namespace zevlon
