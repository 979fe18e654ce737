#include "platform/soubory/souborovy_system.h"
#include "platform/soubory/rozliseni_cesty.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "common/chyba.h"
#include "soubory/pomoc_operaci.h"
#include "support/neprivilegovany.h"

namespace zevlon::ss {
namespace {

using test::CistSoubor;
using test::Existuje;
using test::Stav;

TEST(ZkopirovatSoubor, ReplacesALinkOrFileWholeAndRefusesWhatItMustNotReplace) {
  test::Sandbox sb;
  std::string z = sb.Zapsat("z.sh", "#!/bin/sh\n");
  ::chmod(z.c_str(), 0750);
  test::NastavitCas(z, 1'500'000'000, 42);
  std::string venku = sb.Zapsat("venku.txt", "nedotčeno");
  const std::string cil = sb / "cil";
  ASSERT_EQ(::symlink(venku.c_str(), cil.c_str()), 0);
  ASSERT_TRUE(ZkopirovatSoubor(z, cil).Uspech());
  struct stat st = Stav(cil);  // a file of its own, with the source's mode and time
  EXPECT_EQ(st.st_mode, S_IFREG | 0750u);
  EXPECT_EQ(st.st_mtim.tv_sec * 1'000'000'000 + st.st_mtim.tv_nsec, 1'500'000'000'000'000'042);
  EXPECT_EQ(CistSoubor(cil), "#!/bin/sh\n");
  EXPECT_EQ(CistSoubor(venku), "nedotčeno");

  std::string cizi = sb.Zapsat("cizi", "starý");  // a replaced file keeps its owner
  test::PredatNeprivilegovanemu(cizi);
  ASSERT_TRUE(ZkopirovatSoubor(z, cizi).Uspech());
  EXPECT_EQ(Stav(cizi).st_uid, test::NeprivilegovanyUid());

  ASSERT_EQ(::mkfifo((sb / "roura").c_str(), 0644), 0);  // refused, and never waited for
  EXPECT_EQ(ZkopirovatSoubor(sb / "roura", cizi).kod, kod::kPristupOdepren);
  EXPECT_EQ(ZkopirovatSoubor(z, sb.Cesta()).kod, kod::kPristupOdepren);  // a folder
  ASSERT_EQ(::symlink(z.c_str(), (sb / "odkaz").c_str()), 0);  // a link is never read through
  EXPECT_EQ(ZkopirovatSoubor(sb / "odkaz", cil).kod, ELOOP);
  ::unlink((sb / "odkaz").c_str());
  ::chmod(cizi.c_str(), 0444);
  EXPECT_EQ(ZkopirovatSoubor(venku, cizi).kod, kod::kPristupOdepren);
  EXPECT_EQ(CistSoubor(cizi), "#!/bin/sh\n");
  // z.sh venku.txt cil cizi roura: no temporary left
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(sb.Cesta()), {}), 5);

  // Large and size-less sources (a /proc file announces 0 bytes) arrive whole.
  std::string velky(3 << 20, '\0');
  for (std::size_t i = 0; i < velky.size(); ++i)
    velky[i] = static_cast<char>((i * 2654435761u) >> 13);
  ASSERT_TRUE(ZkopirovatSoubor(sb.Zapsat("velky.bin", velky), cil).Uspech());
  EXPECT_EQ(CistSoubor(cil), velky);
  ASSERT_TRUE(ZkopirovatSoubor("/proc/self/status", cil).Uspech());
  EXPECT_TRUE(CistSoubor(cil).starts_with("Name:"));

  // From an open file: read whole however often it is copied (a copy tried again), and
  // not placed at all when it was written to after the status the caller holds.
  const int dir = ::open(sb.Cesta().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const int vstup = ::open((sb / "velky.bin").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(vstup, 0);
  const struct stat zs = Stav(sb / "velky.bin");
  bool zmenen = true;
  for (const char* jmeno : {"prvni", "druha"}) {
    ASSERT_TRUE(ZkopirovatOtevrenyDo(vstup, zs, "velky.bin", {dir, jmeno, sb / jmeno}, std::nullopt,
                                     &zmenen)
                    .Uspech());
    EXPECT_FALSE(zmenen);
    EXPECT_EQ(CistSoubor(sb / jmeno), velky) << jmeno;
  }
  test::NastavitCas(sb / "velky.bin", 1'500'000'000, 7);  // its status-change time moves
  ASSERT_TRUE(ZkopirovatOtevrenyDo(vstup, zs, "velky.bin", {dir, "treti", sb / "treti"},
                                   std::nullopt, &zmenen)
                  .Uspech());
  EXPECT_TRUE(zmenen);
  EXPECT_FALSE(Existuje(sb / "treti"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(sb.Cesta()), {}), 8);
  ::close(vstup);
  ::close(dir);
}

// Links the acting user (or root) laid in folders only they can write are followed, as an
// administrator's /home -> /data/home; any other link stops the resolution.
TEST(RozlisitCestu, FollowsOnlyTrustedLinksAndNotesEveryFolderOnTheWay) {
  test::Sandbox sb;
  const std::string k = sb.Cesta();
  sb.Vytvorit("a/b");
  sb.Vytvorit("c");
  sb.Vytvorit("g");
  ::chmod((sb / "g").c_str(), 0775);
  for (auto [cil, odkaz] : {std::pair{"a", "l"},
                            {"../c", "a/nahoru"},
                            {"../a", "g/odkaz"},
                            {"smycka", "smycka"},
                            {"/nikde/x", "ven"}})
    ASSERT_EQ(::symlink(cil, (sb / odkaz).c_str()), 0);
  struct Pripad {
    std::string cesta, vysledek, odmitnutyOdkaz;
    bool existuje;
    int chyba;
  };
  const Pripad pripady[] = {
      {k + "/l/b", k + "/a/b", "", true, 0},
      {k + "/a/nahoru/", k + "/c", "", true, 0},
      {k + "/l/./b/../b", k + "/a/b", "", true, 0},
      {k + "/l/x/y/../z", k + "/a/x/z", "", false, 0},
      {k + "/ven/y", "/nikde/x/y", "", false, 0},
      {k + "/g/odkaz/b", k + "/g/odkaz", k + "/g/odkaz", false, 0},
      {k + "/smycka/b", "", "", false, ELOOP},
      {"relativni/cesta", "", "", false, EINVAL},
  };
  for (const Pripad& p : pripady) {
    SCOPED_TRACE(p.cesta);
    const Rozliseni r = RozlisitCestu(p.cesta, ::geteuid());
    EXPECT_EQ(r.chyba.kod, p.chyba);
    if (p.chyba) continue;
    EXPECT_EQ(r.cesta, p.vysledek);
    EXPECT_EQ(r.odmitnutyOdkaz, p.odmitnutyOdkaz);
    EXPECT_EQ(r.existuje, p.existuje);
  }
  // The folders of the resolved way, the root first, with their owners and modes.
  const Rozliseni r = RozlisitCestu(k + "/l/b", ::geteuid());
  ASSERT_GE(r.slozky.size(), 3u);
  EXPECT_EQ(r.slozky.front().cesta, "/");
  EXPECT_EQ(r.slozky.back().cesta, k + "/a/b");
  EXPECT_EQ(r.slozky[r.slozky.size() - 3].cesta, k);
  EXPECT_EQ(r.slozky.back().vlastnik, ::geteuid());
  EXPECT_TRUE(S_ISDIR(r.slozky.back().rezim));
}

TEST(PresunoutSlozku, RefusesAnExistingTargetAndMovesOtherwise) {
  test::Sandbox sb;
  sb.Zapsat("a/f", "a");
  sb.Vytvorit("prazdna");
  EXPECT_EQ(PresunoutSlozku(sb / "a", sb / "prazdna").kod, EEXIST);
  EXPECT_EQ(Presunout(sb / "a", sb / "prazdna").kod, EEXIST);
  EXPECT_TRUE(PresunoutSlozku(sb / "a/", sb / "b/").Uspech());
  EXPECT_EQ(CistSoubor(sb / "b/f"), "a");
}

TEST(PresunoutSlozku, AcrossFileSystemsCopiesTheTreeThenDeletesTheSource) {
  test::Sandbox sb;
  struct stat shm {};
  if (::stat("/dev/shm", &shm) != 0 || shm.st_dev == Stav(sb.Cesta()).st_dev)
    GTEST_SKIP() << "no second file system at /dev/shm";
  test::CestaJinde uklid{"/dev/shm/zevlon-presun-" + std::to_string(::getpid())};
  const std::string& jinde = uklid.cesta;
  sb.Zapsat("a/pod/f.txt", "obsah");
  ::chmod((sb / "a/pod").c_str(), 0750);
  ASSERT_EQ(::symlink("pod/f.txt", (sb / "a/odkaz").c_str()), 0);

  ASSERT_TRUE(PresunoutSlozku(sb / "a", jinde).Uspech());
  EXPECT_EQ(CistSoubor(jinde + "/odkaz"), "obsah");
  EXPECT_TRUE(S_ISLNK(Stav(jinde + "/odkaz").st_mode));
  EXPECT_EQ(Stav(jinde + "/pod").st_mode & 07777, 0750u);
  EXPECT_FALSE(Existuje(sb / "a"));
  sb.Vytvorit("b");
  EXPECT_EQ(PresunoutSlozku(sb / "b", jinde).kod, EEXIST);  // no replacement across either

  // What a move cannot carry stops it by name before the source goes, with no target left.
  sb.Zapsat("c/f.txt", "zůstane");
  ASSERT_EQ(::mkfifo((sb / "c/roura").c_str(), 0600), 0);
  test::CestaJinde druha{jinde + "2"};
  const Vysledek v = PresunoutSlozku(sb / "c", druha.cesta);
  EXPECT_FALSE(v.Uspech());
  EXPECT_NE(v.popis.find(sb / "c/roura"), std::string::npos) << v.popis;
  EXPECT_FALSE(Existuje(druha.cesta));
  EXPECT_EQ(CistSoubor(sb / "c/f.txt"), "zůstane");
}

TEST(SmazatStrom, NeverFollowsLinksAndRemovesFoldersWithoutPermissions) {
  test::Sandbox sb;
  std::string cenny = sb.Zapsat("venku/cenny", "zůstane");
  sb.Zapsat("s/zamceno/f", "x");
  ASSERT_EQ(::symlink((sb / "venku").c_str(), (sb / "s/odkaz").c_str()), 0);
  ::chmod((sb / "s/zamceno").c_str(), 0000);
  ::chmod((sb / "s").c_str(), 0500);
  ASSERT_EQ(::symlink((sb / "venku").c_str(), (sb / "odkaz_na_slozku").c_str()), 0);

  EXPECT_TRUE(SmazatStrom(sb / "s/").Uspech());
  EXPECT_FALSE(Existuje(sb / "s"));
  EXPECT_TRUE(SmazatStrom(sb / "odkaz_na_slozku").Uspech());  // only the link goes
  EXPECT_FALSE(Existuje(sb / "odkaz_na_slozku"));
  EXPECT_EQ(CistSoubor(cenny), "zůstane");

  EXPECT_EQ(SmazatStrom(cenny).kod, kod::kCestaNenalezena);
  EXPECT_EQ(SmazatStrom("//").kod, kod::kPristupOdepren);
}

// A link has no read-only state of its own here: reading its attributes answers the
// link's word, and setting them never reaches the file it points to.
TEST(Atributy, OfALinkAreItsOwnAndNeverChangedThroughIt) {
  test::Sandbox sb;
  std::string cil = sb.Zapsat("cil", "cizí"), odkaz = sb / "odkaz";
  ::chmod(cil.c_str(), 0444);
  ASSERT_EQ(::symlink(cil.c_str(), odkaz.c_str()), 0);
  std::uint32_t a = 99;
  ASSERT_TRUE(CistAtributy(odkaz, a).Uspech());
  EXPECT_EQ(a, atribut::kNormalni);
  EXPECT_TRUE(NastavitAtributy(odkaz, atribut::kNormalni).Uspech());
  EXPECT_TRUE(NastavitAtributy(odkaz, atribut::kJenProCteni).Uspech());
  EXPECT_EQ(Stav(cil).st_mode & 07777, 0444u);
  ::chmod(cil.c_str(), 0644);
  EXPECT_TRUE(NastavitAtributy(odkaz, atribut::kJenProCteni).Uspech());
  EXPECT_EQ(Stav(cil).st_mode & 07777, 0644u);

  // The file itself still changes.
  EXPECT_TRUE(NastavitAtributy(cil, atribut::kJenProCteni).Uspech());
  EXPECT_EQ(Stav(cil).st_mode & 07777, 0444u);
  ASSERT_TRUE(CistAtributy(cil, a).Uspech());
  EXPECT_EQ(a, atribut::kJenProCteni);
}

TEST(ZkopirovatObsahSlozky, NeverCopiesIntoItselfNorWritesThroughALinkInTheTarget) {
  test::Sandbox sb;
  sb.Zapsat("z/pod/f", "f");
  ASSERT_TRUE(ZkopirovatObsahSlozky(sb / "z", sb / "z/kopie").Uspech());
  EXPECT_EQ(CistSoubor(sb / "z/kopie/pod/f"), "f");
  EXPECT_FALSE(Existuje(sb / "z/kopie/kopie"));

  std::string venku = sb.Vytvorit("venku");
  sb.Vytvorit("c");
  ASSERT_EQ(::symlink(venku.c_str(), (sb / "c/pod").c_str()), 0);
  ASSERT_TRUE(ZkopirovatObsahSlozky(sb / "z", sb / "c").Uspech());
  EXPECT_TRUE(S_ISDIR(Stav(sb / "c/pod").st_mode));
  EXPECT_FALSE(Existuje(venku + "/f"));
}

}  // namespace
}  // namespace zevlon::ss
