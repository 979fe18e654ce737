#include "ui/qt/vyber_rozhrani.h"

#include <gtest/gtest.h>

#include "support/falesna_platforma.h"

namespace zevlon {
namespace {

TEST(VyberRozhraniQtTest, PlatformsToTryEndWithTheOneWithoutADisplay) {
  EXPECT_EQ(PlatformyQt("", false), "xcb;offscreen");
  EXPECT_EQ(PlatformyQt("", true), "wayland;xcb;offscreen");
  EXPECT_EQ(PlatformyQt("xcb", true), "xcb;offscreen");
  EXPECT_EQ(PlatformyQt("offscreen", false), "offscreen");
  EXPECT_EQ(PlatformyQt("eglfs;offscreen", false), "eglfs;offscreen");
}

TEST(VyberRozhraniQtTest, AnUnattendedRunShowsNothingEvenWithADisplay) {
  test::FalesnaPlatforma platforma;
  platforma.uzivatel = "SYSTEM";
  ZvoleneRozhrani rozhrani;  // the system account gets no windows: Qt is not even tried
  EXPECT_EQ(rozhrani.Druh(), DruhRozhrani::kTiche);
  EXPECT_EQ(rozhrani.Aktivni().Zprava("?", 4, ""), 1);
  EXPECT_EQ(rozhrani.Aktivni().Volba({}), 0);
}

}  // namespace
}  // namespace zevlon
