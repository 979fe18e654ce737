#include "beh/nasazeni.h"

#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

#include "beh/vlastnik/zpravy.h"
#include "common/chyba.h"
#include "common/text.h"
#include "platform/nahrady/ini.h"
#include "platform/nahrady/platforma.h"
#include "platform/soubory/soubor.h"
#include "platform/soubory/souborovy_system.h"
#include "prenos/podpisy/sha256.h"
#include "rozhrani/pomucky.h"
#include "soubory/volby.h"

namespace zevlon {

namespace {

constexpr std::size_t kDelkaIdentity = 32;  // hex digits of a machine-id

// The trimmed first line of a small regular file (no link); empty for anything else.
std::string PrvniRadek(const std::string& soubor) {
  struct stat st {};
  if (::lstat(soubor.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > 4096) return {};
  const std::string text = NacistSoubor(soubor).value_or("");
  return std::string(Orezat(std::string_view(text).substr(0, text.find('\n')), " \t\r"));
}

}  // namespace

int MistoNasazeni(std::string_view identita, std::string_view vydani) {
  const std::string otisk = Sha256(std::string(identita) + "\n" + std::string(vydani));
  std::uint64_t cislo = 0;
  for (char c : otisk.substr(0, 16))
    cislo = cislo * 16 + static_cast<std::uint64_t>(c <= '9' ? c - '0' : c - 'a' + 10);
  return static_cast<int>(cislo % 100);
}

int ProcentoNasazeni(const std::string& souborVydani, const std::string& sekce) {
  const std::string h(Orezat(CistIni(souborVydani, sekce, kKlicNasazeni), " \t"));
  // A wave that cannot be read holds the release back rather than let it reach every machine.
  return h.empty() ? 100 : static_cast<int>(CisloPole(h, 0, 100).value_or(0));
}

std::string DoplnkyMimoVlnu(const std::string& souborVydani,
                            const std::function<std::string()>& identita) {
  std::string mimo, id;
  const std::string vydani = CistIni(souborVydani, "Merko", "Release");
  for (const std::string& sekce :
       ini::CistNazvySekci(souborVydani).value_or(std::vector<std::string>{})) {
    const int procento = ProcentoNasazeni(souborVydani, sekce);
    if (StejnyText(sekce, "Merko") || procento >= 100 || sekce.find('|') != std::string::npos)
      continue;
    if (id.empty()) id = identita();
    const std::string vlastni = CistIni(souborVydani, sekce, "Release");
    if (MistoNasazeni(id, vlastni.empty() ? vydani : vlastni) >= procento)
      mimo += (mimo.empty() ? "" : "|") + sekce + "=" + std::to_string(procento);
  }
  return mimo;
}

std::string IdentitaStroje(const std::string& strojId) {
  if (std::string skupina(Orezat(CistIni(CestaVolebIni(), "Server", kKlicSkupinyNasazeni), " \t"));
      !skupina.empty())
    return skupina;
  if (std::string id = PrvniRadek(strojId); !id.empty()) return id;
  const std::string misto = platforma().SlozkaZaznamu();
  if (misto.empty())
    VyvolatChybu("Počítač nemá " + strojId +
                 " ani místo pro záznamy, proto nelze určit jeho vlnu nasazení.");
  const std::string zaznam = misto + "/" + kZaznamIdentity;
  if (std::string id = PrvniRadek(zaznam); id.size() == kDelkaIdentity) return id;
  unsigned char bajty[kDelkaIdentity / 2];
  if (::getrandom(bajty, sizeof bajty, 0) != static_cast<ssize_t>(sizeof bajty))
    VyvolatChybu("Pro identitu počítače se nepodařilo získat náhodná čísla.");
  std::string id;
  for (unsigned char b : bajty)
    id += "0123456789abcdef"[b >> 4], id += "0123456789abcdef"[b & 15];
  // Whatever else stands under the name (a link, which the write would follow) gives way.
  if (struct stat st{}; ::lstat(zaznam.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
    (void)::unlink(zaznam.c_str());
  if (int e = ZapsatSouborAtomicky(zaznam, id + "\n", 0600))
    VyvolatChybu("Identitu počítače nelze zapsat do " + zaznam + ": " +
                 ss::ChybaSystemu(e, zaznam).popis);
  return id;
}

}  // namespace zevlon
