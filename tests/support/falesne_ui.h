// A scripted user interface for tests: records every progress report and message,
// answers messages and choices from queues (then with defaults), and can press
// Storno after a given number of reports.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>
#include <thread>
#include <vector>

#include "rozhrani/rozhrani.h"
#include "rozhrani/stav.h"

namespace zevlon::test {

// A progress report as the fake keeps it.
struct ZaznamHlaseni {
  std::string podnadpis;
  std::string zprava;
  bool zmenitMetr = false;
  std::int32_t hotovo = 0;
  std::int32_t celkem = 0;
  bool stornoZobrazeno = false;
  bool zavritZobrazeno = false;
};

struct ZaznamZpravy {
  std::string text;
  int styl = 0;
  std::string titulek;
};

class FalesneUi : public Rozhrani {
 public:
  // Installs itself and starts from a clean run state, whatever earlier tests of the
  // same process left behind.
  FalesneUi() {
    NastavitUi(this);
    RezimSystem = false;
    AktualniPolozka.clear();
    DocasneSlozky.clear();
    EtapaPrubehu = {};
  }
  ~FalesneUi() override { NastavitUi(nullptr); }

  void Prubeh(const HlaseniPrubehu& h) override {
    hlaseni.push_back({std::string(h.podnadpis), std::string(h.zprava), h.zmenitMetr, h.hotovo,
                       h.celkem, h.stornoZobrazeno, h.zavritZobrazeno});
    if (stornoPoHlaseni >= 0 && static_cast<int>(hlaseni.size()) >= stornoPoHlaseni) zruseno = true;
  }
  void ZpracovatUdalosti() override { ++udalosti; }
  bool Zruseno() const override { return zruseno; }
  int Zprava(const std::string& text, int styl, const std::string& titulek) override {
    std::this_thread::sleep_for(zdrzeni);
    zpravy.push_back({text, styl, titulek});
    if (odpovedi.empty()) return vychoziOdpoved;
    int o = odpovedi.front();
    odpovedi.pop_front();
    return o;
  }
  int Volba(const ParametryVolby& p) override {
    volby.push_back(p);
    if (odpovediVoleb.empty()) return 0;
    int o = odpovediVoleb.front();
    odpovediVoleb.pop_front();
    return o;
  }
  bool NaTerminalu() const override { return terminal; }
  void SkrytMoznosti() override { moznostiSkryty = true; }
  void Minimalizovat() override { ++minimalizovano; }
  void Obnovit() override { ++obnoveno; }
  void Zavrit() override { zavreno = true; }
  void CekatNaZavreni() override { ++cekaniNaZavreni; }

  std::vector<ZaznamHlaseni> hlaseni;
  std::vector<ZaznamZpravy> zpravy;
  std::vector<ParametryVolby> volby;
  std::deque<int> odpovedi;       // answers to Zprava, in order
  std::deque<int> odpovediVoleb;  // answers to Volba, in order
  int vychoziOdpoved = mb::kIdNe;
  std::chrono::milliseconds zdrzeni{0};  // how long the person takes over a message
  int stornoPoHlaseni = -1;              // press Storno when this many reports were made
  bool terminal = false;                 // the person sits at the process's terminal
  bool zruseno = false;
  int udalosti = 0;
  bool moznostiSkryty = false;
  int minimalizovano = 0;
  int obnoveno = 0;
  bool zavreno = false;
  int cekaniNaZavreni = 0;
};

}  // namespace zevlon::test
