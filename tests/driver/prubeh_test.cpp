#include "driver/prubeh.h"

#include <gtest/gtest.h>

#include "common/chyba.h"
#include "driver/stav.h"
#include "support/falesne_ui.h"

namespace zevlon {
namespace {

class PrubehTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EtapaPrubehu = {};
    RezimSystem = false;
  }
  void TearDown() override {
    EtapaPrubehu = {};
    RezimSystem = false;
  }
  // The meter as the last report drew it.
  std::pair<int, int> Metr() const {
    const auto& h = ui_.hlaseni.back();
    EXPECT_TRUE(h.zmenitMetr);
    return {h.hotovo, h.celkem};
  }
  test::FalesneUi ui_;
};

TEST_F(PrubehTest, StagesThatGrowMapTheValueIntoTheirShareOfTheMeter) {
  ZobrazPrubeh("", "", 0, 10, 20, true, false);
  EXPECT_EQ(Metr(), std::make_pair(0, 1000));
  ZobrazPrubeh("", "", 10, 10, -1, true, false);
  EXPECT_EQ(Metr(), std::make_pair(200, 1000));

  ZobrazPrubeh("", "", 3, 6, 50, true, false);  // 20 × 10 + 30 × 10 × 3 ÷ 6
  EXPECT_EQ(Metr(), std::make_pair(350, 1000));

  ZobrazPrubeh("", "", 1, 2, 100, true, false);
  EXPECT_EQ(Metr(), std::make_pair(750, 1000));

  // A later, lower stage changes nothing.
  ZobrazPrubeh("", "", 1, 2, 30, true, false);
  EXPECT_EQ(EtapaPrubehu.Zacatek, 50);
  EXPECT_EQ(EtapaPrubehu.Konec, 100);
  EXPECT_EQ(Metr(), std::make_pair(750, 1000));
}

TEST_F(PrubehTest, StageAboveHundredResetsAndMappingStops) {
  ZobrazPrubeh("", "", 0, 10, 50, true, false);
  ZobrazPrubeh("", "", 3, 8, 150, true, false);
  EXPECT_EQ(EtapaPrubehu.Konec, 0);
  EXPECT_EQ(EtapaPrubehu.Zacatek, 0);
  EXPECT_EQ(Metr(), std::make_pair(3, 8));
  ZobrazPrubeh("", "", 1, 4, 40, true, false);
  EXPECT_EQ(Metr(), std::make_pair(100, 1000));
}

TEST_F(PrubehTest, HalvesRoundToEvenAndLargeValuesDoNotOverflow) {
  ZobrazPrubeh("", "", 0, 1, 100, true, false);
  ZobrazPrubeh("", "", 1, 400, -1, true, false);  // 2.5 → 2
  EXPECT_EQ(Metr().first, 2);
  ZobrazPrubeh("", "", 3, 400, -1, true, false);  // 7.5 → 8
  EXPECT_EQ(Metr().first, 8);
  ZobrazPrubeh("", "", 2'000'000'000, 2'100'000'000, -1, true, false);
  EXPECT_EQ(Metr(), std::make_pair(952, 1000));
}

TEST_F(PrubehTest, NegativeValueLeavesTheMeterTotalZeroHidesIt) {
  ZobrazPrubeh("Nadpis", "zprava", 0, 10, 20, true, false);
  ZobrazPrubeh("", "jiná zpráva", -1, 8, -1, false, true);
  const auto& h = ui_.hlaseni.back();
  EXPECT_FALSE(h.zmenitMetr);
  EXPECT_EQ(h.podnadpis, "");
  EXPECT_EQ(h.zprava, "jiná zpráva");
  EXPECT_FALSE(h.stornoZobrazeno);
  EXPECT_TRUE(h.zavritZobrazeno);

  ZobrazPrubeh("", "", 0, 0, 0, false, false);
  EXPECT_EQ(Metr(), std::make_pair(0, 0));
  EXPECT_EQ(SirkaUkazatele(300, 15, 0, 0), 0);
}

TEST_F(PrubehTest, EveryReportLetsEventsRunAndStornoRaisesTheCancelErrorNextTime) {
  ZobrazPrubeh("", "a", 1, 2, 0, true, false);
  EXPECT_EQ(ui_.udalosti, 1);
  ui_.zruseno = true;  // Storno clicked between two reports
  try {
    ZobrazPrubeh("", "b", 2, 2, -1, true, false);
    FAIL() << "no cancel";
  } catch (const Chyba& c) {
    EXPECT_EQ(c.Cislo(), static_cast<std::int32_t>(0x80040028u));
    EXPECT_EQ(c.Popis(), "Aktualizace zrušena uživatelem");
  }
  // Never reset: every later report raises it again.
  EXPECT_THROW(ZobrazPrubeh("", "c", 0, 0, 0, false, true), Chyba);
}

TEST_F(PrubehTest, MeterFillIsTheInnerWidthShareWithTheRemainderDropped) {
  EXPECT_EQ(SirkaUkazatele(4815, 30.4, 350, 1000), 1663);  // 4754 × 0.35 = 1663.9
  EXPECT_EQ(SirkaUkazatele(100, 0, 1, 3), 33);
  EXPECT_EQ(SirkaUkazatele(100, 0, 1000, 1000), 100);
}

TEST_F(PrubehTest, MessagesAreSystemModalAndSilentWhenUnattended) {
  ui_.odpovedi = {mb::kIdAno};
  EXPECT_EQ(ZobrazZpravu("Otázka?", mb::kAnoNe | mb::kVykricnik, "Titulek"), mb::kIdAno);
  ASSERT_EQ(ui_.zpravy.size(), 1u);
  EXPECT_EQ(ui_.zpravy[0].styl, 4 | 48 | 4096);
  EXPECT_EQ(ui_.zpravy[0].titulek, "Titulek");

  RezimSystem = true;
  EXPECT_EQ(ZobrazZpravu("Otázka?", mb::kAnoNe, ""), 1);  // neither yes nor no
  EXPECT_EQ(ui_.zpravy.size(), 1u);
}

}  // namespace
}  // namespace zevlon
