// Signatures and keys in minisign's formats, read, checked and written by the program
// alone: a change anywhere in what was signed is caught, a key that is not among the
// trusted ones is told apart, and broken or hostile files are refused without harm.
#include "prenos/podpisy/podpis.h"

#include <gtest/gtest.h>
#include <sodium.h>

#include <cstdint>
#include <functional>
#include <limits>

#include "common/chyba.h"

namespace zevlon::podpis {
namespace {

// Base64 (with padding) of bytes and back, to build broken files by hand.
std::string B64(std::string_view bajty) {
  std::string text(sodium_base64_ENCODED_LEN(bajty.size(), sodium_base64_VARIANT_ORIGINAL), '\0');
  sodium_bin2base64(text.data(), text.size(), reinterpret_cast<const unsigned char*>(bajty.data()),
                    bajty.size(), sodium_base64_VARIANT_ORIGINAL);
  text.pop_back();
  return text;
}
std::string Z64(std::string_view text) {
  std::string bajty(text.size(), '\0');
  std::size_t delka = 0;
  if (sodium_base642bin(reinterpret_cast<unsigned char*>(bajty.data()), bajty.size(), text.data(),
                        text.size(), nullptr, &delka, nullptr, sodium_base64_VARIANT_ORIGINAL) != 0)
    throw std::runtime_error("not base64: " + std::string(text));
  bajty.resize(delka);
  return bajty;
}

std::vector<std::string> Radky(const std::string& text) {
  std::vector<std::string> radky;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t konec = text.find('\n', i);
    radky.push_back(text.substr(i, konec - i));
    i = konec + 1;
  }
  return radky;
}
std::string Spojit(const std::vector<std::string>& radky) {
  std::string text;
  for (const auto& r : radky)
    text += r + "\n";
  return text;
}

std::string Crlf(const std::string& text) {
  std::string crlf;
  for (char c : text)
    crlf += c == '\n' ? "\r\n" : std::string(1, c);
  return crlf;
}

// The second line's bytes changed by `zmena` and written back as base64.
std::string ZmenitBlob(const std::string& soubor, const std::function<void(std::string&)>& zmena) {
  auto radky = Radky(soubor);
  std::string blob = Z64(radky.at(1));
  zmena(blob);
  radky[1] = B64(blob);
  return Spojit(radky);
}

// A public key made by `minisign -G`, whose file names it "7F5E3E683E6600E4".
constexpr const char* kKlicMinisign = "RWTkAGY+aD5efyvPbDFw4BY+M8i/GOwo5pNhF8IpRg5ZV+BCLAqm1Yt9";

TEST(Podpis, PublicKeysAreReadInEveryFormMinisignUsersPaste) {
  const auto klic = CistVerejnyKlic(kKlicMinisign);
  ASSERT_TRUE(klic);
  EXPECT_EQ(TextId(klic->id), "7F5E3E683E6600E4");
  // minisign prints the id without leading zeros.
  EXPECT_EQ(TextId(IdKlice{0x97, 0x50, 0x8A, 0xE2, 0x4F, 0x2A, 0xF2, 0x0E}), "EF22A4FE28A5097");
  EXPECT_EQ(TextVerejnehoKlice(*klic), kKlicMinisign);
  const std::string soubor = SouborVerejnehoKlice(*klic);
  EXPECT_EQ(soubor, std::string("untrusted comment: minisign public key 7F5E3E683E6600E4\n") +
                        kKlicMinisign + "\n");
  const std::string radek = kKlicMinisign;
  for (const std::string& text :
       {soubor, radek + "\n", " \t" + radek + " \r\n", soubor.substr(0, soubor.size() - 1),
        "untrusted comment: jiný komentář\r\n" + radek + "\r\n"})
    EXPECT_EQ(CistVerejnyKlic(text), klic) << text;

  const std::string blob = Z64(radek);
  for (const std::string& text : {
           std::string(), std::string("untrusted comment: minisign public key 7F5E3E683E6600E4\n"),
           radek.substr(1),                    // not base64 any more
           "*" + radek.substr(1),              // a character outside the alphabet
           radek.substr(0, radek.size() - 4),  // whole groups missing
           B64(blob.substr(0, 41)),            // a byte short
           B64(blob + "x"),                    // a byte over
           B64("ED" + blob.substr(2)),         // the signature's algorithm
           B64("Ex" + blob.substr(2)),         // an unknown one
           "comment: x\n" + radek,             // a comment line without its prefix
           soubor + radek + "\n",              // a third line
           radek + " " + radek,                // two keys where one is expected
           std::string(5000, ' ') + radek,     // oversize
           "untrusted comment: " + std::string(2000, 'x') + "\n" + radek,  // oversize comment
       })
    EXPECT_FALSE(CistVerejnyKlic(text)) << text;
}

TEST(Podpis, WhatWasSignedCannotBeChanged) {
  const auto [tajny, verejny] = NovyPar();
  const std::string obsah("obsah\0souboru \xff\n", 17);
  const std::string komentar = "timestamp:1700000000\tfile:zevlon.zip";
  const std::string soubor = Podepsat(tajny, obsah, komentar);
  const auto podpis = CistPodpis(soubor);
  ASSERT_TRUE(podpis);
  EXPECT_TRUE(podpis->predhashovany);
  EXPECT_EQ(podpis->id, verejny.id);
  EXPECT_EQ(podpis->duveryhodnyKomentar, komentar);
  const std::vector<VerejnyKlic> klice{verejny};
  EXPECT_EQ(Overit(*podpis, klice, obsah), Overeni::kPlatny);

  struct Zmena {
    const char* co;
    std::function<void(Podpis&, std::string&)> zmenit;
    Overeni vysledek;
  };
  const Zmena zmeny[] = {
      {"a content byte", [](Podpis&, std::string& o) { o[6] ^= 1; }, Overeni::kNeplatny},
      {"content cut short", [](Podpis&, std::string& o) { o.pop_back(); }, Overeni::kNeplatny},
      {"empty content", [](Podpis&, std::string& o) { o.clear(); }, Overeni::kNeplatny},
      {"the trusted comment", [](Podpis& p, std::string&) { p.duveryhodnyKomentar[10] = '9'; },
       Overeni::kNeplatny},
      {"the signature", [](Podpis& p, std::string&) { p.podpis[10] ^= 1; }, Overeni::kNeplatny},
      {"the global signature", [](Podpis& p, std::string&) { p.globalniPodpis[63] ^= 0x80; },
       Overeni::kNeplatny},
      {"the algorithm", [](Podpis& p, std::string&) { p.predhashovany = false; },
       Overeni::kNeplatny},
      {"the key id", [](Podpis& p, std::string&) { p.id[7] ^= 1; }, Overeni::kJinyKlic},
  };
  for (const auto& z : zmeny) {
    Podpis p = *podpis;
    std::string o = obsah;
    z.zmenit(p, o);
    EXPECT_EQ(Overit(p, klice, o), z.vysledek) << z.co;
  }

  // The same through the file: its trusted comment edited.
  std::string upraveny = soubor;
  upraveny.replace(upraveny.find("1700000000"), 10, "1800000000");
  const auto upraveny_podpis = CistPodpis(upraveny);
  ASSERT_TRUE(upraveny_podpis);
  EXPECT_EQ(Overit(*upraveny_podpis, klice, obsah), Overeni::kNeplatny);

  // Another key's signature names a key not among them; that key's id put on a
  // different public key does not make it valid.
  const auto [jiny, jiny_verejny] = NovyPar();
  const auto cizi = CistPodpis(Podepsat(jiny, obsah, komentar));
  ASSERT_TRUE(cizi);
  EXPECT_EQ(Overit(*cizi, klice, obsah), Overeni::kJinyKlic);
  EXPECT_EQ(Overit(*podpis, {}, obsah), Overeni::kJinyKlic);
  VerejnyKlic podvrh = jiny_verejny;
  podvrh.id = verejny.id;
  EXPECT_EQ(Overit(*podpis, std::vector{podvrh}, obsah), Overeni::kNeplatny);
  EXPECT_EQ(Overit(*podpis, std::vector{podvrh, verejny}, obsah), Overeni::kPlatny);
}

TEST(Podpis, DuringAKeyRotationEitherKeySigns) {
  const auto [stary, stary_verejny] = NovyPar();
  const auto [novy, novy_verejny] = NovyPar();
  const auto [treti, treti_verejny] = NovyPar();
  EXPECT_NE(stary_verejny.id, novy_verejny.id);
  const auto klice = CistVerejneKlice(" " + TextVerejnehoKlice(stary_verejny) + " \t\r\n" +
                                      TextVerejnehoKlice(novy_verejny) + "\n");
  ASSERT_TRUE(klice);
  EXPECT_EQ(*klice, (std::vector{stary_verejny, novy_verejny}));
  for (const TajnyKlic* k : {&stary, &novy, &treti}) {
    const auto podpis = CistPodpis(Podepsat(*k, "balík", "timestamp:1"));
    ASSERT_TRUE(podpis);
    EXPECT_EQ(Overit(*podpis, *klice, "balík"),
              k == &treti ? Overeni::kJinyKlic : Overeni::kPlatny);
  }

  // A list with anything but keys in it is refused as a whole: a key mistyped, a whole
  // ".pub" file (its comment line has blanks in it).
  const std::string a = TextVerejnehoKlice(stary_verejny), b = TextVerejnehoKlice(novy_verejny);
  EXPECT_FALSE(CistVerejneKlice(a + " " + b.substr(1)));
  EXPECT_FALSE(CistVerejneKlice(a + " x " + b));
  EXPECT_FALSE(CistVerejneKlice(SouborVerejnehoKlice(stary_verejny)));
  EXPECT_EQ(CistVerejneKlice(" \n"), std::vector<VerejnyKlic>{});
}

TEST(Podpis, SignatureFilesOutOfShapeAreRefused) {
  const auto [tajny, verejny] = NovyPar();
  const std::string soubor = Podepsat(tajny, "obsah", "timestamp:1");
  const auto radky = Radky(soubor);
  ASSERT_EQ(radky.size(), 4u);
  ASSERT_EQ(radky[3].substr(radky[3].size() - 2), "==");
  const std::string blob = Z64(radky[1]);
  const std::string globalni = Z64(radky[3]);
  auto s_radkem = [&](std::size_t i, const std::string& radek) {
    auto r = radky;
    r[i] = radek;
    return Spojit(r);
  };

  // Tolerated: CRLF line ends, the last one missing, blank lines after the end.
  for (const std::string& text :
       {Crlf(soubor), soubor.substr(0, soubor.size() - 1), soubor + "\n\r\n"}) {
    const auto p = CistPodpis(text);
    ASSERT_TRUE(p) << text;
    EXPECT_EQ(Overit(*p, std::vector{verejny}, "obsah"), Overeni::kPlatny);
  }

  const std::string tecky(8193, '.');
  // The last character before "==" carries two bits: the next one leaves bits in the padding.
  std::string bity_v_doplnku = radky[3];
  ++bity_v_doplnku[bity_v_doplnku.size() - 3];
  for (const std::string& text : {
           std::string(),
           Spojit({radky[0], radky[1], radky[2]}),
           soubor + "pátý řádek\n",
           s_radkem(0, "comment: " + radky[0]),
           s_radkem(0, "untrusted comment: " + std::string(1100, 'x')),
           s_radkem(1, "*" + radky[1].substr(1)),
           s_radkem(1, B64(blob.substr(0, 73))),
           s_radkem(1, B64(blob + "x")),
           s_radkem(1, B64("Ex" + blob.substr(2))),
           s_radkem(1, B64("ed" + blob.substr(2))),
           s_radkem(1, radky[1].substr(0, radky[1].size() - 1)),  // the padding cut
           s_radkem(1, radky[1] + " "),
           s_radkem(2, "trusted comments: timestamp:1"),
           s_radkem(2, "Trusted comment: timestamp:1"),
           s_radkem(2, std::string("trusted comment: time\0stamp:1", 29)),
           s_radkem(2, "trusted comment: " + tecky),
           s_radkem(3, B64(globalni.substr(1))),
           s_radkem(3, B64(globalni + "x")),
           s_radkem(3, radky[3].substr(0, radky[3].size() - 2)),
           s_radkem(3, bity_v_doplnku),
           soubor + std::string(20000, '\n'),
       })
    EXPECT_FALSE(CistPodpis(text)) << text;
}

TEST(Podpis, TheTrustedCommentIsSignedAsGivenWithinItsBounds) {
  const auto [tajny, verejny] = NovyPar();
  const std::string dlouhy(8192, 'k');
  const auto podpis = CistPodpis(Podepsat(tajny, "x", dlouhy));
  ASSERT_TRUE(podpis);
  EXPECT_EQ(podpis->duveryhodnyKomentar, dlouhy);
  EXPECT_EQ(Overit(*podpis, std::vector{verejny}, "x"), Overeni::kPlatny);
  // What would break the file or not be read back is refused when signing.
  for (const std::string& komentar :
       {std::string("a\nb"), std::string("a\rb"), std::string("a\0b", 3), dlouhy + "k"})
    EXPECT_THROW(Podepsat(tajny, "x", komentar), Chyba) << komentar;
}

TEST(Podpis, TheTimeOfASignatureIsTheTimestampOfItsTrustedComment) {
  const struct {
    const char* komentar;
    std::optional<std::int64_t> cas;
  } pripady[] = {
      {"timestamp:123\tfile:x\thashed", 123},
      {"timestamp:123", 123},
      {"timestamp:0", 0},
      {"timestamp:9223372036854775807", std::numeric_limits<std::int64_t>::max()},
      {"timestamp:9223372036854775808", std::nullopt},
      {"timestamp:99999999999999999999999", std::nullopt},
      {"garbage", std::nullopt},
      {"", std::nullopt},
      {"timestamp:", std::nullopt},
      {"timestamp:\tfile:x", std::nullopt},
      {"timestamp:12a", std::nullopt},
      {"timestamp:-5", std::nullopt},
      {"timestamp:+5", std::nullopt},
      {"timestamp: 5", std::nullopt},
      {"timestamp:5 file:x", std::nullopt},
      {"Timestamp:5", std::nullopt},
      {"file:x\ttimestamp:5", std::nullopt},
  };
  for (const auto& p : pripady)
    EXPECT_EQ(CasPodpisu(p.komentar), p.cas) << p.komentar;
}

// Counts the questions for the password and answers with the given one.
struct Heslo {
  std::string heslo;
  int dotazu = 0;
  std::function<std::string()> Dotaz() {
    return [this] {
      ++dotazu;
      return heslo;
    };
  }
};

void OcekavatChybu(std::string_view soubor, Heslo& heslo, const std::string& text) {
  try {
    CistTajnyKlic(soubor, heslo.Dotaz());
    ADD_FAILURE() << "read: " << soubor;
  } catch (const Chyba& c) {
    EXPECT_EQ(c.Popis(), text) << soubor;
  }
}

TEST(TajnyKlic, OurKeyFilesReadBackWithTheirPassword) {
  const auto [tajny, verejny] = NovyPar();
  Heslo heslo{"tajné heslo"};
  const std::string otevreny = SouborTajnehoKlice(tajny, std::nullopt);
  EXPECT_TRUE(otevreny.starts_with("untrusted comment: "));
  TajnyKlic k = CistTajnyKlic(otevreny, heslo.Dotaz());
  EXPECT_EQ(k.id, tajny.id);
  EXPECT_EQ(k.klic, tajny.klic);
  EXPECT_EQ(heslo.dotazu, 0);
  EXPECT_EQ(CistTajnyKlic(Crlf(otevreny), heslo.Dotaz()).klic, tajny.klic);

  // Encrypted: a fresh salt each time, the password asked once.
  const std::string sifrovany = SouborTajnehoKlice(tajny, heslo.heslo);
  EXPECT_NE(sifrovany, SouborTajnehoKlice(tajny, heslo.heslo));
  EXPECT_EQ(Z64(Radky(sifrovany)[1]).find(std::string(tajny.klic.begin(), tajny.klic.end())),
            std::string::npos);
  k = CistTajnyKlic(sifrovany, heslo.Dotaz());
  EXPECT_EQ(k.id, tajny.id);
  EXPECT_EQ(k.klic, tajny.klic);
  EXPECT_EQ(heslo.dotazu, 1);

  Heslo spatne{"tajne heslo"};
  OcekavatChybu(sifrovany, spatne, "Nesprávné heslo nebo poškozený tajný klíč.");
  EXPECT_EQ(spatne.dotazu, 1);
  // Tampered bytes of the encrypted key are caught the same way.
  OcekavatChybu(ZmenitBlob(sifrovany, [](std::string& b) { b[100] ^= 4; }), heslo,
                "Nesprávné heslo nebo poškozený tajný klíč.");

  // The key that was read signs for the public key.
  const auto podpis = CistPodpis(Podepsat(k, "obsah", "timestamp:2"));
  ASSERT_TRUE(podpis);
  EXPECT_EQ(Overit(*podpis, std::vector{verejny}, "obsah"), Overeni::kPlatny);
}

TEST(TajnyKlic, BrokenAndHostileKeyFilesAreRefusedBeforeThePasswordIsAsked) {
  const auto [tajny, verejny] = NovyPar();
  const std::string otevreny = SouborTajnehoKlice(tajny, std::nullopt);
  const std::string sifrovany = SouborTajnehoKlice(tajny, "heslo");
  auto limity = [](std::uint64_t ops, std::uint64_t mem) {
    return [=](std::string& b) {
      for (int i = 0; i < 8; ++i) {
        b[38 + i] = static_cast<char>(ops >> (8 * i));
        b[46 + i] = static_cast<char>(mem >> (8 * i));
      }
    };
  };
  auto nulovy_kontrolni_soucet = [](std::string& b) { b.replace(126, 32, 32, '\0'); };

  // What `minisign -G -W` writes: no checksum (all zero bytes) on a key not encrypted.
  Heslo heslo{"heslo"};
  TajnyKlic k = CistTajnyKlic(ZmenitBlob(otevreny, nulovy_kontrolni_soucet), heslo.Dotaz());
  EXPECT_EQ(k.klic, tajny.klic);

  const struct {
    const char* co;
    std::string soubor;
  } pripady[] = {
      {"empty", ""},
      {"one line", Radky(otevreny)[1]},
      {"no comment prefix", "comment: x\n" + Radky(otevreny)[1] + "\n"},
      {"not base64", Radky(otevreny)[0] + "\n" + "%%%%\n"},
      {"a byte short", ZmenitBlob(otevreny, [](std::string& b) { b.pop_back(); })},
      {"a byte over", ZmenitBlob(otevreny, [](std::string& b) { b += 'x'; })},
      {"signature algorithm", ZmenitBlob(otevreny, [](std::string& b) { b[1] = 'D'; })},
      {"key derivation", ZmenitBlob(sifrovany, [](std::string& b) { b[2] = 'X'; })},
      {"checksum algorithm", ZmenitBlob(otevreny, [](std::string& b) { b[5] = '3'; })},
      {"memory over 1 GiB", ZmenitBlob(sifrovany, limity(33554432, (1ull << 30) + 1))},
      {"work over minisign's", ZmenitBlob(sifrovany, limity(33554433, 1ull << 30))},
      {"absurd limits", ZmenitBlob(sifrovany, limity(~0ull, ~0ull))},
      {"a secret key byte", ZmenitBlob(otevreny, [](std::string& b) { b[70] ^= 1; })},
      {"the public half, no checksum", ZmenitBlob(otevreny,
                                                  [&](std::string& b) {
                                                    nulovy_kontrolni_soucet(b);
                                                    b[120] ^= 1;
                                                  })},
      {"oversize", Radky(otevreny)[0] + std::string(5000, ' ') + "\n" + Radky(otevreny)[1]},
  };
  for (const auto& p : pripady) {
    Heslo h{"heslo"};
    EXPECT_THROW(CistTajnyKlic(p.soubor, h.Dotaz()), Chyba) << p.co;
    EXPECT_EQ(h.dotazu, 0) << p.co;
  }
}

}  // namespace
}  // namespace zevlon::podpis
