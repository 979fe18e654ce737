// Fuzzes the FTP listing parsers (MLSD and LIST) with the input as a reply body. Every
// entry that comes out must be usable as one plain name of the listed folder (no
// separator, no control character, not "." or ".."), must be taken from the text of
// the reply, must have a size of zero or more and a time within the calendar; a LIST
// entry's creation time is its last-write time; and every line is read on its own,
// so the whole body gives exactly the entries of its lines one by one.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/cas.h"
#include "pomucky.h"
#include "prenos/ftp/ftp_seznam.h"

namespace {

using namespace zevlon;
using ftp::PolozkaSeznamu;
using fuzz::Ukazat;

// "Now" for LIST times without a year: 2024-03-14 09:30 UTC, 2000-01-01 00:00 UTC
// (the turn of a year), 2100-02-28 23:59 UTC.
constexpr UtcCas kTed[] = {1710408600, 946684800, 4107542340};

bool PouzitelnyNazev(std::string_view n) {
  if (n.empty() || n == "." || n == "..") return false;
  for (char c : n)
    if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
  return true;
}

std::vector<std::string_view> Radky(std::string_view data) {
  std::vector<std::string_view> radky;
  while (!data.empty()) {
    std::size_t lf = data.find('\n');
    radky.push_back(data.substr(0, lf == std::string_view::npos ? data.size() : lf + 1));
    if (lf == std::string_view::npos) break;
    data.remove_prefix(lf + 1);
  }
  return radky;
}

bool Stejne(const PolozkaSeznamu& a, const PolozkaSeznamu& b) {
  return a.nazev == b.nazev && a.velikost == b.velikost && a.zmena == b.zmena &&
         a.vznik == b.vznik && a.slozka == b.slozka;
}

void OveritPolozky(const std::vector<PolozkaSeznamu>& polozky, std::string_view data, bool list) {
  // Years 0 to 9999 (four digits).
  static const UtcCas kNejdrive = DnyOdEpochy(0, 1, 1) * 86400;
  static const UtcCas kNejpozdeji = DnyOdEpochy(10000, 1, 1) * 86400;
  OVERIT(polozky.size() <= Radky(data).size(), "víc položek než řádků");
  for (const PolozkaSeznamu& p : polozky) {
    const std::string co = (list ? "LIST " : "MLSD ") + Ukazat(p.nazev) + " z " + Ukazat(data);
    OVERIT(PouzitelnyNazev(p.nazev) && ftp::JePouzitelnyNazev(p.nazev), "nepoužitelné jméno " + co);
    OVERIT(data.find(p.nazev) != std::string_view::npos, "jméno, které v odpovědi není: " + co);
    OVERIT(p.velikost >= 0, "záporná velikost " + co);
    for (UtcCas t : {p.zmena, p.vznik})
      OVERIT(t == 0 || (t >= kNejdrive && t < kNejpozdeji), "čas mimo kalendář " + co);
    if (list) OVERIT(p.vznik == p.zmena, "LIST bez data vzniku, a přesto se liší: " + co);
  }
}

// The body's entries are its lines' entries, in order.
template <typename F>
void OveritPoRadcich(std::string_view data, const std::vector<PolozkaSeznamu>& vse, F parsovat) {
  std::vector<PolozkaSeznamu> poRadcich;
  for (std::string_view r : Radky(data))
    for (PolozkaSeznamu& p : parsovat(r))
      poRadcich.push_back(std::move(p));
  OVERIT(poRadcich.size() == vse.size(),
         "řádky po jednom dávají jiný počet položek: " + Ukazat(data));
  for (std::size_t i = 0; i < vse.size(); ++i)
    OVERIT(Stejne(poRadcich[i], vse[i]), "řádek po jednom dává jinou položku " +
                                             Ukazat(poRadcich[i].nazev) + ": " + Ukazat(data));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view body(reinterpret_cast<const char*>(data), size);

  auto mlsd = ftp::ParsovatMlsd(body);
  OveritPolozky(mlsd, body, false);
  OveritPoRadcich(body, mlsd, [](std::string_view r) { return ftp::ParsovatMlsd(r); });

  for (UtcCas ted : kTed) {
    auto list = ftp::ParsovatList(body, ted);
    OveritPolozky(list, body, true);
    OveritPoRadcich(body, list, [ted](std::string_view r) { return ftp::ParsovatList(r, ted); });
  }
  return 0;
}
