// Runs one operation of the program and prints its outcome, so that tests can run
// it as another user. Output: "ok" plus any result, or "chyba <number>\n<description>".
#include <cstdio>
#include <cstring>
#include <functional>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "common/chyba.h"

namespace {

using Prikaz = std::function<void(const std::vector<std::string>&)>;

std::map<std::string, Prikaz> Prikazy() {
  return {
      {"echo",
       [](const std::vector<std::string>& a) {
         for (auto& s : a)
           std::cout << s << "\n";
       }},
  };
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  auto prikazy = Prikazy();
  auto it = prikazy.find(argv[1]);
  if (it == prikazy.end()) {
    std::cout << "neznamy prikaz\n";
    return 2;
  }
  std::vector<std::string> argumenty(argv + 2, argv + argc);
  try {
    it->second(argumenty);
  } catch (const zevlon::Chyba& c) {
    std::cout << "chyba " << c.Cislo() << "\n" << c.Popis() << "\n";
    return 1;
  }
  return 0;
}
