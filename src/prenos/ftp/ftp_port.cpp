// CisloPortu: the port text of CFTPManager read as the platform reads a number.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>

#include "common/chyba.h"
#include "prenos/ftp/ftp.h"
#include "prenos/ftp/ftp_vnitrni.h"

namespace zevlon {

std::int32_t CisloPortu(const std::string& port) {
  std::string s;
  for (char c : port)
    if (c != ' ' && c != '\t' && c != '\n' && c != '\r') s += c;
  // The longest prefix that reads as a decimal number.
  std::size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  std::size_t cislice = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
    ++i;
    ++cislice;
  }
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
      ++i;
      ++cislice;
    }
  }
  if (cislice == 0) return 0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
    std::size_t j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
    std::size_t k = j;
    while (k < s.size() && s[k] >= '0' && s[k] <= '9')
      ++k;
    if (k > j) i = k;
  }
  std::string cislo = s.substr(s[0] == '+' ? 1 : 0, i - (s[0] == '+' ? 1 : 0));
  for (char& c : cislo)
    if (c == 'd' || c == 'D') c = 'e';
  // from_chars, unlike strtod, reads "." whatever the process's locale says.
  double hodnota = 0;
  auto r = std::from_chars(cislo.data(), cislo.data() + cislo.size(), hodnota);
  if (r.ec == std::errc::result_out_of_range)  // too large, or too close to zero
    hodnota = cislo.find("e-") != std::string::npos ? 0.0 : HUGE_VAL;
  double zaokrouhleno = std::nearbyint(hodnota);  // half to even
  // Above 32767 the number is the port itself: ports go up to 65535.
  if (!(zaokrouhleno >= -32768.0 && zaokrouhleno <= 65535.0))
    throw Chyba(kod::kPreteceni, "Přetečení", std::string(ftp::kZdroj) + "::FtpOpen");
  return static_cast<std::int32_t>(
      static_cast<std::uint16_t>(static_cast<std::int32_t>(zaokrouhleno)));
}

}  // namespace zevlon
