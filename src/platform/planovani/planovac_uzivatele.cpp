#include "platform/planovani/planovac_uzivatele.h"

#include <cerrno>
#include <charconv>
#include <set>

#include "common/text.h"
#include "platform/procesy/proces.h"
#include "platform/soubory/souborovy_system.h"

namespace zevlon {

namespace {

constexpr std::string_view kZnacka = " # zevlon-";

std::string Znacka(std::uint32_t cislo) {
  return std::string(kZnacka) + std::to_string(cislo);
}

// What the program wrote to its error output, on one line.
std::string Hlaseni(const VysledekPrikazu& v) {
  std::string text(Orezat(v.chyby, " \t\r\n"));
  for (char& z : text)
    if (z == '\n' || z == '\r') z = ' ';
  if (text.empty()) text = "kód " + std::to_string(v.kod);
  return text;
}

}  // namespace

std::uint32_t CisloUlohyNaRadku(std::string_view radek) {
  while (!radek.empty() && (radek.back() == ' ' || radek.back() == '\t' || radek.back() == '\r'))
    radek.remove_suffix(1);
  const std::size_t kde = radek.rfind(kZnacka);
  if (kde == std::string_view::npos) return 0;
  std::string_view cislice = radek.substr(kde + kZnacka.size());
  if (cislice.empty() || cislice.front() == '0') return 0;
  std::uint32_t n = 0;
  auto [konec, chyba] = std::from_chars(cislice.data(), cislice.data() + cislice.size(), n);
  if (chyba != std::errc() || konec != cislice.data() + cislice.size()) return 0;
  return n;
}

std::uint32_t PlanovacUzivatele::Nelze(const std::string& co, const std::string& proc) {
  posledniChyba_ = co + ": " + proc;
  return kPlanovacSelhani;
}

bool PlanovacUzivatele::Nespusten(int chyba) {
  posledniChyba_ = "Plánovač cron není k dispozici: program " + crontab_ +
                   (chyba == ENOENT ? " nebyl nalezen."
                                    : " nelze spustit. " + ss::ChybaSystemu(chyba, crontab_).popis);
  return false;
}

bool PlanovacUzivatele::Precist(std::vector<std::string>& radky) {
  const VysledekPrikazu v = ProvestPrikaz({crontab_, "-l"});
  if (v.chybaSpusteni) return Nespusten(v.chybaSpusteni);
  if (v.kod != 0) {
    // A user without a crontab has no lines yet.
    if (v.chyby.starts_with("no crontab for")) return true;
    Nelze("Crontab uživatele nelze přečíst (" + crontab_ + " -l)", Hlaseni(v));
    return false;
  }
  for (std::string& r : Rozdelit(v.vystup, '\n'))
    radky.push_back(std::move(r));
  if (!radky.empty() && radky.back().empty()) radky.pop_back();
  return true;
}

bool PlanovacUzivatele::Zapsat(const std::vector<std::string>& radky) {
  std::string obsah;
  for (const std::string& r : radky)
    obsah += r + "\n";
  const VysledekPrikazu v = ProvestPrikaz({crontab_, "-"}, obsah);
  if (v.chybaSpusteni) return Nespusten(v.chybaSpusteni);
  if (v.kod != 0) {
    Nelze("Crontab uživatele nelze zapsat (" + crontab_ + " -)", Hlaseni(v));
    return false;
  }
  return true;
}

std::uint32_t PlanovacUzivatele::PridatUlohu(const std::string& /*pocitac*/,
                                             const ZaznamUlohy& zaznam, std::uint32_t& cislo) {
  posledniChyba_.clear();
  std::string radek;
  if (!JeOpakovana(zaznam) || !RadekCron(zaznam, "", radek, "")) {
    posledniChyba_ = kNelzeVyjadrit;
    return kPlanovacNeplatnyParametr;
  }
  std::vector<std::string> radky;
  if (!Precist(radky)) return kPlanovacSelhani;
  std::set<std::uint32_t> obsazena;
  for (const std::string& r : radky)
    if (std::uint32_t n = CisloUlohyNaRadku(r)) obsazena.insert(n);
  std::uint32_t n = 1;
  while (obsazena.count(n))
    ++n;
  radky.push_back(radek + Znacka(n));
  if (!Zapsat(radky)) return kPlanovacSelhani;
  cislo = n;
  return kPlanovacOk;
}

std::uint32_t PlanovacUzivatele::SmazatUlohy(const std::string& /*pocitac*/, std::uint32_t od,
                                             std::uint32_t do_) {
  posledniChyba_.clear();
  std::vector<std::string> radky, zbyle;
  if (!Precist(radky)) return kPlanovacSelhani;
  for (std::string& r : radky) {
    const std::uint32_t n = CisloUlohyNaRadku(r);
    if (n == 0 || n < od || n > do_) zbyle.push_back(std::move(r));
  }
  if (zbyle.size() == radky.size()) return kUlohaNenalezena;
  return Zapsat(zbyle) ? kPlanovacOk : kPlanovacSelhani;
}

}  // namespace zevlon
