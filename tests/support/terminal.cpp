#include "support/terminal.h"

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

namespace zevlon::test {

VysledekProcesu VTerminalu(const std::function<int()>& telo, std::vector<Odpoved> odpovedi) {
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid < 0) return {};
  if (pid == 0) _exit(telo());
  VysledekProcesu v;
  std::size_t dalsi = 0, odkud = 0;
  for (;;) {
    pollfd p{master, POLLIN, 0};
    char buf[4096];
    ssize_t n = poll(&p, 1, 10'000) > 0 ? read(master, buf, sizeof buf) : 0;
    if (n <= 0) break;  // the end of the output (EIO), or 10 s without any
    v.vystup.append(buf, static_cast<std::size_t>(n));
    // One piece of output may hold several awaited texts.
    for (std::size_t kde; dalsi < odpovedi.size() &&
                          (kde = v.vystup.find(odpovedi[dalsi].cekat, odkud)) != std::string::npos;
         ++dalsi) {
      const std::string& napsat = odpovedi[dalsi].napsat;
      if (odpovedi[dalsi].signal != 0)
        kill(pid, odpovedi[dalsi].signal);
      else if (write(master, napsat.data(), napsat.size()) < 0)
        break;
      odkud = kde + odpovedi[dalsi].cekat.size();
    }
  }
  kill(pid, SIGKILL);  // reaches only a child that hung
  int stav = 0;
  waitpid(pid, &stav, 0);
  close(master);
  v.kod = dalsi == odpovedi.size() && WIFEXITED(stav) ? WEXITSTATUS(stav) : -1;
  return v;
}

VysledekProcesu ProgramVTerminalu(const std::vector<std::string>& argv,
                                  const std::vector<std::string>& prostredi,
                                  std::vector<Odpoved> odpovedi) {
  return VTerminalu(
      [&] {
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        for (const std::string& p : prostredi)
          putenv(strdup(p.c_str()));
        std::vector<char*> a;
        for (const std::string& x : argv)
          a.push_back(strdup(x.c_str()));
        a.push_back(nullptr);
        execv(a[0], a.data());
        return 127;
      },
      std::move(odpovedi));
}

}  // namespace zevlon::test
