#include "platform/procesy/proces.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

namespace zevlon {
namespace {

TEST(ProvestPrikaz, PassesTheInputCollectsBothOutputsAndTheStatus) {
  // More input than a pipe holds, read back whole while the error output is written.
  const std::string vstup(300'000, 'x');
  VysledekPrikazu v = ProvestPrikaz({"sh", "-c", "echo chyba >&2; wc -c; exit 3"}, vstup);
  EXPECT_EQ(v.chybaSpusteni, 0);
  EXPECT_EQ(v.kod, 3);
  EXPECT_EQ(v.vystup, "300000\n");
  EXPECT_EQ(v.chyby, "chyba\n");

  // A program that ends without reading its input does not end the caller.
  v = ProvestPrikaz({"true"}, vstup);
  EXPECT_EQ(v.kod, 0);
  v = ProvestPrikaz({"sh", "-c", "kill -TERM $$"});
  EXPECT_EQ(v.kod, 128 + 15);
  v = ProvestPrikaz({"/nonexistent/program"});
  EXPECT_EQ(v.chybaSpusteni, ENOENT);
}

}  // namespace
}  // namespace zevlon
