#include "prenos/podpisy/podpis_pomucky.h"

#include "common/chyba.h"

namespace zevlon::podpis::detail {

void InicializovatSodium() {
  // sodium_init is thread-safe and answers 1 when it already ran.
  static const bool kHotovo = sodium_init() >= 0;
  if (!kHotovo) VyvolatChybu("Nelze inicializovat kryptografickou knihovnu libsodium.");
}

std::string Base64(std::span<const std::uint8_t> bajty) {
  std::string text(sodium_base64_ENCODED_LEN(bajty.size(), sodium_base64_VARIANT_ORIGINAL), '\0');
  sodium_bin2base64(text.data(), text.size(), bajty.data(), bajty.size(),
                    sodium_base64_VARIANT_ORIGINAL);
  text.pop_back();  // the terminating NUL
  return text;
}

bool ZBase64(std::string_view text, std::span<std::uint8_t> cil) {
  std::size_t delka = 0;
  const char* konec = nullptr;
  return sodium_base642bin(cil.data(), cil.size(), text.data(), text.size(), nullptr, &delka,
                           &konec, sodium_base64_VARIANT_ORIGINAL) == 0 &&
         konec == text.data() + text.size() && delka == cil.size();
}

std::vector<std::string_view> Radky(std::string_view text) {
  std::vector<std::string_view> radky;
  while (!text.empty()) {
    const std::size_t konec = text.find('\n');
    std::string_view radek = text.substr(0, konec);
    text.remove_prefix(konec == std::string_view::npos ? text.size() : konec + 1);
    if (radek.ends_with('\r')) radek.remove_suffix(1);
    radky.push_back(radek);
  }
  while (!radky.empty() && radky.back().empty())
    radky.pop_back();
  return radky;
}

bool JeNeduveryhodnyKomentar(std::string_view radek) {
  return radek.starts_with(kNeduveryhodny) && radek.size() <= kNejdelsiKomentar;
}

}  // namespace zevlon::podpis::detail
