#include "rozhrani/prubeh.h"

#include <gtest/gtest.h>

#include "soubory/pomoc_operaci.h"

namespace zevlon {
namespace {

TEST(Prubeh, StornoRaisesTheCancelErrorAtTheNextReportAndEveryOneAfter) {
  test::FalesneUi ui;
  ZobrazPrubeh("", "a", 1, 2, 0, true, false);
  ui.zruseno = true;  // Storno clicked between two reports
  Chyba c = test::ZachytitChybu([] { ZobrazPrubeh("", "b", 2, 2, -1, true, false); });
  EXPECT_EQ(c.Cislo(), static_cast<std::int32_t>(0x80040028u));
  EXPECT_EQ(c.Popis(), "Aktualizace zrušena uživatelem");
  EXPECT_THROW(ZobrazPrubeh("", "c", 0, 0, 0, false, true), Chyba);
}

TEST(Prubeh, MessagesAreSystemModalAndSilentWhenUnattended) {
  test::FalesneUi ui;
  ui.odpovedi = {mb::kIdAno};
  EXPECT_EQ(ZobrazZpravu("Otázka?", mb::kAnoNe | mb::kVykricnik, "Titulek"), mb::kIdAno);
  EXPECT_EQ(ui.zpravy.at(0).styl, 4 | 48 | 4096);
  RezimSystem = true;
  EXPECT_EQ(ZobrazZpravu("Otázka?", mb::kAnoNe, ""), 1);  // neither yes nor no
  EXPECT_EQ(ui.zpravy.size(), 1u);
  RezimSystem = false;
}

}  // namespace
}  // namespace zevlon
