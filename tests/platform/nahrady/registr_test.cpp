#include "platform/nahrady/registr.h"

#include <gtest/gtest.h>

#include "support/sandbox.h"

namespace zevlon::registr {
namespace {

// A value as one text: "s:<string>", "d:<number>", "jiny", or "-" when missing.
std::string Cist(const std::string& f, std::string_view klic, std::string_view nazev,
                 std::string_view koren = "HKEY_LOCAL_MACHINE") {
  auto h = CistHodnotu(f, koren, klic, nazev);
  if (!h) return "-";
  if (h->typ == Typ::kRetezec) return "s:" + h->text;
  return h->typ == Typ::kDword ? "d:" + std::to_string(h->cislo) : "jiny";
}

// The reader's corner cases are properties of the fuzz target; these are the forms
// that regedit writes and that the program reads its folders from.
TEST(Registr, ExportedValuesOfTheirOwnKeyWithLaterDefinitionsWinning) {
  test::Sandbox s;
  std::string f = s.Zapsat(
      "r.reg",
      "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dunmor\\K]\r\n"
      "\"Slozka\"=\"C:\\\\Program Files\\\\\\\"Merko\\\"\\\\\"\r\n\"Pocet\"=dword:0000000a\r\n"
      "@=\"vychozi\"\r\n\"Binarni\"=hex:01,02,\\\r\n  ff\r\n\"B\"=\"smazana\"\r\n"
      "[HKLM\\Software\\Dunmor\\K\\Pod]\r\n\"Jen\"=\"v podklici\"\r\r\n"
      "[hklm\\software\\dunmor\\k]\r\n\"pocet\"=\"2\"\r\n\"b\"=-\r\n");
  const std::pair<std::string, std::string> kHodnoty[] = {
      {"SLOZKA", "s:C:\\Program Files\\\"Merko\"\\"},
      {"Pocet", "s:2"},
      {"", "s:vychozi"},
      {"Binarni", "jiny"},
      {"B", "-"},
      {"Jen", "-"}};
  for (const auto& [nazev, ocekavano] : kHodnoty)
    EXPECT_EQ(Cist(f, "software\\DUNMOR\\k", nazev), ocekavano) << nazev;
  EXPECT_EQ(Cist(f, "SOFTWARE\\Dunmor\\K\\Pod", "Jen", "HKLM"), "s:v podklici");
  EXPECT_EQ(Cist(s / "chybi.reg", "SOFTWARE\\Dunmor\\K", "Slozka"), "-");
}

}  // namespace
}  // namespace zevlon::registr
