#include "support/sandbox.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace fs = std::filesystem;

namespace zevlon::test {

namespace {

// Gives back every permission below the folder so that a test that took some away
// does not leave its sandbox behind.
void OdemknoutVse(const fs::path& p) {
  std::error_code ec;
  ::chmod(p.c_str(), 0777);
  if (!fs::is_directory(fs::symlink_status(p, ec))) return;
  for (auto it = fs::directory_iterator(p, ec); !ec && it != fs::directory_iterator();
       it.increment(ec)) {
    if (it->is_symlink(ec)) continue;
    OdemknoutVse(it->path());
  }
}

}  // namespace

Sandbox::Sandbox() {
  std::string sablona = (fs::temp_directory_path() / "zevlon-test-XXXXXX").string();
  std::vector<char> buf(sablona.begin(), sablona.end());
  buf.push_back('\0');
  if (!::mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
  cesta_ = buf.data();
}

Sandbox::~Sandbox() {
  std::error_code ec;
  OdemknoutVse(cesta_);
  fs::remove_all(cesta_, ec);
}

std::string Sandbox::operator/(std::string_view relativni) const {
  return cesta_ + "/" + std::string(relativni);
}

std::string Sandbox::Zapsat(std::string_view relativni, std::string_view obsah) const {
  return ZapsatSoubor(*this / relativni, obsah);
}

std::string Sandbox::Vytvorit(std::string_view relativni) const {
  std::string cesta = *this / relativni;
  fs::create_directories(cesta);
  return cesta;
}

std::string Sandbox::Cist(std::string_view relativni) const {
  return CistSoubor(*this / relativni);
}

std::string ZapsatSoubor(const std::string& cesta, std::string_view obsah) {
  fs::create_directories(fs::path(cesta).parent_path());
  std::ofstream f(cesta, std::ios::binary | std::ios::trunc);
  f.write(obsah.data(), static_cast<std::streamsize>(obsah.size()));
  if (!f) throw std::runtime_error("cannot write " + cesta);
  return cesta;
}

std::string CistSoubor(const std::string& cesta) {
  std::ifstream f(cesta, std::ios::binary);
  if (!f) throw std::runtime_error("cannot read " + cesta);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

bool Existuje(const std::string& cesta) {
  struct stat st {};
  return ::lstat(cesta.c_str(), &st) == 0;
}

}  // namespace zevlon::test
