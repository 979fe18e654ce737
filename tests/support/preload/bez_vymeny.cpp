// Preloaded into a program under test, makes the file system look like one that cannot
// exchange two folders or refuse to replace a target in a rename (as NFS): renameat2
// with RENAME_EXCHANGE or RENAME_NOREPLACE fails with EINVAL; plain renames go through.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/syscall.h>
#include <unistd.h>

extern "C" int renameat2(int od, const char* z, int nd, const char* c, unsigned int priznaky) {
  if (priznaky & (RENAME_EXCHANGE | RENAME_NOREPLACE)) {
    errno = EINVAL;
    return -1;
  }
  return static_cast<int>(::syscall(SYS_renameat2, od, z, nd, c, priznaky));
}
