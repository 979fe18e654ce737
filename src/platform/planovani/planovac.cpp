#include "platform/planovani/planovac.h"
#include "platform/planovani/planovac_systemd.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <memory>
#include <set>
#include <vector>

#include "platform/nahrady/platforma.h"
#include "platform/planovani/planovac_uzivatele.h"
#include "platform/soubory/soubor.h"
#include "platform/soubory/souborovy_system.h"

namespace zevlon {

namespace {

Planovac* aktivni = nullptr;

constexpr std::uint32_t kDen = 24u * 3600u * 1000u;

struct ZavritAdresar {
  void operator()(DIR* d) const { closedir(d); }
};

std::uint32_t StavZChyby(int e) {
  switch (e) {
    case ENOENT:
    case ENOTDIR:
      return kPlanovacCestaNenalezena;
    case EACCES:
    case EPERM:
    case EROFS:
      return kPlanovacPristupOdepren;
    default:
      return kPlanovacSelhani;
  }
}

std::string Seznam(const std::vector<int>& cisla) {
  std::string s;
  for (int n : cisla) {
    if (!s.empty()) s += ',';
    s += std::to_string(n);
  }
  return s;
}

}  // namespace

// The job number in a file name "zevlon-<n>" (n from 1, no leading zeros), or 0.
std::uint32_t CisloZeJmena(std::string_view jmeno) {
  std::string_view predpona = kPredponaUlohy;
  if (jmeno.substr(0, predpona.size()) != predpona) return 0;
  std::string_view cislice = jmeno.substr(predpona.size());
  if (cislice.empty() || cislice.front() == '0') return 0;
  std::uint32_t n = 0;
  auto [konec, chyba] = std::from_chars(cislice.data(), cislice.data() + cislice.size(), n);
  if (chyba != std::errc() || konec != cislice.data() + cislice.size()) return 0;
  return n;
}

// The numbers of the jobs in the folder; false (and errno in chyba) when the folder
// cannot be read.
bool CislaUloh(const std::string& slozka, std::set<std::uint32_t>& cisla, int& chyba) {
  std::unique_ptr<DIR, ZavritAdresar> adresar(::opendir(slozka.c_str()));
  if (!adresar) {
    chyba = errno;
    return false;
  }
  while (dirent* polozka = ::readdir(adresar.get())) {
    if (std::uint32_t n = CisloZeJmena(polozka->d_name)) cisla.insert(n);
  }
  return true;
}

// The items of a command line: a part in double quotes is one item, blanks separate
// the others.
std::vector<std::string> PolozkyPrikazu(const std::string& prikaz) {
  std::vector<std::string> polozky;
  std::size_t i = 0;
  while (i < prikaz.size()) {
    if (prikaz[i] == ' ' || prikaz[i] == '\t') {
      ++i;
      continue;
    }
    std::string polozka;
    while (i < prikaz.size() && prikaz[i] != ' ' && prikaz[i] != '\t') {
      if (prikaz[i] == '"') {
        std::size_t konec = prikaz.find('"', i + 1);
        if (konec == std::string::npos) konec = prikaz.size();
        polozka.append(prikaz, i + 1, konec - i - 1);
        i = konec + 1;
      } else {
        polozka += prikaz[i++];
      }
    }
    polozky.push_back(std::move(polozka));
  }
  return polozky;
}

std::string CitovatProCron(const std::string& text) {
  std::string s = "'";
  for (char z : text) {
    if (z == '\'')
      s += "'\\''";
    else if (z == '%')
      s += "\\%";
    else
      s += z;
  }
  return s + "'";
}

bool JeOpakovana(const ZaznamUlohy& zaznam) {
  return (zaznam.Flags & kUlohaOpakovana) && (zaznam.DaysOfMonth || zaznam.DaysOfWeek);
}

bool RadekCron(const ZaznamUlohy& zaznam, const std::string& souborUlohy, std::string& radek,
               const std::string& uzivatel) {
  if (zaznam.JobTime >= kDen) return false;
  if (zaznam.DaysOfMonth & 0x80000000u) return false;
  if (zaznam.DaysOfWeek & 0x80u) return false;
  if (zaznam.Command.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) return false;
  std::vector<std::string> polozky = PolozkyPrikazu(zaznam.Command);
  if (polozky.empty() || polozky.front().empty()) return false;

  const std::uint32_t minuty = zaznam.JobTime / 60000u;
  std::string dnyMesice = "*", dnyTydne = "*";
  std::vector<int> dny;
  for (int d = 0; d < 31; ++d)
    if (zaznam.DaysOfMonth & (1u << d)) dny.push_back(d + 1);
  if (!dny.empty()) dnyMesice = Seznam(dny);
  // Cron counts the week from Sunday (0); the record from Monday (bit 0).
  dny.clear();
  for (int d = 0; d < 7; ++d)
    if (zaznam.DaysOfWeek & (1u << d)) dny.push_back((d + 1) % 7);
  std::sort(dny.begin(), dny.end());
  if (!dny.empty() && dny.size() < 7) dnyTydne = Seznam(dny);

  // Without the periodic flag, or without a day, the job runs once, at the next
  // time that matches, and removes its own file before the program starts.
  std::string prikaz;
  if (!JeOpakovana(zaznam)) prikaz = "rm -f " + CitovatProCron(souborUlohy) + "; ";
  // A packaged program's job outlives a removal of the package (the schedules go with
  // its purge): it stays silent while the program is not there.
  if (platforma().ZBalicku()) prikaz += "test -x " + CitovatProCron(polozky.front()) + " && ";
  for (std::size_t i = 0; i < polozky.size(); ++i) {
    if (i > 0) prikaz += ' ';
    // An option or number after the program reads as it is; anything else is quoted.
    const bool prosty =
        i > 0 && !polozky[i].empty() &&
        polozky[i].find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-") == std::string::npos;
    prikaz += prosty ? polozky[i] : CitovatProCron(polozky[i]);
  }
  radek = std::to_string(minuty % 60) + " " + std::to_string(minuty / 60) + " " + dnyMesice +
          " * " + dnyTydne + " " + (uzivatel.empty() ? "" : uzivatel + " ") + prikaz;
  return true;
}

std::uint32_t Planovac::PridatUlohu(const std::string& /*pocitac*/, const ZaznamUlohy& zaznam,
                                    std::uint32_t& cislo) {
  posledniChyba_.clear();
  std::string zkouska;
  if (!RadekCron(zaznam, slozka_ + "/" + kPredponaUlohy + "1", zkouska)) {
    posledniChyba_ = kNelzeVyjadrit;
    return kPlanovacNeplatnyParametr;
  }
  std::set<std::uint32_t> obsazena;
  int chyba = 0;
  if (!CislaUloh(slozka_, obsazena, chyba)) return Selhani(chyba, slozka_, ss::Druh::kSlozka);

  std::uint32_t n = 1;
  for (;;) {
    while (obsazena.count(n))
      ++n;
    if (n == 0) return Selhani(ENOSPC, slozka_, ss::Druh::kSlozka);  // every number taken
    const std::string cil = slozka_ + "/" + kPredponaUlohy + std::to_string(n);
    std::string radek;
    RadekCron(zaznam, cil, radek);
    const std::string obsah = "# Zevlon: naplánovaná aktualizace Dunmor Merko, úloha " +
                              std::to_string(n) + "\n" + radek + "\n";

    // A name beginning with "." is skipped by cron until the file is complete. The final
    // name is taken only if it is still free: a job that another process registered
    // meanwhile keeps its number, and this one takes the next.
    const int e =
        ZapsatCitelnySoubor(slozka_, kPredponaUlohy + std::to_string(n), obsah, ".zevlon-", false);
    if (e == 0) {
      cislo = n;
      return kPlanovacOk;
    }
    if (e != EEXIST) return Selhani(e, cil);
    obsazena.insert(n);
  }
}

std::uint32_t Planovac::SmazatUlohy(const std::string& /*pocitac*/, std::uint32_t od,
                                    std::uint32_t do_) {
  posledniChyba_.clear();
  std::set<std::uint32_t> cisla;
  int chyba = 0;
  if (!CislaUloh(slozka_, cisla, chyba)) return Selhani(chyba, slozka_, ss::Druh::kSlozka);
  bool nalezena = false;
  std::uint32_t stav = kPlanovacOk;
  for (auto it = cisla.lower_bound(od); it != cisla.end() && *it <= do_; ++it) {
    nalezena = true;
    const std::string cesta = slozka_ + "/" + kPredponaUlohy + std::to_string(*it);
    if (::unlink(cesta.c_str()) != 0 && errno != ENOENT) stav = Selhani(errno, cesta);
  }
  return nalezena ? stav : kUlohaNenalezena;
}

std::uint32_t Planovac::Selhani(int chyba, const std::string& cesta, ss::Druh druh) {
  posledniChyba_ = ss::ChybaSystemu(chyba, cesta, druh).popis;
  return StavZChyby(chyba);
}

Planovac& planovac() {
  if (aktivni) return *aktivni;
  static Planovac cronD;
  static PlanovacUzivatele crontab;
  static PlanovacSystemd systemd;
  if (::geteuid() != 0) return crontab;
  // Root's jobs are timers where systemd runs the machine; cron's everywhere else.
  struct stat st {};
  if (::stat(kZnakSystemd, &st) == 0 && S_ISDIR(st.st_mode)) return systemd;
  return cronD;
}

void NastavitPlanovac(Planovac* p) {
  aktivni = p;
}

}  // namespace zevlon
