#include "common/json.h"

#include <cstdint>
#include <set>

namespace zevlon {

namespace {

void PridatUtf8(std::string& out, std::uint32_t z) {
  if (z < 0x80) {
    out += static_cast<char>(z);
  } else if (z < 0x800) {
    out += static_cast<char>(0xc0 | (z >> 6));
    out += static_cast<char>(0x80 | (z & 0x3f));
  } else if (z < 0x10000) {
    out += static_cast<char>(0xe0 | (z >> 12));
    out += static_cast<char>(0x80 | ((z >> 6) & 0x3f));
    out += static_cast<char>(0x80 | (z & 0x3f));
  } else {
    out += static_cast<char>(0xf0 | (z >> 18));
    out += static_cast<char>(0x80 | ((z >> 12) & 0x3f));
    out += static_cast<char>(0x80 | ((z >> 6) & 0x3f));
    out += static_cast<char>(0x80 | (z & 0x3f));
  }
}

class Cteni {
 public:
  explicit Cteni(std::string_view t) : t_(t) {}
  void Mezery() {
    while (i_ < t_.size() && (t_[i_] == ' ' || t_[i_] == '\t' || t_[i_] == '\n' || t_[i_] == '\r'))
      ++i_;
  }
  bool Znak(char c) {
    Mezery();
    if (i_ >= t_.size() || t_[i_] != c) return false;
    ++i_;
    return true;
  }
  bool Konec() {
    Mezery();
    return i_ == t_.size();
  }
  char Dalsi() {
    Mezery();
    return i_ < t_.size() ? t_[i_] : '\0';
  }
  std::optional<std::string> Text() {
    if (!Znak('"')) return std::nullopt;
    std::string r;
    while (i_ < t_.size()) {
      const char c = t_[i_++];
      if (c == '"') return r;
      if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;
      if (c != '\\') {
        r += c;
        continue;
      }
      if (i_ >= t_.size()) return std::nullopt;
      switch (const char e = t_[i_++]) {
        case '"':
        case '\\':
        case '/':
          r += e;
          break;
        case 'b':
          r += '\b';
          break;
        case 'f':
          r += '\f';
          break;
        case 'n':
          r += '\n';
          break;
        case 'r':
          r += '\r';
          break;
        case 't':
          r += '\t';
          break;
        case 'u': {
          auto z = Hex4();
          if (!z) return std::nullopt;
          if (*z >= 0xd800 && *z < 0xdc00) {
            if (t_.substr(i_, 2) != "\\u") return std::nullopt;
            i_ += 2;
            const auto dolni = Hex4();
            if (!dolni || *dolni < 0xdc00 || *dolni >= 0xe000) return std::nullopt;
            *z = 0x10000 + ((*z - 0xd800) << 10) + (*dolni - 0xdc00);
          } else if (*z >= 0xdc00 && *z < 0xe000) {
            return std::nullopt;
          }
          PridatUtf8(r, *z);
          break;
        }
        default:
          return std::nullopt;
      }
    }
    return std::nullopt;
  }
  // A whole number, or null as an empty value.
  std::optional<std::optional<std::string>> Hodnota() {
    Mezery();
    if (t_.substr(i_, 4) == "null") {
      i_ += 4;
      return std::optional<std::string>();
    }
    const std::size_t od = i_;
    if (i_ < t_.size() && t_[i_] == '-') ++i_;
    while (i_ < t_.size() && t_[i_] >= '0' && t_[i_] <= '9')
      ++i_;
    if (i_ == od || t_[i_ - 1] == '-') return std::nullopt;
    return std::optional<std::string>(std::string(t_.substr(od, i_ - od)));
  }

 private:
  std::optional<std::uint32_t> Hex4() {
    if (i_ + 4 > t_.size()) return std::nullopt;
    std::uint32_t z = 0;
    for (int k = 0; k < 4; ++k) {
      const char c = t_[i_++];
      const int h = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                           : -1;
      if (h < 0) return std::nullopt;
      z = z * 16 + static_cast<std::uint32_t>(h);
    }
    return z;
  }

  std::string_view t_;
  std::size_t i_ = 0;
};

}  // namespace

std::string JsonText(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string r = "\"";
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      r += '\\';
      r += c;
    } else if (c == '\n') {
      r += "\\n";
    } else if (c == '\r') {
      r += "\\r";
    } else if (c == '\t') {
      r += "\\t";
    } else if (u < 0x20 || u == 0x7f) {
      r += "\\u00";
      r += kHex[u >> 4];
      r += kHex[u & 15];
    } else {
      r += c;
    }
  }
  return r + "\"";
}

std::optional<std::map<std::string, std::string>> CistPlochyJson(std::string_view json) {
  Cteni c(json);
  std::map<std::string, std::string> r;
  std::set<std::string> nazvy;
  if (!c.Znak('{')) return std::nullopt;
  if (!c.Znak('}')) {
    do {
      const auto jmeno = c.Text();
      if (!jmeno || !c.Znak(':')) return std::nullopt;
      std::optional<std::string> hodnota;
      if (c.Dalsi() == '"') {
        hodnota = c.Text();
        if (!hodnota) return std::nullopt;
      } else {
        auto h = c.Hodnota();
        if (!h) return std::nullopt;
        hodnota = *h;
      }
      if (r.count(*jmeno) || !nazvy.insert(*jmeno).second) return std::nullopt;
      if (hodnota) r.emplace(*jmeno, *hodnota);
    } while (c.Znak(','));
    if (!c.Znak('}')) return std::nullopt;
  }
  if (!c.Konec()) return std::nullopt;
  return r;
}

}  // namespace zevlon
