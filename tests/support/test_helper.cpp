// Runs one operation of the program and prints its outcome, so that tests can run
// it as another user. Output: what the command prints, or on an error
// "chyba <number>\n<description>\n" with exit status 1.
#include <iostream>
#include <string>
#include <vector>

#include "common/chyba.h"
#include "support/helper/prikazy.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  auto prikazy = zevlon::test::VsechnyPrikazy();
  auto it = prikazy.find(argv[1]);
  if (it == prikazy.end()) {
    std::cout << "neznamy prikaz " << argv[1] << "\n";
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
