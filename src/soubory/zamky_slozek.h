// Locks on the folders a run renews. Two runs may reach one installation by different
// ways (a user's own run and root's run handed to that user, two profiles naming one
// shared folder) and would otherwise delete each other's siblings and backups; each
// folder they change is locked, whoever runs them.
//
// The lock of folder "<parent>/<name>" is the file "<parent>/.<name>.zevlon.lock": a
// regular file of the user the run acts as (the folder's owner, as the trust checks
// demand), mode 0600, never a link. The parent must be that user's and writable by nobody
// else, so nobody else can lay, replace or hold it. Lock files stay; a lock is the open
// file's, so it ends with the process however the process ends.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "platform/soubory/soubor.h"

namespace zevlon {

inline constexpr const char* kUzBezi =
    "Aktualizace Dunmor Merko již probíhá v jiném spuštění programu. Počkejte, až skončí, a "
    "potom spusťte program znovu.";
// How long a run waits for a lock that another run holds (a run that is just ending).
inline constexpr std::chrono::seconds kCekaniNaZamek{10};

// The name of a folder's lock file, beside it.
std::string SouborZamkuSlozky(const std::string& slozka);

class ZamkySlozek {
 public:
  // Locks each folder of the list (paths, a trailing "/" allowed; one named twice or by two
  // ways is locked once), in the order of their lock files' device and inode, so that runs
  // that lock overlapping sets never wait for each other in a circle. Waits at most
  // `cekani` for each; raises kUzBezi when another run holds one, and a message naming the
  // folder when its lock cannot be had safely. What was locked stays locked until the
  // object goes.
  void Zamknout(const std::vector<std::string>& slozky,
                std::chrono::milliseconds cekani = kCekaniNaZamek);

 private:
  struct Zamek {
    std::string slozka;
    Popisovac rodic, fd;
    dev_t zarizeni = 0;
    ino_t uzel = 0;
  };
  static void Otevrit(Zamek& z);
  std::vector<Zamek> zamky_;
};

}  // namespace zevlon
