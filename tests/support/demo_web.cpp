#include "support/demo_web.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace fs = std::filesystem;

namespace zevlon::test {

DemoWeb::DemoWeb(const Sandbox& s) : s_(s) {
  fs::create_directories(s_ / "www/aktualizace-online");
  int vystup = ::open((s_ / "server.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  server_ = SpustitNaPozadi(
      {ZEVLON_PUBLIKOVAT, "servirovat", "--port", "0", "--log", s_ / "pristupy.log", s_ / "www"},
      {}, vystup);
  ::close(vystup);
  for (int i = 0; i < 100 && port_ == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::string t = fs::exists(s_ / "server.txt") ? s_.Cist("server.txt") : "";
    auto p = t.find("127.0.0.1:");
    if (p != std::string::npos) port_ = std::stoi(t.substr(p + 10));
  }
  if (port_ == 0) throw std::runtime_error("the site server did not start");
}

DemoWeb::~DemoWeb() {
  if (server_ > 0) {
    ::kill(server_, SIGTERM);
    ::waitpid(server_, nullptr, 0);
  }
}

void DemoWeb::Vydani(const std::string& cesta, const std::string& obsah) {
  s_.Zapsat("vydani/" + cesta, obsah);
}

void DemoWeb::Publikovat(const std::string& vydani, const std::vector<std::string>& dalsi) {
  std::vector<std::string> argv{ZEVLON_PUBLIKOVAT, "vydat",     "--vydani", vydani,
                                "--adresa",        AdresaWebu()};
  argv.insert(argv.end(), dalsi.begin(), dalsi.end());
  argv.push_back(s_ / "vydani");
  argv.push_back(s_ / "www/aktualizace-online");
  auto v = Spustit(argv);
  if (v.kod != 0) throw std::runtime_error("publishing failed: " + v.vystup);
}

void DemoWeb::Instalace(const std::string& cesta, const std::string& obsah) {
  // Installed long before the release was made.
  std::string soubor = s_.Zapsat("data/Firma/" + cesta, obsah);
  timespec casy[2] = {{0, UTIME_OMIT}, {1393632000, 0}};  // 2014-03-01
  ::utimensat(AT_FDCWD, soubor.c_str(), casy, 0);
}

void DemoWeb::PripravitProgram() {
  s_.Zapsat("registry.reg",
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dunmor\\Merko\\12.0\\Aplikace]\r\n"
            "\"Slozka_Merka\"=\"" +
                (s_ / "merko12/") + "\"\r\n");
  s_.Zapsat("merko12/Merko.ini", "[Profily]\r\nFirma=" + Profil() + "\r\n");
  fs::create_directories(s_ / "temp");
  fs::create_directories(s_ / "program");
  fs::copy_file(ZEVLON_PROGRAM, s_ / "program/Zevlon", fs::copy_options::overwrite_existing);
  s_.Zapsat("program/Zevlon.ini", "[Server]\r\nAdresa=" + AdresaWebu() +
                                      "\r\n[Nastaveni]\r\nSlozkaDat=" + Profil() + "\r\n");
}

std::vector<std::string> DemoWeb::ProstrediZevlonu() const {
  return {"TEMP=" + (s_ / "temp"), "DUNMOR_REGISTRY=" + (s_ / "registry.reg")};
}

VysledekProcesu DemoWeb::SpustitZevlon(const std::vector<std::string>& argumenty,
                                       const std::vector<std::string>& pred) {
  std::vector<std::string> argv = pred;
  argv.push_back(s_ / "program/Zevlon");
  argv.insert(argv.end(), argumenty.begin(), argumenty.end());
  return Spustit(argv, ProstrediZevlonu());
}

bool DemoWeb::SpustitZevlonAZabit(std::chrono::microseconds po) {
  int nic = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  pid_t pid = SpustitNaPozadi({s_ / "program/Zevlon"}, ProstrediZevlonu(), nic);
  ::close(nic);
  std::this_thread::sleep_for(po);
  int status = 0;
  bool zabit = ::waitpid(pid, &status, WNOHANG) == 0;
  if (zabit) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
  }
  return zabit;
}

std::vector<std::string> DemoWeb::NovePozadavky() {
  std::string log = fs::exists(s_ / "pristupy.log") ? s_.Cist("pristupy.log") : "";
  std::vector<std::string> cesty;
  std::istringstream radky(log.substr(precteno_));
  precteno_ = log.size();
  std::string radek;
  while (std::getline(radky, radek)) {
    std::istringstream pole(radek);
    std::string cas, metoda, cesta;
    pole >> cas >> metoda >> cesta;
    cesty.push_back(cesta.substr(0, cesta.find('?')));
  }
  return cesty;
}

bool DemoWeb::ZbylySourozenci() const {
  for (const auto& e : fs::recursive_directory_iterator(s_.Cesta()))
    if (e.path().filename().string().find("dwnld_") != std::string::npos) return true;
  return false;
}

}  // namespace zevlon::test
