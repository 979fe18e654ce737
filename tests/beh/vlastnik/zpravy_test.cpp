// The channel between root's run and the owner's process: whole messages arrive whole,
// anything else the peer sends ends the channel, and texts are cleaned before root shows
// or logs them.
#include "beh/vlastnik/zpravy.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "platform/procesy/kanal.h"

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

TEST(OcistitText, DropsControlsKeepsTabsAndLinesWhereAskedAndCutsAtCharacters) {
  const struct {
    std::string text;
    std::size_t max;
    bool radky;
    std::string vysledek;
  } pripady[] = {
      {"Stahuje se \x1b[2Jsoubor\a", 100, false, "Stahuje se  [2Jsoubor "},
      {"a\tb\r\nc", 100, true, "a\tb\r\nc"},
      {"a\tb\r\nc", 100, false, "a\tb  c"},
      {"C1 \xc2\x9b"
       "31m a \xc2\xa0 zůstane",
       100, false, "C1  31m a \xc2\xa0 zůstane"},
      {"neplatné \xff\xfe UTF-8 \xc3", 100, false, "neplatné ?? UTF-8 ?"},
      {"příliš", 3, false, "př"},
      {"příliš", 2, false, "p"},
  };
  for (const auto& p : pripady)
    EXPECT_EQ(OcistitText(p.text, p.max, p.radky), p.vysledek) << p.text;
}

}  // namespace
}  // namespace zevlon
