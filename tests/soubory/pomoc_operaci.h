// Small aids shared by the tests of file and folder operations.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <utility>

#include "common/chyba.h"
#include "platform/soubory/znacka_slozky.h"
#include "rozhrani/stav.h"
#include "support/falesne_ui.h"
#include "support/sandbox.h"

namespace zevlon::test {

// A fake UI that repairs the cause of a failure when the user is first asked.
class OpravujiciUi : public FalesneUi {
 public:
  int Zprava(const std::string& text, int styl, const std::string& titulek) override {
    if (oprava) std::exchange(oprava, nullptr)();
    return FalesneUi::Zprava(text, styl, titulek);
  }
  std::function<void()> oprava;
};

// A path outside the sandbox (on another file system), removed when the test ends.
struct CestaJinde {
  std::string cesta;
  ~CestaJinde() { std::filesystem::remove_all(cesta, chyba); }
  std::error_code chyba = {};
};

// The process may hold at most `n` descriptors while the object lives.
struct OmezeniPopisovacu {
  explicit OmezeniPopisovacu(rlim_t n) {
    ::getrlimit(RLIMIT_NOFILE, &puvodni);
    struct rlimit nove = puvodni;
    nove.rlim_cur = n;
    ::setrlimit(RLIMIT_NOFILE, &nove);
  }
  ~OmezeniPopisovacu() { ::setrlimit(RLIMIT_NOFILE, &puvodni); }
  struct rlimit puvodni {};
};

template <typename F>
Chyba ZachytitChybu(F&& f) {
  try {
    f();
  } catch (const Chyba& c) {
    return c;
  }
  ADD_FAILURE() << "no error was raised";
  return Chyba(0, "");
}

// The files below a folder (links to files followed) by relative path, with contents; a
// folder's mark is the updater's own, not content.
using Strom = std::map<std::string, std::string>;
inline Strom CistStrom(const std::string& slozka) {
  Strom s;
  std::error_code e0;
  for (const auto& e : std::filesystem::recursive_directory_iterator(slozka, e0))
    if (std::filesystem::is_regular_file(e.path()) && !JeZnackaSlozky(e.path().filename().string()))
      s[e.path().lexically_relative(slozka).string()] = CistSoubor(e.path().string());
  return s;
}

inline struct stat Stav(const std::string& cesta) {
  struct stat st {};
  EXPECT_EQ(::lstat(cesta.c_str(), &st), 0) << cesta;
  return st;
}

inline void NastavitCas(const std::string& cesta, time_t s, long ns) {
  const struct timespec t[2] = {{s, ns}, {s, ns}};
  ASSERT_EQ(::utimensat(AT_FDCWD, cesta.c_str(), t, AT_SYMLINK_NOFOLLOW), 0) << cesta;
}

// Lets the unprivileged helper user reach the sandbox, if every folder above it can.
inline bool ZpristupnitSandbox(const Sandbox& sb) {
  ::chmod(sb.Cesta().c_str(), 0755);
  for (auto p = std::filesystem::path(sb.Cesta()); p != p.parent_path(); p = p.parent_path()) {
    struct stat st {};
    if (::stat(p.c_str(), &st) != 0 || (st.st_mode & S_IXOTH) == 0) return false;
  }
  return true;
}

}  // namespace zevlon::test
