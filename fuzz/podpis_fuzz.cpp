// Fuzzes the readers of minisign's signature and public key files with the input as
// either. A signature that reads has a trusted comment minisign reads the same (one
// line, no NUL, within the bound), reads the same with its line ends as LF, and
// verifies the same way every time against the seed corpus's key and content; when
// it verifies, any change to the content, the comment or the algorithm breaks it, and
// no other key verifies it. A public key that reads is written out by the program in
// both forms and reads back as the same key, also as a one-key list; so does a list.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "pomucky.h"
#include "prenos/podpisy/podpis.h"

namespace {

using namespace zevlon::podpis;
using zevlon::fuzz::Ukazat;

// The key and the content of the seed corpus's signatures (made with `minisign -G -W`
// and `minisign -S`), so that the fuzzer starts from signatures that verify.
constexpr std::string_view kKlic = "RWQVN7sEuCTu/h4+rt+6ri/uBqkivTj9ktl7mrRgonOfm9/ty7ctvYrK";
constexpr std::string_view kObsah = "Zevlon podpis\n";

// The input with every "\r\n" as "\n" and a final "\r" dropped.
std::string SLf(std::string_view text) {
  std::string lf;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (text[i] != '\r' || (i + 1 < text.size() && text[i + 1] != '\n')) lf += text[i];
  return lf;
}

void ZkontrolovatPodpis(std::string_view vstup, const VerejnyKlic& klic) {
  const auto podpis = CistPodpis(vstup);
  if (!podpis) return;
  const std::string& komentar = podpis->duveryhodnyKomentar;
  OVERIT(komentar.size() <= 8192 &&
             komentar.find_first_of(std::string_view("\0\r\n", 3)) == std::string::npos,
         "komentář " + Ukazat(komentar));
  if (const auto cas = CasPodpisu(komentar))
    OVERIT(*cas >= 0 && komentar.starts_with("timestamp:"), "čas z " + Ukazat(komentar));
  OVERIT(CistPodpis(SLf(vstup)) == podpis, "jiný podpis s konci řádků LF: " + Ukazat(vstup));

  const std::vector<VerejnyKlic> klice{klic};
  const Overeni overeni = Overit(*podpis, klice, kObsah);
  OVERIT(Overit(*podpis, klice, kObsah) == overeni, "jiné ověření napodruhé");
  OVERIT((overeni == Overeni::kJinyKlic) == (podpis->id != klic.id),
         "ověření nesedí s id klíče: " + Ukazat(vstup));
  OVERIT(Overit(*podpis, {}, kObsah) == Overeni::kJinyKlic, "bez klíčů");
  if (overeni != Overeni::kPlatny) return;

  Podpis jiny = *podpis;
  jiny.duveryhodnyKomentar += 'x';
  OVERIT(Overit(jiny, klice, kObsah) == Overeni::kNeplatny, "změněný komentář platí");
  jiny = *podpis;
  jiny.predhashovany = !jiny.predhashovany;
  OVERIT(Overit(jiny, klice, kObsah) == Overeni::kNeplatny, "jiný algoritmus platí");
  OVERIT(Overit(*podpis, klice, kObsah.substr(1)) == Overeni::kNeplatny, "jiný obsah platí");
  VerejnyKlic podvrh = NovyPar().second;
  podvrh.id = klic.id;
  OVERIT(Overit(*podpis, std::vector{podvrh}, kObsah) == Overeni::kNeplatny, "cizí klíč platí");
}

void ZkontrolovatKlice(std::string_view vstup) {
  if (const auto klic = CistVerejnyKlic(vstup)) {
    const std::string id = TextId(klic->id);
    OVERIT(!id.empty() && id.size() <= 16 &&
               id.find_first_not_of("0123456789ABCDEF") == std::string::npos &&
               (id == "0" || id[0] != '0'),
           "id " + id);
    const std::string radek = TextVerejnehoKlice(*klic);
    OVERIT(CistVerejnyKlic(radek) == klic, "řádek " + radek);
    OVERIT(CistVerejnyKlic(SouborVerejnehoKlice(*klic)) == klic, "soubor " + radek);
    OVERIT(CistVerejneKlice(radek) == std::vector{*klic}, "seznam " + radek);
  }
  if (const auto klice = CistVerejneKlice(vstup)) {
    std::string seznam;
    for (const auto& k : *klice)
      seznam += TextVerejnehoKlice(k) + "\n";
    OVERIT(CistVerejneKlice(seznam) == klice, "seznam " + Ukazat(seznam) + " z " + Ukazat(vstup));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const VerejnyKlic kKlicKorpusu = *CistVerejnyKlic(kKlic);
  const std::string_view vstup(reinterpret_cast<const char*>(data), size);
  ZkontrolovatPodpis(vstup, kKlicKorpusu);
  ZkontrolovatKlice(vstup);
  return 0;
}
