#include "support/archivy.h"

#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace zevlon::test {

void VytvoritZip(const std::string& archiv,
                 const std::vector<std::pair<std::string, std::string>>& polozky) {
  fs::path pracovni = fs::path(archiv).parent_path() / (".zip-" + std::to_string(::getpid()));
  fs::remove_all(pracovni);
  fs::create_directories(pracovni);
  std::vector<std::string> argv{"zip", "-q", "-X", fs::absolute(archiv).string()};
  for (const auto& [jmeno, obsah] : polozky) {
    fs::create_directories((pracovni / jmeno).parent_path());
    std::ofstream(pracovni / jmeno, std::ios::binary) << obsah;
    argv.push_back(jmeno);
  }
  fs::remove(archiv);
  pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(pracovni.c_str()) != 0) _exit(127);
    std::vector<char*> c;
    for (auto& a : argv)
      c.push_back(a.data());
    c.push_back(nullptr);
    ::execvp("zip", c.data());
    _exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  fs::remove_all(pracovni);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    throw std::runtime_error("zip failed for " + archiv);
}

std::vector<std::string> Polozky(const std::string& archiv) {
  std::vector<std::string> jmena;
  zip_t* za = zip_open(archiv.c_str(), ZIP_RDONLY, nullptr);
  if (!za) return jmena;
  for (zip_int64_t i = 0; i < zip_get_num_entries(za, 0); ++i)
    jmena.emplace_back(zip_get_name(za, static_cast<zip_uint64_t>(i), 0));
  zip_discard(za);
  return jmena;
}

std::vector<std::string> Obsah(const std::string& slozka) {
  std::vector<std::string> jmena;
  for (const auto& e : fs::recursive_directory_iterator(slozka))
    jmena.push_back(fs::relative(e.path(), slozka).string());
  std::sort(jmena.begin(), jmena.end());
  return jmena;
}

}  // namespace zevlon::test
