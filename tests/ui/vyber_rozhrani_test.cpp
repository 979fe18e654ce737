// Which user interface the real program picks, seen from outside: it is started
// with the path of a release file that does not exist, so the run only shows
// "Příprava aktualizace" and ends.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace zevlon {
namespace {

constexpr const char* kPriprava = "Příprava aktualizace";

// Reads a descriptor to its end (EIO of a closed terminal included), at most 20 s.
std::string CistVse(int fd) {
  std::string vystup;
  char buf[4096];
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 20'000) <= 0) break;
    ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) break;
    vystup.append(buf, static_cast<std::size_t>(n));
  }
  return vystup;
}

int Pockat(pid_t pid) {
  int stav = 0;
  waitpid(pid, &stav, 0);
  return WIFEXITED(stav) ? WEXITSTATUS(stav) : -1;
}

// The environment of the child: ours without the display and toolkit settings,
// plus what the test adds.
void Prostredi(const std::vector<std::string>& pridat) {
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  unsetenv("QT_QPA_PLATFORM");
  for (const std::string& p : pridat)
    putenv(const_cast<char*>(p.c_str()));
}

struct Beh {
  int navrat = -1;
  std::string vystup;
};

Beh VTerminalu(const std::vector<std::string>& pridat) {
  winsize w{};
  w.ws_col = 80;
  w.ws_row = 24;
  int master = -1;
  pid_t pid = forkpty(&master, nullptr, nullptr, &w);
  if (pid == 0) {
    Prostredi(pridat);
    execl(ZEVLON_PROGRAM, "Zevlon", "/nonexistent/download.ini", static_cast<char*>(nullptr));
    _exit(127);
  }
  Beh b;
  b.vystup = CistVse(master);
  close(master);
  b.navrat = Pockat(pid);
  return b;
}

TEST(VyberRozhraniTest, AtATerminalWithoutADisplayTheProgressIsAStatusLine) {
  Beh b = VTerminalu({});
  EXPECT_EQ(b.navrat, 0);
  EXPECT_NE(b.vystup.find(std::string("\r[  0 %] ") + kPriprava + "\x1b[K"), std::string::npos)
      << b.vystup;
}

TEST(VyberRozhraniTest, ADisplayThatCannotBeOpenedFallsBackToTheTerminalQuietly) {
  Beh b = VTerminalu({"DISPLAY=:4711"});
  EXPECT_EQ(b.navrat, 0);
  EXPECT_NE(b.vystup.find(kPriprava), std::string::npos) << b.vystup;
  EXPECT_EQ(b.vystup.find("xcb"), std::string::npos) << b.vystup;
  EXPECT_EQ(b.vystup.find("qt."), std::string::npos) << b.vystup;
}

TEST(VyberRozhraniTest, WithoutTerminalOrDisplayNothingIsShown) {
  int roura[2];
  ASSERT_EQ(pipe(roura), 0);
  posix_spawn_file_actions_t akce;
  posix_spawn_file_actions_init(&akce);
  posix_spawn_file_actions_addopen(&akce, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&akce, roura[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&akce, roura[1], STDERR_FILENO);
  posix_spawn_file_actions_addclose(&akce, roura[0]);
  std::vector<std::string> prostredi;
  for (char** e = environ; *e; ++e) {
    std::string p = *e;
    if (p.rfind("DISPLAY=", 0) == 0 || p.rfind("WAYLAND_DISPLAY=", 0) == 0) continue;
    prostredi.push_back(p);
  }
  std::vector<char*> envp;
  for (std::string& p : prostredi)
    envp.push_back(p.data());
  envp.push_back(nullptr);
  std::string program = ZEVLON_PROGRAM, argument = "/nonexistent/download.ini";
  char* argv[] = {program.data(), argument.data(), nullptr};
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, program.c_str(), &akce, nullptr, argv, envp.data()), 0);
  posix_spawn_file_actions_destroy(&akce);
  close(roura[1]);
  std::string vystup = CistVse(roura[0]);
  close(roura[0]);
  EXPECT_EQ(Pockat(pid), 0);
  EXPECT_EQ(vystup, "");
}

}  // namespace
}  // namespace zevlon
