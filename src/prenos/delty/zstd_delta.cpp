#include "prenos/delty/zstd_delta.h"

#include <zstd.h>

#include <algorithm>
#include <memory>

namespace zevlon {

namespace {

struct ZrusitC {
  void operator()(ZSTD_CCtx* c) const { ZSTD_freeCCtx(c); }
};
struct ZrusitD {
  void operator()(ZSTD_DCtx* d) const { ZSTD_freeDCtx(d); }
};

// The window that covers a file of `velikost` bytes, as the zstd tool's patch mode takes it.
int OknoPro(std::uint64_t velikost) {
  int log = 0;
  while (log < 63 && (std::uint64_t{1} << log) <= velikost)
    ++log;
  const ZSTD_bounds meze = ZSTD_cParam_getBounds(ZSTD_c_windowLog);
  return std::clamp(log + 1, meze.lowerBound, meze.upperBound);
}

bool Nastavit(ZSTD_CCtx* c, ZSTD_cParameter p, int hodnota) {
  return !ZSTD_isError(ZSTD_CCtx_setParameter(c, p, hodnota));
}

}  // namespace

std::optional<std::string> VytvoritDeltu(std::string_view zaklad, std::string_view novy) {
  if (static_cast<std::int64_t>(zaklad.size()) > kMaxDelta ||
      static_cast<std::int64_t>(novy.size()) > kMaxDelta)
    return std::nullopt;
  std::unique_ptr<ZSTD_CCtx, ZrusitC> c(ZSTD_createCCtx());
  if (!c) return std::nullopt;
  const int okno = OknoPro(std::max(zaklad.size(), novy.size()));
  if (!Nastavit(c.get(), ZSTD_c_compressionLevel, 19) ||
      !Nastavit(c.get(), ZSTD_c_windowLog, okno) ||
      !Nastavit(c.get(), ZSTD_c_enableLongDistanceMatching, 1) ||
      !Nastavit(c.get(), ZSTD_c_contentSizeFlag, 1) || !Nastavit(c.get(), ZSTD_c_checksumFlag, 1))
    return std::nullopt;
  if (ZSTD_isError(ZSTD_CCtx_refPrefix(c.get(), zaklad.data(), zaklad.size()))) return std::nullopt;
  std::string delta(ZSTD_compressBound(novy.size()), '\0');
  const std::size_t n =
      ZSTD_compress2(c.get(), delta.data(), delta.size(), novy.data(), novy.size());
  if (ZSTD_isError(n)) return std::nullopt;
  delta.resize(n);
  return delta;
}

std::optional<std::string> PouzitDeltu(std::string_view zaklad, std::string_view delta,
                                       std::int64_t velikost, std::string* proc) {
  auto selhani = [&](const std::string& text) -> std::optional<std::string> {
    if (proc) *proc = text;
    return std::nullopt;
  };
  if (velikost < 0 || velikost > kMaxDelta || static_cast<std::int64_t>(zaklad.size()) > kMaxDelta)
    return selhani("soubor je větší než 1 GiB");
  const unsigned long long obsah = ZSTD_getFrameContentSize(delta.data(), delta.size());
  if (obsah == ZSTD_CONTENTSIZE_ERROR) return selhani("rozdíl není rámec zstd");
  if (obsah == ZSTD_CONTENTSIZE_UNKNOWN || obsah != static_cast<std::uint64_t>(velikost))
    return selhani("rozdíl neuvádí velikost souboru ze seznamu souborů");
  // One frame and nothing after it.
  if (ZSTD_findFrameCompressedSize(delta.data(), delta.size()) != delta.size())
    return selhani("rozdíl je poškozený");
  const int okno = OknoPro(std::max(zaklad.size(), static_cast<std::size_t>(velikost)));
  std::unique_ptr<ZSTD_DCtx, ZrusitD> d(ZSTD_createDCtx());
  if (!d || ZSTD_isError(ZSTD_DCtx_setParameter(d.get(), ZSTD_d_windowLogMax, okno)) ||
      ZSTD_isError(ZSTD_DCtx_refPrefix(d.get(), zaklad.data(), zaklad.size())))
    return selhani("knihovnu zstd nelze připravit");
  std::string vysledek(static_cast<std::size_t>(velikost), '\0');
  // Decoded in one pass straight into the result: no window buffer besides it.
  const std::size_t n =
      ZSTD_decompressDCtx(d.get(), vysledek.data(), vysledek.size(), delta.data(), delta.size());
  if (ZSTD_isError(n))
    return selhani(std::string("rozdíl je poškozený (") + ZSTD_getErrorName(n) + ")");
  if (n != vysledek.size()) return selhani("rozdíl dává jinou velikost souboru");
  return vysledek;
}

}  // namespace zevlon
