#include "platform/planovani/planovac_systemd.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <memory>
#include <set>

#include "platform/procesy/proces.h"
#include "platform/soubory/soubor.h"

namespace zevlon {

namespace {

constexpr const char* kZpozdeni = "--zpozdeni";
constexpr const char* kHlavicka = "# Zevlon: naplánovaná aktualizace Dunmor Merko, úloha ";
constexpr const char* kDny[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};

std::string Dve(std::uint32_t n) {
  return (n < 10 ? "0" : "") + std::to_string(n);
}

// A word of ExecStart: in double quotes, with what systemd would take for a specifier or
// a variable doubled.
std::string CitovatProSystemd(const std::string& text) {
  std::string s = "\"";
  for (char z : text) {
    if (z == '"' || z == '\\') s += '\\';
    if (z == '%' || z == '$') s += z;
    s += z;
  }
  return s + "\"";
}

std::string Jmeno(std::uint32_t cislo, const char* pripona) {
  return std::string(kPredponaUlohy) + std::to_string(cislo) + pripona;
}

// The numbers of the timers and services in the unit folder.
void CislaJednotek(const std::string& slozka, std::set<std::uint32_t>& cisla) {
  std::unique_ptr<DIR, int (*)(DIR*)> adresar(::opendir(slozka.c_str()), ::closedir);
  if (!adresar) return;
  while (dirent* e = ::readdir(adresar.get())) {
    std::string_view jmeno = e->d_name;
    for (std::string_view pripona : {".timer", ".service"})
      if (jmeno.size() > pripona.size() && jmeno.ends_with(pripona))
        if (std::uint32_t n = CisloZeJmena(jmeno.substr(0, jmeno.size() - pripona.size())))
          cisla.insert(n);
  }
}

// The schedule fields of a cron line (minute, hour, day of month, month, day of week).
std::string PoleCasu(const std::string& radek) {
  std::size_t i = 0;
  for (int pole = 0; pole < 5 && i != std::string::npos; ++pole)
    i = radek.find(' ', i + (pole > 0 ? 1 : 0));
  return i == std::string::npos ? std::string() : radek.substr(0, i);
}

}  // namespace

bool JednotkySystemd(const ZaznamUlohy& zaznam, std::uint32_t cislo, std::string& sluzba,
                     std::string& casovac) {
  std::string radek;
  if (!JeOpakovana(zaznam) || !RadekCron(zaznam, "", radek)) return false;
  // The random delay the command asks for is the timer's; the service runs the rest.
  std::vector<std::string> polozky = PolozkyPrikazu(zaznam.Command);
  std::string zpozdeni;
  for (std::size_t i = 1; i + 1 < polozky.size(); ++i)
    if (polozky[i] == kZpozdeni) {
      zpozdeni = polozky[i + 1];
      polozky.erase(polozky.begin() + static_cast<long>(i),
                    polozky.begin() + static_cast<long>(i) + 2);
      break;
    }
  if (!zpozdeni.empty() && zpozdeni.find_first_not_of("0123456789") != std::string::npos)
    return false;
  std::string prikaz;
  for (const std::string& p : polozky)
    prikaz += (prikaz.empty() ? "" : " ") + CitovatProSystemd(p);
  std::string program = polozky.front();
  for (std::size_t i = 0; (i = program.find('%', i)) != std::string::npos; i += 2)
    program.insert(i, 1, '%');

  const std::uint32_t s = zaznam.JobTime / 1000;
  const std::string cas = Dve(s / 3600) + ":" + Dve(s / 60 % 60) + ":" + Dve(s % 60);
  std::string dnyTydne, dnyMesice;
  for (int d = 0; d < 7; ++d)
    if (zaznam.DaysOfWeek & (1u << d))
      dnyTydne += (dnyTydne.empty() ? "" : ",") + std::string(kDny[d]);
  if (zaznam.DaysOfWeek == 0x7f) dnyTydne.clear();
  for (int d = 0; d < 31; ++d)
    if (zaznam.DaysOfMonth & (1u << d)) dnyMesice += (dnyMesice.empty() ? "" : ",") + Dve(d + 1);
  // Cron runs on either kind of day; systemd on both at once, so each kind gets its line.
  std::string kalendar;
  if (zaznam.DaysOfWeek)
    kalendar += "OnCalendar=" + (dnyTydne.empty() ? "" : dnyTydne + " ") + "*-*-* " + cas + "\n";
  if (zaznam.DaysOfMonth) kalendar += "OnCalendar=*-*-" + dnyMesice + " " + cas + "\n";

  const std::string c = std::to_string(cislo);
  sluzba = kHlavicka + c + "\n[Unit]\nDescription=Zevlon: aktualizace Dunmor Merko (úloha " + c +
           ")\nAfter=network-online.target\nWants=network-online.target\n"
           "ConditionFileIsExecutable=" +
           program + "\n\n[Service]\nType=oneshot\nExecStart=" + prikaz +
           // A run stopped (systemctl stop, a shutdown) ends with 2: not the unit's failure,
           // the next run finishes the update.
           "\nSuccessExitStatus=2\n";
  casovac =
      kHlavicka + c + "\n[Unit]\nDescription=Zevlon: naplánovaná aktualizace Dunmor Merko (úloha " +
      c + ")\n\n[Timer]\n" + kalendar +
      (zpozdeni.empty() || zpozdeni == "0" ? "" : "RandomizedDelaySec=" + zpozdeni + "min\n") +
      "Persistent=true\n\n[Install]\nWantedBy=timers.target\n";
  return true;
}

bool PlanovacSystemd::Systemctl(const std::vector<std::string>& slova) {
  std::vector<std::string> argv{systemctl_};
  argv.insert(argv.end(), slova.begin(), slova.end());
  const VysledekPrikazu v = ProvestPrikaz(argv);
  if (v.chybaSpusteni == 0 && v.kod == 0) return true;
  std::string proc = v.chybaSpusteni   ? ss::ChybaSystemu(v.chybaSpusteni, systemctl_).popis
                     : v.chyby.empty() ? "návratový kód " + std::to_string(v.kod)
                                       : v.chyby;
  while (!proc.empty() && (proc.back() == '\n' || proc.back() == '\r'))
    proc.pop_back();
  posledniChyba_ = "Příkaz " + systemctl_ + " " + slova.front() + " selhal: " + proc;
  return false;
}

std::uint32_t PlanovacSystemd::PridatUlohu(const std::string& pocitac, const ZaznamUlohy& zaznam,
                                           std::uint32_t& cislo) {
  if (!JeOpakovana(zaznam)) return Planovac::PridatUlohu(pocitac, zaznam, cislo);
  posledniChyba_.clear();
  std::string sluzba, casovac;
  if (!JednotkySystemd(zaznam, 1, sluzba, casovac)) {
    posledniChyba_ = kNelzeVyjadrit;
    return kPlanovacNeplatnyParametr;
  }
  std::set<std::uint32_t> obsazena;
  int chyba = 0;
  if (!CislaUloh(Slozka(), obsazena, chyba) && chyba != ENOENT)
    return Selhani(chyba, Slozka(), ss::Druh::kSlozka);
  CislaJednotek(jednotky_, obsazena);
  std::uint32_t n = 1;
  for (;; ++n) {
    while (obsazena.count(n))
      ++n;
    if (n == 0) return Selhani(ENOSPC, jednotky_, ss::Druh::kSlozka);
    JednotkySystemd(zaznam, n, sluzba, casovac);
    int e = ZapsatCitelnySoubor(jednotky_, Jmeno(n, ".service"), sluzba, ".zevlon-", false);
    if (e == 0) {
      e = ZapsatCitelnySoubor(jednotky_, Jmeno(n, ".timer"), casovac, ".zevlon-", false);
      if (e != 0) ::unlink((jednotky_ + "/" + Jmeno(n, ".service")).c_str());
    }
    if (e == EEXIST) {
      obsazena.insert(n);
      continue;
    }
    if (e != 0) return Selhani(e, jednotky_ + "/" + Jmeno(n, ".timer"));
    break;
  }
  if (!Systemctl({"daemon-reload"}) || !Systemctl({"enable", "--now", Jmeno(n, ".timer")})) {
    const std::string proc = posledniChyba_;
    for (const char* pripona : {".timer", ".service"})
      ::unlink((jednotky_ + "/" + Jmeno(n, pripona)).c_str());
    (void)Systemctl({"daemon-reload"});
    posledniChyba_ = proc;
    return kPlanovacSelhani;
  }
  // The cron job of this program for the same schedule (an earlier version's) goes now.
  std::string radek;
  RadekCron(zaznam, "", radek);
  std::set<std::uint32_t> cron;
  if (CislaUloh(Slozka(), cron, chyba))
    for (std::uint32_t k : cron) {
      const std::string cesta = Slozka() + "/" + kPredponaUlohy + std::to_string(k);
      const auto obsah = NacistSoubor(cesta);
      if (!obsah) continue;
      const std::size_t zacatek = obsah->find('\n') + 1;
      if (PoleCasu(obsah->substr(zacatek)) == PoleCasu(radek)) ::unlink(cesta.c_str());
    }
  cislo = n;
  return kPlanovacOk;
}

std::uint32_t PlanovacSystemd::SmazatUlohy(const std::string& pocitac, std::uint32_t od,
                                           std::uint32_t do_) {
  std::set<std::uint32_t> cisla;
  CislaJednotek(jednotky_, cisla);
  bool nalezena = false, ok = true;
  for (auto it = cisla.lower_bound(od); it != cisla.end() && *it <= do_; ++it) {
    nalezena = true;
    ok = Systemctl({"disable", "--now", Jmeno(*it, ".timer")}) && ok;
    const std::string proc = posledniChyba_;
    for (const char* pripona : {".timer", ".service"})
      if (::unlink((jednotky_ + "/" + Jmeno(*it, pripona)).c_str()) != 0 && errno != ENOENT) {
        Selhani(errno, jednotky_ + "/" + Jmeno(*it, pripona));
        ok = false;
      }
    if (!ok && posledniChyba_.empty()) posledniChyba_ = proc;
  }
  if (nalezena) ok = Systemctl({"daemon-reload"}) && ok;
  const std::string proc = posledniChyba_;
  const std::uint32_t cron = Planovac::SmazatUlohy(pocitac, od, do_);
  if (!ok) {
    posledniChyba_ = proc;
    return kPlanovacSelhani;
  }
  if (cron == kUlohaNenalezena) return nalezena ? kPlanovacOk : kUlohaNenalezena;
  return cron;
}

}  // namespace zevlon
