// The updater's command-line options, one table: main's parsing asks it, and the help,
// the manual pages and README name exactly its options. (The option by which root starts
// the owner's process is no option for a person and stands outside it.)
#pragma once

#include <string_view>

#include "beh/drzeni.h"
#include "soubory/volby.h"

namespace zevlon {

inline constexpr const char* kVolbaMoznosti = "--moznosti";
inline constexpr const char* kVolbaStav = "--stav";
inline constexpr const char* kVolbaJson = "--json";
inline constexpr const char* kVolbaNagios = "--nagios";
inline constexpr const char* kVolbaVarovani = "--varovani";
inline constexpr const char* kVolbaKriticke = "--kriticke";
inline constexpr const char* kVolbaKontrola = "--kontrola";
inline constexpr const char* kVolbaNapoveda = "--help";
inline constexpr const char* kVolbaVerze = "--version";
inline constexpr const char* kVolbaVratit = "--vratit";
inline constexpr const char* kVolbaAno = "--ano";
inline constexpr const char* kVolbaPresZmenuDat = "--i-pres-zmenu-dat";

struct VolbaPrikazu {
  const char* nazev;
  bool prvni;  // stands first, alone or with its own arguments; else only after another
};

inline constexpr VolbaPrikazu kVolbyPrikazu[] = {
    {kVolbaZpozdeni, false},  // before the run's own arguments, handled first
    {kVolbaMoznosti, true},  {kVolbaStav, true},          {kVolbaJson, false},  // after --stav
    {kVolbaKontrola, true},  {kVolbaNapoveda, true},      {kVolbaVerze, true},
    {kVolbaDrzet, true},     {kVolbaUvolnit, true},       {kVolbaVratit, true},
    {kVolbaAno, false},      {kVolbaPresZmenuDat, false},  // after --vratit
    {kVolbaNagios, false},   {kVolbaVarovani, false},     {kVolbaKriticke, false},  // after --stav
};

// Whether `volba` is one of the options that stand first.
constexpr bool PrvniVolba(std::string_view volba) {
  for (const VolbaPrikazu& v : kVolbyPrikazu)
    if (v.prvni && volba == v.nazev) return true;
  return false;
}

}  // namespace zevlon
