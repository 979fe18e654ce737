#include "platform/registr.h"

#include <gtest/gtest.h>

#include <random>

#include "support/sandbox.h"

namespace zevlon::registr {
namespace {

using test::Sandbox;

constexpr std::string_view kV5 = "Windows Registry Editor Version 5.00\r\n\r\n";
constexpr std::string_view kAplikace = "SOFTWARE\\Dunmor\\Merko\\14.0\\Aplikace";

std::optional<std::string> Text(const std::string& f, std::string_view klic,
                                std::string_view nazev) {
  auto h = CistHodnotu(f, "HKEY_LOCAL_MACHINE", klic, nazev);
  if (!h || h->typ != Typ::kRetezec) return std::nullopt;
  return h->text;
}

std::optional<std::uint32_t> Cislo(const std::string& f, std::string_view klic,
                                   std::string_view nazev) {
  auto h = CistHodnotu(f, "HKEY_LOCAL_MACHINE", klic, nazev);
  if (!h || h->typ != Typ::kDword) return std::nullopt;
  return h->cislo;
}

// UTF-16LE with BOM, as regedit 5 exports; the text given in UTF-8 (basic plane and
// surrogate pairs).
std::string Utf16(std::string_view utf8) {
  std::string out = "\xFF\xFE";
  auto pridat = [&](char32_t u) {
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>(u >> 8));
  };
  for (std::size_t i = 0; i < utf8.size();) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    int n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    char32_t b = n == 1 ? c : c & (0x7F >> n);
    for (int k = 1; k < n; ++k)
      b = (b << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    i += n;
    if (b >= 0x10000) {
      pridat(0xD800 + ((b - 0x10000) >> 10));
      pridat(0xDC00 + ((b - 0x10000) & 0x3FF));
    } else {
      pridat(b);
    }
  }
  return out;
}

TEST(RegistrCteni, StringsWithEscapesDwordsAndTheDefaultValue) {
  Sandbox s;
  std::string f =
      s.Zapsat("r.reg", std::string(kV5) +
                            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dunmor\\Merko\\14.0\\Aplikace]\r\n"
                            "\"Slozka_Merka\"=\"C:\\\\Program Files\\\\\\\"Merko\\\"\\\\\"\r\n"
                            "\"Mezery\" = \"  a b  \"  ; pozn\r\n"
                            "\"Pocet\"=dword:0000000a\r\n"
                            "\"Max\"=DWORD:FFFFFFFF\r\n"
                            "\"Kratke\"=dword:5\r\n"
                            "@=\"vychozi\"\r\n"
                            "\"Účetnictví\"=\"ano\"\r\n"
                            "\r\n"
                            "[HKLM\\Software\\Dunmor\\Merko\\14.0\\Aplikace\\Pod]\r\n"
                            "\"Jen\"=\"v podklici\"\r\n"
                            "[HKEY_CURRENT_USER\\SOFTWARE\\Dunmor\\Merko\\14.0\\Aplikace]\r\n"
                            "\"Jen\"=\"u uzivatele\"\r\n");
  EXPECT_EQ(Text(f, kAplikace, "Slozka_Merka"), "C:\\Program Files\\\"Merko\"\\");
  EXPECT_EQ(Text(f, kAplikace, "Mezery"), "  a b  ");
  EXPECT_EQ(Cislo(f, kAplikace, "Pocet"), 10u);
  EXPECT_EQ(Cislo(f, kAplikace, "max"), 0xFFFFFFFFu);
  EXPECT_EQ(Cislo(f, kAplikace, "Kratke"), 5u);
  EXPECT_EQ(Text(f, kAplikace, ""), "vychozi");
  EXPECT_EQ(Text(f, kAplikace, "@"), "vychozi");

  // Roots, key paths and value names ignore case (Czech letters folded).
  auto h = CistHodnotu(f, "hklm", "software\\DUNMOR\\merko\\14.0\\aplikace\\", "SLOZKA_MERKA");
  ASSERT_TRUE(h);
  EXPECT_EQ(h->text, "C:\\Program Files\\\"Merko\"\\");
  EXPECT_EQ(Text(f, kAplikace, "ÚČETNICTVÍ"), "ano");

  // Values belong to their own key only.
  EXPECT_EQ(CistHodnotu(f, "HKLM", kAplikace, "Jen"), std::nullopt);
  EXPECT_EQ(Text(f, std::string(kAplikace) + "\\Pod", "Jen"), "v podklici");
  EXPECT_EQ(CistHodnotu(f, "HKLM", "SOFTWARE\\Dunmor\\Merko\\14.0", "Slozka_Merka"), std::nullopt);
  EXPECT_EQ(CistHodnotu(f, "HKLM", kAplikace, "Chybi"), std::nullopt);
  EXPECT_EQ(CistHodnotu(f, "HKEY_NIKDE", kAplikace, "Slozka_Merka"), std::nullopt);
}

TEST(RegistrCteni, HexTypesAndContinuedLines) {
  Sandbox s;
  std::string f =
      s.Zapsat("r.reg", std::string(kV5) + "[HKEY_LOCAL_MACHINE\\" + std::string(kAplikace) +
                            "]\r\n"
                            "\"Binarni\"=hex:01,02,ff\r\n"
                            "\"Rozsirena\"=hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,\\\r\n"
                            "  00,00\r\n"
                            "\"Vice\"=hex(7):61,00,00,00,\\\r\n"
                            "  62,00,00,00,\\\r\n"
                            "  00,00\r\n"
                            "\"Po\"=\"cteno\"\r\n"
                            "\"Dword\"=hex(4):05,01,00,00\r\n"
                            "\"Retezec\"=hex(1):4d,00,65,00,72,00,6b,00,6f,00,00,00\r\n"
                            "\"Qword\"=hex(b):01,00,00,00,00,00,00,00\r\n"
                            "\"Prazdna\"=hex:\r\n"
                            "\"Useknuta\"=hex:01,02,\\\r\n"
                            "\"Po2\"=\"tez cteno\"\r\n");
  for (std::string_view nazev : {"Binarni", "Rozsirena", "Vice", "Qword", "Prazdna"}) {
    auto h = CistHodnotu(f, "HKLM", kAplikace, nazev);
    ASSERT_TRUE(h) << nazev;
    EXPECT_EQ(h->typ, Typ::kJiny) << nazev;
  }
  EXPECT_EQ(Text(f, kAplikace, "Po"), "cteno");
  // A continuation cut short by a line that is no hex data leaves that line to be read.
  EXPECT_EQ(Text(f, kAplikace, "Po2"), "tez cteno");
  EXPECT_EQ(CistHodnotu(f, "HKLM", kAplikace, "Useknuta"), std::nullopt);
  EXPECT_EQ(Cislo(f, kAplikace, "Dword"), 261u);
  EXPECT_EQ(Text(f, kAplikace, "Retezec"), "Merko");
}

TEST(RegistrCteni, Utf16LeAndWindows1250Files) {
  Sandbox s;
  std::string obsah = std::string(kV5) +
                      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dunmor\\Účetnictví]\r\n"
                      "\"Složka\"=\"D:\\\\Žluťoučký kůň 😀\\\\\"\r\n"
                      "\"Cislo\"=dword:00000005\r\n";
  std::string f16 = s.Zapsat("u16.reg", Utf16(obsah));
  EXPECT_EQ(Text(f16, "SOFTWARE\\Dunmor\\ÚČETNICTVÍ", "složka"), "D:\\Žluťoučký kůň 😀\\");
  EXPECT_EQ(Cislo(f16, "SOFTWARE\\Dunmor\\Účetnictví", "Cislo"), 5u);

  std::string f8 = s.Zapsat("u8.reg", "\xEF\xBB\xBF" + obsah);
  EXPECT_EQ(Text(f8, "SOFTWARE\\Dunmor\\Účetnictví", "Složka"), "D:\\Žluťoučký kůň 😀\\");

  std::string cp = s.Zapsat("cp.reg",
                            "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dunmor\\\xDA\xE8"
                            "etnictv\xED]\n\"Slo\x9Eka\"=\"\x8Elu\x9Dou\xE8k\xFD\"\n");
  EXPECT_EQ(Text(cp, "SOFTWARE\\Dunmor\\účetnictví", "SLOŽKA"), "Žluťoučký");
}

TEST(RegistrZmeny, LaterDefinitionsWinAndDeletionsRemove) {
  Sandbox s;
  std::string f = s.Zapsat("r.reg",
                           "REGEDIT4\r\n"
                           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dunmor\\Merko\\14.0\\Aplikace]\r\n"
                           "\"A\"=\"prvni\"\r\n"
                           "\"B\"=\"smazana\"\r\n"
                           "\"C\"=\"v mazanem klici\"\r\n"
                           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dunmor\\Merko\\14.01]\r\n"
                           "\"D\"=\"soused\"\r\n"
                           "[hklm\\software\\dunmor\\merko\\14.0\\aplikace]\r\n"
                           "\"a\"=dword:00000002\r\n"
                           "\"b\"=-\r\n"
                           "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Dunmor\\Merko\\14.0]\r\n"
                           "\"C\"=\"za smazanim, bez klice\"\r\n"
                           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dunmor\\Merko\\14.0\\Aplikace]\r\n"
                           "\"E\"=\"znovu\"\r\n"
                           "\"A\"=\"po smazani\"\r\n"
                           "\"B\"=\"x\"\r\n"
                           "\"B\"=-\r\n");
  EXPECT_EQ(Text(f, kAplikace, "A"), "po smazani");
  EXPECT_EQ(CistHodnotu(f, "HKLM", kAplikace, "B"), std::nullopt);
  EXPECT_EQ(CistHodnotu(f, "HKLM", kAplikace, "C"), std::nullopt);
  EXPECT_EQ(Text(f, kAplikace, "E"), "znovu");
  EXPECT_EQ(Text(f, "SOFTWARE\\Dunmor\\Merko\\14.01", "D"), "soused");

  // Before the deletion the later "a" (a number) had replaced the first string.
  std::string g =
      s.Zapsat("g.reg", "REGEDIT4\n[HKLM\\K]\n\"A\"=\"text\"\n[HKLM\\K]\n\"a\"=dword:7\n");
  EXPECT_EQ(Cislo(g, "K", "A"), 7u);
}

TEST(RegistrVadne, MissingHeaderlessAndMalformedInputReadsSafely) {
  Sandbox s;
  EXPECT_EQ(CistHodnotu(s / "chybi.reg", "HKLM", "K", "A"), std::nullopt);
  EXPECT_EQ(CistHodnotu(s.Cesta(), "HKLM", "K", "A"), std::nullopt);

  const std::string telo = "[HKLM\\K]\r\n\"A\"=\"1\"\r\n";
  EXPECT_EQ(Text(s.Zapsat("bez.reg", telo), "K", "A"), std::nullopt);
  EXPECT_EQ(Text(s.Zapsat("jina.reg", "REGEDIT5\r\n" + telo), "K", "A"), std::nullopt);
  EXPECT_EQ(Text(s.Zapsat("prazdny.reg", ""), "K", "A"), std::nullopt);
  EXPECT_EQ(Text(s.Zapsat("u16bez.reg", Utf16(std::string(kV5) + telo).substr(2)), "K", "A"),
            std::nullopt);

  std::string f = s.Zapsat("vadny.reg",
                           "REGEDIT4\r\n"
                           "\"Predklicem\"=\"x\"\r\n"
                           "[HKLM\\K]\r\n"
                           "\"A\"=\"dobra\"\r\n"
                           "\"A\"=\"neukoncena\r\n"
                           "\"A\"=dword:123456789\r\n"
                           "\"A\"=dword:xyz\r\n"
                           "\"A\"=hex:zz,01\r\n"
                           "\"A\"=hex(:01\r\n"
                           "\"A\"=\"x\" smeti\r\n"
                           "\"A\"=cokoli\r\n"
                           "\"A\"\r\n"
                           "A=\"bez uvozovek\"\r\n"
                           "\"B\"=\"ok\"\r\n"
                           "[HKLM\\K\r\n"
                           "\"C\"=\"stale v K\"\r\n"
                           "[HKEY_NIKDE\\K]\r\n"
                           "\"D\"=\"pod neznamym korenem\"\r\n");
  EXPECT_EQ(Text(f, "K", "A"), "dobra");
  EXPECT_EQ(Text(f, "K", "B"), "ok");
  // A broken key line ends the previous key, so its values land nowhere.
  EXPECT_EQ(CistHodnotu(f, "HKLM", "K", "C"), std::nullopt);
  EXPECT_EQ(CistHodnotu(f, "HKLM", "K", "D"), std::nullopt);
  EXPECT_EQ(CistHodnotu(f, "HKLM", "", "Predklicem"), std::nullopt);

  std::mt19937 nahoda(5);
  std::string smeti = "REGEDIT4\r\n[HKLM\\K]\r\n\"H\"=hex:00,\\\r\n";
  for (int i = 0; i < 100000; ++i)
    smeti.push_back(static_cast<char>(nahoda()));
  std::string g = s.Zapsat("smeti.reg", smeti + "\r\n[HKLM\\K]\r\n\"Z\"=\"konec\"\r\n");
  EXPECT_EQ(Text(g, "K", "Z"), "konec");
  std::string u16 = s.Zapsat("smeti16.reg", "\xFF\xFE" + smeti.substr(0, 5001));
  (void)CistHodnotu(u16, "HKLM", "K", "H");
  std::string lichy =
      s.Zapsat("lichy.reg", Utf16(std::string(kV5) + "[HKLM\\K]\r\n\"A\"=\"1\"\r\n") +
                                std::string("\x00\xD8\x41\x00\x7F", 5));
  EXPECT_EQ(Text(lichy, "K", "A"), "1");
}

}  // namespace
}  // namespace zevlon::registr
