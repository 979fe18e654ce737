// The second way of unpacking a package, on archives written by Info-ZIP zip and then
// doctored as a hostile server would: only the named entry, never more than it may
// have, nothing from an archive the unzip refuses, and modes within the umask.
#include "prenos/zip/shell_rozbaleni.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "prenos/zip/mzip32.h"
#include "soubory/pomoc_operaci.h"
#include "support/archivy.h"
#include "support/falesna_platforma.h"

namespace zevlon {
namespace {

using test::PolozkaZipu;

// The process's umask for the life of one test.
class Umask {
 public:
  explicit Umask(mode_t maska) : puvodni_(::umask(maska)) {}
  ~Umask() { ::umask(puvodni_); }
  Umask(const Umask&) = delete;
  Umask& operator=(const Umask&) = delete;

 private:
  mode_t puvodni_;
};

TEST(ZkopirovatZArchivu, CopiesOnlyTheNamedEntryWithinItsSizeOrNothing) {
  test::Sandbox s;
  const std::string deset = "0123456789";
  using Upravit = std::function<void(const std::string&)>;
  const Upravit nahoru = [](auto& a) { test::PrejmenovatPolozku(a, "xx/b.dll", "../b.dll"); };
  const Upravit absolutni = [](auto& a) {
    test::PrejmenovatPolozku(a, "xtmp/b.dll", "/tmp/b.dll");
  };
  const Upravit bomba = [](auto& a) { test::ZmenitVelikostPolozky(a, "a.dll", 10); };
  const std::vector<PolozkaZipu> jen{{"a.dll", deset}}, odkaz{{"a.dll", "/etc/shadow", 0777, true}};
  const struct {
    std::string pripad;
    std::vector<PolozkaZipu> polozky;
    Upravit upravit;
    JedinaPolozka polozka;
    bool zkopirovano;
  } kPripady[] = {
      {"the entry, its name in another case", {{"A.DLL", deset}}, {}, {"a.dll", 10, true}, true},
      {"beside other entries",
       {{"b.dll", "b"}, {"a.dll", deset}, {"c/d", "d"}},
       {},
       {"a.dll", 10, true},
       true},
      {"at most", jen, {}, {"a.dll", 11, false}, true},
      {"more than at most", jen, {}, {"a.dll", 9, false}, false},
      {"less than exactly", jen, {}, {"a.dll", 11, true}, false},
      {"inflating beyond its declared size",
       {{"a.dll", std::string(5'000'000, 'x')}},
       bomba,
       {"a.dll", 1 << 30, false},
       false},
      {"a link beside",
       {jen[0], {"odkaz", "/etc/shadow", 0777, true}},
       {},
       {"a.dll", 10, true},
       false},
      {"a climbing path beside", {jen[0], {"xx/b.dll", "x"}}, nahoru, {"a.dll", 10, true}, false},
      {"an absolute path beside",
       {jen[0], {"xtmp/b.dll", "x"}},
       absolutni,
       {"a.dll", 10, true},
       false},
      {"the entry is a link", odkaz, {}, {"a.dll", 100, false}, false},
  };
  for (const auto& p : kPripady) {
    SCOPED_TRACE(p.pripad);
    test::VytvoritZip(s / "a.dll.zip", p.polozky);
    if (p.upravit) p.upravit(s / "a.dll.zip");
    const std::string cil = s.Vytvorit("cil");
    EXPECT_EQ(ZkopirovatZArchivu(s / "a.dll.zip", p.polozka, cil + "/"), p.zkopirovano);
    EXPECT_EQ(test::Obsah(cil),
              p.zkopirovano ? std::vector<std::string>{"a.dll"} : std::vector<std::string>{});
    if (p.zkopirovano) {
      EXPECT_EQ(test::CistSoubor(cil + "/a.dll"), deset);
    }
    std::filesystem::remove_all(cil);
  }
}

// A file's mode from the archive is cut by the umask; a run of root never gives
// group or others the right to write, whatever its umask.
// Both ways of unpacking.
TEST(Rozbaleni, ModesFromTheArchiveKeepToTheUmaskAndNeverLetOthersWriteForRoot) {
  if (::geteuid() != 0) GTEST_SKIP() << "the rule for root needs root";
  test::Sandbox s;
  test::FalesnaPlatforma platforma;
  platforma.program = s / "Zevlon";
  test::VytvoritZip(s / "a.zip",
                    {{"vsem", "x", 0777}, {"zapis", "x", 0666}, {"skupina", "x", 0750}});
  const struct {
    mode_t maska, vsem, zapis, skupina;
  } kPripady[] = {{022, 0755, 0644, 0750}, {077, 0700, 0600, 0700}, {0, 0755, 0644, 0750}};
  for (const auto& p : kPripady) {
    SCOPED_TRACE(p.maska);
    Umask maska(p.maska);
    for (auto [jmeno, rezim] :
         {std::pair{"vsem", p.vsem}, {"zapis", p.zapis}, {"skupina", p.skupina}}) {
      SCOPED_TRACE(jmeno);
      const std::string cil = s.Vytvorit("cil");
      ASSERT_TRUE(ZkopirovatZArchivu(s / "a.zip", {jmeno, 1, true}, cil + "/"));
      ASSERT_EQ(RozzipovatJednoduse(s / "a.zip", s / "cil/vse/", 1, ""), 0);
      EXPECT_EQ(test::Stav(cil + "/" + jmeno).st_mode & 07777, rezim);
      EXPECT_EQ(test::Stav(cil + "/vse/" + jmeno).st_mode & 07777, rezim);
      std::filesystem::remove_all(cil);
    }
  }
}

}  // namespace
}  // namespace zevlon
