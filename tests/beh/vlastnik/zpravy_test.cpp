// The channel between root's run and the owner's process: whole messages arrive whole,
// anything else the peer sends ends the channel, texts are cleaned before root shows or
// logs them, and root's relay ends a peer that holds it by silence or by not reading.
#include "beh/vlastnik/zpravy.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>

#include "beh/vlastnik/prostrednik.h"
#include "platform/procesy/kanal.h"
#include "soubory/log.h"
#include "support/falesna_platforma.h"
#include "support/falesne_ui.h"
#include "support/sandbox.h"

namespace zevlon {
namespace {

using namespace std::chrono_literals;

TEST(Kanal, CarriesWholeMessagesAndEndsAtAnythingElse) {
  auto [a, b] = VytvoritKanal();
  const ZpravaKanalu z{zpravy::kLog, {"Zevlon.log", std::string("a\0b", 3), ""}};
  ASSERT_TRUE(a.Poslat(z));
  bool konec = false;
  auto prijata = b.Prijmout(1s, konec);
  ASSERT_TRUE(prijata);
  EXPECT_EQ(prijata->typ, z.typ);
  EXPECT_EQ(prijata->pole, z.pole);
  EXPECT_FALSE(b.Prijmout(0ms, konec) || konec);  // nothing more, and still open
  // Too big, or too many fields, is never sent.
  EXPECT_FALSE(a.Poslat({zpravy::kLog, {std::string(kMaxZpravy, 'x')}}));
  EXPECT_FALSE(a.Poslat({zpravy::kLog, std::vector<std::string>(kMaxPoli + 1)}));

  // What a hostile peer can put on the wire: lengths past the end, too many fields,
  // bytes left over, a type alone. Each ends the channel for the reader.
  const std::string spatne[] = {std::string("L\x01\xff\x00\x00\x00", 6), std::string("L\x11", 2),
                                std::string("L\x00x", 3), std::string("L", 1)};
  for (const std::string& s : spatne) {
    auto [c, d] = VytvoritKanal();
    ASSERT_EQ(::send(c.Fd(), s.data(), s.size(), 0), static_cast<ssize_t>(s.size()));
    EXPECT_FALSE(d.Prijmout(1s, konec));
    EXPECT_TRUE(konec) << s.size();
  }
  a = Kanal();  // the other end closed
  EXPECT_FALSE(b.Prijmout(1s, konec));
  EXPECT_TRUE(konec);
}

TEST(Kanal, SealedFilesCannotBeChangedAndUnsealedOnesAreRefused) {
  const int fd = ZapecetenySoubor("zkouska", "obsah");
  EXPECT_EQ(CistZapecetenySoubor(fd, 100), "obsah");
  EXPECT_EQ(::write(fd, "x", 1), -1);
  EXPECT_EQ(CistZapecetenySoubor(fd, 4), std::nullopt);  // larger than allowed
  ::close(fd);
  int roura[2];
  ASSERT_EQ(::pipe(roura), 0);
  EXPECT_EQ(CistZapecetenySoubor(roura[0], 100), std::nullopt);
  ::close(roura[0]);
  ::close(roura[1]);
}

// Root's relay against peers standing in for the owner's process: it ends one that is
// silent, one that leaves root's answers unread and one that goes on after a cancel, each
// within its bound; never one whose question waits for a slow person, nor one that was
// cancelled in the middle of its swaps and completes them. (A busy owner's
// process that beats, and the run's deadline, are met through the real program.)
TEST(Prostrednik, EndsASilentDeafOrStubbornPeerButNeverOneWaitingForAPerson) {
  struct Pripad {
    const char* popis;
    std::function<void(Kanal&)> protejsek;
    bool storno;
    KonecVlastnika konec;
    bool zavreno;  // with its outcome
  } const pripady[] = {
      {"silent, but alive",
       [](Kanal& k) {
         for (bool konec = false; !konec;)
           (void)k.Prijmout(100ms, konec);
       },
       false, KonecVlastnika::kTicho, false},
      {"asks, and the person takes longer than the silence allows",
       [](Kanal& k) {
         bool konec = false;
         if (k.Poslat({zpravy::kOtazka, {"Pokračovat?", "4", "Zevlon"}}) && k.Prijmout(10s, konec))
           (void)k.Poslat(ZpravaVysledku({}));
       },
       false, KonecVlastnika::kZadny, true},
      {"asks and asks and never reads an answer",
       [](Kanal& k) {
         while (k.Poslat(ZpravaVolby({}))) {
         }
       },
       false, KonecVlastnika::kNecte, false},
      {"cancelled in its swaps, completes them over more than the stop's bound, then reports",
       [](Kanal& k) {
         (void)k.Poslat({zpravy::kVymeny, {"1"}});
         std::this_thread::sleep_for(2s);
         (void)k.Poslat({zpravy::kVymeny, {"0"}});
         (void)k.Poslat(ZpravaVysledku({}));  // root's stop lies unread
       },
       true, KonecVlastnika::kZruseno, true},
      {"goes on beating after the run was cancelled",
       [](Kanal& k) {
         for (bool konec = false; !konec && k.Poslat({zpravy::kTep, {}});)
           (void)k.Prijmout(100ms, konec);
       },
       true, KonecVlastnika::kZruseno, false},
  };
  for (const Pripad& p : pripady) {
    SCOPED_TRACE(p.popis);
    test::FalesneUi ui;
    ui.vychoziOdpoved = mb::kIdAno;
    ui.zruseno = p.storno;
    ui.zdrzeni = 1500ms;
    auto [nase, jeho] = VytvoritKanal();
    std::thread protejsek([&, k = std::move(jeho)]() mutable { p.protejsek(k); });
    const auto od = std::chrono::steady_clock::now();
    const PrenosVlastnika v = PrenasetZVlastnika(nase, "zkouska", false, {std::nullopt, 1s, 1s});
    // A peer that has to be ended costs root its bound and no more.
    if (!p.zavreno) {
      EXPECT_LT(std::chrono::steady_clock::now() - od, 3s);
    }
    nase = Kanal();  // a peer still at work learns that root is gone
    protejsek.join();
    EXPECT_EQ(v.konec, p.konec);
    EXPECT_EQ(v.zavreno, p.zavreno);
    EXPECT_EQ(v.vysledek.has_value(), p.zavreno);
  }
}

// A line that the owner's process logs is marked as its user's in root's log and cannot
// pose as a record of root's: no TAB or line break of its own survives.
TEST(Prostrednik, MarksTheOwnersLogLinesSoThatNoneForgesARecordOfRoots) {
  test::Sandbox s;
  test::FalesnaPlatforma platforma;
  platforma.logy = s.Cesta();
  test::FalesneUi ui;
  auto [nase, jeho] = VytvoritKanal();
  ASSERT_TRUE(jeho.Poslat({zpravy::kLog,
                           {kPrenosovyLog,
                            "07.12.2026 13:31:10\tBěh\taktualizováno\tnávratový "
                            "kód 0\n07.12.2026 13:31:11\tdruhý"}}));
  jeho = Kanal();
  EXPECT_TRUE(PrenasetZVlastnika(nase, "jana", true, {}).zavreno);
  const std::string log = s.Cist(kPrenosovyLog);
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
  EXPECT_EQ(std::count(log.begin(), log.end(), '\t'), 1) << log;  // the log's own, after its time
  EXPECT_NE(log.find("\t[uživatel jana] 07.12.2026 13:31:10 Běh aktualizováno"), std::string::npos)
      << log;
}

}  // namespace
}  // namespace zevlon
