// The one seam between the system's logic and whatever shows it to a person: the
// progress window's view, message boxes and the choice dialog. Backends: Qt (a
// display), terminal (a person at a terminal), silent (unattended); tests install a
// scripted fake. The logic never talks to a toolkit directly.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zevlon {

// Message box codes of the platform (buttons, icons and the answers).
namespace mb {
inline constexpr int kOk = 0;
inline constexpr int kOpakovatStorno = 5;
inline constexpr int kAnoNe = 4;
inline constexpr int kKriticka = 16;
inline constexpr int kOtaznik = 32;
inline constexpr int kVykricnik = 48;
inline constexpr int kInformace = 64;
inline constexpr int kSystemoveModalni = 4096;

inline constexpr int kIdOk = 1;
inline constexpr int kIdStorno = 2;
inline constexpr int kIdOpakovat = 4;
inline constexpr int kIdAno = 6;
inline constexpr int kIdNe = 7;
}  // namespace mb

// One progress report for the view, after the logic has mapped the meter. The texts
// are valid for the duration of the call only.
struct HlaseniPrubehu {
  std::string_view podnadpis;  // empty: leave the subheading as it is
  std::string_view zprava;     // always replaces the message line
  bool zmenitMetr = false;
  std::int32_t hotovo = 0;  // when zmenitMetr: draw hotovo of celkem (celkem 0 hides it)
  std::int32_t celkem = 0;
  bool stornoZobrazeno = false;
  bool zavritZobrazeno = false;
};

// Arguments of the choice dialog.
struct ParametryVolby {
  std::string zprava;    // main and secondary instruction joined by "@"
  std::string titulek;   // empty: "Dunmor Merko"
  std::string volby;     // rows separated by ";", each row's lines by "@"
  std::string poznamka;  // footer note, empty for none
  std::int32_t cislo = 0;
  std::string textZaskrtavatka;  // empty hides the check box
  bool zaskrtnuto = false;
};

class Rozhrani {
 public:
  virtual ~Rozhrani() = default;

  virtual void Prubeh(const HlaseniPrubehu& h) = 0;
  // Lets pending window events run (repaint, clicks on Storno, ...).
  virtual void ZpracovatUdalosti() = 0;
  // Whether the user asked to cancel (Storno, or closing the window while Storno
  // is shown). Never reset once set.
  virtual bool Zruseno() const = 0;
  // A modal message box; answers the button pressed (mb::kId...).
  virtual int Zprava(const std::string& text, int styl, const std::string& titulek) = 0;
  // The choice dialog; answers 0 for cancel or the row number from 1, +10 when
  // the check box is ticked.
  virtual int Volba(const ParametryVolby& p) = 0;
  // Whether no person can be asked through this interface: the run is then unattended.
  virtual bool BezObsluhy() const { return false; }
  // Whether the person sits at this process's terminal: a program started for them
  // (the temporary copy with its closing message) is to speak there too.
  virtual bool NaTerminalu() const { return false; }

  // The progress window's state changes that the run asks for.
  virtual void SkrytMoznosti() {}
  virtual void Minimalizovat() {}
  virtual void Obnovit() {}
  virtual void Zavrit() {}
  // Leaves the window to the user until they close it (Zavřít); returns then.
  virtual void CekatNaZavreni() {}
  // The address that the window's link to the release notes opens from now on.
  virtual void NastavitOdkazZmen(const std::string& adresa) { (void)adresa; }
  // The run's swaps begin (true) or are over (false): a face that relays the run to
  // another process (root's, for a profile's owner) tells it, so that its stop waits too.
  virtual void Vymeny(bool zacatek) { (void)zacatek; }
};

// The process-wide backend (silent until another is installed; the caller keeps
// ownership, nullptr restores the silent one).
Rozhrani& Ui();
void NastavitUi(Rozhrani* ui);

// Shows nothing, answers OK to every message and the default (0) to every choice.
class TicheRozhrani : public Rozhrani {
 public:
  void Prubeh(const HlaseniPrubehu&) override {}
  void ZpracovatUdalosti() override {}
  bool Zruseno() const override { return false; }
  int Zprava(const std::string&, int, const std::string&) override { return mb::kIdOk; }
  int Volba(const ParametryVolby&) override { return 0; }
  bool BezObsluhy() const override { return true; }
};

}  // namespace zevlon
