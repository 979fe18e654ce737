// Pieces shared by the files of the file-system layer (souborovy_system*.cpp): path
// helpers, the listing of an open folder, the data copy between two descriptors and the
// copy of a tree. Internal to the layer.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/soubory/souborovy_system.h"

namespace zevlon::ss {

inline Vysledek Uspech() {
  return {};
}

// The path without trailing separators ("/" stays "/").
inline std::string BezLomitek(std::string p) {
  while (p.size() > 1 && p.back() == '/')
    p.pop_back();
  return p;
}

// The folder that holds the path: "." for a bare name, "/" for a name in the root.
inline std::string Rodic(const std::string& cesta) {
  std::string p = BezLomitek(cesta);
  auto i = p.rfind('/');
  if (i == std::string::npos) return ".";
  if (i == 0) return "/";
  return p.substr(0, i);
}

inline std::string Spojit(const std::string& slozka, std::string_view jmeno) {
  std::string p = slozka;
  if (p.empty() || p.back() != '/') p += '/';
  p += jmeno;
  return p;
}

// The names in the open folder fd (named cesta in messages), without "." and "..".
Vysledek JmenaVeSlozce(int fd, const std::string& cesta, std::vector<std::string>& jmena);

// Copies file z from its start (its offset left alone) into file c: copy_file_range while the
// kernel can do it for this pair of files, then plain reads and writes, which also finish the job
// on file systems that report an early end to copy_file_range. Once the kernel has copied the
// `velikost` bytes the source's stat announced, the copy is complete: a source that grows meanwhile
// is copied up to the size it had when opened. Answers 0 or the errno; cteni tells whether the
// source failed.
int PrenestData(int z, int c, std::int64_t velikost, bool& cteni);

// One copy of a tree into an existing target folder.
struct KopieStromu {
  bool presun = false;    // a move: folders keep their permissions and times as well
  dev_t cilZarizeni = 0;  // the target root, never copied into itself when it lies
  ino_t cilUzel = 0;      // inside the source

  Vysledek Slozka(const std::string& z, const std::string& c) const;
  static void PrevzitSlozku(const std::string& c, const struct stat& st);
};

}  // namespace zevlon::ss
