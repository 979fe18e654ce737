#include "platform/registr.h"

#include <gtest/gtest.h>

#include <random>

#include "support/sandbox.h"

namespace zevlon::registr {
namespace {

using test::Sandbox;

constexpr std::string_view kAplikace = "SOFTWARE\\Dunmor\\Merko\\14.0\\Aplikace";

// A value as one text: "s:<string>", "d:<number>", "jiny", or "-" when missing.
std::string Cist(const std::string& f, std::string_view klic, std::string_view nazev,
                 std::string_view koren = "HKEY_LOCAL_MACHINE") {
  auto h = CistHodnotu(f, koren, klic, nazev);
  if (!h) return "-";
  if (h->typ == Typ::kRetezec) return "s:" + h->text;
  return h->typ == Typ::kDword ? "d:" + std::to_string(h->cislo) : "jiny";
}

// UTF-16LE with BOM, as regedit 5 exports.
std::string Utf16(std::u16string_view text) {
  std::string out = "\xFF\xFE";
  for (char16_t c : text)
    out += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  return out;
}

TEST(RegistrCteni, StringsDwordsHexTypesAndTheDefaultValueOfTheirOwnKey) {
  Sandbox s;
  std::string f = s.Zapsat(
      "r.reg",
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dunmor\\Merko\\14.0\\Aplikace]\r\n"
      "\"Slozka_Merka\"=\"C:\\\\Program Files\\\\\\\"Merko\\\"\\\\\"\r\n"
      "\"Mezery\" = \"  a b  \"  ; pozn\r\n\"Pocet\"=dword:0000000a\r\n\"Max\"=DWORD:FFFFFFFF\r\n"
      "\"Kratke\"=dword:5\r\n@=\"vychozi\"\r\n\"Účetnictví\"=\"ano\"\r\n"
      "\"Binarni\"=hex:01,02,ff\r\n"
      "\"Rozsirena\"=hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,\\\r\n  00,00\r\n"
      "\"Vice\"=hex(7):61,00,00,00,\\\r\n  62,00,00,00,\\\r\n  00,00\r\n\"Po\"=\"cteno\"\r\n"
      "\"Dword\"=hex(4):05,01,00,00\r\n\"Retezec\"=hex(1):4d,00,65,00,72,00,6b,00,6f,00,00,00\r\n"
      "\"Qword\"=hex(b):01,00,00,00,00,00,00,00\r\n\"Prazdna\"=hex:\r\n"
      "\"Useknuta\"=hex:01,02,\\\r\n\"Po2\"=\"tez cteno\"\r\n\r\n"
      "[HKLM\\Software\\Dunmor\\Merko\\14.0\\Aplikace\\Pod]\r\n\"Jen\"=\"v podklici\"\r\n"
      "[HKEY_CURRENT_USER\\SOFTWARE\\Dunmor\\Merko\\14.0\\Aplikace]\r\n\"Jen\"=\"CU\"\r\n");
  // A continuation cut short by a line that is no hex data leaves that line to be read.
  const std::pair<std::string, std::string> kHodnoty[] = {
      {"ÚČETNICTVÍ", "s:ano"}, {"Mezery", "s:  a b  "}, {"Pocet", "d:10"},
      {"max", "d:4294967295"}, {"Kratke", "d:5"},       {"", "s:vychozi"},
      {"@", "s:vychozi"},      {"Binarni", "jiny"},     {"Rozsirena", "jiny"},
      {"Vice", "jiny"},        {"Qword", "jiny"},       {"Prazdna", "jiny"},
      {"Po", "s:cteno"},       {"Useknuta", "-"},       {"Po2", "s:tez cteno"},
      {"Dword", "d:261"},      {"Retezec", "s:Merko"},  {"Jen", "-"},
      {"Chybi", "-"}};
  for (const auto& [nazev, ocekavano] : kHodnoty)
    EXPECT_EQ(Cist(f, kAplikace, nazev), ocekavano) << nazev;
  // Roots, key paths and value names ignore case; values belong to their own key only.
  EXPECT_EQ(Cist(f, "software\\DUNMOR\\merko\\14.0\\aplikace\\", "SLOZKA_MERKA", "hklm"),
            "s:C:\\Program Files\\\"Merko\"\\");
  EXPECT_EQ(Cist(f, kAplikace, "Jen", "HKCU"), "s:CU");
  EXPECT_EQ(Cist(f, std::string(kAplikace) + "\\Pod", "Jen"), "s:v podklici");
  EXPECT_EQ(Cist(f, "SOFTWARE\\Dunmor\\Merko\\14.0", "Slozka_Merka"), "-");
  EXPECT_EQ(Cist(f, kAplikace, "Slozka_Merka", "HKEY_NIKDE"), "-");
}

TEST(RegistrCteni, Utf16LeUtf8WithBomAndWindows1250Files) {
  Sandbox s;
  std::string f16 =
      s.Zapsat("u16.reg",
               Utf16(u"Windows Registry Editor Version 5.00\r\n\r\n"
                     u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dunmor\\Účetnictví]\r\n"
                     u"\"Složka\"=\"D:\\\\Žluťoučký kůň 😀\\\\\"\r\n\"Cislo\"=dword:00000005\r\n"));
  EXPECT_EQ(Cist(f16, "SOFTWARE\\Dunmor\\ÚČETNICTVÍ", "složka"), "s:D:\\Žluťoučký kůň 😀\\");
  EXPECT_EQ(Cist(f16, "SOFTWARE\\Dunmor\\Účetnictví", "Cislo"), "d:5");
  std::string f8 =
      s.Zapsat("u8.reg", "\xEF\xBB\xBFREGEDIT4\r\n[HKLM\\Účetnictví]\r\n\"Složka\"=\"kůň 😀\"\r\n");
  EXPECT_EQ(Cist(f8, "účetnictví", "SLOŽKA"), "s:kůň 😀");
  std::string cp = s.Zapsat("cp.reg",
                            "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dunmor\\\xDA\xE8"
                            "etnictv\xED]\n\"Slo\x9Eka\"=\"\x8Elu\x9Dou\xE8k\xFD\"\n");
  EXPECT_EQ(Cist(cp, "SOFTWARE\\Dunmor\\účetnictví", "SLOŽKA"), "s:Žluťoučký");
  // UTF-16 is recognised by its BOM only; an odd last byte and a lone surrogate do no harm.
  std::u16string u16 = u"REGEDIT4\r\n[HKLM\\K]\r\n\"A\"=\"1\"\r\n";
  EXPECT_EQ(Cist(s.Zapsat("bez.reg", Utf16(u16).substr(2)), "K", "A"), "-");
  EXPECT_EQ(
      Cist(s.Zapsat("lichy.reg", Utf16(u16) + std::string("\x00\xD8\x41\x00\x7F", 5)), "K", "A"),
      "s:1");
}

TEST(RegistrZmeny, LaterDefinitionsWinAndDeletionsRemove) {
  Sandbox s;
  std::string f =
      s.Zapsat("r.reg",
               "REGEDIT4\r\n"
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dunmor\\Merko\\14.0\\Aplikace]\r\n"
               "\"A\"=\"prvni\"\r\n\"B\"=\"smazana\"\r\n\"C\"=\"v mazanem klici\"\r\n"
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dunmor\\Merko\\14.01]\r\n\"D\"=\"soused\"\r\n"
               "[hklm\\software\\dunmor\\merko\\14.0\\aplikace]\r\n"
               "\"a\"=dword:00000002\r\n\"b\"=-\r\n"
               "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Dunmor\\Merko\\14.0]\r\n"
               "\"C\"=\"za smazanim, bez klice\"\r\n"
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dunmor\\Merko\\14.0\\Aplikace]\r\n"
               "\"E\"=\"znovu\"\r\n\"A\"=\"po smazani\"\r\n\"B\"=\"x\"\r\n\"B\"=-\r\n");
  EXPECT_EQ(Cist(f, kAplikace, "A"), "s:po smazani");
  EXPECT_EQ(Cist(f, kAplikace, "B"), "-");
  EXPECT_EQ(Cist(f, kAplikace, "C"), "-");
  EXPECT_EQ(Cist(f, kAplikace, "E"), "s:znovu");
  EXPECT_EQ(Cist(f, "SOFTWARE\\Dunmor\\Merko\\14.01", "D"), "s:soused");
  std::string g =
      s.Zapsat("g.reg", "REGEDIT4\n[HKLM\\K]\n\"A\"=\"text\"\n[HKLM\\K]\n\"a\"=dword:7\n");
  EXPECT_EQ(Cist(g, "K", "A"), "d:7");
}

TEST(RegistrVadne, MissingHeaderlessAndMalformedInputReadsSafely) {
  Sandbox s;
  const std::string telo = "[HKLM\\K]\r\n\"A\"=\"1\"\r\n";
  for (const std::string& f : {s / "chybi.reg", s.Cesta(), s.Zapsat("bez.reg", telo),
                               s.Zapsat("jina.reg", "REGEDIT5\r\n" + telo), s.Zapsat("0.reg", "")})
    EXPECT_EQ(Cist(f, "K", "A"), "-") << f;

  std::string f =
      s.Zapsat("vadny.reg",
               "REGEDIT4\r\n\"Predklicem\"=\"x\"\r\n[HKLM\\K]\r\n\"A\"=\"dobra\"\r\n"
               "\"A\"=\"neukoncena\r\n\"A\"=dword:123456789\r\n\"A\"=dword:xyz\r\n"
               "\"A\"=hex:zz,01\r\n\"A\"=hex(:01\r\n\"A\"=\"x\" smeti\r\n\"A\"=cokoli\r\n"
               "\"A\"\r\nA=\"bez uvozovek\"\r\n\"B\"=\"ok\"\r\n"
               "[HKLM\\K\r\n\"C\"=\"stale v K\"\r\n"
               "[HKEY_NIKDE\\K]\r\n\"D\"=\"pod neznamym korenem\"\r\n");
  EXPECT_EQ(Cist(f, "K", "A"), "s:dobra");
  EXPECT_EQ(Cist(f, "K", "B"), "s:ok");
  // A broken key line ends the previous key, so its values land nowhere.
  EXPECT_EQ(Cist(f, "K", "C"), "-");
  EXPECT_EQ(Cist(f, "K", "D"), "-");
  EXPECT_EQ(Cist(f, "", "Predklicem"), "-");

  std::mt19937 nahoda(5);
  std::string smeti = "REGEDIT4\r\n[HKLM\\K]\r\n\"H\"=hex:00,\\\r\n";
  for (int i = 0; i < 100000; ++i)
    smeti.push_back(static_cast<char>(nahoda()));
  std::string g = s.Zapsat("smeti.reg", smeti + "\r\n[HKLM\\K]\r\n\"Z\"=\"konec\"\r\n");
  EXPECT_EQ(Cist(g, "K", "Z"), "s:konec");
  (void)Cist(s.Zapsat("smeti16.reg", "\xFF\xFE" + smeti.substr(0, 5001)), "K", "H");
}

}  // namespace
}  // namespace zevlon::registr
