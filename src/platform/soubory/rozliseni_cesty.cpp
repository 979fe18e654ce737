#include "platform/soubory/rozliseni_cesty.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <deque>

#include "platform/soubory/souborovy_system_pomucky.h"

namespace zevlon::ss {

namespace {

constexpr int kNejvyseOdkazu = 40;  // as the kernel's own limit

// Puts the components of `cesta` in front of those still to be resolved.
void Predradit(const std::string& cesta, std::deque<std::string>& zbyva) {
  std::deque<std::string> casti;
  std::size_t i = 0;
  while (i < cesta.size()) {
    std::size_t j = cesta.find('/', i);
    if (j == std::string::npos) j = cesta.size();
    if (j > i) casti.push_back(cesta.substr(i, j - i));
    i = j + 1;
  }
  zbyva.insert(zbyva.begin(), casti.begin(), casti.end());
}

}  // namespace

bool ZapisujeJen(uid_t vlastnik, mode_t rezim, uid_t jednajici) {
  return (vlastnik == 0 || vlastnik == jednajici) && (rezim & (S_IWGRP | S_IWOTH)) == 0;
}

bool ZmenitJenSami(const Rozliseni& r, uid_t jednajici) {
  if (!r.chyba.Uspech() || !r.odmitnutyOdkaz.empty()) return false;
  for (std::size_t i = 0; i < r.slozky.size(); ++i) {
    const SlozkaNaCeste& s = r.slozky[i];
    const bool lepkava = i + 1 < r.slozky.size() && (s.vlastnik == 0 || s.vlastnik == jednajici) &&
                         (s.rezim & S_ISVTX) != 0;
    if (!lepkava && !ZapisujeJen(s.vlastnik, s.rezim, jednajici)) return false;
  }
  return true;
}

Rozliseni RozlisitCestu(const std::string& cesta, uid_t jednajici) {
  Rozliseni r;
  if (cesta.empty() || cesta.front() != '/') {
    r.chyba = ChybaSystemu(EINVAL, cesta);
    return r;
  }
  struct stat st {};
  if (::lstat("/", &st) != 0) {
    r.chyba = ChybaSystemu(errno, "/", Druh::kSlozka);
    return r;
  }
  std::vector<SlozkaNaCeste> retez{{"/", st.st_uid, st.st_mode}};
  std::string hotovo = "/";
  std::deque<std::string> zbyva;
  Predradit(cesta, zbyva);
  int chybejicich = 0;  // components past the first missing one
  bool soubor = false;  // the last component resolved was a file
  int odkazu = 0;
  while (!zbyva.empty()) {
    const std::string c = std::move(zbyva.front());
    zbyva.pop_front();
    if (c == ".") continue;
    if (c == "..") {
      if (chybejicich > 0)
        --chybejicich;
      else if (retez.size() > 1)
        retez.pop_back();
      hotovo = Rodic(hotovo);
      soubor = false;
      continue;
    }
    if (soubor) {
      r.chyba = ChybaSystemu(ENOTDIR, hotovo);
      return r;
    }
    const std::string dalsi = Spojit(hotovo, c);
    if (chybejicich > 0) {
      ++chybejicich;
      hotovo = dalsi;
      continue;
    }
    if (::lstat(dalsi.c_str(), &st) != 0) {
      if (errno != ENOENT) {
        r.chyba = ChybaSystemu(errno, dalsi);
        return r;
      }
      ++chybejicich;
      hotovo = dalsi;
      continue;
    }
    if (S_ISLNK(st.st_mode)) {
      const SlozkaNaCeste& v = retez.back();
      const bool duveryhodny =
          (st.st_uid == 0 || st.st_uid == jednajici) && ZapisujeJen(v.vlastnik, v.rezim, jednajici);
      if (!duveryhodny) {
        r.odmitnutyOdkaz = dalsi;
        r.cesta = dalsi;
        r.slozky = std::move(retez);
        return r;
      }
      if (++odkazu > kNejvyseOdkazu) {
        r.chyba = ChybaSystemu(ELOOP, dalsi);
        return r;
      }
      std::string cil(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
      const ssize_t n = ::readlink(dalsi.c_str(), cil.data(), cil.size());
      if (n < 0 || static_cast<std::size_t>(n) >= cil.size()) {
        r.chyba = ChybaSystemu(n < 0 ? errno : ENAMETOOLONG, dalsi);
        return r;
      }
      cil.resize(static_cast<std::size_t>(n));
      if (!cil.empty() && cil.front() == '/') {
        retez.resize(1);
        hotovo = "/";
      }
      Predradit(cil, zbyva);
      continue;
    }
    hotovo = dalsi;
    if (S_ISDIR(st.st_mode))
      retez.push_back({dalsi, st.st_uid, st.st_mode});
    else
      soubor = true;
  }
  r.cesta = hotovo;
  r.existuje = chybejicich == 0;
  r.slozky = std::move(retez);
  return r;
}

}  // namespace zevlon::ss
