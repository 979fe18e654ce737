#include "platform/nahrady/platforma.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <system_error>

#include "support/sandbox.h"

namespace zevlon {
namespace {

// The started program inherits the write end of a pipe, so the pipe's end tells that it
// has finished, without a clock.
TEST(SpustitProces, StartsWithSeparateArgumentsOrAnswersWhyTheProgramCannotRun) {
  test::Sandbox s;
  const std::string skript =
      s.Zapsat("bin/spust", "#!/bin/sh\nprintf '%s|' \"$@\" >\"$(dirname \"$0\")/argumenty\"\n");
  ::chmod(skript.c_str(), 0755);
  int roura[2];
  ASSERT_EQ(::pipe(roura), 0);
  std::error_code e = platforma().SpustitProces(skript, {"Hotovo", "a b"});
  ::close(roura[1]);
  char c;
  while (::read(roura[0], &c, 1) > 0) {
  }
  ::close(roura[0]);
  EXPECT_FALSE(e) << e.message();
  EXPECT_EQ(s.Cist("bin/argumenty"), "Hotovo|a b|");

  // What a temp folder mounted noexec does to a copy: the start itself fails.
  ::chmod(skript.c_str(), 0644);
  EXPECT_EQ(platforma().SpustitProces(skript, {"Hotovo"}), std::errc::permission_denied);
  const std::string neprogram = s.Zapsat("bin/neprogram", std::string("\x7f"
                                                                      "ELF\x01\x02",
                                                                      6));
  ::chmod(neprogram.c_str(), 0755);
  EXPECT_EQ(platforma().SpustitProces(neprogram, {}), std::errc::executable_format_error);
  EXPECT_EQ(platforma().SpustitProces(s / "bin/chybi", {}), std::errc::no_such_file_or_directory);
}

}  // namespace
}  // namespace zevlon
