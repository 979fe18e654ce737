// Small aids shared by the tests of the file and folder operations.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <utility>

#include "common/chyba.h"
#include "driver/stav.h"
#include "support/falesne_ui.h"
#include "support/sandbox.h"

namespace zevlon::test {

// The fake UI that can also repair the cause of a failure at the moment the user is
// asked, before it answers.
class OpravujiciUi : public FalesneUi {
 public:
  int Zprava(const std::string& text, int styl, const std::string& titulek) override {
    if (oprava) std::exchange(oprava, nullptr)();
    return FalesneUi::Zprava(text, styl, titulek);
  }
  std::function<void()> oprava;  // runs once, at the first question
};

// An unattended run for the lifetime of the object.
struct BezObsluhy {
  BezObsluhy() { RezimSystem = true; }
  ~BezObsluhy() { RezimSystem = false; }
};

// The style that a retry question reaches the UI with (Yes/No, warning, system-modal).
inline constexpr int kStylOtazky = 52 | mb::kSystemoveModalni;

// A path outside the sandbox (on another file system) that is removed when the test
// ends, whatever state the test left it in.
struct CestaJinde {
  std::string cesta;
  explicit CestaJinde(std::string c) : cesta(std::move(c)) {}
  ~CestaJinde() {
    std::error_code ec;
    std::filesystem::remove_all(cesta, ec);
  }
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

// The files below a folder (links to files followed) by relative path, with contents;
// a missing folder has none.
using Strom = std::map<std::string, std::string>;
inline Strom CistStrom(const std::string& slozka) {
  Strom s;
  std::error_code ec;
  for (const auto& e : std::filesystem::recursive_directory_iterator(slozka, ec))
    if (std::filesystem::is_regular_file(e.path()))
      s[e.path().lexically_relative(slozka).string()] = CistSoubor(e.path().string());
  return s;
}

inline struct stat Stav(const std::string& cesta) {
  struct stat st {};
  EXPECT_EQ(::lstat(cesta.c_str(), &st), 0) << cesta;
  return st;
}

// Sets a file's modification time to a fixed moment with nanoseconds.
inline void NastavitCas(const std::string& cesta, time_t s, long ns) {
  const struct timespec t[2] = {{s, ns}, {s, ns}};
  ASSERT_EQ(::utimensat(AT_FDCWD, cesta.c_str(), t, AT_SYMLINK_NOFOLLOW), 0) << cesta;
}

// Lets the unprivileged helper user reach the sandbox: every folder above it must be
// traversable by others.
inline bool ZpristupnitSandbox(const Sandbox& sb) {
  ::chmod(sb.Cesta().c_str(), 0755);
  std::string p = sb.Cesta();
  while (!p.empty()) {
    struct stat st {};
    if (::stat(p.c_str(), &st) != 0 || (st.st_mode & S_IXOTH) == 0) return false;
    auto i = p.rfind('/');
    p = i == std::string::npos || i == 0 ? std::string() : p.substr(0, i);
  }
  return true;
}

}  // namespace zevlon::test
