#include "platform/nahrady/platforma.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "platform/procesy/ucty.h"
#include "platform/soubory/rozliseni_cesty.h"

namespace zevlon {

namespace {

Platforma vychozi;
Platforma* aktivni = &vychozi;

std::string Promenna(const char* jmeno) {
  const char* h = std::getenv(jmeno);
  return h ? std::string(h) : std::string();
}

// Whether only root can change what leads to the folder: resolved without another user's
// link, every existing folder on the way root's and written by root alone, or by everyone
// with the sticky bit (as /tmp), where what root makes in it stays root's.
bool JenRoota(const std::string& slozka) {
  const ss::Rozliseni r = ss::RozlisitCestu(slozka, 0);
  if (!r.chyba.Uspech() || !r.odmitnutyOdkaz.empty()) return false;
  for (const ss::SlozkaNaCeste& s : r.slozky)
    if (s.vlastnik != 0 || (!ss::ZapisujeJen(s.vlastnik, s.rezim, 0) && !(s.rezim & S_ISVTX)))
      return false;
  return true;
}

// The process's account in the user database; empty texts when unknown.
Ucet UcetProcesu() {
  return NajitUcet(geteuid()).value_or(Ucet{});
}

}  // namespace

std::string Platforma::JmenoUzivatele() {
  if (geteuid() == 0 && !isatty(STDIN_FILENO) && Promenna("DISPLAY").empty() &&
      Promenna("WAYLAND_DISPLAY").empty())
    return "System";
  return UcetProcesu().jmeno;
}

std::string Platforma::JmenoPocitace() {
  char buf[256] = {};
  if (gethostname(buf, sizeof buf - 1) != 0) return {};
  return std::string(buf);
}

std::string Platforma::CestaProgramu() {
  std::error_code ec;
  auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : p.string();
}

std::string Platforma::CestaRegistru() {
  std::string r = Promenna("DUNMOR_REGISTRY");
  return r.empty() ? std::string("/etc/dunmor/registry.reg") : r;
}

std::string Platforma::SlozkaStavu() {
  // Relative values are ignored, as the base directory rules ask.
  std::string zaklad = Promenna("XDG_STATE_HOME");
  if (zaklad.empty() || zaklad.front() != '/') {
    std::string domov = Promenna("HOME");
    if (domov.empty() || domov.front() != '/') domov = UcetProcesu().domov;
    if (domov.empty() || domov.front() != '/') return {};
    zaklad = domov + "/.local/state";
  }
  std::string slozka = zaklad + "/zevlon";
  // Root keeps its records only where nobody else can move them: a HOME or a state folder
  // handed down by another user (sudo -E) gives way to root's own home.
  if (::geteuid() == 0 && !JenRoota(slozka)) {
    slozka = UcetProcesu().domov + "/.local/state/zevlon";
    if (slozka.front() != '/' || !JenRoota(slozka)) return {};
  }
  for (std::size_t i = 1; i <= slozka.size(); ++i) {
    if (i < slozka.size() && slozka[i] != '/') continue;
    if (::mkdir(slozka.substr(0, i).c_str(), 0700) != 0 && errno != EEXIST) return {};
  }
  // Its own folder, never a link that someone else laid there.
  struct stat st {};
  if (::lstat(slozka.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid())
    return {};
  return slozka;
}

Okamzik Platforma::Ted() {
  return std::chrono::system_clock::now();
}

Platforma& platforma() {
  return *aktivni;
}

void NastavitPlatformu(Platforma* p) {
  aktivni = p ? p : &vychozi;
}

std::string SlozkaProgramu() {
  std::string cesta = platforma().CestaProgramu();
  auto lomitko = cesta.rfind('/');
  if (lomitko == std::string::npos) return ".";
  return lomitko == 0 ? std::string("/") : cesta.substr(0, lomitko);
}

std::string JmenoProgramu() {
  std::string cesta = platforma().CestaProgramu();
  std::string jmeno = cesta.substr(cesta.rfind('/') + 1);
  std::string_view pripona = kPriponaSpustitelna;
  if (!pripona.empty() && jmeno.size() > pripona.size() &&
      jmeno.compare(jmeno.size() - pripona.size(), pripona.size(), pripona) == 0)
    jmeno.resize(jmeno.size() - pripona.size());
  return jmeno;
}

}  // namespace zevlon
