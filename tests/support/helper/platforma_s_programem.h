// A platform whose program file stands where the test says, so that the options file
// and the logs beside it are the test's.
#pragma once

#include <string>
#include <utility>

#include "platform/nahrady/platforma.h"

namespace zevlon::test {

class PlatformaSProgramem : public Platforma {
 public:
  explicit PlatformaSProgramem(std::string program) : program_(std::move(program)) {
    NastavitPlatformu(this);
  }
  ~PlatformaSProgramem() override { NastavitPlatformu(nullptr); }
  std::string CestaProgramu() override { return program_; }

 private:
  std::string program_;
};

}  // namespace zevlon::test
