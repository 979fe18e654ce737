// Preloaded into a program under test, gives it the file system that a test needs.
// Each intervention is switched on by a variable of the program's environment:
//
//   ZASAH_BEZ_VYMENY=1        a file system that cannot exchange two folders nor refuse to
//                             replace a target in a rename (as NFS): renameat2 with
//                             RENAME_EXCHANGE or RENAME_NOREPLACE fails with EINVAL.
//   ZASAH_SELHAT=TEXT:ERRNO   every rename whose target path contains TEXT fails with ERRNO
//                             (18 for a target on another file system, 28 for a full disk).
//   ZASAH_ZABIT_PO=N          the process is killed right after the N-th swap it completes:
//                             the N-th rename that puts a folder under a name that neither
//                             ends in "_old" nor contains "dwnld_" (the live folder's name).
//   ZASAH_ZASTAVIT_PO=N       the same with SIGTERM: a stop asked right after the N-th swap.
//   ZASAH_OTEVRIT=TEXT:ERRNO  every openat of a name that contains TEXT fails with ERRNO.
//   ZASAH_SYNCFS=ERRNO        every syncfs fails with ERRNO (5 for a write-back error).
//   ZASAH_PODSTRCIT=JMENO     right after each removal (unlink) of a path that ends in JMENO,
//                             a file of user 65534 with the text "utocnik" stands under that
//                             path: another user who won the race between the removal and
//                             whatever the program does next with the name.
//   ZASAH_PRIPSAT=CESTA[:CESTA...]
//                             at the first syncfs (the flush that follows the building and
//                             merging of the new folders, right before the swaps) a line is
//                             appended to each file, which is made (and its folder) when
//                             missing: a user working in a live folder during the run.
//   ZASAH_PREPSAT=CESTA       right before the first openat of a name ending as CESTA does
//                             (the program reads a file for its checksum by open, and
//                             copies or links one through its folder by openat) or the first
//                             link of any file, the last byte of CESTA is overwritten in place
//                             and its modification time put back: a change between the scan
//                             and the placing that neither its size nor its time shows.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

int skutecne(int od, const char* z, int nd, const char* c, unsigned int priznaky) {
  return static_cast<int>(::syscall(SYS_renameat2, od, z, nd, c, priznaky));
}

bool selhat(const char* cil, const char* promenna = "ZASAH_SELHAT") {
  const char* zasah = ::getenv(promenna);
  if (!zasah) return false;
  const char* dvojtecka = ::strrchr(zasah, ':');
  if (!dvojtecka) return false;
  char text[512];
  size_t n = static_cast<size_t>(dvojtecka - zasah);
  if (n == 0 || n >= sizeof text) return false;
  ::memcpy(text, zasah, n);
  text[n] = '\0';
  if (!::strstr(cil, text)) return false;
  errno = ::atoi(dvojtecka + 1);
  return true;
}

bool jeVymena(int nd, const char* cil) {
  struct stat st {};
  if (::fstatat(nd, cil, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode)) return false;
  size_t n = ::strlen(cil);
  while (n > 1 && cil[n - 1] == '/')
    --n;
  if (n >= 4 && ::strncmp(cil + n - 4, "_old", 4) == 0) return false;
  return ::strstr(cil, "dwnld_") == nullptr;
}

void pocitatVymenu(int nd, const char* cil) {
  static int hotovo = 0;
  const char* zabit = ::getenv("ZASAH_ZABIT_PO");
  const char* zastavit = ::getenv("ZASAH_ZASTAVIT_PO");
  if ((!zabit && !zastavit) || !jeVymena(nd, cil)) return;
  ++hotovo;
  if (zabit && hotovo == ::atoi(zabit)) ::kill(::getpid(), SIGKILL);
  if (zastavit && hotovo == ::atoi(zastavit)) ::kill(::getpid(), SIGTERM);
}

int prejmenovat(int od, const char* z, int nd, const char* c, unsigned int priznaky) {
  if (selhat(c)) return -1;
  const char* bez = ::getenv("ZASAH_BEZ_VYMENY");
  if (bez && *bez == '1' && (priznaky & (RENAME_EXCHANGE | RENAME_NOREPLACE))) {
    errno = EINVAL;
    return -1;
  }
  int r = skutecne(od, z, nd, c, priznaky);
  if (r == 0) pocitatVymenu(nd, c);
  return r;
}

void podstrcit(const char* cesta) {
  const char* jmeno = ::getenv("ZASAH_PODSTRCIT");
  if (!jmeno || !*jmeno) return;
  size_t n = ::strlen(cesta), j = ::strlen(jmeno);
  if (n < j || ::strcmp(cesta + n - j, jmeno) != 0) return;
  int fd = ::open(cesta, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return;
  (void)!::write(fd, "utocnik\n", 8);
  (void)!::fchown(fd, 65534, 65534);
  ::close(fd);
}

void prepsat(const char* jmeno, bool odkaz) {
  static bool hotovo = false;
  const char* cesta = ::getenv("ZASAH_PREPSAT");
  if (!cesta || __atomic_load_n(&hotovo, __ATOMIC_SEQ_CST)) return;
  const char* posledni = ::strrchr(cesta, '/');
  posledni = posledni ? posledni + 1 : cesta;
  const char* konec = jmeno ? ::strrchr(jmeno, '/') : nullptr;
  if (!odkaz && (!jmeno || ::strcmp(konec ? konec + 1 : jmeno, posledni) != 0)) return;
  if (__atomic_exchange_n(&hotovo, true, __ATOMIC_SEQ_CST)) return;
  struct stat st {};
  const int fd = static_cast<int>(::syscall(SYS_openat, AT_FDCWD, cesta, O_WRONLY | O_CLOEXEC, 0));
  if (fd < 0) return;
  if (::fstat(fd, &st) == 0 && st.st_size > 0) (void)!::pwrite(fd, "X", 1, st.st_size - 1);
  ::close(fd);
  const struct timespec casy[2] = {st.st_atim, st.st_mtim};
  ::utimensat(AT_FDCWD, cesta, casy, 0);
}

void pripsat() {
  static bool hotovo = false;
  const char* cesty = ::getenv("ZASAH_PRIPSAT");
  if (!cesty || __atomic_exchange_n(&hotovo, true, __ATOMIC_SEQ_CST)) return;
  char cesta[4096];
  for (const char* od = cesty; *od;) {
    const char* konec = ::strchr(od, ':');
    size_t n = konec ? static_cast<size_t>(konec - od) : ::strlen(od);
    if (n > 0 && n < sizeof cesta) {
      ::memcpy(cesta, od, n);
      cesta[n] = '\0';
      if (char* lomitko = ::strrchr(cesta, '/')) {
        *lomitko = '\0';
        ::mkdir(cesta, 0755);
        *lomitko = '/';
      }
      const int fd = static_cast<int>(
          ::syscall(SYS_openat, AT_FDCWD, cesta, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
      if (fd >= 0) {
        (void)!::write(fd, "za běhu\n", ::strlen("za běhu\n"));
        ::close(fd);
      }
    }
    od += n + (konec ? 1 : 0);
  }
}

}  // namespace

extern "C" int linkat(int od, const char* z, int nd, const char* c, int priznaky) {
  prepsat(nullptr, true);
  return static_cast<int>(::syscall(SYS_linkat, od, z, nd, c, priznaky));
}
extern "C" int openat(int fd, const char* cesta, int priznaky, ...) {
  mode_t rezim = 0;
  if (priznaky & (O_CREAT | O_TMPFILE)) {
    va_list a;
    va_start(a, priznaky);
    rezim = static_cast<mode_t>(va_arg(a, int));
    va_end(a);
  }
  if (selhat(cesta, "ZASAH_OTEVRIT")) return -1;
  prepsat(cesta, false);
  return static_cast<int>(::syscall(SYS_openat, fd, cesta, priznaky, rezim));
}
extern "C" int syncfs(int fd) {
  pripsat();
  if (const char* zasah = ::getenv("ZASAH_SYNCFS")) {
    errno = ::atoi(zasah);
    return -1;
  }
  return static_cast<int>(::syscall(SYS_syncfs, fd));
}
extern "C" int unlink(const char* cesta) {
  int r = static_cast<int>(::syscall(SYS_unlinkat, AT_FDCWD, cesta, 0));
  int e = errno;
  podstrcit(cesta);
  errno = e;
  return r;
}
extern "C" int renameat2(int od, const char* z, int nd, const char* c, unsigned int priznaky) {
  return prejmenovat(od, z, nd, c, priznaky);
}
extern "C" int renameat(int od, const char* z, int nd, const char* c) {
  return prejmenovat(od, z, nd, c, 0);
}
extern "C" int rename(const char* z, const char* c) {
  return prejmenovat(AT_FDCWD, z, AT_FDCWD, c, 0);
}
