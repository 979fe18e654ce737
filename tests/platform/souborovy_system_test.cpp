#include "platform/souborovy_system.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/chyba.h"
#include "installers/pomoc_operaci.h"
#include "support/neprivilegovany.h"

namespace zevlon::ss {
namespace {

using test::CistSoubor;
using test::Existuje;
using test::Stav;

TEST(ChybaSystemu, MapsErrnoToTheProgramsCodes) {
  test::Sandbox sb;
  EXPECT_EQ(ChybaSystemu(ENOENT, sb / "chybi.txt").kod, kod::kSouborNenalezen);
  EXPECT_EQ(ChybaSystemu(ENOENT, sb / "chybi.txt").popis, "Soubor nebyl nalezen.");
  EXPECT_EQ(ChybaSystemu(ENOENT, sb / "nic/chybi.txt").kod, kod::kCestaNenalezena);
  EXPECT_EQ(ChybaSystemu(ENOENT, sb / "chybi", Druh::kSlozka).kod, kod::kCestaNenalezena);
  EXPECT_EQ(ChybaSystemu(ENOTDIR, sb / "x").kod, kod::kCestaNenalezena);
  for (int e : {EACCES, EPERM, EROFS, ETXTBSY, EBUSY})
    EXPECT_EQ(ChybaSystemu(e, sb / "x").kod, kod::kPristupOdepren) << e;
  EXPECT_EQ(ChybaSystemu(ENOSPC, "x").kod, ENOSPC);
  EXPECT_EQ(ChybaSystemu(ENOSPC, "x").popis, "Na disku není dost místa.");
  EXPECT_EQ(ChybaSystemu(ENOTEMPTY, "x").popis, "Složka není prázdná.");
  EXPECT_EQ(ChybaSystemu(ENOLINK, "x").kod, ENOLINK);
  EXPECT_EQ(ChybaSystemu(ENOLINK, "x").popis, std::strerror(ENOLINK));
}

TEST(ZkopirovatSoubor, KeepsModeAndTimeAndReplacesALinkInsteadOfWritingThroughIt) {
  test::Sandbox sb;
  std::string z = sb.Zapsat("z.sh", "#!/bin/sh\n");
  ::chmod(z.c_str(), 0750);
  test::NastavitCas(z, 1'500'000'000, 42);
  std::string venku = sb.Zapsat("venku.txt", "nedotčeno");
  ASSERT_EQ(::symlink(venku.c_str(), (sb / "cil").c_str()), 0);

  ASSERT_TRUE(ZkopirovatSoubor(z, sb / "cil").Uspech());
  struct stat st = Stav(sb / "cil");
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_mode & 07777, 0750u);
  EXPECT_EQ(st.st_mtim.tv_sec, 1'500'000'000);
  EXPECT_EQ(st.st_mtim.tv_nsec, 42);
  EXPECT_EQ(CistSoubor(sb / "cil"), "#!/bin/sh\n");
  EXPECT_EQ(CistSoubor(venku), "nedotčeno");

  std::string cizi = sb.Zapsat("cizi", "starý");  // a replaced file keeps its owner
  test::PredatNeprivilegovanemu(cizi);
  ASSERT_TRUE(ZkopirovatSoubor(z, cizi).Uspech());
  EXPECT_EQ(Stav(cizi).st_uid, test::NeprivilegovanyUid());
  EXPECT_EQ(CistSoubor(cizi), "#!/bin/sh\n");

  ASSERT_EQ(::mkfifo((sb / "roura").c_str(), 0644), 0);  // refused, and never waited for
  EXPECT_EQ(ZkopirovatSoubor(sb / "roura", sb / "x").kod, kod::kPristupOdepren);
  EXPECT_EQ(ZkopirovatSoubor(sb.Cesta(), sb / "x").kod, kod::kPristupOdepren);  // a folder
  EXPECT_EQ(ZkopirovatSoubor(z, sb.Cesta()).kod, kod::kPristupOdepren);
  EXPECT_FALSE(Existuje(sb / "x"));
}

// Large, empty and size-less sources (a /proc file announces 0 bytes and still has
// content) all arrive whole.
TEST(ZkopirovatSoubor, CopiesEveryByteWhateverTheSourceAnnounces) {
  test::Sandbox sb;
  std::string velky(3 << 20, '\0');
  for (std::size_t i = 0; i < velky.size(); ++i)
    velky[i] = static_cast<char>((i * 2654435761u) >> 13);
  ASSERT_TRUE(ZkopirovatSoubor(sb.Zapsat("velky.bin", velky), sb / "velky.kopie").Uspech());
  EXPECT_EQ(CistSoubor(sb / "velky.kopie"), velky);
  ASSERT_TRUE(ZkopirovatSoubor(sb.Zapsat("prazdny", ""), sb / "prazdny.kopie").Uspech());
  EXPECT_EQ(CistSoubor(sb / "prazdny.kopie"), "");
  ASSERT_TRUE(ZkopirovatSoubor("/proc/self/status", sb / "status").Uspech());
  EXPECT_TRUE(CistSoubor(sb / "status").starts_with("Name:")) << CistSoubor(sb / "status");
}

TEST(Atributy, OnlyTheReadOnlyBitChangesTheMode) {
  test::Sandbox sb;
  std::string f = sb.Zapsat(".f", "x");
  ::chmod(f.c_str(), 0646);
  std::uint32_t a = 99;
  ASSERT_TRUE(CistAtributy(f, a).Uspech());
  EXPECT_EQ(a, atribut::kSkryty);
  ASSERT_TRUE(NastavitAtributy(f, atribut::kJenProCteni).Uspech());
  EXPECT_EQ(Stav(f).st_mode & 07777, 0446u);
  ASSERT_TRUE(CistAtributy(f, a).Uspech());
  EXPECT_EQ(a, atribut::kJenProCteni | atribut::kSkryty);
  ASSERT_TRUE(NastavitAtributy(f, atribut::kSystemovy).Uspech());
  EXPECT_EQ(Stav(f).st_mode & 07777, 0646u);

  ASSERT_EQ(::symlink("nikam", (sb / "mrtvy").c_str()), 0);  // a link to nothing
  EXPECT_TRUE(CistAtributy(sb / "mrtvy", a).Uspech());
  EXPECT_TRUE(NastavitAtributy(sb / "mrtvy", 0).Uspech());
}

TEST(PresunoutSlozku, RefusesAnExistingTargetAndMovesOtherwise) {
  test::Sandbox sb;
  sb.Zapsat("a/f", "a");
  sb.Vytvorit("prazdna");
  Vysledek v = PresunoutSlozku(sb / "a", sb / "prazdna");
  EXPECT_EQ(v.kod, EEXIST);
  EXPECT_EQ(Presunout(sb / "a", sb / "prazdna").kod, EEXIST);
  EXPECT_EQ(CistSoubor(sb / "a/f"), "a");

  EXPECT_TRUE(PresunoutSlozku(sb / "a/", sb / "b/").Uspech());
  EXPECT_EQ(CistSoubor(sb / "b/f"), "a");
  EXPECT_EQ(PresunoutSlozku(sb / "a", sb / "c").kod, kod::kCestaNenalezena);
  EXPECT_EQ(PresunoutSlozku(sb / "b/f", sb / "c").kod, kod::kCestaNenalezena);  // not a folder
}

TEST(PresunoutSlozku, AcrossFileSystemsCopiesTheTreeThenDeletesTheSource) {
  test::Sandbox sb;
  struct stat shm {};
  if (::stat("/dev/shm", &shm) != 0 || shm.st_dev == Stav(sb.Cesta()).st_dev)
    GTEST_SKIP() << "no second file system at /dev/shm";
  test::CestaJinde uklid("/dev/shm/zevlon-presun-" + std::to_string(::getpid()));
  const std::string& jinde = uklid.cesta;
  std::string f = sb.Zapsat("a/pod/f.txt", "obsah");
  ::chmod(f.c_str(), 0440);
  test::NastavitCas(f, 1'300'000'000, 0);
  ::chmod((sb / "a/pod").c_str(), 0750);
  ASSERT_EQ(::symlink("pod/f.txt", (sb / "a/odkaz").c_str()), 0);

  Vysledek v = PresunoutSlozku(sb / "a", jinde);
  ASSERT_TRUE(v.Uspech()) << v.popis;
  EXPECT_EQ(CistSoubor(jinde + "/odkaz"), "obsah");
  EXPECT_TRUE(S_ISLNK(Stav(jinde + "/odkaz").st_mode));
  EXPECT_EQ(Stav(jinde + "/pod/f.txt").st_mode & 07777, 0440u);
  EXPECT_EQ(Stav(jinde + "/pod/f.txt").st_mtim.tv_sec, 1'300'000'000);
  EXPECT_EQ(Stav(jinde + "/pod").st_mode & 07777, 0750u);
  EXPECT_FALSE(Existuje(sb / "a"));
  sb.Vytvorit("b");
  EXPECT_EQ(PresunoutSlozku(sb / "b", jinde).kod, EEXIST);  // no replacement across either
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

  EXPECT_EQ(SmazatStrom(sb / "s").kod, kod::kCestaNenalezena);
  EXPECT_EQ(SmazatStrom(cenny).kod, kod::kCestaNenalezena);
  EXPECT_EQ(SmazatStrom("//").kod, kod::kPristupOdepren);
}

TEST(ZkopirovatObsahSlozky, NeverCopiesIntoItselfNorWritesThroughALinkInTheTarget) {
  test::Sandbox sb;
  sb.Zapsat("z/pod/f", "f");
  Vysledek v = ZkopirovatObsahSlozky(sb / "z", sb / "z/kopie");
  ASSERT_TRUE(v.Uspech()) << v.popis;
  EXPECT_EQ(CistSoubor(sb / "z/kopie/pod/f"), "f");
  EXPECT_FALSE(Existuje(sb / "z/kopie/kopie"));

  std::string venku = sb.Vytvorit("venku");
  sb.Vytvorit("c");
  ASSERT_EQ(::symlink(venku.c_str(), (sb / "c/pod").c_str()), 0);
  ASSERT_TRUE(ZkopirovatObsahSlozky(sb / "z", sb / "c").Uspech());
  EXPECT_TRUE(S_ISDIR(Stav(sb / "c/pod").st_mode));
  EXPECT_FALSE(Existuje(venku + "/f"));

  EXPECT_EQ(ZkopirovatObsahSlozky(sb / "chybi", sb / "c").kod, kod::kCestaNenalezena);
}

TEST(CistSlozku, ListsNamesWithTheirKinds) {
  test::Sandbox sb;
  sb.Zapsat(".h", "");
  sb.Vytvorit("d");
  ASSERT_EQ(::symlink("d", (sb / "l").c_str()), 0);
  std::vector<PolozkaSlozky> p;
  ASSERT_TRUE(CistSlozku(sb.Cesta(), p).Uspech());
  std::sort(p.begin(), p.end(), [](auto& a, auto& b) { return a.jmeno < b.jmeno; });
  ASSERT_EQ(p.size(), 3u);
  EXPECT_TRUE(p[0].jmeno == ".h" && !p[0].slozka && !p[0].odkaz);
  EXPECT_TRUE(p[1].jmeno == "d" && p[1].slozka && !p[1].odkaz);
  EXPECT_TRUE(p[2].jmeno == "l" && !p[2].slozka && p[2].odkaz);
  EXPECT_EQ(CistSlozku(sb / "chybi", p).kod, kod::kCestaNenalezena);
}

}  // namespace
}  // namespace zevlon::ss

namespace zevlon {
namespace {

TEST(UdajeSouboru, TimeIsWholeUtcSecondsAndSetTimeReadsBack) {
  test::Sandbox sb;
  std::string f = sb.Zapsat("a.bin", std::string(1234, 'x'));
  timespec casy[2] = {{0, UTIME_OMIT}, {1396246502, 999'999'999}};
  ASSERT_EQ(::utimensat(AT_FDCWD, f.c_str(), casy, 0), 0);
  ss::UdajeSouboru u;
  ASSERT_TRUE(ss::CistUdaje(f, u).Uspech());
  EXPECT_EQ(u.casZmeny, 1396246502);  // the fraction is dropped, never rounded up
  EXPECT_EQ(u.velikost, 1234);

  ASSERT_TRUE(ss::NastavitCasZmeny(f, 1200000000).Uspech());
  ASSERT_TRUE(ss::CistUdaje(f, u).Uspech());
  EXPECT_EQ(u.casZmeny, 1200000000);

  EXPECT_EQ(ss::CistUdaje(sb / "chybi", u).kod, 53);
  EXPECT_EQ(ss::NastavitCasZmeny(sb / "neni/chybi", 0).kod, 76);
}

}  // namespace
}  // namespace zevlon
