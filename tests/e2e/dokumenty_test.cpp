// The help, the manual pages and README against the program's own tables: each names every
// option of its command line, key of Zevlon.ini and exit status, and none that it lacks.
#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "beh/kontrola_voleb.h"
#include "beh/volby_prikazu.h"
#include "beh/zaznam_behu.h"
#include "support/neprivilegovany.h"
#include "support/sandbox.h"

namespace zevlon {
namespace {

using Nazvy = std::set<std::string>;
constexpr const char* kVolba = "(--[a-z][a-z0-9-]*)";

// The first group of each match of `vzor` in `text` from `od` to the next `po` (nothing
// without `od`), a manual page's "\-" read as "-".
Nazvy Najit(const std::string& text, const char* vzor, const std::string& od = "",
            const std::string& po = "\x01") {
  const auto a = text.find(od);
  std::string cast = a == std::string::npos ? "" : text.substr(a, text.find(po, a + 1) - a);
  for (auto i = cast.find("\\-"); i != std::string::npos; i = cast.find("\\-", i))
    cast.replace(i, 2, "-");
  Nazvy n;
  const std::regex r(vzor);
  for (std::sregex_iterator i(cast.begin(), cast.end(), r), konec; i != konec; ++i)
    n.insert((*i)[1]);
  return n;
}

Nazvy Bez(Nazvy a, const Nazvy& b) {
  for (const std::string& x : b)
    a.erase(x);
  return a;
}

TEST(Dokumenty, NameEveryOptionKeyAndExitStatusOfTheProgramAndNoOther) {
  Nazvy volby, klice, navraty;
  for (const VolbaPrikazu& v : kVolbyPrikazu)
    volby.insert(v.nazev);
  for (const ZnamaSekce& s : ZnameSekce())
    for (const ZnamyKlic& k : s.klice)
      klice.insert(k.nazev);
  for (int n : kNavraty)
    navraty.insert(std::to_string(n));
  for (const RadekVysledku& r : kVysledky)
    navraty.insert(std::to_string(r.navratStavu));
  auto cist = [](const std::string& c) { return test::CistSoubor(ZEVLON_ZDROJE "/" + c); };
  const auto napoveda = test::Spustit({ZEVLON_PROGRAM, "--help"});
  ASSERT_EQ(napoveda.kod, 0);
  const std::string &h = napoveda.vystup, readme = cist("README.md");
  // The publisher's options, which README and the examples of the manual pages name too.
  const Nazvy cizi = Najit(cist("docs/man/en/zevlon-publikovat.1") + "--now --patch-from", kVolba);
  // The publisher's help and both its manual pages name the same options, the help each in
  // its usage and each but --help and --version at the head of a line that describes it.
  const std::string p = test::Spustit({ZEVLON_PUBLIKOVAT, "--help"}).vystup;
  EXPECT_EQ(Najit(p, kVolba, "Použití:", "\n\n"), Najit(p, kVolba));
  EXPECT_EQ(Najit(p, "\n  (--[a-z][a-z0-9-]*) .{10}"),
            Bez(Najit(p, kVolba), {"--help", "--version"}));
  for (const char* jazyk : {"cs", "en"})
    EXPECT_EQ(Najit(cist(std::string("docs/man/") + jazyk + "/zevlon-publikovat.1"), kVolba),
              Najit(p, kVolba))
        << jazyk;
  struct Dokument {
    std::string nazev;
    Nazvy pouziti, volby, klice, navraty;  // the usage names every option, all of it no other
  };
  std::vector<Dokument> dokumenty{
      {"--help", Najit(h, kVolba, "Použití:", "\n\n"), Najit(h, kVolba),
       Najit(h, "[ \n]([A-Z][A-Za-z]*)(?=[ \n]|$)", "Klíče souboru Zevlon.ini", "\n\n"),
       Najit(h, "\n  ([0-9]+)  ", "Návratový kód:")},
      {"README.md", Najit(readme, kVolba, "## Using it", "## Building"),
       Najit(readme, kVolba, "## Using it", "## Building"),
       Najit(readme, "\n\\| `\\[[A-Za-z]+\\]` \\| `([A-Za-z]+)` \\|"),
       Najit(readme, "\n\\| ([0-9]+) \\|")}};
  for (const auto& [jazyk, pouziti, soubor, navrat] :
       {std::array{"cs", ".SH POUŽITÍ", ".SS Soubor možností", ".SH NÁVRATOVÝ KÓD"},
        {"en", ".SH SYNOPSIS", ".SS Options file", ".SH EXIT STATUS"}}) {
    const std::string man = cist(std::string("docs/man/") + jazyk + "/zevlon.1");
    dokumenty.push_back({std::string("man ") + jazyk, Najit(man, kVolba, pouziti, "\n.S"),
                         Najit(man, kVolba),
                         Najit(man, R"(\\fB([A-Z][A-Za-z0-9]*)(?:=|\\fP))", soubor, "\n.S"),
                         Najit(man, "\n\\.B ([0-9]+)\n", navrat, "\n.S")});
  }
  for (const Dokument& d : dokumenty) {
    SCOPED_TRACE(d.nazev);
    EXPECT_EQ(Bez(volby, d.pouziti), Nazvy{}) << "options missing";
    EXPECT_EQ(Bez(Bez(d.volby, volby), cizi), Nazvy{}) << "options the program does not have";
    EXPECT_EQ(d.klice, klice);
    EXPECT_EQ(d.navraty, navraty);
  }
}

}  // namespace
}  // namespace zevlon
