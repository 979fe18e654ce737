#include "common/kodovani.h"

#include <unicode/ucnv.h>
#include <unicode/ustring.h>

#include <memory>
#include <vector>

namespace zevlon {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

struct ZavritKonvertor {
  void operator()(UConverter* k) const { ucnv_close(k); }
};
using Konvertor = std::unique_ptr<UConverter, ZavritKonvertor>;

Konvertor Otevrit1250() {
  UErrorCode err = U_ZERO_ERROR;
  Konvertor k(ucnv_open("windows-1250", &err));
  if (U_FAILURE(err)) return nullptr;
  return k;
}

}  // namespace

bool JePlatneUtf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    int delka;
    char32_t min;
    if ((c & 0xE0) == 0xC0) {
      delka = 2;
      min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      delka = 3;
      min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      delka = 4;
      min = 0x10000;
    } else {
      return false;
    }
    if (i + delka > s.size()) return false;
    char32_t bod = c & (0x7F >> delka);
    for (int k = 1; k < delka; ++k) {
      unsigned char d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      bod = (bod << 6) | (d & 0x3F);
    }
    if (bod < min || bod > 0x10FFFF || (bod >= 0xD800 && bod <= 0xDFFF)) return false;
    i += delka;
  }
  return true;
}

std::string Z1250(std::string_view bajty) {
  bool ascii = true;
  for (unsigned char c : bajty)
    if (c >= 0x80) ascii = false;
  if (ascii) return std::string(bajty);
  Konvertor k = Otevrit1250();
  if (!k) return std::string(bajty);
  std::vector<UChar> utf16(bajty.size() + 1);
  UErrorCode err = U_ZERO_ERROR;
  int32_t n = ucnv_toUChars(k.get(), utf16.data(), static_cast<int32_t>(utf16.size()), bajty.data(),
                            static_cast<int32_t>(bajty.size()), &err);
  if (U_FAILURE(err)) return std::string(bajty);
  std::string out;
  out.reserve(bajty.size() * 2);
  for (int32_t i = 0; i < n; ++i) {
    char32_t b = utf16[i];  // Windows-1250 maps only into the basic plane.
    if (b < 0x80) {
      out.push_back(static_cast<char>(b));
    } else if (b < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (b >> 6)));
      out.push_back(static_cast<char>(0x80 | (b & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xE0 | (b >> 12)));
      out.push_back(static_cast<char>(0x80 | ((b >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (b & 0x3F)));
    }
  }
  return out;
}

std::optional<std::string> Do1250(std::string_view utf8) {
  bool ascii = true;
  for (unsigned char c : utf8)
    if (c >= 0x80) ascii = false;
  if (ascii) return std::string(utf8);
  if (!JePlatneUtf8(utf8)) return std::nullopt;
  Konvertor k = Otevrit1250();
  if (!k) return std::nullopt;
  UErrorCode err = U_ZERO_ERROR;
  // A character outside the code page must fail, not turn into a substitute.
  ucnv_setFromUCallBack(k.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
  if (U_FAILURE(err)) return std::nullopt;
  std::vector<UChar> utf16(utf8.size() + 1);
  int32_t n16 = 0;
  u_strFromUTF8(utf16.data(), static_cast<int32_t>(utf16.size()), &n16, utf8.data(),
                static_cast<int32_t>(utf8.size()), &err);
  if (U_FAILURE(err)) return std::nullopt;
  std::string out(static_cast<std::size_t>(n16) + 1, '\0');
  int32_t n = ucnv_fromUChars(k.get(), out.data(), static_cast<int32_t>(out.size()), utf16.data(),
                              n16, &err);
  if (U_FAILURE(err)) return std::nullopt;
  // The converter drops the default-ignorable characters it cannot map (U+FEFF, U+200B)
  // without calling back; every character of the code page is one UTF-16 unit and one
  // byte, so a shorter result means such a character was lost.
  if (n != n16) return std::nullopt;
  out.resize(static_cast<std::size_t>(n));
  return out;
}

DekodovanyText Dekodovat(std::string_view bajty) {
  if (bajty.substr(0, kBom.size()) == kBom) {
    bajty.remove_prefix(kBom.size());
    if (JePlatneUtf8(bajty)) return {std::string(bajty), Kodovani::kUtf8Bom};
    return {Z1250(bajty), Kodovani::kCp1250};
  }
  if (JePlatneUtf8(bajty)) return {std::string(bajty), Kodovani::kUtf8};
  return {Z1250(bajty), Kodovani::kCp1250};
}

std::optional<std::string> Kodovat(std::string_view utf8, Kodovani kodovani) {
  switch (kodovani) {
    case Kodovani::kUtf8:
      return std::string(utf8);
    case Kodovani::kUtf8Bom:
      return std::string(kBom) + std::string(utf8);
    case Kodovani::kCp1250:
      return Do1250(utf8);
  }
  return std::nullopt;
}

}  // namespace zevlon
