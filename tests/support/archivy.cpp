#include "support/archivy.h"

#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fs = std::filesystem;

namespace zevlon::test {

namespace {

std::uint32_t Cislo(const std::string& d, std::size_t kde, int bajtu) {
  std::uint32_t v = 0;
  for (int i = bajtu - 1; i >= 0; --i)
    v = (v << 8) | static_cast<unsigned char>(d.at(kde + static_cast<std::size_t>(i)));
  return v;
}

void Zapsat32(std::string& d, std::size_t kde, std::uint32_t v) {
  for (std::size_t i = 0; i < 4; ++i)
    d.at(kde + i) = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// Calls f(central header offset, local header offset) for the entry named `jmeno`
// and writes the archive back.
template <typename F>
void UpravitPolozku(const std::string& archiv, const std::string& jmeno, F f) {
  std::ifstream vstup(archiv, std::ios::binary);
  std::string d((std::istreambuf_iterator<char>(vstup)), std::istreambuf_iterator<char>());
  const std::size_t konec = d.rfind(std::string("PK\x05\x06", 4));
  if (konec == std::string::npos) throw std::runtime_error("not a zip archive: " + archiv);
  std::size_t c = Cislo(d, konec + 16, 4);
  bool nalezeno = false;
  for (std::uint32_t i = 0; i < Cislo(d, konec + 10, 2); ++i) {
    const std::size_t delka = Cislo(d, c + 28, 2);
    if (d.substr(c + 46, delka) == jmeno) {
      f(d, c, Cislo(d, c + 42, 4));
      nalezeno = true;
    }
    c += 46 + delka + Cislo(d, c + 30, 2) + Cislo(d, c + 32, 2);
  }
  if (!nalezeno) throw std::runtime_error("no entry " + jmeno + " in " + archiv);
  std::ofstream(archiv, std::ios::binary | std::ios::trunc) << d;
}

}  // namespace

void VytvoritZip(const std::string& archiv, const std::vector<PolozkaZipu>& polozky) {
  fs::path pracovni = fs::path(archiv).parent_path() / (".zip-" + std::to_string(::getpid()));
  fs::remove_all(pracovni);
  fs::create_directories(pracovni);
  std::vector<std::string> argv{"zip", "-q", "-X", "-y", fs::absolute(archiv).string()};
  for (const auto& p : polozky) {
    const fs::path cesta = pracovni / p.jmeno;
    fs::create_directories(cesta.parent_path());
    if (p.odkaz) {
      fs::create_symlink(p.obsah, cesta);
    } else {
      std::ofstream(cesta, std::ios::binary) << p.obsah;
      fs::permissions(cesta, static_cast<fs::perms>(p.rezim));
    }
    argv.push_back(p.jmeno);
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

void ZmenitVelikostPolozky(const std::string& archiv, const std::string& jmeno,
                           std::uint32_t velikost) {
  UpravitPolozku(archiv, jmeno, [&](std::string& d, std::size_t centralni, std::size_t mistni) {
    Zapsat32(d, centralni + 24, velikost);
    Zapsat32(d, mistni + 22, velikost);
  });
}

void PrejmenovatPolozku(const std::string& archiv, const std::string& jmeno,
                        const std::string& nove) {
  if (nove.size() != jmeno.size()) throw std::runtime_error("names of unequal length");
  UpravitPolozku(archiv, jmeno, [&](std::string& d, std::size_t centralni, std::size_t mistni) {
    d.replace(centralni + 46, nove.size(), nove);
    d.replace(mistni + 30, nove.size(), nove);
  });
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
