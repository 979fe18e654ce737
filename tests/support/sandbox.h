// A temporary folder for one test, removed with everything in it when the test ends.
#pragma once

#include <string>
#include <string_view>

namespace zevlon::test {

class Sandbox {
 public:
  Sandbox();
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  // The folder, without a trailing separator.
  const std::string& Cesta() const { return cesta_; }
  // Cesta() + "/" + relativni.
  std::string operator/(std::string_view relativni) const;

  // Writes a file (creating its folders); answers its full path.
  std::string Zapsat(std::string_view relativni, std::string_view obsah) const;
  std::string Vytvorit(std::string_view relativni) const;  // a folder
  std::string Cist(std::string_view relativni) const;      // whole file; throws when missing

 private:
  std::string cesta_;
};

// Writes a file anywhere (creating its folders); answers the path.
std::string ZapsatSoubor(const std::string& cesta, std::string_view obsah);
// Reads a whole file; throws when it cannot.
std::string CistSoubor(const std::string& cesta);
bool Existuje(const std::string& cesta);

}  // namespace zevlon::test
