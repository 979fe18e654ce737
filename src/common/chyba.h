// The error object of the program: a number, a description for the user and the
// source ("module::procedure") where it was raised. Every failure travels as a
// thrown Chyba up to the run's handler.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace zevlon {

// The platform's user error base; errors of the program's own checks use it.
inline constexpr std::int32_t kChybaUzivatele = static_cast<std::int32_t>(0x80040000u);
// The user's cancel (Storno): user error base + 40.
inline constexpr std::int32_t kChybaZruseno = kChybaUzivatele + 40;
inline constexpr const char* kTextZruseno = "Aktualizace zrušena uživatelem";

// Codes of the platform's own run-time errors that the program raises or tests.
namespace kod {
inline constexpr std::int32_t kNeplatnyArgument = 5;      // invalid procedure call or argument
inline constexpr std::int32_t kPreteceni = 6;             // overflow
inline constexpr std::int32_t kIndexMimoRozsah = 9;       // subscript out of range
inline constexpr std::int32_t kNeshodaTypu = 13;          // type mismatch
inline constexpr std::int32_t kSouborNenalezen = 53;      // file not found
inline constexpr std::int32_t kPristupOdepren = 70;       // access denied
inline constexpr std::int32_t kChybaPristupuKCeste = 75;  // path/file access error
inline constexpr std::int32_t kCestaNenalezena = 76;      // path not found
inline constexpr std::int32_t kObjektNenastaven = 91;     // object variable not set
inline constexpr std::int32_t kNeplatnePouzitiNull = 94;  // invalid use of Null
inline constexpr std::int32_t kKlicJizExistuje = 457;     // key already in a collection
}  // namespace kod

class Chyba : public std::runtime_error {
 public:
  Chyba(std::int32_t cislo, std::string popis, std::string zdroj = {})
      : std::runtime_error(popis),
        cislo_(cislo),
        popis_(std::move(popis)),
        zdroj_(std::move(zdroj)) {}

  std::int32_t Cislo() const { return cislo_; }
  const std::string& Popis() const { return popis_; }
  const std::string& Zdroj() const { return zdroj_; }
  bool JeZruseni() const { return cislo_ == kChybaZruseno; }

 private:
  std::int32_t cislo_;
  std::string popis_;
  std::string zdroj_;
};

// Raises an error of the program's own checks (user error base).
[[noreturn]] void VyvolatChybu(std::string popis, std::string zdroj = {});

// The cancel error raised when the user pressed Storno.
[[noreturn]] void VyvolatZruseni();

// Raises the error again with the same number and description under another source.
[[noreturn]] void ZnovuVyvolat(const Chyba& chyba, std::string zdroj);

// Runs f and re-raises any error that escapes it under the given source; other
// exceptions (std::bad_alloc, std::system_error, ...) become errors of that source too.
template <typename F>
decltype(auto) PodZdrojem(const std::string& zdroj, F&& f);

// Turns any exception into the error object (unknown ones get the user error base).
Chyba JakoChyba(const std::exception& e);

template <typename F>
decltype(auto) PodZdrojem(const std::string& zdroj, F&& f) {
  try {
    return f();
  } catch (const Chyba& c) {
    ZnovuVyvolat(c, zdroj);
  } catch (const std::exception& e) {
    ZnovuVyvolat(JakoChyba(e), zdroj);
  }
}

}  // namespace zevlon
