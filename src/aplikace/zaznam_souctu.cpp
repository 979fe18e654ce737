#include "aplikace/zaznam_souctu.h"

#include <sodium.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "common/na_vlaknech.h"
#include "platform/nahrady/platforma.h"
#include "platform/soubory/soubor.h"
#include "prenos/podpisy/sha256.h"
#include "rozhrani/prubeh.h"
#include "soubory/log.h"

namespace zevlon {

namespace {

constexpr const char* kHlavicka = "zevlon-soucty 1";
// A record beyond this is not read (two million files).
constexpr std::int64_t kMaxZaznamu = std::int64_t{256} << 20;
// A write in the same tick of the file system's clock as the change a key holds leaves
// that key as it was; a key is remembered only when its change lies further back than the
// coarsest tick (a second) and some.
constexpr std::int64_t kCerstvy = 2'000'000'000;

// The record's own checksum, against torn or damaged writes (not against anyone: only the
// acting user writes where it lies): BLAKE2b-256, in hex, several times faster than SHA-256.
std::string Kontrola(std::string_view text) {
  unsigned char h[32];
  crypto_generichash(h, sizeof h, reinterpret_cast<const unsigned char*>(text.data()), text.size(),
                     nullptr, 0);
  static constexpr char kCislice[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char b : h)
    hex += {kCislice[b >> 4], kCislice[b & 15]};
  return hex;
}

std::int64_t Ns(const struct timespec& t) {
  return std::int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec;
}

template <typename T>
bool Cislo(std::string_view& radek, T& hodnota) {
  const std::size_t mezera = radek.find(' ');
  if (mezera == std::string_view::npos) return false;
  const auto [konec, chyba] = std::from_chars(radek.data(), radek.data() + mezera, hodnota);
  radek.remove_prefix(mezera + 1);
  return chyba == std::errc() && konec == radek.data() - 1;
}

}  // namespace

KlicSouboru KlicSouboru::Z(const struct stat& st) {
  return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
          static_cast<std::int64_t>(st.st_size), Ns(st.st_mtim), Ns(st.st_ctim)};
}

std::size_t HashKlice::operator()(const KlicSouboru& k) const {
  std::size_t h = std::hash<std::uint64_t>()(k.inode);
  for (std::uint64_t v : {k.zarizeni, static_cast<std::uint64_t>(k.velikost),
                          static_cast<std::uint64_t>(k.zmena), static_cast<std::uint64_t>(k.stav)})
    h = h * 1'000'003 ^ std::hash<std::uint64_t>()(v);
  return h;
}

// The lines of a record, or nullopt when anything in it is not as written.
std::optional<ZaznamSouctu::Mapa> ZaznamSouctu::Precist(std::string_view text) {
  const std::size_t posledni = text.rfind('\n', text.size() >= 2 ? text.size() - 2 : 0);
  if (text.empty() || text.back() != '\n' || posledni == std::string_view::npos) return {};
  const std::string_view telo = text.substr(0, posledni + 1);
  if (text.substr(posledni + 1) != Kontrola(telo) + "\n") return {};
  Mapa zaznam;
  // Each line takes a little over 100 bytes: one allocation of the table for them all.
  zaznam.reserve(telo.size() / 100 * 2);
  bool hlavicka = true;
  for (std::size_t i = 0; i < telo.size();) {
    const std::size_t konec = telo.find('\n', i);
    std::string_view radek = telo.substr(i, konec - i);
    i = konec + 1;
    if (hlavicka) {
      if (radek != kHlavicka) return {};
      hlavicka = false;
      continue;
    }
    KlicSouboru k;
    if (!Cislo(radek, k.zarizeni) || !Cislo(radek, k.inode) || !Cislo(radek, k.velikost) ||
        !Cislo(radek, k.zmena) || !Cislo(radek, k.stav) || !JeSha256(radek))
      return {};
    Polozka p{{}, Osud::kNepouzity};
    std::copy(radek.begin(), radek.end(), p.sha256.begin());
    zaznam.emplace(k, p);
  }
  return zaznam;
}

ZaznamSouctu::ZaznamSouctu(const std::string& slozka) : slozka_(slozka) {
  const std::string misto = platforma().SlozkaZaznamu();
  if (misto.empty()) return;
  cesta_ = misto + "/soucty-" + Sha256(slozka).substr(0, 16) + ".txt";
  struct stat st {};
  if (::lstat(cesta_.c_str(), &st) != 0) return;  // none yet: the first run
  existuje_ = true;
  std::optional<std::string> text;
  if (S_ISREG(st.st_mode) && st.st_size <= kMaxZaznamu) text = NacistSoubor(cesta_);
  auto zaznam = text ? Precist(*text) : std::nullopt;
  if (zaznam)
    mapa_ = std::move(*zaznam);
  else
    poskozen_ = true;
}

std::optional<std::string_view> ZaznamSouctu::Zname(const KlicSouboru& k) {
  const auto i = mapa_.find(k);
  if (i == mapa_.end()) return std::nullopt;
  if (i->second.osud == Osud::kNepouzity) i->second.osud = Osud::kZapsat;
  return i->second.Text();
}

std::optional<ZaznamSouctu::Polozka> ZaznamSouctu::Spocitat(int fd, const KlicSouboru& k,
                                                            std::int64_t& bajtu) {
  const std::optional<std::string> soucet = Sha256Popisovace(fd, &bajtu);
  if (!soucet || soucet->size() != kDelkaSha256) return std::nullopt;
  struct stat po {};
  struct timespec ted {};
  ::clock_gettime(CLOCK_REALTIME, &ted);
  if (::fstat(fd, &po) != 0 || !(KlicSouboru::Z(po) == k)) return std::nullopt;
  Polozka p{{}, Ns(ted) - k.stav > kCerstvy ? Osud::kZapsat : Osud::kCerstvy};
  std::copy(soucet->begin(), soucet->end(), p.sha256.begin());
  return p;
}

std::optional<std::string_view> ZaznamSouctu::Soucet(int fd, const struct stat& st) {
  const KlicSouboru k = KlicSouboru::Z(st);
  if (auto s = Zname(k)) return s;
  const auto zacatek = std::chrono::steady_clock::now();
  const std::optional<Polozka> p = Spocitat(fd, k, bajtu_);
  sekund_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - zacatek).count();
  if (!p) return std::nullopt;
  ++souboru_;
  return mapa_.insert_or_assign(k, *p).first->second.Text();
}

void ZaznamSouctu::SpocitatNaraz(const std::vector<Videny>& soubory) {
  std::vector<const Videny*> nezname;
  for (const Videny& v : soubory)
    if (!Zna(v.stav)) nezname.push_back(&v);
  // Between batches (512 files or 64 MiB, whichever comes first) the window is kept alive and
  // the run may be stopped; what was read by then is kept.
  constexpr std::size_t kDavka = 512;
  constexpr std::int64_t kDavkaBajtu = std::int64_t{64} << 20;
  std::vector<std::optional<Polozka>> vysledky;
  for (std::size_t od = 0, po = 0; od < nezname.size(); od = po) {
    OveritPreruseni();
    std::int64_t davka = 0;
    do
      davka += std::max<std::int64_t>(nezname[po++]->stav.velikost, 0);
    while (po < nezname.size() && po - od < kDavka && davka < kDavkaBajtu);
    vysledky.assign(po - od, std::nullopt);
    std::atomic<std::size_t> dalsi{od};
    std::atomic<std::int64_t> precteno{0};
    const auto zacatek = std::chrono::steady_clock::now();
    NaVlaknech(4, [&]() noexcept {
      std::int64_t bajtu = 0;
      for (std::size_t i; (i = dalsi.fetch_add(1)) < po;) {
        Popisovac fd(::open(nezname[i]->cesta.c_str(), kCteniMistnich));
        struct stat st {};
        if (fd.Platny() && ::fstat(fd.Fd(), &st) == 0 && S_ISREG(st.st_mode) &&
            KlicSouboru::Z(st) == nezname[i]->stav) {
          try {
            vysledky[i - od] = Spocitat(fd.Fd(), nezname[i]->stav, bajtu);
          } catch (...) {
            // Out of memory: the file is read again when it is looked at.
          }
        }
      }
      precteno += bajtu;
    });
    sekund_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - zacatek).count();
    bajtu_ += precteno;
    for (std::size_t i = od; i < po; ++i)
      if (vysledky[i - od]) {
        ++souboru_;
        mapa_.insert_or_assign(nezname[i]->stav, *vysledky[i - od]);
      }
  }
}

void ZaznamSouctu::Zapsat(const struct stat& st, std::string_view sha256) {
  if (sha256.size() != kDelkaSha256) return;
  Polozka p{{}, Osud::kZapsat};
  std::copy(sha256.begin(), sha256.end(), p.sha256.begin());
  mapa_.insert_or_assign(KlicSouboru::Z(st), p);
}

void ZaznamSouctu::Ulozit() noexcept try {
  if (poskozen_)
    ZapsatDoLogu(kPrenosovyLog, "Záznam kontrolních součtů " + cesta_ + " složky " + slozka_ +
                                    " byl poškozený, proto byl sestaven znovu.");
  if (souboru_ > 0) {
    char trvani[32];
    std::snprintf(trvani, sizeof trvani, "%.2f", sekund_);
    std::string t = trvani;
    if (auto tecka = t.find('.'); tecka != std::string::npos) t[tecka] = ',';
    ZapsatDoLogu(kPrenosovyLog, "Kontrolní součty místních souborů složky " + slozka_ +
                                    " spočítány: souborů " + std::to_string(souboru_) + ", bajtů " +
                                    std::to_string(bajtu_) + ", za " + t + " s.");
  }
  // (A folder of which nothing is known, as one of a site without checksums, gets none.)
  std::size_t zapsat = 0;
  for (const auto& [k, p] : mapa_)
    zapsat += p.osud == Osud::kZapsat;
  if (cesta_.empty() || (zapsat == 0 && !existuje_)) return;
  std::string text = std::string(kHlavicka) + "\n";
  text.reserve(zapsat * 140 + 100);
  auto cislo = [&text](auto v) {
    char b[24];
    text.append(b, std::to_chars(b, b + sizeof b, v).ptr) += ' ';
  };
  for (const auto& [k, p] : mapa_) {
    if (p.osud != Osud::kZapsat) continue;
    cislo(k.zarizeni);
    cislo(k.inode);
    cislo(k.velikost);
    cislo(k.zmena);
    cislo(k.stav);
    text.append(p.Text()) += '\n';
  }
  text += Kontrola(text) + "\n";
  // What the installation holds is nobody else's business.
  if (int e = ZapsatSouborAtomicky(cesta_, text, 0600))
    ZapsatDoLogu(kPrenosovyLog, "Záznam kontrolních součtů " + cesta_ +
                                    " nelze zapsat: " + std::strerror(e) + ".");
} catch (...) {
  // Out of memory: the next run hashes again.
}

}  // namespace zevlon
