#include "common/seznam.h"

#include <gtest/gtest.h>

namespace zevlon {
namespace {

struct Zaznam {
  int hodnota = 0;
};

TEST(KlicovanySeznam, KeepsOrderFoldsCzechCaseAndRefusesDuplicates) {
  KlicovanySeznam<Zaznam> s;
  s.Pridat("Účetnictví", std::make_shared<Zaznam>(Zaznam{1}));
  s.Pridat("merko\\app.exe", std::make_shared<Zaznam>(Zaznam{2}));
  s.Pridat("b", std::make_shared<Zaznam>(Zaznam{3}));

  EXPECT_TRUE(s.Obsahuje("ÚČETNICTVÍ"));
  EXPECT_EQ(s.Ziskat("MERKO\\APP.EXE")->hodnota, 2);
  try {
    s.Pridat("účetnictví", std::make_shared<Zaznam>());
    FAIL() << "duplicate accepted";
  } catch (const Chyba& c) {
    EXPECT_EQ(c.Cislo(), 457);
  }
  std::vector<int> poradi;
  for (auto& p : s)
    poradi.push_back(p.hodnota->hodnota);
  EXPECT_EQ(poradi, (std::vector<int>{1, 2, 3}));

  s.Odebrat("MERKO\\app.EXE");
  EXPECT_EQ(s.Pocet(), 2u);
  EXPECT_FALSE(s.Obsahuje("merko\\app.exe"));
  s.Pridat("merko\\app.exe", std::make_shared<Zaznam>(Zaznam{4}));
  poradi.clear();
  for (auto& p : s)
    poradi.push_back(p.hodnota->hodnota);
  EXPECT_EQ(poradi, (std::vector<int>{1, 3, 4}));
}

TEST(KlicovanySeznam, MissingKeyIsInvalidArgumentAndRecordsAreShared) {
  KlicovanySeznam<Zaznam> a, b;
  auto z = std::make_shared<Zaznam>(Zaznam{7});
  a.Pridat("x", z);
  b.Pridat("X", z);
  a.Ziskat("x")->hodnota = 8;
  EXPECT_EQ(b.Ziskat("x")->hodnota, 8);
  EXPECT_EQ(a.Najit("chybi"), nullptr);
  try {
    a.Ziskat("chybi");
    FAIL();
  } catch (const Chyba& c) {
    EXPECT_EQ(c.Cislo(), 5);
  }
}

}  // namespace
}  // namespace zevlon

namespace zevlon {
namespace {

TEST(KlicovanySeznam, ManyRemovalsKeepOrderAndLookups) {
  KlicovanySeznam<int> s;
  for (int i = 0; i < 200; ++i)
    s.Pridat("k" + std::to_string(i), std::make_shared<int>(i));
  for (int i = 0; i < 200; ++i)
    if (i % 3 != 0) s.Odebrat("K" + std::to_string(i));
  EXPECT_EQ(s.Pocet(), 67u);
  int ocekavane = 0;
  for (const auto& p : s) {
    EXPECT_EQ(*p.hodnota, ocekavane);
    EXPECT_EQ(p.klic, "k" + std::to_string(ocekavane));
    ocekavane += 3;
  }
  EXPECT_EQ(ocekavane, 201);
  EXPECT_EQ(*s.Ziskat("k198"), 198);
  EXPECT_FALSE(s.Obsahuje("k197"));
  s.Pridat("k197", std::make_shared<int>(-1));  // a removed key may be added again, at the end
  std::string posledni;
  for (const auto& p : s)
    posledni = p.klic;
  EXPECT_EQ(posledni, "k197");
  EXPECT_EQ(s.Pocet(), 68u);
}

}  // namespace
}  // namespace zevlon
