#include "platform/platforma.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

namespace zevlon {

namespace {

Platforma vychozi;
Platforma* aktivni = &vychozi;

std::string Promenna(const char* jmeno) {
  const char* h = std::getenv(jmeno);
  return h ? std::string(h) : std::string();
}

}  // namespace

std::string Platforma::JmenoUzivatele() {
  uid_t uid = geteuid();
  if (uid == 0 && !isatty(STDIN_FILENO) && Promenna("DISPLAY").empty() &&
      Promenna("WAYLAND_DISPLAY").empty())
    return "System";
  long delka = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buf(delka > 0 ? static_cast<std::size_t>(delka) : 16384);
  passwd pw{};
  passwd* vysledek = nullptr;
  if (getpwuid_r(uid, &pw, buf.data(), buf.size(), &vysledek) != 0 || !vysledek) return {};
  return vysledek->pw_name ? std::string(vysledek->pw_name) : std::string();
}

std::string Platforma::JmenoPocitace() {
  char buf[256] = {};
  if (gethostname(buf, sizeof buf - 1) != 0) return {};
  return std::string(buf);
}

std::string Platforma::SlozkaTemp() {
  std::string t = Promenna("TEMP");
  if (t.empty()) t = Promenna("TMPDIR");
  if (t.empty()) t = "/tmp";
  while (t.size() > 1 && t.back() == '/')
    t.pop_back();
  return t;
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
