#include "prenos/ftp/ftp_spojeni.h"

#include <curl/curl.h>

#include "common/text.h"
#include "platform/http/curl_drzaky.h"
#include "prenos/ftp/ftp_adresy.h"
#include "prenos/ftp/ftp_chyby.h"
#include "prenos/ftp/ftp_odpovedi.h"

namespace zevlon {

namespace {

// Limits that keep a dead or hostile server from holding the program for ever.
constexpr long kLimitPripojeniS = 30;              // TCP connect
constexpr long kLimitOdpovediS = 60;               // each reply on the control connection
constexpr long kLimitPrijetiMs = 30000;            // the server connecting back (active mode)
constexpr long kNejnizsiRychlost = 1;              // bytes per second ...
constexpr long kNejnizsiRychlostS = 60;            // ... for this long ends a stalled transfer
constexpr std::size_t kNejvetsiVypis = 64u << 20;  // bytes of one listing
// Longest sleep between two looks at the transfer. libcurl 7.88 sometimes starts a
// passive data connection without telling its wait loop about the socket, and the
// plain easy interface then sleeps a whole second before it looks again; driving
// the handle ourselves with short waits keeps every transfer prompt.
constexpr int kKrokCekaniMs = 10;

using CurlUkazatel = std::unique_ptr<CURL, ZrusitCurl>;
using MultiUkazatel = std::unique_ptr<CURLM, ZrusitMulti>;
using SeznamUkazatel = std::unique_ptr<curl_slist, UvolnitSeznam>;

// libcurl's global state, set up once for the process before the first handle.
bool InicializovatCurl() {
  static const bool hotovo = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  return hotovo;
}

}  // namespace

struct CFTPManager::Spojeni::Stav {
  // The multi handle holds the connection cache, so it goes after the easy handle
  // (members are destroyed in reverse order); closing it closes the connection.
  MultiUkazatel multi;
  CurlUkazatel curl;
  std::string zaklad;  // "ftp://host:port/"
  std::string uzivatel;
  std::string heslo;
  std::string vychozi = "/";
  bool mlsd = false;

  // Replies of the current operation.
  ftp::OdpovediServeru odpovedi;

  // Data of the current transfer.
  const Cteni* cteni = nullptr;
  const Zapis* zapis = nullptr;
  std::string* vypis = nullptr;
  bool preruseno = false;
  bool prilisDlouhy = false;

  static std::size_t Hlavicka(char* data, std::size_t velikost, std::size_t n, void* ud) {
    auto* s = static_cast<Stav*>(ud);
    try {
      s->odpovedi.PrijmoutRadek(std::string(data, velikost * n));
    } catch (...) {
      return 0;
    }
    return velikost * n;
  }

  static std::size_t Zahodit(char*, std::size_t velikost, std::size_t n, void*) {
    return velikost * n;
  }

  static std::size_t ZapsatVypis(char* data, std::size_t velikost, std::size_t n, void* ud) {
    auto* s = static_cast<Stav*>(ud);
    std::size_t delka = velikost * n;
    if (s->vypis->size() + delka > kNejvetsiVypis) {
      s->prilisDlouhy = true;
      return 0;
    }
    try {
      s->vypis->append(data, delka);
    } catch (...) {
      return 0;
    }
    return delka;
  }

  static std::size_t ZapsatData(char* data, std::size_t velikost, std::size_t n, void* ud) {
    auto* s = static_cast<Stav*>(ud);
    bool dal = false;
    try {
      dal = (*s->zapis)(data, velikost * n);
    } catch (...) {
      dal = false;
    }
    if (!dal) {
      s->preruseno = true;
      return 0;
    }
    return velikost * n;
  }

  static std::size_t CistData(char* buffer, std::size_t velikost, std::size_t n, void* ud) {
    auto* s = static_cast<Stav*>(ud);
    std::size_t r = kPrerusit;
    try {
      r = (*s->cteni)(buffer, velikost * n);
    } catch (...) {
      r = kPrerusit;
    }
    if (r == kPrerusit || r > velikost * n) {
      s->preruseno = true;
      return CURL_READFUNC_ABORT;
    }
    return r;
  }

  // Sets what every operation sets anew, so that nothing of the previous one stays.
  void Pripravit(const std::string& cesta, curl_ftpmethod metoda, bool bezDat) {
    CURL* c = curl.get();
    std::string url = zaklad + cesta;
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_FTP_FILEMETHOD, static_cast<long>(metoda));
    curl_easy_setopt(c, CURLOPT_NOBODY, bezDat ? 1L : 0L);
    curl_easy_setopt(c, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(c, CURLOPT_QUOTE, nullptr);
    curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, nullptr);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &Stav::Zahodit);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(c, CURLOPT_READFUNCTION, nullptr);
    odpovedi.Vycistit();
    preruseno = false;
    prilisDlouhy = false;
  }

  // The transfer as curl_easy_perform would run it, with waits of kKrokCekaniMs
  // at most.
  CURLcode Prenest() {
    CURL* c = curl.get();
    CURLM* m = multi.get();
    if (curl_multi_add_handle(m, c) != CURLM_OK) return CURLE_FAILED_INIT;
    CURLcode r = CURLE_OK;
    int bezi = 1;
    for (;;) {
      if (curl_multi_perform(m, &bezi) != CURLM_OK) {
        r = CURLE_FAILED_INIT;
        break;
      }
      if (bezi == 0) break;
      if (curl_multi_poll(m, nullptr, 0, kKrokCekaniMs, nullptr) != CURLM_OK) {
        r = CURLE_FAILED_INIT;
        break;
      }
    }
    int zbyva = 0;
    while (CURLMsg* zprava = curl_multi_info_read(m, &zbyva))
      if (zprava->msg == CURLMSG_DONE && zprava->easy_handle == c) r = zprava->data.result;
    curl_multi_remove_handle(m, c);
    return r;
  }

  Vysledek Provest() {
    CURLcode r = Prenest();
    // The options of this operation must not reach the next one.
    curl_easy_setopt(curl.get(), CURLOPT_QUOTE, nullptr);
    curl_easy_setopt(curl.get(), CURLOPT_UPLOAD, 0L);
    cteni = nullptr;
    zapis = nullptr;
    vypis = nullptr;
    Vysledek v;
    v.preruseno = preruseno;
    if (prilisDlouhy) {
      v.kod = ftpkod::kNeplatnaOdpoved;
    } else if (r != CURLE_OK) {
      v.kod = ftp::KodZCurl(r);
      v.odpoved = ZakrytPrihlasovaciUdaje(odpovedi.posledni, uzivatel, heslo);
    }
    return v;
  }

  // Sends the commands in one go: all but the last stop the rest when refused; the last
  // may fail without ending the operation ("*" before it), its reply is the last one and
  // is judged by the caller.
  Vysledek Citovat(const std::vector<std::string>& prikazy) {
    Pripravit("%2F", CURLFTPMETHOD_NOCWD, true);
    SeznamUkazatel seznam;
    for (std::size_t i = 0; i < prikazy.size(); ++i) {
      curl_slist* s = curl_slist_append(
          seznam.get(), ((i + 1 == prikazy.size() ? "*" : "") + prikazy[i]).c_str());
      if (!s) return {ftpkod::kVnitrniChyba, {}, false};
      if (!seznam) seznam.reset(s);  // the head; later nodes are appended behind it
    }
    curl_easy_setopt(curl.get(), CURLOPT_QUOTE, seznam.get());
    return Provest();
  }
  Vysledek Citovat(const std::string& prikaz) { return Citovat(std::vector<std::string>{prikaz}); }
};

CFTPManager::Spojeni::Spojeni() : s_(std::make_unique<Stav>()) {}
CFTPManager::Spojeni::~Spojeni() = default;

CFTPManager::Spojeni::Vysledek CFTPManager::Spojeni::Prihlasit(const Udaje& udaje) {
  std::string hostitel;
  if (!ftp::AdresaServeru(udaje.server, hostitel)) return {ftpkod::kNeplatnaAdresa, {}, false};
  if (!InicializovatCurl()) return {ftpkod::kVnitrniChyba, {}, false};
  s_->curl.reset(curl_easy_init());
  s_->multi.reset(curl_multi_init());
  CURL* c = s_->curl.get();
  if (!c || !s_->multi) return {ftpkod::kVnitrniChyba, {}, false};

  s_->zaklad = "ftp://" + hostitel;
  if (udaje.port != 0) s_->zaklad += ":" + std::to_string(udaje.port);
  s_->zaklad += "/";
  s_->uzivatel = udaje.uzivatel;
  s_->heslo = udaje.heslo;

  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "ftp");
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_NOPROGRESS, 1L);
  // Credentials go as options, never inside the URL, so no address built here can
  // carry them into a message.
  if (!udaje.uzivatel.empty()) {
    curl_easy_setopt(c, CURLOPT_USERNAME, udaje.uzivatel.c_str());
    curl_easy_setopt(c, CURLOPT_PASSWORD, udaje.heslo.c_str());
  }
  if (udaje.pasivni) {
    curl_easy_setopt(c, CURLOPT_FTPPORT, nullptr);
    curl_easy_setopt(c, CURLOPT_FTP_USE_EPSV, 1L);
  } else {
    // Listen on the address of the control connection.
    curl_easy_setopt(c, CURLOPT_FTPPORT, "-");
    curl_easy_setopt(c, CURLOPT_FTP_USE_EPRT, 1L);
  }
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, kLimitPripojeniS);
  curl_easy_setopt(c, CURLOPT_FTP_RESPONSE_TIMEOUT, kLimitOdpovediS);
  curl_easy_setopt(c, CURLOPT_ACCEPTTIMEOUT_MS, kLimitPrijetiMs);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, kNejnizsiRychlost);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, kNejnizsiRychlostS);
  curl_easy_setopt(c, CURLOPT_TCP_KEEPALIVE, 1L);
  curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, &Stav::Hlavicka);
  curl_easy_setopt(c, CURLOPT_HEADERDATA, s_.get());

  Vysledek v = s_->Citovat("FEAT");
  if (!v.Uspech()) {
    s_->curl.reset();
    s_->multi.reset();
    return v;
  }
  // FEAT lists one feature per line, each after a blank; MLST implies MLSD.
  s_->mlsd = false;
  for (const std::string& r : s_->odpovedi.radky) {
    if (r.empty() || r[0] != ' ') continue;
    std::string_view f = Orezat(r, " \t");
    if (ZacinaNa(f, "MLST") || ZacinaNa(f, "MLSD")) s_->mlsd = true;
  }
  char* vstupni = nullptr;
  s_->vychozi = "/";
  if (curl_easy_getinfo(c, CURLINFO_FTP_ENTRY_PATH, &vstupni) == CURLE_OK && vstupni &&
      vstupni[0] == '/')
    s_->vychozi = vstupni;
  return v;
}

CFTPManager::Spojeni::Vysledek CFTPManager::Spojeni::OveritSlozku(const std::string& slozka) {
  s_->Pripravit(ftp::CestaUrl(slozka, true), CURLFTPMETHOD_SINGLECWD, true);
  return s_->Provest();
}

CFTPManager::Spojeni::Vysledek CFTPManager::Spojeni::Prikaz(const std::string& prikaz) {
  return Prikazy({prikaz});
}

CFTPManager::Spojeni::Vysledek CFTPManager::Spojeni::Prikazy(
    const std::vector<std::string>& prikazy) {
  Vysledek v = s_->Citovat(prikazy);
  if (!v.Uspech()) return v;
  long kod = 0;
  curl_easy_getinfo(s_->curl.get(), CURLINFO_RESPONSE_CODE, &kod);
  if (kod >= 400 || kod < 100) {
    v.kod = ftpkod::kRozsirenaChyba;
    v.odpoved = ZakrytPrihlasovaciUdaje(s_->odpovedi.posledni, s_->uzivatel, s_->heslo);
  }
  return v;
}

CFTPManager::Spojeni::Vysledek CFTPManager::Spojeni::Vypsat(const std::string& slozka,
                                                            std::string& data) {
  data.clear();
  s_->Pripravit(ftp::CestaUrl(slozka, true), CURLFTPMETHOD_SINGLECWD, false);
  if (s_->mlsd) curl_easy_setopt(s_->curl.get(), CURLOPT_CUSTOMREQUEST, "MLSD");
  s_->vypis = &data;
  curl_easy_setopt(s_->curl.get(), CURLOPT_WRITEFUNCTION, &Stav::ZapsatVypis);
  return s_->Provest();
}

CFTPManager::Spojeni::Vysledek CFTPManager::Spojeni::Nahrat(const std::string& soubor,
                                                            const Cteni& cteni) {
  s_->Pripravit(ftp::CestaUrl(soubor, false), CURLFTPMETHOD_SINGLECWD, false);
  s_->cteni = &cteni;
  CURL* c = s_->curl.get();
  curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(-1));
  curl_easy_setopt(c, CURLOPT_READFUNCTION, &Stav::CistData);
  curl_easy_setopt(c, CURLOPT_READDATA, s_.get());
  return s_->Provest();
}

CFTPManager::Spojeni::Vysledek CFTPManager::Spojeni::Stahnout(const std::string& soubor,
                                                              const Zapis& zapis,
                                                              const MezeStazeniFtp& meze) {
  s_->Pripravit(ftp::CestaUrl(soubor, false), CURLFTPMETHOD_SINGLECWD, false);
  s_->zapis = &zapis;
  CURL* c = s_->curl.get();
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &Stav::ZapsatData);
  // This transfer's own bounds, and the connection's again after it.
  if (meze.minRychlost > 0 && meze.dobaMinRychlosti > 0) {
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, static_cast<long>(meze.minRychlost));
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, static_cast<long>(meze.dobaMinRychlosti));
  }
  if (meze.lhuta > 0) curl_easy_setopt(c, CURLOPT_TIMEOUT, static_cast<long>(meze.lhuta));
  Vysledek v = s_->Provest();
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, kNejnizsiRychlost);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, kNejnizsiRychlostS);
  curl_easy_setopt(c, CURLOPT_TIMEOUT, 0L);
  return v;
}

const std::string& CFTPManager::Spojeni::VychoziSlozka() const {
  return s_->vychozi;
}

bool CFTPManager::Spojeni::UmiMlsd() const {
  return s_->mlsd;
}

}  // namespace zevlon
