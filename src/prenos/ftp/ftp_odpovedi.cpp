#include "prenos/ftp/ftp_odpovedi.h"

#include <cstddef>
#include <utility>

namespace zevlon::ftp {

namespace {

constexpr std::size_t kNejviceRadku = 4096;  // reply lines kept per operation

bool TriCislice(const std::string& r) {
  return r.size() >= 3 && r[0] >= '0' && r[0] <= '9' && r[1] >= '0' && r[1] <= '9' && r[2] >= '0' &&
         r[2] <= '9';
}

}  // namespace

void OdpovediServeru::Vycistit() {
  radky.clear();
  posledni.clear();
  viceradkova.clear();
  kodViceradkove.clear();
}

void OdpovediServeru::PrijmoutRadek(std::string r) {
  while (!r.empty() && (r.back() == '\n' || r.back() == '\r'))
    r.pop_back();
  if (radky.size() < kNejviceRadku) radky.push_back(r);
  if (!kodViceradkove.empty()) {
    viceradkova += "\r\n" + r;
    if (r.size() >= 4 && r.compare(0, 3, kodViceradkove) == 0 && r[3] == ' ') {
      posledni = std::move(viceradkova);
      viceradkova.clear();
      kodViceradkove.clear();
    }
  } else if (TriCislice(r) && r.size() > 3 && r[3] == '-') {
    kodViceradkove = r.substr(0, 3);
    viceradkova = r;
  } else if (TriCislice(r) && (r.size() == 3 || r[3] == ' ')) {
    posledni = r;
  }
  // Anything else is a line that libcurl makes up itself (sizes, dates): no reply.
}

}  // namespace zevlon::ftp
