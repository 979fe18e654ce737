#include "platform/http.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/chyba.h"
#include "platform/soubor.h"
#include "platform/souborovy_system.h"

namespace zevlon {

namespace {

struct ZrusitCurl {
  void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct UvolnitSeznam {
  void operator()(curl_slist* s) const { curl_slist_free_all(s); }
};

// libcurl's global state, set up once for the process before the first handle.
void InicializovatCurl() {
  static const bool hotovo = [] { return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; }();
  (void)hotovo;
}

// What one transfer collects: the body goes to the descriptor, the status line of
// every answer (one per redirect) is parsed.
struct Prenos {
  int fd = -1;
  int chybaZapisu = 0;
  std::int64_t bajtu = 0;
  std::int64_t maxBajtu = 0;
  bool prilisVelke = false;
  std::string textStavu;
};

std::size_t ZapsatTelo(char* data, std::size_t velikost, std::size_t pocet, void* u) {
  auto* p = static_cast<Prenos*>(u);
  std::size_t n = velikost * pocet;
  if (p->bajtu + static_cast<std::int64_t>(n) > p->maxBajtu) {
    p->prilisVelke = true;
    return 0;  // aborts the transfer
  }
  if (int e = ZapsatVse(p->fd, std::string_view(data, n))) {
    p->chybaZapisu = e;
    return 0;  // aborts the transfer
  }
  p->bajtu += static_cast<std::int64_t>(n);
  return n;
}

std::size_t CistHlavicku(char* data, std::size_t velikost, std::size_t pocet, void* u) {
  auto* p = static_cast<Prenos*>(u);
  std::string_view radek(data, velikost * pocet);
  if (radek.substr(0, 5) == "HTTP/") {
    // "HTTP/1.1 404 Not Found": the text after the code, as the server wrote it.
    auto mezera = radek.find(' ');
    auto druha = mezera == std::string_view::npos ? mezera : radek.find(' ', mezera + 1);
    std::string_view text =
        druha == std::string_view::npos ? std::string_view() : radek.substr(druha + 1);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n'))
      text.remove_suffix(1);
    p->textStavu = std::string(text);
  }
  return velikost * pocet;
}

// Transport failures as the platform's request object reports them: its error
// number and a Czech description.
[[noreturn]] void VyvolatChybuPrenosu(CURLcode kod, const char* detail, const std::string& url) {
  struct Preklad {
    std::int32_t cislo;
    const char* text;
  };
  Preklad p{static_cast<std::int32_t>(0x80072EFEu), "Spojení se serverem bylo přerušeno."};
  switch (kod) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      p = {static_cast<std::int32_t>(0x80072EE7u), "Název serveru nelze přeložit."};
      break;
    case CURLE_COULDNT_CONNECT:
      p = {static_cast<std::int32_t>(0x80072EFDu), "Nelze se připojit k serveru."};
      break;
    case CURLE_OPERATION_TIMEDOUT:
      p = {static_cast<std::int32_t>(0x80072EE2u), "Vypršel časový limit operace."};
      break;
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
      p = {static_cast<std::int32_t>(0x80072EE6u), "Adresa URL je neplatná."};
      break;
    case CURLE_TOO_MANY_REDIRECTS:
      p = {static_cast<std::int32_t>(0x80072EFAu), "Příliš mnoho přesměrování."};
      break;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CACERT_BADFILE:
      p = {static_cast<std::int32_t>(0x80072F8Fu), "Certifikát serveru je neplatný."};
      break;
    default:
      break;
  }
  std::string popis = std::string(p.text) + " (" + url + ")";
  if (detail && *detail) popis += "\r\n" + std::string(detail);
  throw Chyba(p.cislo, popis);
}

std::string DocasnyNazev(const std::string& soubor) {
  return soubor + ".part";
}

}  // namespace

struct KlientHttp::Handle {
  std::unique_ptr<CURL, ZrusitCurl> curl;
  std::unique_ptr<curl_slist, UvolnitSeznam> hlavicky;
};

KlientHttp::KlientHttp() : h_(std::make_unique<Handle>()) {
  InicializovatCurl();
  h_->curl.reset(curl_easy_init());
  curl_slist* s = curl_slist_append(nullptr, "Cache-Control: no-cache");
  s = curl_slist_append(s, "Pragma: no-cache");
  h_->hlavicky.reset(s);
}

KlientHttp::~KlientHttp() = default;

OdpovedHttp KlientHttp::Stahnout(const std::string& url, const std::string& soubor,
                                 std::int64_t maxBajtu) {
  CURL* c = h_->curl.get();
  if (!c) throw Chyba(7, "Nedostatek paměti");

  // A file left under the temporary name is removed, and the new one is made only where
  // nothing stands: whatever appears under the name meanwhile is never written into.
  const std::string docasny = DocasnyNazev(soubor);
  ::unlink(docasny.c_str());
  Popisovac fd(::open(docasny.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666));
  if (!fd.Platny()) {
    ss::Vysledek v = ss::ChybaSystemu(errno, docasny);
    throw Chyba(v.kod, "Nelze vytvořit soubor " + docasny + ": " + v.popis);
  }
  Prenos prenos;
  prenos.fd = fd.Fd();
  prenos.maxBajtu = maxBajtu;
  char chyba[CURL_ERROR_SIZE] = {};

  curl_easy_reset(c);
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, h_->hlavicky.get());
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(c, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, static_cast<long>(casPripojeni.count()));
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, static_cast<long>(casNecinnosti.count()));
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(maxBajtu));
  // A certificate store named in the environment (as OpenSSL reads it) is honoured.
  if (const char* ca = std::getenv("SSL_CERT_FILE"); ca && *ca)
    curl_easy_setopt(c, CURLOPT_CAINFO, ca);
  curl_easy_setopt(c, CURLOPT_USERAGENT, "Zevlon/" ZEVLON_VERZE);
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, chyba);
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, ZapsatTelo);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &prenos);
  curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, CistHlavicku);
  curl_easy_setopt(c, CURLOPT_HEADERDATA, &prenos);

  CURLcode vysledek = curl_easy_perform(c);
  int chybaZavreni = fd.Zavrit();
  if (vysledek != CURLE_OK || prenos.chybaZapisu || chybaZavreni) {
    ::unlink(docasny.c_str());
    if (prenos.prilisVelke || vysledek == CURLE_FILESIZE_EXCEEDED)
      throw Chyba(kChybaUzivatele, "Soubor na adrese " + url + " je větší než povolených " +
                                       std::to_string(maxBajtu) + " bajtů.");
    if (prenos.chybaZapisu || chybaZavreni) {
      int e = prenos.chybaZapisu ? prenos.chybaZapisu : chybaZavreni;
      throw Chyba(e, "Nelze zapsat soubor " + soubor + ": " + std::strerror(e));
    }
    VyvolatChybuPrenosu(vysledek, chyba, url);
  }

  OdpovedHttp odpoved;
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &odpoved.status);
  odpoved.textStavu = prenos.textStavu;
  odpoved.bajtu = prenos.bajtu;
  if (odpoved.status != 200) {
    ::unlink(docasny.c_str());
    return odpoved;
  }
  if (::rename(docasny.c_str(), soubor.c_str()) != 0) {
    int e = errno;
    ::unlink(docasny.c_str());
    throw Chyba(e == EACCES || e == EPERM ? 70 : e,
                "Nelze zapsat soubor " + soubor + ": " + std::strerror(e));
  }
  return odpoved;
}

KlientHttp& Http() {
  static KlientHttp klient;
  return klient;
}

}  // namespace zevlon
