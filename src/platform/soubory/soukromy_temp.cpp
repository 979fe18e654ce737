#include "platform/soubory/soukromy_temp.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <vector>

#include "common/chyba.h"
#include "platform/nahrady/platforma.h"
#include "platform/soubory/souborovy_system.h"

namespace zevlon {

namespace {

TempBehu* aktivni = nullptr;

std::string BezLomitek(std::string p) {
  while (p.size() > 1 && p.back() == '/')
    p.pop_back();
  return p;
}

std::string Rodic(const std::string& cesta) {
  auto i = cesta.rfind('/');
  if (i == std::string::npos) return ".";
  return i == 0 ? std::string("/") : cesta.substr(0, i);
}

std::string Skutecna(const std::string& cesta) {
  char* r = ::realpath(cesta.c_str(), nullptr);
  if (!r) return cesta;
  std::string s(r);
  std::free(r);
  return s;
}

std::string JmenoVlastni() {
  return "zevlon-" + std::to_string(::geteuid());
}

[[noreturn]] void NelzeVytvorit(const std::string& slozka, int e) {
  throw Chyba(kChybaUzivatele, "Soukromou dočasnou složku " + slozka + " se nepodařilo vytvořit: " +
                                   ss::ChybaSystemu(e, slozka, ss::Druh::kSlozka).popis);
}

}  // namespace

bool JeSoukromaSlozka(const std::string& slozka) {
  struct stat st {};
  return ::lstat(BezLomitek(slozka).c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
         st.st_uid == ::geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

SoukromyTemp ZvolitSoukromyTemp(const std::string& temp, bool nahradniPovolena) {
  const std::string t = BezLomitek(temp);
  if (JeSoukromaSlozka(t)) return {t, false};

  struct stat st {};
  if (t.empty() || ::stat(t.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    throw Chyba(kChybaUzivatele, "Dočasná složka " + t + " neexistuje.");
  // In a folder of another user, or one that others may write without the sticky bit,
  // anyone could rename our folder away and lay their own under its name.
  const bool vlastnik = st.st_uid == ::geteuid() || st.st_uid == 0;
  const bool otevrena = (st.st_mode & (S_IWGRP | S_IWOTH)) != 0;
  if (!vlastnik || (otevrena && (st.st_mode & S_ISVTX) == 0))
    throw Chyba(kChybaUzivatele,
                "Dočasnou složku " + t +
                    " nelze bezpečně použít, protože do ní mohou zapisovat i jiní uživatelé. "
                    "Nastavte proměnnou TEMP na složku, do které smí zapisovat jen uživatel, "
                    "pod kterým program běží, nebo na složku s nastaveným příznakem sticky "
                    "(jako je /tmp).");

  // A link to the temp folder is resolved once, so that nothing later goes through it.
  const std::string zaklad = Skutecna(t);
  const std::string vlastni = zaklad + "/" + JmenoVlastni();
  if (::mkdir(vlastni.c_str(), 0700) != 0 && errno != EEXIST) NelzeVytvorit(vlastni, errno);
  if (JeSoukromaSlozka(vlastni)) return {vlastni, false};

  // The name is taken: whatever stands there is never entered, changed or removed.
  if (!nahradniPovolena)
    throw Chyba(kChybaUzivatele, "Složka " + vlastni +
                                     " není soukromou složkou uživatele, pod kterým program "
                                     "běží, a nelze ji použít.");
  std::string sablona = vlastni + ".XXXXXX";
  std::vector<char> buf(sablona.begin(), sablona.end());
  buf.push_back('\0');
  if (!::mkdtemp(buf.data())) NelzeVytvorit(sablona, errno);
  return {buf.data(), true};
}

bool JeNahradniSlozka(const std::string& slozka, const std::string& temp) {
  const std::string s = BezLomitek(slozka);
  const std::string predpona = JmenoVlastni() + ".";
  const std::string jmeno = s.substr(s.rfind('/') + 1);
  if (jmeno.size() != predpona.size() + 6 || jmeno.compare(0, predpona.size(), predpona) != 0)
    return false;
  for (char c : jmeno.substr(predpona.size()))
    if (!std::isalnum(static_cast<unsigned char>(c))) return false;
  return Rodic(s) == Skutecna(BezLomitek(temp)) && JeSoukromaSlozka(s);
}

TempBehu::TempBehu() {
  aktivni = this;
}

TempBehu::~TempBehu() {
  if (aktivni == this) aktivni = nullptr;
  if (temp_.nahradni && !predano_) (void)ss::SmazatStrom(temp_.slozka);
}

void TempBehu::Zvolit() {
  if (temp_.slozka.empty()) temp_ = ZvolitSoukromyTemp(platforma().SlozkaTemp());
}

bool TempBehu::Prevzit(const std::string& slozka) {
  if (!temp_.slozka.empty() || !JeNahradniSlozka(slozka, platforma().SlozkaTemp())) return false;
  temp_ = {BezLomitek(slozka), true};
  return true;
}

std::string SlozkaTempBehu() {
  if (aktivni && !aktivni->Slozka().empty()) return aktivni->Slozka();
  return ZvolitSoukromyTemp(platforma().SlozkaTemp(), false).slozka;
}

void PredatTempBehu(const std::string& soubor) {
  if (aktivni && aktivni->temp_.nahradni && Rodic(soubor) == aktivni->temp_.slozka)
    aktivni->predano_ = true;
}

SlozkaVTempu::SlozkaVTempu(const std::string& temp, const char* predpona) {
  std::string sablona = temp + "/" + predpona + ".XXXXXX";
  if (::mkdtemp(sablona.data())) cesta_ = sablona;
}

SlozkaVTempu::~SlozkaVTempu() {
  if (!cesta_.empty()) (void)ss::SmazatStrom(cesta_);
}

}  // namespace zevlon
