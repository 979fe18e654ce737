#include "pomucky.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "tools/publikace/server.h"

namespace fs = std::filesystem;

namespace zevlon::bench {

namespace {
std::atomic<int> pripravenyPort{0};
void Pripraven(int port) {
  pripravenyPort = port;
}
}  // namespace

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double Zmerit(const std::function<void()>& f) {
  auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double SpustitProces(const std::vector<std::string>& argv, long* pametKiB) {
  auto t0 = std::chrono::steady_clock::now();
  pid_t pid = ::fork();
  if (pid == 0) {
    int nic = ::open("/dev/null", O_RDWR);
    ::dup2(nic, 1);
    ::dup2(nic, 2);
    std::vector<char*> c;
    for (auto& a : argv)
      c.push_back(const_cast<char*>(a.c_str()));
    c.push_back(nullptr);
    ::execvp(c[0], c.data());
    _exit(127);
  }
  int status = 0;
  rusage ru{};
  ::wait4(pid, &status, 0, &ru);
  if (pametKiB) *pametKiB = ru.ru_maxrss;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    throw std::runtime_error("command failed: " + argv[0]);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double ZmeritVPotomkovi(const std::function<double()>& f, long* pametKiB) {
  int roura[2];
  if (::pipe(roura) != 0) throw std::runtime_error("pipe");
  pid_t pid = ::fork();
  if (pid == 0) {
    ::close(roura[0]);
    double t = -1;
    try {
      t = f();
    } catch (...) {
    }
    (void)!::write(roura[1], &t, sizeof t);
    _exit(t < 0 ? 1 : 0);
  }
  ::close(roura[1]);
  double t = -1;
  (void)!::read(roura[0], &t, sizeof t);
  ::close(roura[0]);
  int status = 0;
  rusage ru{};
  ::wait4(pid, &status, 0, &ru);
  if (pametKiB) *pametKiB = ru.ru_maxrss;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error("child failed");
  return t;
}

void VytvoritStrom(const std::string& koren, int soubory, int slozky, std::size_t velikost,
                   unsigned semeno, long cas) {
  std::vector<std::string> cesty;
  for (int i = 0; i < slozky; ++i) {
    std::string s = koren + "/modul" + std::to_string(i % 25) + "/cast" + std::to_string(i);
    fs::create_directories(s);
    cesty.push_back(s);
  }
  std::string data(velikost, '\0');
  for (int i = 0; i < soubory; ++i) {
    for (std::size_t k = 0; k < velikost; ++k)
      data[k] = static_cast<char>('a' + (k * 7 + static_cast<std::size_t>(i) + semeno) % 26);
    std::string f =
        cesty[static_cast<std::size_t>(i % slozky)] + "/soubor" + std::to_string(i) + ".dat";
    std::ofstream(f, std::ios::binary)
        .write(data.data(), static_cast<std::streamsize>(data.size()));
    timespec casy[2] = {{0, UTIME_OMIT}, {cas, 0}};
    ::utimensat(AT_FDCWD, f.c_str(), casy, 0);
  }
}

Web::Web(const std::string& slozka) {
  pripravenyPort = 0;
  vlakno_ = std::thread([this, slozka] {
    publikace::NastaveniServeru n;
    n.slozka = slozka;
    n.port = 0;
    n.log = "/dev/null";
    publikace::Servirovat(n, konec_, Pripraven);
  });
  while (pripravenyPort == 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  port_ = pripravenyPort;
}

Web::~Web() {
  konec_ = true;
  vlakno_.join();
}

std::string DocasnaSlozka(const std::string& jmeno) {
  std::string s =
      (fs::temp_directory_path() / ("zevlon-bench-" + jmeno + "-" + std::to_string(::getpid())))
          .string();
  fs::remove_all(s);
  fs::create_directories(s);
  return s;
}

}  // namespace zevlon::bench
