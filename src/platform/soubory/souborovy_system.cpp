// Calls on one path: what it is, its details, attributes and time, one new folder, and
// the flush of its file system.
#include "platform/soubory/souborovy_system.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string_view>

#include "platform/soubory/soubor.h"
#include "platform/soubory/souborovy_system_pomucky.h"

namespace zevlon::ss {

namespace {

std::string_view Jmeno(std::string_view p) {
  while (p.size() > 1 && p.back() == '/')
    p.remove_suffix(1);
  auto i = p.rfind('/');
  return i == std::string_view::npos ? p : p.substr(i + 1);
}

}  // namespace

bool JeSlozka(const std::string& cesta) {
  struct stat st {};
  return !cesta.empty() && ::stat(cesta.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

Vysledek CistAtributy(const std::string& cesta, std::uint32_t& atributy) {
  struct stat st {};
  if (::lstat(cesta.c_str(), &st) != 0) return ChybaSystemu(errno, cesta);
  atributy = atribut::kNormalni;
  if ((st.st_mode & S_IWUSR) == 0) atributy |= atribut::kJenProCteni;
  std::string_view j = Jmeno(cesta);
  if (!j.empty() && j.front() == '.' && j != "." && j != "..") atributy |= atribut::kSkryty;
  if (S_ISDIR(st.st_mode)) atributy |= atribut::kSlozka;
  return Uspech();
}

Vysledek NastavitAtributy(const std::string& cesta, std::uint32_t atributy) {
  struct stat st {};
  if (::lstat(cesta.c_str(), &st) != 0) return ChybaSystemu(errno, cesta);
  // A link has no permissions of its own, and the file it points to is not ours to change.
  if (S_ISLNK(st.st_mode)) return Uspech();
  bool chci = (atributy & atribut::kJenProCteni) != 0;
  bool je = (st.st_mode & S_IWUSR) == 0;
  if (chci == je) return Uspech();
  // A link swapped in meanwhile is refused here, not followed.
  if (::fchmodat(AT_FDCWD, cesta.c_str(), (st.st_mode & 07777) ^ S_IWUSR, AT_SYMLINK_NOFOLLOW) != 0)
    return ChybaSystemu(errno, cesta);
  return Uspech();
}

Vysledek CistUdaje(const std::string& cesta, UdajeSouboru& udaje) {
  struct stat st {};
  if (::stat(cesta.c_str(), &st) != 0) return ChybaSystemu(errno, cesta);
  udaje.casZmeny = st.st_mtim.tv_sec;  // whole seconds, the fraction dropped
  udaje.velikost = st.st_size;
  return Uspech();
}

Vysledek ZapsatNaDisk(const std::string& cesta) {
  Popisovac fd(::open(cesta.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.Platny()) return ChybaSystemu(errno, cesta, Druh::kSlozka);
  if (::syncfs(fd.Fd()) != 0) return ChybaSystemu(errno, cesta, Druh::kSlozka);
  return Uspech();
}

DrzenySystem::DrzenySystem(const std::string& cesta) : cesta_(cesta) {
  if (cesta_.empty()) return;
  fd_ = ::open(cesta_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd_ < 0) chyba_ = errno;
}

DrzenySystem::~DrzenySystem() {
  if (fd_ >= 0) ::close(fd_);
}

Vysledek DrzenySystem::Zapsat() const {
  if (cesta_.empty()) return Uspech();
  if (fd_ < 0) return ChybaSystemu(chyba_, cesta_, Druh::kSlozka);
  if (::syncfs(fd_) != 0) return ChybaSystemu(errno, cesta_, Druh::kSlozka);
  return Uspech();
}

Vysledek ZapsatSlozkuNaDisk(const std::string& slozka) {
  Popisovac fd(::open(slozka.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.Platny()) return ChybaSystemu(errno, slozka, Druh::kSlozka);
  if (::fsync(fd.Fd()) != 0) return ChybaSystemu(errno, slozka, Druh::kSlozka);
  return Uspech();
}

bool TenSamyObjekt(const std::string& a, const std::string& b) {
  struct stat sa {
  }, sb{};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

Vysledek NastavitCasZmeny(const std::string& cesta, UtcCas cas) {
  timespec casy[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(cas), 0}};
  if (::utimensat(AT_FDCWD, cesta.c_str(), casy, AT_SYMLINK_NOFOLLOW) != 0)
    return ChybaSystemu(errno, cesta);
  return Uspech();
}

Vysledek VytvoritSlozku(const std::string& cesta) {
  if (::mkdir(cesta.c_str(), 0777) != 0) return ChybaSystemu(errno, cesta, Druh::kSlozka);
  return Uspech();
}

Vysledek VytvoritNovouSlozku(const std::string& predpona, std::string* cesta) {
  static constexpr char kZnaky[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  for (int pokus = 0; pokus < 100; ++pokus) {
    unsigned char nahoda[8];
    if (::getrandom(nahoda, sizeof nahoda, 0) != static_cast<ssize_t>(sizeof nahoda))
      return ChybaSystemu(errno, predpona, Druh::kSlozka);
    std::string jmeno = predpona + ".";
    for (unsigned char c : nahoda)
      jmeno += kZnaky[c % (sizeof kZnaky - 1)];
    if (::mkdir(jmeno.c_str(), 0777) == 0) {
      *cesta = jmeno;
      return Uspech();
    }
    if (errno != EEXIST) return ChybaSystemu(errno, jmeno, Druh::kSlozka);
  }
  return ChybaSystemu(EEXIST, predpona, Druh::kSlozka);
}

bool StejnySystemSouboru(const std::string& a, const std::string& b) {
  struct stat sa {
  }, sb{};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev;
}

}  // namespace zevlon::ss
