// The parts of the FTP client that need no server: the listing readers, the port
// rule, the error text and the masking of credentials.
#include "transfer/ftp_seznam.h"

#include <gtest/gtest.h>

#include "common/cas.h"
#include "common/chyba.h"
#include "transfer/ftp.h"

namespace zevlon {
namespace {

using ftp::ParsovatList;
using ftp::ParsovatMlsd;

UtcCas Utc(const char* text) {
  return ParsovatUtc(text).value();
}

TEST(FtpSeznam, MlsdGivesNamesSizesAndUtcTimesAndSkipsTheFolderItself) {
  const std::string data =
      "type=cdir;modify=20240101000000; .\r\n"
      "type=pdir;modify=20240101000000; ..\r\n"
      "type=file;size=5000000000;modify=20240314093015.123;perm=r; velký soubor.bin\r\n"
      "Type=DIR;Modify=20230102030405;create=20220101121212; složka\r\n"
      "type=file;size=1; name;with;semicolons\n";
  auto p = ParsovatMlsd(data);
  ASSERT_EQ(p.size(), 3u);
  EXPECT_EQ(p[0].nazev, "velký soubor.bin");
  EXPECT_EQ(p[0].velikost, 5000000000);  // beyond 32 bits
  EXPECT_EQ(p[0].zmena, Utc("2024-03-14 09:30:15"));
  EXPECT_EQ(p[0].vznik, p[0].zmena);
  EXPECT_FALSE(p[0].slozka);
  EXPECT_EQ(p[1].nazev, "složka");
  EXPECT_TRUE(p[1].slozka);
  EXPECT_EQ(p[1].zmena, Utc("2023-01-02 03:04:05"));
  EXPECT_EQ(p[1].vznik, Utc("2022-01-01 12:12:12"));
  EXPECT_EQ(p[2].nazev, "name;with;semicolons");
  EXPECT_EQ(p[2].zmena, 0);
}

TEST(FtpSeznam, NamesThatCouldLeaveTheFolderAreNeverListed) {
  const std::string mlsd =
      "type=file;size=1; ..\r\n"
      "type=file;size=1; /etc/passwd\r\n"
      "type=file;size=1; ../venku.txt\r\n"
      "type=file;size=1; a\\..\\b.txt\r\n"
      "type=file;size=1; \r\n"
      "type=file;size=1; dobry.txt\r\n";
  auto p = ParsovatMlsd(mlsd);
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0].nazev, "dobry.txt");

  const std::string list =
      "-rw-r--r--   1 u g   1 Mar 14 09:30 ../venku.txt\r\n"
      "-rw-r--r--   1 u g   1 Mar 14 09:30 /abs.txt\r\n"
      "drwxr-xr-x   1 u g   1 Mar 14 09:30 ..\r\n"
      "03-14-24  09:30AM                 1 sub/x.txt\r\n"
      "03-14-24  09:30AM                 1 ok.txt\r\n";
  auto l = ParsovatList(list, Utc("2024-06-01 00:00:00"));
  ASSERT_EQ(l.size(), 1u);
  EXPECT_EQ(l[0].nazev, "ok.txt");
  EXPECT_TRUE(ftp::JePouzitelnyNazev("a b č.txt"));
  EXPECT_FALSE(ftp::JePouzitelnyNazev("."));
  EXPECT_FALSE(ftp::JePouzitelnyNazev(std::string("a\0b", 3)));
}

TEST(FtpSeznam, UnixLinesKeepBlanksInNamesAndPlaceYearlessTimesInThePast) {
  const UtcCas ted = Utc("2024-02-10 12:00:00");
  const std::string data =
      "total 24\r\n"
      "-rw-r--r--   1 owner    group        1234 Feb 09 23:59 zprávy a poznámky.txt\r\n"
      "-rw-r--r--   1 owner    group  3000000000 Mar 14 09:30 loni.bin\r\n"
      "drwxr-xr-x   2 owner    group        4096 Jan 05  2019 stara složka\r\n"
      "lrwxrwxrwx   1 owner    group          11 Feb 01 08:00 odkaz -> cil/soubor\r\n"
      "-rw-r--r--   1 dec      12            77 Feb 02 10:11 vlastnik jako mesic.txt\r\n"
      "-rw-r--r-- 1 owner 55 Feb 03 10:12 bez-skupiny2.txt\r\n"
      "crw-r--r--   1 root     root       1,   3 Feb 01 08:00 zarizeni\r\n";
  auto p = ParsovatList(data, ted);
  ASSERT_EQ(p.size(), 6u);
  EXPECT_EQ(p[0].nazev, "zprávy a poznámky.txt");
  EXPECT_EQ(p[0].velikost, 1234);
  EXPECT_EQ(p[0].zmena, Utc("2024-02-09 23:59:00"));
  // March lies after "now", so it is last year's March.
  EXPECT_EQ(p[1].nazev, "loni.bin");
  EXPECT_EQ(p[1].velikost, 3000000000);
  EXPECT_EQ(p[1].zmena, Utc("2023-03-14 09:30:00"));
  EXPECT_EQ(p[2].nazev, "stara složka");
  EXPECT_TRUE(p[2].slozka);
  EXPECT_EQ(p[2].zmena, Utc("2019-01-05 00:00:00"));
  EXPECT_EQ(p[3].nazev, "odkaz");
  EXPECT_EQ(p[4].nazev, "vlastnik jako mesic.txt");
  EXPECT_EQ(p[4].velikost, 77);
  EXPECT_EQ(p[4].zmena, Utc("2024-02-02 10:11:00"));
  EXPECT_EQ(p[5].nazev, "bez-skupiny2.txt");
  EXPECT_EQ(p[5].velikost, 55);
}

TEST(FtpSeznam, DosLinesInTwelveAndTwentyFourHourForm) {
  const std::string data =
      "03-14-24  09:30PM       <DIR>          Nová složka\r\n"
      "12-31-99  12:05AM                 1234 půlnoc.txt\r\n"
      "01-02-2023  12:00               5000000000 poledne 24h.bin\r\n"
      "01-01-70  12:00PM                    0 prazdny\r\n";
  auto p = ParsovatList(data, Utc("2024-06-01 00:00:00"));
  ASSERT_EQ(p.size(), 4u);
  EXPECT_EQ(p[0].nazev, "Nová složka");
  EXPECT_TRUE(p[0].slozka);
  EXPECT_EQ(p[0].zmena, Utc("2024-03-14 21:30:00"));
  EXPECT_EQ(p[1].nazev, "půlnoc.txt");
  EXPECT_EQ(p[1].velikost, 1234);
  EXPECT_EQ(p[1].zmena, Utc("1999-12-31 00:05:00"));
  EXPECT_EQ(p[2].nazev, "poledne 24h.bin");
  EXPECT_EQ(p[2].velikost, 5000000000);
  EXPECT_EQ(p[2].zmena, Utc("2023-01-02 12:00:00"));
  EXPECT_EQ(p[3].zmena, Utc("1970-01-01 12:00:00"));
}

TEST(FtpPomucky, PortTextIsReadAsTheLeadingNumber) {
  EXPECT_EQ(CisloPortu("2121"), 2121);
  EXPECT_EQ(CisloPortu(" 21 21 "), 2121);  // blanks are dropped first
  EXPECT_EQ(CisloPortu("2121abc"), 2121);
  EXPECT_EQ(CisloPortu("abc"), 0);
  EXPECT_EQ(CisloPortu(""), 0);
  EXPECT_EQ(CisloPortu("12.5"), 12);  // half to even
  EXPECT_EQ(CisloPortu("13.5"), 14);
  EXPECT_EQ(CisloPortu("2.1e3"), 2100);
  EXPECT_EQ(CisloPortu("+21d1"), 210);
  EXPECT_EQ(CisloPortu("5e-400"), 0);
  EXPECT_EQ(CisloPortu("32767.4"), 32767);
  EXPECT_EQ(CisloPortu("-1"), 65535);  // the platform's port type is unsigned
  for (const char* prilis : {"32767.5", "70000", "-32769", "1e10", "-1e400"}) {
    try {
      CisloPortu(prilis);
      ADD_FAILURE() << prilis << " raised nothing";
    } catch (const Chyba& c) {
      EXPECT_EQ(c.Cislo(), kod::kPreteceni) << prilis;
    }
  }
}

TEST(FtpPomucky, ErrorTextAndMaskedCredentials) {
  EXPECT_EQ(TextChybyFtp(12029), "Chyba 12029\r\nNelze se připojit k serveru.");
  EXPECT_EQ(TextChybyFtp(12003, "550 No such file."),
            "Chyba 12003\r\nServer vrátil rozšířenou informaci o chybě.\r\n550 No such file.");
  // Only the extended-error code carries the server's reply.
  EXPECT_EQ(TextChybyFtp(12014, "530 Login incorrect."),
            "Chyba 12014\r\nNesprávné heslo nebo uživatelské jméno.");

  EXPECT_EQ(ZakrytPrihlasovaciUdaje("530 user karel pass karel-heslo", "karel", "karel-heslo"),
            "530 user *** pass ***");
  // Short credentials are masked only as whole words.
  EXPECT_EQ(ZakrytPrihlasovaciUdaje("550 Access denied for x (a)", "x", "a"),
            "550 Access denied for *** (***)");
  EXPECT_EQ(ZakrytPrihlasovaciUdaje("beze změny", "", ""), "beze změny");
}

}  // namespace
}  // namespace zevlon
