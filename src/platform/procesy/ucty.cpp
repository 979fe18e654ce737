#include "platform/procesy/ucty.h"

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace zevlon {

std::optional<Ucet> NajitUcet(uid_t uid) {
  long velikost = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buf(static_cast<std::size_t>(velikost > 0 ? velikost : 16384));
  struct passwd pw {};
  struct passwd* nalezen = nullptr;
  while (::getpwuid_r(uid, &pw, buf.data(), buf.size(), &nalezen) == ERANGE &&
         buf.size() < (1u << 20))
    buf.resize(buf.size() * 2);
  if (!nalezen) return std::nullopt;
  Ucet u{pw.pw_uid, pw.pw_gid, pw.pw_name ? pw.pw_name : "", pw.pw_dir ? pw.pw_dir : "", {}};
  // Too small a list is answered with the count it needs.
  int pocet = 32;
  for (int pokus = 0; pokus < 4; ++pokus) {
    u.skupiny.resize(static_cast<std::size_t>(pocet));
    if (::getgrouplist(u.jmeno.c_str(), u.gid, u.skupiny.data(), &pocet) >= 0) break;
  }
  u.skupiny.resize(std::min(u.skupiny.size(), static_cast<std::size_t>(pocet > 0 ? pocet : 0)));
  return u;
}

std::string JmenoUctu(uid_t uid) {
  std::optional<Ucet> u = NajitUcet(uid);
  return u && !u->jmeno.empty() ? u->jmeno : "uid " + std::to_string(uid);
}

}  // namespace zevlon
