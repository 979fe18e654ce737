#include "platform/soubory/soubor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace zevlon {

int Popisovac::Zavrit() {
  if (fd_ < 0) return 0;
  int r = ::close(fd_);
  fd_ = -1;
  return r == 0 ? 0 : errno;
}

int ZapsatVse(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return 0;
}

std::optional<std::string> NacistSoubor(const std::string& cesta, int* chyba) {
  Popisovac fd(::open(cesta.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.Platny()) {
    if (chyba) *chyba = errno;
    return std::nullopt;
  }
  struct stat st {};
  if (::fstat(fd.Fd(), &st) == 0 && S_ISDIR(st.st_mode)) {
    if (chyba) *chyba = EISDIR;
    return std::nullopt;
  }
  std::string obsah;
  if (st.st_size > 0) obsah.reserve(static_cast<std::size_t>(st.st_size));
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd.Fd(), buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (chyba) *chyba = errno;
      return std::nullopt;
    }
    if (n == 0) break;
    obsah.append(buf, static_cast<std::size_t>(n));
  }
  return obsah;
}

bool VeSdileneSlozce(const std::string& cesta) {
  std::string slozka = cesta;
  while (slozka.size() > 1 && slozka.back() == '/')
    slozka.pop_back();
  auto i = slozka.rfind('/');
  slozka = i == std::string::npos ? "." : i == 0 ? "/" : slozka.substr(0, i);
  struct stat st {};
  // A folder of another user (not root) is that user's to change, as one that group or
  // others may write is theirs.
  return ::stat(slozka.c_str(), &st) == 0 &&
         ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0 || (st.st_uid != 0 && st.st_uid != ::geteuid()));
}

int ZapsatSouborAtomicky(const std::string& cesta, std::string_view obsah, mode_t presne) {
  const uid_t ja = ::geteuid();
  std::string cil = cesta;
  struct stat puvodni {};
  bool existuje = ::lstat(cil.c_str(), &puvodni) == 0;
  if (existuje && S_ISLNK(puvodni.st_mode)) {
    // Write through a symbolic link to the file it names, as an in-place write would;
    // never through one that another user laid in a folder that others may write.
    if (puvodni.st_uid != ja && VeSdileneSlozce(cil)) return EACCES;
    if (char* skutecna = ::realpath(cesta.c_str(), nullptr)) {
      cil = skutecna;
      std::free(skutecna);
    }
    existuje = ::stat(cil.c_str(), &puvodni) == 0;
  }
  // Another user's file in a folder that others may write is not ours to keep.
  const bool prevzit = existuje && (puvodni.st_uid == ja || !VeSdileneSlozce(cil));

  std::string docasny = cil + ".XXXXXX.tmp";
  std::vector<char> sablona(docasny.begin(), docasny.end());
  sablona.push_back('\0');
  Popisovac fd(::mkstemps(sablona.data(), 4));
  if (!fd.Platny()) return errno;
  std::string docasna_cesta(sablona.data());

  auto selhat = [&](int e) {
    fd.Zavrit();
    ::unlink(docasna_cesta.c_str());
    return e;
  };
  mode_t rezim;
  if (prevzit) {
    rezim = puvodni.st_mode & 07777;
    if (ja == 0) Nepovinne(::fchown(fd.Fd(), puvodni.st_uid, puvodni.st_gid));
  } else {
    mode_t maska = ::umask(0);
    ::umask(maska);
    rezim = 0666 & ~maska;
  }
  if (presne != 0) rezim = presne;
  if (::fchmod(fd.Fd(), rezim) != 0) return selhat(errno);
  if (int e = ZapsatVse(fd.Fd(), obsah)) return selhat(e);
  if (::fsync(fd.Fd()) != 0) return selhat(errno);
  if (int e = fd.Zavrit()) return selhat(e);
  if (::rename(docasna_cesta.c_str(), cil.c_str()) != 0) return selhat(errno);
  return 0;
}

int ZapsatCitelnySoubor(const std::string& slozka, const std::string& jmeno, std::string_view obsah,
                        const char* predpona, bool nahradit) {
  std::string sablona = slozka + "/" + predpona + "XXXXXX";
  Popisovac fd(::mkstemp(sablona.data()));
  if (!fd.Platny()) return errno;
  int e = ::fchmod(fd.Fd(), 0644) == 0 ? 0 : errno;
  if (e == 0) e = ZapsatVse(fd.Fd(), obsah);
  if (e == 0 && ::fsync(fd.Fd()) != 0) e = errno;
  if (int z = fd.Zavrit(); e == 0) e = z;
  const std::string cil = slozka + "/" + jmeno;
  if (e == 0 && ::renameat2(AT_FDCWD, sablona.c_str(), AT_FDCWD, cil.c_str(),
                            nahradit ? 0 : RENAME_NOREPLACE) != 0)
    e = errno;
  if (e != 0) ::unlink(sablona.c_str());
  return e;
}

}  // namespace zevlon
