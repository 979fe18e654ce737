// Commands of the test helper program, one table per area.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace zevlon::test {

using Prikaz = std::function<void(const std::vector<std::string>&)>;
using TabulkaPrikazu = std::map<std::string, Prikaz>;

TabulkaPrikazu PrikazyOperaci();   // file and folder operations
TabulkaPrikazu PrikazyBehu();      // update right, logs, INI writes
TabulkaPrikazu PrikazyMoznosti();  // the options window's OK

inline TabulkaPrikazu VsechnyPrikazy() {
  TabulkaPrikazu t = PrikazyOperaci();
  t.merge(PrikazyBehu());
  t.merge(PrikazyMoznosti());
  return t;
}

}  // namespace zevlon::test
