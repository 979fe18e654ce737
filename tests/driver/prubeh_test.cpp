#include "driver/prubeh.h"

#include <gtest/gtest.h>

#include "common/chyba.h"
#include "driver/stav.h"
#include "support/falesne_ui.h"

namespace zevlon {
namespace {

class PrubehTest : public ::testing::Test {
 protected:
  void TearDown() override {
    EtapaPrubehu = {};
    RezimSystem = false;
  }
  test::FalesneUi ui_;
};

TEST_F(PrubehTest, StagesMapTheValueIntoTheirShareOfTheMeter) {
  const struct {
    std::int32_t hodnota, celkem, etapa, hotovo, metr;
  } kKroky[] = {
      {0, 10, 20, 0, 1000},
      {10, 10, -1, 200, 1000},
      {3, 6, 50, 350, 1000},  // 20 × 10 + 30 × 10 × 3 ÷ 6
      {1, 2, 100, 750, 1000},
      {1, 2, 30, 750, 1000},  // a later, lower stage changes nothing
      {3, 8, 150, 3, 8},      // a stage above 100 resets and the mapping stops
      {1, 4, 40, 100, 1000},
      {0, 0, 0, 0, 0},  // a zero stage resets; total zero
      {0, 1, 100, 0, 1000},
      {1, 400, -1, 2, 1000},                          // halves round to even: 2.5 → 2
      {3, 400, -1, 8, 1000},                          // 7.5 → 8
      {2'000'000'000, 2'100'000'000, -1, 952, 1000},  // no overflow
  };
  for (const auto& k : kKroky) {
    SCOPED_TRACE(testing::Message() << k.hodnota << "/" << k.celkem << " @" << k.etapa);
    ZobrazPrubeh("", "", k.hodnota, k.celkem, k.etapa, true, false);
    const auto& h = ui_.hlaseni.back();
    EXPECT_TRUE(h.zmenitMetr);
    EXPECT_EQ(std::make_pair(h.hotovo, h.celkem), std::make_pair(k.hotovo, k.metr));
  }
}

TEST_F(PrubehTest, NegativeValueLeavesTheMeterAndTheReportCarriesTextAndButtons) {
  ZobrazPrubeh("Nadpis", "zprava", 0, 10, 20, true, false);
  ZobrazPrubeh("", "jiná zpráva", -1, 8, -1, false, true);
  const auto& h = ui_.hlaseni.back();
  EXPECT_FALSE(h.zmenitMetr);
  EXPECT_EQ(ui_.hlaseni[0].podnadpis, "Nadpis");
  EXPECT_EQ(h.podnadpis, "");
  EXPECT_EQ(h.zprava, "jiná zpráva");
  EXPECT_FALSE(h.stornoZobrazeno);
  EXPECT_TRUE(h.zavritZobrazeno);
  EXPECT_EQ(ui_.udalosti, 2);  // every report lets events run
}

TEST_F(PrubehTest, StornoRaisesTheCancelErrorAtTheNextReportAndEveryOneAfter) {
  ZobrazPrubeh("", "a", 1, 2, 0, true, false);
  ui_.zruseno = true;  // Storno clicked between two reports
  try {
    ZobrazPrubeh("", "b", 2, 2, -1, true, false);
    ADD_FAILURE() << "no cancel";
  } catch (const Chyba& c) {
    EXPECT_EQ(c.Cislo(), static_cast<std::int32_t>(0x80040028u));
    EXPECT_EQ(c.Popis(), "Aktualizace zrušena uživatelem");
  }
  EXPECT_THROW(ZobrazPrubeh("", "c", 0, 0, 0, false, true), Chyba);
}

TEST_F(PrubehTest, MeterFillIsTheInnerWidthShareWithTheRemainderDropped) {
  EXPECT_EQ(SirkaUkazatele(4815, 30.4, 350, 1000), 1663);  // 4754 × 0.35 = 1663.9
  EXPECT_EQ(SirkaUkazatele(100, 0, 1, 3), 33);
  EXPECT_EQ(SirkaUkazatele(100, 0, 1000, 1000), 100);
  EXPECT_EQ(SirkaUkazatele(300, 15, 0, 0), 0);
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
