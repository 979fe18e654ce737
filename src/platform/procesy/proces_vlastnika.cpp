#include "platform/procesy/proces_vlastnika.h"

#include <fcntl.h>
#include <grp.h>
#include <linux/close_range.h>
#include <linux/keyctl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "platform/soubory/soubor.h"

namespace zevlon {

namespace {

std::vector<char*> Pole(std::vector<std::string>& texty) {
  std::vector<char*> p;
  for (std::string& t : texty)
    p.push_back(t.data());
  p.push_back(nullptr);
  return p;
}

// What the child tells its starter over the pipe before the exec: a step that failed
// (the run does not start) or a keyring it could not have (the run goes on).
struct ZpravaDitete {
  int klicenka = 0;
  int chyba = 0;
};

// In the child, between fork and exec: only calls that are safe there. Answers the errno
// of the step that failed; `klicenka` gets the errno of a refused keyring.
int PripravitDite(const SpusteniJakoUcet& s, int nul, const std::vector<int>& kopie,
                  int& klicenka) {
  if (::setsid() < 0) return errno;
  // Keys of the starter's session (a token an administrator's login holds) are no
  // business of a process that another user can debug.
  if (::syscall(SYS_keyctl, KEYCTL_JOIN_SESSION_KEYRING, nullptr) < 0) klicenka = errno;
  const struct rlimit bezJadra { 0, 0 };
  if (::setrlimit(RLIMIT_CORE, &bezJadra) != 0) return errno;
  sigset_t vse;
  sigemptyset(&vse);
  ::sigprocmask(SIG_SETMASK, &vse, nullptr);
  for (int i = 0; i < 3; ++i)
    if (::dup2(nul, i) < 0) return errno;
  for (std::size_t i = 0; i < kopie.size(); ++i)
    if (::dup2(kopie[i], static_cast<int>(3 + i)) < 0) return errno;
  // Every other descriptor (root's lock and logs among them) closes with the exec; the
  // one that reports a failure to the starter too.
  const unsigned od = static_cast<unsigned>(3 + kopie.size());
  if (::close_range(od, ~0U, CLOSE_RANGE_CLOEXEC) != 0) {
    const long max = ::sysconf(_SC_OPEN_MAX);
    for (long fd = od; fd < (max > 0 ? max : 65536); ++fd)
      ::fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
  }
  const std::vector<gid_t>& skupiny = s.ucet.skupiny;
  if (::setgroups(skupiny.size(), skupiny.empty() ? nullptr : skupiny.data()) != 0) return errno;
  if (::setresgid(s.ucet.gid, s.ucet.gid, s.ucet.gid) != 0) return errno;
  if (::setresuid(s.ucet.uid, s.ucet.uid, s.ucet.uid) != 0) return errno;
  // Nothing of root's may be left: were it so, stop here.
  if (s.ucet.uid != 0 && (::setuid(0) == 0 || ::geteuid() == 0)) return EPERM;
  if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return errno;
  if (::chdir(s.ucet.domov.c_str()) != 0) return errno;
  return 0;
}

}  // namespace

SpustenyUcet SpustitJakoUcet(const SpusteniJakoUcet& s) {
  std::vector<std::string> argv{s.program};
  argv.insert(argv.end(), s.argumenty.begin(), s.argumenty.end());
  std::vector<std::string> envp = s.prostredi;
  std::vector<char*> a = Pole(argv), e = Pole(envp);

  Popisovac nul(::open("/dev/null", O_RDWR | O_CLOEXEC));
  if (!nul.Platny()) throw std::system_error(errno, std::generic_category(), "/dev/null");
  // The given descriptors above every number they are to take, so that placing one never
  // closes another still to be placed.
  const int nad = static_cast<int>(3 + s.popisovace.size());
  std::vector<Popisovac> kopie;
  std::vector<int> cisla;
  for (int fd : s.popisovace) {
    kopie.emplace_back(::fcntl(fd, F_DUPFD_CLOEXEC, nad));
    if (!kopie.back().Platny()) throw std::system_error(errno, std::generic_category(), "dup");
    cisla.push_back(kopie.back().Fd());
  }
  int roura[2];
  if (::pipe2(roura, O_CLOEXEC) != 0)
    throw std::system_error(errno, std::generic_category(), "pipe");
  Popisovac cteni(roura[0]), zapis(roura[1]);

  const pid_t pid = ::fork();
  if (pid < 0) throw std::system_error(errno, std::generic_category(), "fork");
  if (pid == 0) {
    ZpravaDitete z;
    z.chyba = PripravitDite(s, nul.Fd(), cisla, z.klicenka);
    // The starter learns of the keyring before the exec, and why the exec failed; the
    // descriptor closes with the exec when it succeeds.
    Nepovinne(static_cast<int>(::write(zapis.Fd(), &z, sizeof z)));
    if (z.chyba == 0) {
      ::execve(s.program.c_str(), a.data(), e.data());
      z.chyba = errno;
      Nepovinne(static_cast<int>(::write(zapis.Fd(), &z, sizeof z)));
    }
    ::_exit(127);
  }
  zapis.Zavrit();
  SpustenyUcet spusteny;
  spusteny.pid = pid;
  ZpravaDitete z;
  for (;;) {
    const ssize_t n = ::read(cteni.Fd(), &z, sizeof z);
    if (n < 0 && errno == EINTR) continue;
    if (n != static_cast<ssize_t>(sizeof z)) break;
    spusteny.chybaKlicenky = z.klicenka;
    if (z.chyba != 0) {
      int stav = 0;
      while (::waitpid(pid, &stav, 0) < 0 && errno == EINTR) {
      }
      throw std::system_error(z.chyba, std::generic_category(), s.program);
    }
  }
  return spusteny;
}

}  // namespace zevlon
