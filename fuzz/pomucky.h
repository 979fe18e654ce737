// What the fuzz targets share: a work folder of their own per process (below $TMPDIR,
// emptied before every input and removed when the process ends), a platform whose
// program file and temp folder lie in it, so that the error log and any temp file go
// there and never next to the fuzzer, and a check that stops the process with a
// message when a property does not hold (libFuzzer then keeps the input).
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/nahrady/platforma.h"

namespace zevlon::fuzz {

[[noreturn]] inline void Selhat(const char* soubor, int radek, const std::string& zprava) {
  std::fprintf(stderr, "\n==zevlon-fuzz== %s:%d: %s\n", soubor, radek, zprava.c_str());
  std::fflush(stderr);
  std::abort();
}

// Stops the process when the property does not hold.
#define OVERIT(podminka, zprava)                                                  \
  do {                                                                            \
    if (!(podminka))                                                              \
      ::zevlon::fuzz::Selhat(__FILE__, __LINE__,                                  \
                             std::string("neplatí: " #podminka ": ") + (zprava)); \
  } while (0)

// Text shown in a message: printable ASCII as it is, other bytes as \xNN.
inline std::string Ukazat(std::string_view s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    }
  }
  return out + "\"";
}

// ASCII letters swapped between upper and lower case: the same name for the readers.
inline std::string JinaVelikost(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z')
      c = static_cast<char>(c - 'a' + 'A');
    else if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  return out;
}

inline std::optional<std::string> Precist(const std::string& cesta) {
  std::ifstream f(cesta, std::ios::binary);
  if (!f) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

inline void Zapsat(const std::string& cesta, std::string_view data) {
  std::ofstream f(cesta, std::ios::binary | std::ios::trunc);
  f.write(data.data(), static_cast<std::streamsize>(data.size()));
  f.close();
  OVERIT(f.good(), "nelze zapsat " + cesta);
}

// The process's work folder and the platform that points into it.
class Pracoviste : public Platforma {
 public:
  // Created on first use and installed as the platform; removed at exit.
  static Pracoviste& Instance() {
    static Pracoviste* p = [] {
      auto* novy = new Pracoviste();
      NastavitPlatformu(novy);
      std::atexit([] { Instance().Odstranit(); });
      return novy;
    }();
    return *p;
  }

  // The work folder, without a trailing "/"; empty (as far as the process wrote it)
  // after Vycistit.
  const std::string& Slozka() const { return slozka_; }
  std::string Cesta(std::string_view jmeno) const { return slozka_ + "/" + std::string(jmeno); }

  // Empties the work folder.
  void Vycistit() const {
    std::error_code ec;
    for (const auto& p : std::filesystem::directory_iterator(slozka_, ec)) {
      std::filesystem::permissions(p.path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ec);
      std::filesystem::remove_all(p.path(), ec);
      OVERIT(!ec, "nelze smazat " + p.path().string() + ": " + ec.message());
    }
  }

  // The program file lies in the work folder ("<work>/Zevlon"), so the logs land there.
  std::string CestaProgramu() override { return slozka_ + "/Zevlon"; }
  std::string SlozkaTemp() override { return slozka_; }
  std::string CestaRegistru() override { return slozka_ + "/registry.reg"; }
  std::string JmenoUzivatele() override { return "fuzz"; }
  std::string JmenoPocitace() override { return "fuzz"; }
  std::error_code SpustitProces(const std::string&, const std::vector<std::string>&) override {
    return std::make_error_code(std::errc::operation_not_permitted);
  }
  bool OtevritDokument(const std::string&) override { return false; }

 private:
  Pracoviste() {
    const char* tmp = std::getenv("TMPDIR");
    std::string sablona = std::string(tmp && *tmp ? tmp : "/tmp") + "/zevlon-fuzz-XXXXXX";
    OVERIT(::mkdtemp(sablona.data()) != nullptr, "mkdtemp " + sablona);
    slozka_ = sablona;
  }

  void Odstranit() const {
    Vycistit();
    std::error_code ec;
    std::filesystem::remove(slozka_, ec);
  }

  std::string slozka_;
};

}  // namespace zevlon::fuzz
