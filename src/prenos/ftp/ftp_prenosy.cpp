// File transfers of CFTPManager: FtpPut, its retrying FtpPutLoop and FtpGet, with the
// fragment events they raise, and the temporary file a download is written to before
// it takes the target's place.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <exception>
#include <random>
#include <string>

#include "common/chyba.h"
#include "platform/nahrady/platforma.h"
#include "platform/soubory/soubor.h"
#include "platform/soubory/souborovy_system.h"
#include "prenos/ftp/ftp.h"
#include "prenos/ftp/ftp_spojeni.h"
#include "prenos/ftp/ftp_vnitrni.h"
#include "rozhrani/rozhrani.h"

namespace zevlon {

namespace {

constexpr const char* kTextZrusenoFtp = "Operace zrušena uživatelem.";

// An error of a local file, as the file operations word it, naming the file.
Chyba ChybaLokalniho(int cislo, const std::string& cesta, const char* co) {
  ss::Vysledek v = ss::ChybaSystemu(cislo, cesta);
  return Chyba(v.kod, std::string(co) + " " + cesta + ": " + v.popis, ftp::kZdroj);
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

void CFTPManager::Ohlasit(bool upload, const std::string& soubor, std::int64_t hotovo,
                          std::int64_t celkem) {
  if (!FTPResponse) return;
  bool bolUpload = upload;
  std::string strSoubor = soubor;
  std::int32_t iCancel = 0;
  FTPResponse(bolUpload, strSoubor, hotovo, celkem, iCancel);
  if (iCancel != 0) throw Chyba(kChybaUzivatele, kTextZrusenoFtp, ftp::kZdroj);
}

void CFTPManager::Pockat(std::int32_t sekundy) {
  if (sekundy <= 0) return;
  const auto konec = platforma().Monotonni() + std::chrono::seconds(sekundy);
  while (platforma().Monotonni() < konec) {
    Ui().ZpracovatUdalosti();
    platforma().Uspat(std::chrono::milliseconds(20));
  }
}

void CFTPManager::FtpPut(const std::string& strLokalniSoubor, const std::string& strVzdalenySoubor,
                         std::int32_t iVelikostFragmentu) {
  FtpSuccess = false;
  try {
    if (iVelikostFragmentu <= 0)
      throw Chyba(kod::kNeplatnyArgument, "Neplatné volání procedury nebo argument", ftp::kZdroj);
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
                      "Soubor " + strLokalniSoubor + " se během odesílání zkrátil.", ftp::kZdroj);
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
                         std::int32_t iVelikostFragmentu, const MezeStazeniFtp& meze) {
  FtpSuccess = false;
  try {
    if (iVelikostFragmentu <= 0)
      throw Chyba(kod::kNeplatnyArgument, "Neplatné volání procedury nebo argument", ftp::kZdroj);
    FtpDir(strVzdalenySoubor);
    if (!FtpSuccess) return;  // the listing failed: its error stands
    FtpSuccess = false;
    if (FtpSeznamSouboru.Pocet() != 1)
      throw Chyba(kChybaUzivatele, "Vzdálený soubor " + strVzdalenySoubor + " neexistuje.",
                  ftp::kZdroj);
    const CFTPFile& zaznam = *FtpSeznamSouboru.begin()->hodnota;
    const std::int64_t velikost = zaznam.Velikost;
    const auto prilisVelky = [&] {
      return Chyba(kChybaUzivatele,
                   "Vzdálený soubor " + strVzdalenySoubor + " je větší, než dovoluje snímek (" +
                       std::to_string(meze.maxBajtu) + " B).",
                   ftp::kZdroj);
    };
    if (meze.maxBajtu > 0 && velikost > meze.maxBajtu) throw prilisVelky();
    std::string slozka;
    if (!AbsolutniCesta(ftp::SlozkaZCesty(strVzdalenySoubor), slozka)) return;
    const std::string cesta = ftp::Spojit(slozka, zaznam.Nazev);
    const std::int64_t fragment = iVelikostFragmentu;

    DocasnySoubor docasny(strLokalniSoubor);
    std::int64_t prijato = 0;
    std::int64_t ohlaseno = 0;
    std::exception_ptr chyba;
    Spojeni::Zapis zapis = [&](const char* data, std::size_t n) {
      try {
        if (meze.maxBajtu > 0 && prijato + static_cast<std::int64_t>(n) > meze.maxBajtu)
          throw prilisVelky();
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
    Spojeni::Vysledek v = spojeni_->Stahnout(cesta, zapis, meze);
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
