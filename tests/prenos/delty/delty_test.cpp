#include "prenos/delty/zstd_delta.h"

#include <gtest/gtest.h>
#include <zstd.h>

#include <string>

namespace zevlon {
namespace {

// A delta rebuilds the new file only from its own base and only as a single frame that
// names the size expected; anything else is refused with a reason, never half applied.
TEST(ZstdDelta, RebuildsTheFileOnlyFromItsBaseAndOnlyAtTheSizeItNames) {
  std::string zaklad(300'000, '\0');
  for (std::size_t i = 0; i < zaklad.size(); ++i)
    zaklad[i] = static_cast<char>((i * 2654435761u) >> 13);
  std::string novy = zaklad;
  novy.replace(150'000, 5, "změna");
  novy += "na konci";
  const std::string delta = VytvoritDeltu(zaklad, novy).value();
  EXPECT_LT(delta.size(), 200u);  // the base does the rest
  const auto velikost = static_cast<std::int64_t>(novy.size());
  EXPECT_EQ(PouzitDeltu(zaklad, delta, velikost), novy);

  // A frame without its content size, as a stream writes it.
  std::string bezVelikosti(ZSTD_compressBound(novy.size()), '\0');
  ZSTD_CCtx* c = ZSTD_createCCtx();
  ZSTD_CCtx_setParameter(c, ZSTD_c_contentSizeFlag, 0);
  bezVelikosti.resize(
      ZSTD_compress2(c, bezVelikosti.data(), bezVelikosti.size(), novy.data(), novy.size()));
  ZSTD_freeCCtx(c);
  std::string jinyZaklad = zaklad;
  jinyZaklad[1000] ^= 1;
  const struct {
    const char* pripad;
    std::string zaklad, delta;
    std::int64_t velikost;
    const char* proc;
  } odmitnute[] = {
      {"another base", jinyZaklad, delta, velikost, "poškozený"},
      {"another size", zaklad, delta, velikost - 1, "neuvádí velikost"},
      {"no size", zaklad, bezVelikosti, velikost, "neuvádí velikost"},
      {"data after the frame", zaklad, delta + delta, velikost, "poškozený"},
      {"cut short", zaklad, delta.substr(0, delta.size() - 3), velikost, "poškozený"},
      {"no frame", zaklad, "PK\x03\x04 archiv", velikost, "není rámec zstd"},
      {"over 1 GiB", zaklad, delta, kMaxDelta + 1, "větší než 1 GiB"},
  };
  for (const auto& o : odmitnute) {
    std::string proc;
    EXPECT_EQ(PouzitDeltu(o.zaklad, o.delta, o.velikost, &proc), std::nullopt) << o.pripad;
    EXPECT_NE(proc.find(o.proc), std::string::npos) << o.pripad << ": " << proc;
  }
}

}  // namespace
}  // namespace zevlon
