#include "platform/procesy/ukonceni.h"

#include <csignal>

namespace zevlon {

namespace {

volatile std::sig_atomic_t vyzadano = 0;

extern "C" void PoznamenatUkonceni(int) {
  vyzadano = 1;
}

}  // namespace

void ZachytavatUkonceni() {
  struct sigaction sa {};
  sa.sa_handler = PoznamenatUkonceni;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = 0;  // no SA_RESTART: a wait in a system call ends at once
  sigaction(SIGTERM, &sa, nullptr);
  struct sigaction int_ {};
  if (sigaction(SIGINT, nullptr, &int_) == 0 && int_.sa_handler == SIG_DFL)
    sigaction(SIGINT, &sa, nullptr);
}

bool UkonceniVyzadano() {
  return vyzadano != 0;
}

}  // namespace zevlon
