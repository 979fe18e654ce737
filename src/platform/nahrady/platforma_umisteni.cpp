// Where the program keeps its files: beside the program file, or in a packaged build
// (ZEVLON_BALICEK=1, set by the package build) where the Filesystem Hierarchy Standard puts
// them.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/nahrady/platforma.h"

#ifndef ZEVLON_BALICEK
#define ZEVLON_BALICEK 0
#endif

namespace zevlon {

namespace {

constexpr const char* kSlozkaVoleb = "/etc/zevlon";
constexpr const char* kSlozkaLogu = "/var/log/zevlon";
constexpr const char* kSlozkaCache = "/var/cache/zevlon";
constexpr const char* kSlozkaZaznamu = "/var/lib/zevlon";
constexpr const char* kSlozkaBehu = "/run";

std::string Promenna(const char* jmeno) {
  const char* h = std::getenv(jmeno);
  return h ? std::string(h) : std::string();
}

// A folder of root's that the package makes; made again (its last part only) when an
// administrator removed it.
std::string SlozkaRoota(const char* slozka, mode_t prava) {
  if (::geteuid() == 0) (void)::mkdir(slozka, prava);
  return slozka;
}

}  // namespace

bool Platforma::ZBalicku() {
  return ZEVLON_BALICEK != 0;
}

std::string Platforma::SlozkaTemp() {
  if (ZBalicku() && ::geteuid() == 0) return SlozkaRoota(kSlozkaCache, 0700);
  std::string t = Promenna("TEMP");
  if (t.empty()) t = Promenna("TMPDIR");
  if (t.empty()) t = "/tmp";
  while (t.size() > 1 && t.back() == '/')
    t.pop_back();
  return t;
}

std::string Platforma::SlozkaZaznamu() {
  if (ZBalicku() && ::geteuid() == 0) return SlozkaRoota(kSlozkaZaznamu, 0755);
  return SlozkaStavu();
}

std::string Platforma::SlozkaVoleb() {
  return ZBalicku() ? std::string(kSlozkaVoleb) : SlozkaProgramu();
}

std::string Platforma::SlozkaLogu() {
  if (!ZBalicku()) return SlozkaProgramu();
  // Another user's logs go to that user's state folder: the system's log folder is root's.
  return ::geteuid() == 0 ? SlozkaRoota(kSlozkaLogu, 0750) : std::string();
}

std::string Platforma::SlozkaZamku() {
  if (!ZBalicku()) return SlozkaProgramu();
  if (::geteuid() == 0) return kSlozkaBehu;
  // Relative values are ignored, as the base directory rules ask.
  const std::string beh = Promenna("XDG_RUNTIME_DIR");
  return beh.empty() || beh.front() != '/' ? std::string() : beh;
}

}  // namespace zevlon
