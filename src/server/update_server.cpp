#include "server/update_server.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>

#include "common/text.h"
#include "platform/http/http.h"
#include "platform/soubory/soukromy_temp.h"
#include "prenos/ftp/ftp.h"
#include "prenos/stahovani/stahovani.h"
#include "prenos/zip/mzip32.h"
#include "rozhrani/pomucky.h"
#include "soubory/cesty.h"
#include "soubory/log.h"
#include "soubory/operace_slozek.h"
#include "soubory/operace_souboru.h"

namespace zevlon {

namespace {

constexpr std::int32_t kFragment = 8192;

void Zaznamenat(const std::string& text) {
  ZapsatDoLogu(kPrenosovyLog, text);
}

// Where one record travels: its folder part and the names on both sides.
struct Cesty {
  std::string vzdalenaSlozka, vzdalenySoubor, mistniSlozka, mistniSoubor, nazevPrenosu;
};

Cesty CestyZaznamu(const InstalovanySoubor& z, const std::string& vzdalena,
                   const std::string& mistni, const std::string& suffix) {
  std::string p, n;
  RozdelitCestu(z.Cesta, p, n);
  Cesty c;
  c.nazevPrenosu = n + suffix;
  c.vzdalenaSlozka = vzdalena + p;
  c.vzdalenySoubor = c.vzdalenaSlozka + c.nazevPrenosu;
  c.mistniSlozka = mistni + p;
  c.mistniSoubor = c.mistniSlozka + c.nazevPrenosu;
  return c;
}

// A record that may travel: a path inside its folder and no blank on either side.
bool Prenositelny(const InstalovanySoubor& z, const Cesty& c) {
  return JeBezpecnaRelativniCesta(z.Cesta) && c.vzdalenySoubor.find(' ') == std::string::npos &&
         c.mistniSoubor.find(' ') == std::string::npos;
}

// A text of the FTP client on one line.
std::string JednimRadkem(const std::string& text) {
  return NahraditVse(NahraditVse(text, "\r\n", " "), "\n", " ");
}

// One FTP session for a set of records: fn is called per record that may travel and
// answers why it did not (empty when it did).
template <typename F>
void Relace(const UpdateServer& u, ZpravaPrenosu& zprava, SeznamSouboru& soubory,
            const std::string& mistni, const std::string& suffix, F&& fn) {
  zprava.spojeni.clear();
  for (const auto& p : soubory) {
    p.hodnota->Downloaded = false;
    zprava.priciny[p.hodnota->Cesta] = "Přenos skončil chybou před tímto souborem.";
  }
  bool otevreno = false;
  InstalovanySoubor* prave = nullptr;
  try {
    CFTPManager ftp;
    ftp.URL = u.server;
    ftp.Port = std::to_string(u.Port);
    ftp.Uzivatel = u.user;
    ftp.Heslo = u.password;
    ftp.PasivniRezim = u.PasivniRezim;
    if (!ftp.FtpOpen()) throw std::runtime_error(ftp.FtpError);
    otevreno = true;
    // A relative remote folder is taken from the folder the server logged us into,
    // once, so that the records' folders never nest into each other.
    std::string vzdalena = u.VzdalenaSlozka();
    if (vzdalena.front() != '/') {
      std::string domov = ftp.FtpCurrDir();
      vzdalena = (domov == "/" ? "" : domov) + "/" + vzdalena;
    }
    const std::string m = PridatLomitko(mistni);
    for (const auto& p : soubory) {
      InstalovanySoubor& z = *p.hodnota;
      prave = &z;
      Cesty c = CestyZaznamu(z, vzdalena, m, suffix);
      std::string pricina = Prenositelny(z, c)
                                ? fn(ftp, z, c)
                                : "Název s mezerou nebo cesta mimo složku se nepřenáší.";
      if (pricina.empty())
        zprava.priciny.erase(z.Cesta);
      else
        zprava.priciny[z.Cesta] = JednimRadkem(pricina);
    }
    ftp.FtpClose();
  } catch (const std::exception& e) {
    // The transfer ends here; records not yet handled keep Downloaded false.
    if (otevreno) {
      if (prave) zprava.priciny[prave->Cesta] = JednimRadkem(e.what());
    } else {
      zprava.spojeni = JednimRadkem(e.what());
      Zaznamenat("Spojení s FTP serverem se nezdařilo. " + zprava.spojeni);
      for (const auto& p : soubory)
        zprava.priciny[p.hodnota->Cesta] = zprava.spojeni;
    }
  }
}

}  // namespace

std::string UpdateServer::TempFolder() const {
  return SlozkaTempBehu() + "/Zevlon/" + std::to_string(reinterpret_cast<std::uintptr_t>(this)) +
         "/";
}

std::string UpdateServer::VzdalenaSlozka() const {
  std::string s = NahraditVse(remoteLocation, "/", "\\");
  if (!Orezat(s).empty() && s.back() != '\\') s += '\\';
  s = NahraditVse(s, "\\", "/") + "/";
  while (s.find("//") != std::string::npos)
    s = NahraditVse(s, "//", "/");
  return s;
}

std::string UpdateServer::StahnoutSnapshot() {
  SeznamSouboru seznam;
  auto z = std::make_shared<InstalovanySoubor>();
  z->Cesta = ZDratoveCesty(snapshot);
  seznam.Pridat(z->Cesta, z);
  VytvoritSlozku(TempFolder(), true);
  FTPDownload(seznam, TempFolder(), "");
  return TempFolder() + z->Cesta;
}

void UpdateServer::FTPDownload(SeznamSouboru& soubory, const std::string& CilovaSlozka,
                               const std::string& suffix) {
  Relace(*this, zprava_, soubory, CilovaSlozka, suffix,
         [&suffix](CFTPManager& ftp, InstalovanySoubor& z, const Cesty& c) -> std::string {
           if (!ExistujeSlozka(c.mistniSlozka)) VytvoritSlozku(c.mistniSlozka, true);
           ftp.FtpCurrDir(c.vzdalenaSlozka);
           // A folder missing on the server must not leave us looking in another one.
           if (!ftp.FtpSuccess) return ftp.FtpError;
           if (!ftp.FtpFileExist(c.nazevPrenosu))
             return ftp.FtpSuccess ? "Vzdálený soubor " + c.vzdalenySoubor + " neexistuje."
                                   : ftp.FtpError;
           // A file no larger than its snapshot line allows (the snapshot itself within
           // the updater's bound of a snapshot), at the updater's speed and deadline.
           const KlientHttp& http = Http();
           const bool snimek = suffix.empty();
           MezeStazeniFtp meze;
           meze.maxBajtu = snimek ? kMaxSnapshotu : NejvetsiArchiv(BalicekSouboru(z.Velikost));
           meze.minRychlost = http.minRychlost;
           meze.dobaMinRychlosti = http.casMinRychlosti.count();
           meze.lhuta = http.Lhuta(snimek ? 0 : z.Velikost).count();
           ftp.FtpGet(c.nazevPrenosu, c.mistniSoubor, kFragment, meze);
           if (ftp.FtpSuccess) {
             z.Downloaded = true;
             return {};
           }
           if (ExistujeSoubor(c.mistniSoubor)) SmazatSoubor(c.mistniSoubor, false);
           return ftp.FtpError;
         });
}

void UpdateServer::FTPUpload(SeznamSouboru& soubory, const std::string& ZdrojovaSlozka,
                             const std::string& suffix) {
  Relace(*this, zprava_, soubory, ZdrojovaSlozka, suffix,
         [](CFTPManager& ftp, InstalovanySoubor& z, const Cesty& c) -> std::string {
           // No archive, no upload: an empty file must never stand on the server.
           if (!ExistujeSoubor(c.mistniSoubor)) return "Soubor " + c.mistniSoubor + " chybí.";
           if (!ftp.FtpFolderExists(c.vzdalenaSlozka)) ftp.FtpMkDirExtended(c.vzdalenaSlozka);
           ftp.FtpCurrDir(c.vzdalenaSlozka);
           if (!ftp.FtpSuccess) return ftp.FtpError;
           // Up under a name of its own, then renamed into place: a client or mirror
           // never meets half a file under the real name.
           const std::string docasny = c.nazevPrenosu + ".nahrava";
           ftp.FtpPut(c.mistniSoubor, docasny, kFragment);
           if (!ftp.FtpSuccess) return ftp.FtpError;
           if (!ftp.FtpRename(docasny, c.nazevPrenosu)) return ftp.FtpError;
           z.Downloaded = true;
           return {};
         });
}

void UpdateServer::AktualizovatSoubory(SeznamSouboru& soubory, const std::string& CilovaSlozka) {
  const std::string temp = TempFolder();
  FTPDownload(soubory, temp, ".zip");
  const std::string rozbaleno = temp + "$setup$/";
  bool vse = true;
  for (const auto& p : soubory) {
    InstalovanySoubor& z = *p.hodnota;
    if (!z.Downloaded) {
      Zaznamenat("Soubor nebyl stažen ze servru. " + z.Cesta);
      vse = false;
      continue;
    }
    std::string slozka, jmeno;
    RozdelitCestu(z.Cesta, slozka, jmeno);
    VytvoritSlozku(rozbaleno + slozka, true);
    // Only the file the line names, of exactly its size.
    const JedinaPolozka jen{
        jmeno, static_cast<std::uint64_t>(std::max<std::int64_t>(z.Velikost, 0)), true};
    z.Unzipped =
        RozzipovatJednoduse(temp + z.Cesta + ".zip", rozbaleno + slozka, 1, "", &jen) == 0 &&
        ExistujeSoubor(rozbaleno + z.Cesta);
    if (!z.Unzipped) {
      Zaznamenat("Soubor nebyl rozzipován. " + z.Cesta + ".zip");
      vse = false;
    }
  }
  if (vse) {
    // A mirror folder not there yet is made first: the stop file must lie in it
    // before the copy starts.
    VytvoritSlozku(CilovaSlozka, true);
    const std::string stop = PridatLomitko(CilovaSlozka) + kStopSoubor;
    PripsatRadek(stop, kTextStopSouboru, 0644);  // read by whoever serves the mirror
    if (KopirovatSlozku(rozbaleno, CilovaSlozka)) SmazatSoubor(stop, false);
  } else {
    Zaznamenat("Aktualizace lokálního mirroru nebyla provedena. ");
  }
  SmazatSlozku(BezLomitka(temp), true);
}

void UpdateServer::UploadovatSoubory(SeznamSouboru& soubory, const std::string& ZdrojovaSlozka) {
  const std::string temp = TempFolder();
  const std::string zdroj = PridatLomitko(ZdrojovaSlozka);
  for (const auto& p : soubory) {
    InstalovanySoubor& z = *p.hodnota;
    z.Unzipped = false;
    if (!JeBezpecnaRelativniCesta(z.Cesta)) continue;
    std::string slozka, jmeno;
    RozdelitCestu(z.Cesta, slozka, jmeno);
    VytvoritSlozku(temp + slozka, true);
    KopirovatSoubor(zdroj + z.Cesta, temp + z.Cesta, true);
    z.Unzipped = ZazipovatJednoduse(temp + z.Cesta, temp + z.Cesta + ".zip", true, "", false) == 0;
    SmazatSoubor(temp + z.Cesta, true);
    if (!z.Unzipped) Zaznamenat("Soubor nebyl zazipován. " + z.Cesta + ".zip");
  }
  FTPUpload(soubory, temp, ".zip");
}

}  // namespace zevlon
