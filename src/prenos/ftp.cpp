#include "prenos/ftp.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <exception>
#include <random>
#include <vector>

#include "common/chyba.h"
#include "common/text.h"
#include "platform/platforma.h"
#include "platform/soubor.h"
#include "platform/souborovy_system.h"
#include "prenos/ftp_seznam.h"
#include "prenos/ftp_spojeni.h"
#include "rozhrani/pomucky.h"
#include "rozhrani/rozhrani.h"

namespace zevlon {

namespace {

constexpr const char* kZdroj = "CFTPManager";
constexpr const char* kTextZrusenoFtp = "Operace zrušena uživatelem.";

const char* PopisKodu(std::int32_t kod) {
  switch (kod) {
    case ftpkod::kNeplatnyPopisovac:
      return "Popisovač je neplatný.";
    case ftpkod::kNeplatnyNazev:
      return "Syntaxe názvu souboru, názvu adresáře nebo jmenovky svazku je nesprávná.";
    case ftpkod::kCasovyLimit:
      return "Vypršel časový limit operace.";
    case ftpkod::kRozsirenaChyba:
      return "Server vrátil rozšířenou informaci o chybě.";
    case ftpkod::kNeplatnaAdresa:
      return "Adresa URL je neplatná.";
    case ftpkod::kNeznamyServer:
      return "Název serveru nelze přeložit na adresu.";
    case ftpkod::kNespravneHeslo:
      return "Nesprávné heslo nebo uživatelské jméno.";
    case ftpkod::kNelzeSePripojit:
      return "Nelze se připojit k serveru.";
    case ftpkod::kSpojeniPreruseno:
      return "Spojení se serverem bylo přerušeno.";
    case ftpkod::kNeplatnaOdpoved:
      return "Server vrátil neplatnou nebo nerozpoznanou odpověď.";
    default:
      return "Došlo k vnitřní chybě.";
  }
}

bool PismenoNeboCislice(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 0x80;
}

void Zakryt(std::string& text, const std::string& udaj, bool jenSlova) {
  if (udaj.empty()) return;
  std::size_t i = 0;
  while ((i = text.find(udaj, i)) != std::string::npos) {
    std::size_t konec = i + udaj.size();
    bool celeSlovo = (i == 0 || !PismenoNeboCislice(text[i - 1])) &&
                     (konec == text.size() || !PismenoNeboCislice(text[konec]));
    if (jenSlova && !celeSlovo) {
      i = konec;
      continue;
    }
    text.replace(i, udaj.size(), "***");
    i += 3;
  }
}

// The file name after the last "/".
std::string JmenoZCesty(const std::string& cesta) {
  auto i = cesta.rfind('/');
  return i == std::string::npos ? cesta : cesta.substr(i + 1);
}

// The folder part before the last "/" ("" when there is none, "/" for the root).
std::string SlozkaZCesty(const std::string& cesta) {
  auto i = cesta.rfind('/');
  if (i == std::string::npos) return {};
  return i == 0 ? "/" : cesta.substr(0, i);
}

std::string Spojit(const std::string& slozka, const std::string& jmeno) {
  return slozka == "/" ? "/" + jmeno : slozka + "/" + jmeno;
}

// An error of a local file, as the file operations word it, naming the file.
Chyba ChybaLokalniho(int cislo, const std::string& cesta, const char* co) {
  ss::Vysledek v = ss::ChybaSystemu(cislo, cesta);
  return Chyba(v.kod, std::string(co) + " " + cesta + ": " + v.popis, kZdroj);
}

// A temporary file beside the target of a download, removed unless it was renamed
// into place.
class DocasnySoubor {
 public:
  explicit DocasnySoubor(const std::string& cil) {
    std::random_device nahoda;
    for (int pokus = 0; pokus < 100 && !fd_.Platny(); ++pokus) {
      std::string jmeno = cil + "." + std::to_string(::getpid()) + "-" +
                          std::to_string(nahoda() % 1000000u) + ".part";
      fd_ = Popisovac(::open(jmeno.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
      if (fd_.Platny())
        cesta_ = jmeno;
      else if (errno != EEXIST)
        break;
    }
    if (!fd_.Platny()) throw ChybaLokalniho(errno, cil, "Soubor nelze vytvořit:");
  }
  DocasnySoubor(const DocasnySoubor&) = delete;
  DocasnySoubor& operator=(const DocasnySoubor&) = delete;
  ~DocasnySoubor() {
    fd_.Zavrit();
    if (!cesta_.empty()) ::unlink(cesta_.c_str());
  }

  int Fd() const { return fd_.Fd(); }
  // Closes the file and puts it in place of the target.
  void Predat(const std::string& cil) {
    if (int e = fd_.Zavrit()) throw ChybaLokalniho(e, cil, "Soubor nelze zapsat:");
    if (::rename(cesta_.c_str(), cil.c_str()) != 0)
      throw ChybaLokalniho(errno, cil, "Soubor nelze zapsat:");
    cesta_.clear();
  }

 private:
  Popisovac fd_;
  std::string cesta_;
};

}  // namespace

std::string TextChybyFtp(std::int32_t kod, const std::string& odpovedServeru) {
  std::string text = "Chyba " + std::to_string(kod) + "\r\n" + PopisKodu(kod);
  if (kod == ftpkod::kRozsirenaChyba && !odpovedServeru.empty()) text += "\r\n" + odpovedServeru;
  return text;
}

std::string ZakrytPrihlasovaciUdaje(std::string text, const std::string& uzivatel,
                                    const std::string& heslo) {
  // The longer one first, so that a user name inside the password cannot leave the
  // rest of the password standing.
  if (uzivatel.size() > heslo.size()) {
    Zakryt(text, uzivatel, true);
    Zakryt(text, heslo, heslo.size() < 4);
  } else {
    Zakryt(text, heslo, heslo.size() < 4);
    Zakryt(text, uzivatel, true);
  }
  return text;
}

std::int32_t CisloPortu(const std::string& port) {
  std::string s;
  for (char c : port)
    if (c != ' ' && c != '\t' && c != '\n' && c != '\r') s += c;
  // The longest prefix that reads as a decimal number.
  std::size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  std::size_t cislice = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
    ++i;
    ++cislice;
  }
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
      ++i;
      ++cislice;
    }
  }
  if (cislice == 0) return 0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
    std::size_t j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
    std::size_t k = j;
    while (k < s.size() && s[k] >= '0' && s[k] <= '9')
      ++k;
    if (k > j) i = k;
  }
  std::string cislo = s.substr(s[0] == '+' ? 1 : 0, i - (s[0] == '+' ? 1 : 0));
  for (char& c : cislo)
    if (c == 'd' || c == 'D') c = 'e';
  // from_chars, unlike strtod, reads "." whatever the process's locale says.
  double hodnota = 0;
  auto r = std::from_chars(cislo.data(), cislo.data() + cislo.size(), hodnota);
  if (r.ec == std::errc::result_out_of_range)  // too large, or too close to zero
    hodnota = cislo.find("e-") != std::string::npos ? 0.0 : HUGE_VAL;
  double zaokrouhleno = std::nearbyint(hodnota);  // half to even
  if (!(zaokrouhleno >= -32768.0 && zaokrouhleno <= 32767.0))
    throw Chyba(kod::kPreteceni, "Přetečení", std::string(kZdroj) + "::FtpOpen");
  return static_cast<std::int32_t>(
      static_cast<std::uint16_t>(static_cast<std::int32_t>(zaokrouhleno)));
}

CFTPManager::CFTPManager() = default;

CFTPManager::~CFTPManager() = default;

bool CFTPManager::Pripojeno() {
  if (spojeni_) return true;
  Zaznamenat(ftpkod::kNeplatnyPopisovac);
  return false;
}

void CFTPManager::Zaznamenat(std::int32_t kod, const std::string& odpovedServeru) {
  FtpError = ZakrytPrihlasovaciUdaje(TextChybyFtp(kod, odpovedServeru), Uzivatel, Heslo);
  FtpSuccess = false;
}

bool CFTPManager::AbsolutniCesta(const std::string& cesta, std::string& vysledek) {
  for (unsigned char c : cesta)
    if (c < 0x20 || c == 0x7f) {
      Zaznamenat(ftpkod::kNeplatnyNazev);
      return false;
    }
  std::string cela = !cesta.empty() && cesta[0] == '/' ? cesta : slozka_ + "/" + cesta;
  std::vector<std::string> casti;
  for (std::string& cast : Rozdelit(cela, '/')) {
    if (cast.empty() || cast == ".") continue;
    if (cast == "..") {
      if (!casti.empty()) casti.pop_back();
      continue;
    }
    casti.push_back(std::move(cast));
  }
  vysledek.clear();
  for (const std::string& cast : casti)
    vysledek += "/" + cast;
  if (vysledek.empty()) vysledek = "/";
  return true;
}

void CFTPManager::Ohlasit(bool upload, const std::string& soubor, std::int64_t hotovo,
                          std::int64_t celkem) {
  if (!FTPResponse) return;
  bool bolUpload = upload;
  std::string strSoubor = soubor;
  std::int32_t iCancel = 0;
  FTPResponse(bolUpload, strSoubor, hotovo, celkem, iCancel);
  if (iCancel != 0) throw Chyba(kChybaUzivatele, kTextZrusenoFtp, kZdroj);
}

void CFTPManager::Pockat(std::int32_t sekundy) {
  if (sekundy <= 0) return;
  const auto konec = platforma().Monotonni() + std::chrono::seconds(sekundy);
  while (platforma().Monotonni() < konec) {
    Ui().ZpracovatUdalosti();
    platforma().Uspat(std::chrono::milliseconds(20));
  }
}

bool CFTPManager::FtpOpen() {
  FtpSuccess = false;
  const std::int32_t port = CisloPortu(Port);
  spojeni_.reset();
  slozka_ = "/";
  auto spojeni = std::make_unique<Spojeni>();
  Spojeni::Udaje udaje;
  udaje.server = URL;
  udaje.port = static_cast<std::uint16_t>(port);
  udaje.uzivatel = Uzivatel;
  udaje.heslo = Heslo;
  udaje.pasivni = PasivniRezim;
  Spojeni::Vysledek v = spojeni->Prihlasit(udaje);
  if (!v.Uspech()) {
    Zaznamenat(v.kod, v.odpoved);
    return FtpSuccess;
  }
  slozka_ = spojeni->VychoziSlozka();
  spojeni_ = std::move(spojeni);
  FtpSuccess = true;
  return FtpSuccess;
}

bool CFTPManager::FtpClose() {
  spojeni_.reset();
  slozka_ = "/";
  FtpSuccess = true;
  return true;
}

std::string CFTPManager::FtpCurrDir() {
  FtpSuccess = false;
  if (!Pripojeno()) return {};
  FtpSuccess = true;
  return slozka_;
}

void CFTPManager::FtpCurrDir(const std::string& strDir) {
  FtpSuccess = false;
  std::string cesta;
  if (!Pripojeno() || !AbsolutniCesta(strDir, cesta)) return;
  Spojeni::Vysledek v = spojeni_->OveritSlozku(cesta);
  if (!v.Uspech()) {
    Zaznamenat(v.kod, v.odpoved);
    return;
  }
  slozka_ = cesta;
  FtpSuccess = true;
}

bool CFTPManager::FtpFolderExists(const std::string& strDir) {
  const std::string slozka = slozka_;
  const bool uspech = FtpSuccess;
  FtpCurrDir(strDir);
  const bool existuje = FtpSuccess;
  // Going back needs no look at the server: the folder was current a moment ago.
  slozka_ = slozka;
  FtpSuccess = uspech;
  return existuje;
}

bool CFTPManager::FtpMkDir(const std::string& strDir) {
  FtpSuccess = false;
  std::string cesta;
  if (!Pripojeno() || !AbsolutniCesta(strDir, cesta)) return FtpSuccess;
  Spojeni::Vysledek v = spojeni_->Prikaz("MKD " + cesta);
  if (!v.Uspech()) {
    Zaznamenat(v.kod, v.odpoved);
    return FtpSuccess;
  }
  FtpSuccess = true;
  return FtpSuccess;
}

void CFTPManager::FtpMkDirExtended(const std::string& Slozka) {
  // Runs one step; an error raised in it is shown, and the step runs again when the
  // user answers Opakovat. False when the operation is to end.
  auto krok = [](auto&& f) {
    for (;;) {
      try {
        f();
        return true;
      } catch (const std::exception& e) {
        Chyba c = JakoChyba(e);
        if (ZobrazChybu(Chyba(c.Cislo(), c.Popis(), std::string(kZdroj) + "::FtpMkDirExtended")) !=
            mb::kIdOpakovat)
          return false;
      }
    }
  };

  std::string cesta = Slozka;
  if (!cesta.empty() && cesta.back() == '/') cesta.pop_back();
  if (!cesta.empty() && cesta.front() == '/') cesta.erase(0, 1);

  bool existuje = false;
  if (!krok([&] { existuje = FtpFolderExists("/" + cesta); }) || existuje) return;
  std::string predpona;
  for (const std::string& cast : Rozdelit(cesta, '/')) {
    predpona += "/" + cast;
    if (!krok([&] {
          if (!FtpFolderExists(predpona)) FtpMkDir(predpona);
        }))
      return;
  }
}

void CFTPManager::FtpDir(const std::string& strMask) {
  FtpSuccess = false;
  FtpSeznamSouboru = KlicovanySeznam<CFTPFile>();
  std::string slozka;
  if (!Pripojeno() || !AbsolutniCesta(SlozkaZCesty(strMask), slozka)) return;
  const std::string maska = JmenoZCesty(strMask);

  std::string data;
  Spojeni::Vysledek v = spojeni_->Vypsat(slozka, data);
  if (!v.Uspech()) {
    Zaznamenat(v.kod, v.odpoved);
    return;
  }
  std::vector<ftp::PolozkaSeznamu> polozky =
      spojeni_->UmiMlsd()
          ? ftp::ParsovatMlsd(data)
          : ftp::ParsovatList(data, std::chrono::system_clock::to_time_t(platforma().Ted()));
  for (ftp::PolozkaSeznamu& p : polozky) {
    if (!maska.empty() && !OdpovidaMasceSouboru(p.nazev, maska)) continue;
    auto soubor = std::make_shared<CFTPFile>();
    soubor->Nazev = std::move(p.nazev);
    soubor->Velikost = p.velikost;
    soubor->DatumPosledniZmeny = p.zmena;
    soubor->DatumPoslednihoPristupu = p.zmena;
    soubor->DatumVzniku = p.vznik;
    PodZdrojem(std::string(kZdroj) + "::FtpDir",
               [&] { FtpSeznamSouboru.Pridat(soubor->Nazev, soubor); });
  }
  FtpSuccess = true;
}

bool CFTPManager::FtpFileExist(const std::string& strSoubor, std::int64_t iSize) {
  FtpDir(strSoubor);
  if (FtpSeznamSouboru.Prazdny()) return false;
  const CFTPFile& prvni = *FtpSeznamSouboru.begin()->hodnota;
  bool odpoved = StejnyText(prvni.Nazev, JmenoZCesty(strSoubor));
  if (iSize > 0) odpoved = odpoved && prvni.Velikost == iSize;
  return odpoved;
}

bool CFTPManager::FtpDelete(const std::string& strSoubor) {
  FtpSuccess = false;
  const bool existuje = FtpFileExist(strSoubor);
  if (!FtpSuccess) return false;  // the listing failed: its error stands
  if (!existuje) return FtpSuccess = true;

  // The name as the server lists it, which may differ from strSoubor in case.
  std::string slozka;
  if (!AbsolutniCesta(SlozkaZCesty(strSoubor), slozka)) return false;
  const std::string cesta = Spojit(slozka, FtpSeznamSouboru.begin()->hodnota->Nazev);
  FtpSuccess = false;
  Spojeni::Vysledek v = spojeni_->Prikaz("DELE " + cesta);
  if (!v.Uspech()) {
    Zaznamenat(v.kod, v.odpoved);
    return FtpSuccess;
  }
  const bool zustal = FtpFileExist(strSoubor);
  if (!FtpSuccess) return false;
  FtpSuccess = !zustal;
  return FtpSuccess;
}

void CFTPManager::FtpPut(const std::string& strLokalniSoubor, const std::string& strVzdalenySoubor,
                         std::int32_t iVelikostFragmentu) {
  FtpSuccess = false;
  try {
    if (iVelikostFragmentu <= 0)
      throw Chyba(kod::kNeplatnyArgument, "Neplatné volání procedury nebo argument", kZdroj);
    std::string cesta;
    if (!Pripojeno() || !AbsolutniCesta(strVzdalenySoubor, cesta)) return;

    // Non-blocking, so that a pipe under the name cannot stall the open; reads of a
    // regular file do not care.
    Popisovac fd(::open(strLokalniSoubor.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd.Platny()) throw ChybaLokalniho(errno, strLokalniSoubor, "Soubor nelze otevřít:");
    struct stat st {};
    if (::fstat(fd.Fd(), &st) != 0)
      throw ChybaLokalniho(errno, strLokalniSoubor, "Soubor nelze otevřít:");
    if (!S_ISREG(st.st_mode))
      throw ChybaLokalniho(EISDIR, strLokalniSoubor, "Soubor nelze otevřít:");
    const std::int64_t delka = st.st_size;
    const std::int64_t fragment = iVelikostFragmentu;

    // The fragment event is raised when libcurl asks for the data after a finished
    // fragment, that is once the fragment has been taken for sending; the last event
    // (the rest, possibly of no bytes) when it asks after the end of the file.
    std::int64_t odeslano = 0;
    std::int64_t vFragmentu = 0;
    bool fragmentHotov = false;
    bool posledniOhlasen = false;
    std::exception_ptr chyba;
    Spojeni::Cteni cteni = [&](char* buffer, std::size_t velikost) -> std::size_t {
      try {
        if (fragmentHotov) {
          fragmentHotov = false;
          Ohlasit(true, strLokalniSoubor, odeslano, delka);
        }
        if (odeslano == delka) {
          if (!posledniOhlasen) {
            posledniOhlasen = true;
            Ohlasit(true, strLokalniSoubor, odeslano, delka);
          }
          return 0;
        }
        std::int64_t n = std::min<std::int64_t>(
            {static_cast<std::int64_t>(velikost), fragment - vFragmentu, delka - odeslano});
        ssize_t precteno;
        do {
          precteno = ::read(fd.Fd(), buffer, static_cast<std::size_t>(n));
        } while (precteno < 0 && errno == EINTR);
        if (precteno < 0) throw ChybaLokalniho(errno, strLokalniSoubor, "Soubor nelze číst:");
        if (precteno == 0)
          throw Chyba(kod::kChybaPristupuKCeste,
                      "Soubor " + strLokalniSoubor + " se během odesílání zkrátil.", kZdroj);
        odeslano += precteno;
        vFragmentu += precteno;
        if (vFragmentu == fragment) {
          vFragmentu = 0;
          fragmentHotov = true;
        }
        return static_cast<std::size_t>(precteno);
      } catch (...) {
        chyba = std::current_exception();
        return Spojeni::kPrerusit;
      }
    };
    Spojeni::Vysledek v = spojeni_->Nahrat(cesta, cteni);
    if (chyba) std::rethrow_exception(chyba);
    if (!v.Uspech()) {
      Zaznamenat(v.kod, v.odpoved);
      return;
    }
    if (fragmentHotov) Ohlasit(true, strLokalniSoubor, odeslano, delka);
    if (!posledniOhlasen) Ohlasit(true, strLokalniSoubor, odeslano, delka);
    fd.Zavrit();
    // The upload counts only when the server lists the file with the local length.
    FtpSuccess = FtpFileExist(strVzdalenySoubor, delka);
  } catch (const std::exception& e) {
    FtpSuccess = false;
    FtpError = JakoChyba(e).Popis();
  }
}

void CFTPManager::FtpPutLoop(const std::string& strLokalniSoubor,
                             const std::string& strVzdalenySoubor,
                             std::int32_t iVelikostFragmentu) {
  try {
    for (std::int32_t pokus = 1;; ++pokus) {
      if (FtpFileExist(strVzdalenySoubor)) FtpDelete(strVzdalenySoubor);
      FtpPut(strLokalniSoubor, strVzdalenySoubor, iVelikostFragmentu);
      if (FtpSuccess || pokus >= PocetPokusu) break;
      Pockat(Prodleva);
    }
  } catch (const std::exception& e) {
    FtpSuccess = false;
    FtpError = JakoChyba(e).Popis();
  }
}

void CFTPManager::FtpGet(const std::string& strVzdalenySoubor, const std::string& strLokalniSoubor,
                         std::int32_t iVelikostFragmentu) {
  FtpSuccess = false;
  try {
    if (iVelikostFragmentu <= 0)
      throw Chyba(kod::kNeplatnyArgument, "Neplatné volání procedury nebo argument", kZdroj);
    FtpDir(strVzdalenySoubor);
    if (!FtpSuccess) return;  // the listing failed: its error stands
    FtpSuccess = false;
    if (FtpSeznamSouboru.Pocet() != 1)
      throw Chyba(kChybaUzivatele, "Vzdálený soubor " + strVzdalenySoubor + " neexistuje.", kZdroj);
    const CFTPFile& zaznam = *FtpSeznamSouboru.begin()->hodnota;
    const std::int64_t velikost = zaznam.Velikost;
    std::string slozka;
    if (!AbsolutniCesta(SlozkaZCesty(strVzdalenySoubor), slozka)) return;
    const std::string cesta = Spojit(slozka, zaznam.Nazev);
    const std::int64_t fragment = iVelikostFragmentu;

    DocasnySoubor docasny(strLokalniSoubor);
    std::int64_t prijato = 0;
    std::int64_t ohlaseno = 0;
    std::exception_ptr chyba;
    Spojeni::Zapis zapis = [&](const char* data, std::size_t n) {
      try {
        if (int e = ZapsatVse(docasny.Fd(), std::string_view(data, n)))
          throw ChybaLokalniho(e, strLokalniSoubor, "Soubor nelze zapsat:");
        prijato += static_cast<std::int64_t>(n);
        while (prijato - ohlaseno >= fragment) {
          ohlaseno += fragment;
          Ohlasit(false, strLokalniSoubor, ohlaseno, velikost);
        }
        return true;
      } catch (...) {
        chyba = std::current_exception();
        return false;
      }
    };
    Spojeni::Vysledek v = spojeni_->Stahnout(cesta, zapis);
    if (chyba) std::rethrow_exception(chyba);
    if (!v.Uspech()) {
      Zaznamenat(v.kod, v.odpoved);
      return;
    }
    Ohlasit(false, strLokalniSoubor, prijato, velikost);
    struct stat st {};
    if (::fstat(docasny.Fd(), &st) != 0)
      throw ChybaLokalniho(errno, strLokalniSoubor, "Soubor nelze zapsat:");
    // The download counts only when the file has the listed size; otherwise the
    // temporary file goes and the target stays as it was.
    if (st.st_size != velikost) return;
    docasny.Predat(strLokalniSoubor);
    FtpSuccess = true;
  } catch (const std::exception& e) {
    FtpSuccess = false;
    FtpError = JakoChyba(e).Popis();
  }
}

}  // namespace zevlon
