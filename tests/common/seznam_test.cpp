#include "common/seznam.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

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

// Interleaved additions and removals (many keys colliding in a small table) checked
// against a plain model after every step: the order, the count and each lookup.
TEST(KlicovanySeznam, AgreesWithAModelThroughInterleavedAdditionsAndRemovals) {
  KlicovanySeznam<int> s;
  std::vector<std::pair<std::string, int>> model;  // live entries in insertion order
  std::uint32_t semeno = 12345;
  auto nahodne = [&](std::uint32_t n) {
    semeno = semeno * 1103515245u + 12345u;
    return (semeno >> 8) % n;
  };
  for (int krok = 0; krok < 4000; ++krok) {
    std::string klic = "Složka\\Soubor" + std::to_string(nahodne(300)) + ".DAT";
    auto it = std::find_if(model.begin(), model.end(), [&](const auto& p) {
      return SlozitVelikost(p.first) == SlozitVelikost(klic);
    });
    if (nahodne(3) == 0 && it != model.end()) {
      s.Odebrat(SlozitVelikost(klic));
      model.erase(it);
    } else if (it == model.end()) {
      s.Pridat(klic, std::make_shared<int>(krok));
      model.emplace_back(klic, krok);
    } else {
      EXPECT_THROW(s.Pridat(klic, std::make_shared<int>(-1)), Chyba);
    }
    if (krok % 97 != 0) continue;
    ASSERT_EQ(s.Pocet(), model.size());
    std::size_t i = 0;
    for (const auto& p : s) {
      ASSERT_LT(i, model.size());
      EXPECT_EQ(p.klic, model[i].first);
      EXPECT_EQ(*p.hodnota, model[i].second);
      EXPECT_EQ(p.Slozeny(), SlozitVelikost(model[i].first));
      ++i;
    }
    EXPECT_EQ(i, model.size());
    for (const auto& [k, v] : model) {
      ASSERT_NE(s.Najit(k), nullptr) << k;
      EXPECT_EQ(*s.NajitSlozeny(SlozitVelikost(k)), v);
    }
  }
  for (int n = 0; n < 300; ++n) {
    std::string klic = "složka\\soubor" + std::to_string(n) + ".dat";
    bool zije = std::any_of(model.begin(), model.end(),
                            [&](const auto& p) { return SlozitVelikost(p.first) == klic; });
    EXPECT_EQ(s.Obsahuje(klic), zije) << klic;
  }
}

}  // namespace
}  // namespace zevlon
