#include "platform/http/http.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <vector>

#include "common/adresa.h"
#include "common/chyba.h"
#include "platform/http/curl_drzaky.h"
#include "platform/http/vedro.h"
#include "platform/soubory/soubor.h"
#include "platform/soubory/souborovy_system.h"

namespace zevlon {

namespace {

// libcurl's global state, set up once for the process before the first handle.
void InicializovatCurl() {
  static const bool hotovo = [] { return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; }();
  (void)hotovo;
}

// What one transfer collects: the body goes to the descriptor, the status line of
// every answer (one per redirect) is parsed, and the scheme each hop leads to.
struct Prenos {
  int fd = -1;
  int chybaZapisu = 0;
  std::int64_t bajtu = 0;
  std::int64_t maxBajtu = 0;
  bool prilisVelke = false;
  std::string textStavu;
  long status = 0;
  bool https = false;                           // the answer being read came over https
  std::string sestupNa;                         // a redirect from https to this address was refused
  std::chrono::steady_clock::time_point konec;  // the deadline
  bool poLhute = false;                         // broken off at the deadline
  // Resuming: the bytes already in the file, and what the answer says of its body.
  std::int64_t zacatek = 0;
  bool telo = false;        // the body of the final answer has begun
  std::string validator;    // its ETag, else its Last-Modified
  std::int64_t odkud = -1;  // the first byte of a 206 answer (Content-Range)
  // The run's bound: the bucket shared by the transfers and where a paused one waits.
  Vedro* vedro = nullptr;
  std::vector<Prenos*>* pozastavene = nullptr;
  CURL* curl = nullptr;
};

int HlidatLhutu(void* u, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto* p = static_cast<Prenos*>(u);
  p->poLhute = std::chrono::steady_clock::now() >= p->konec;
  return p->poLhute ? 1 : 0;  // 1 aborts the transfer
}

// The scheme of an absolute address ("HTTPS://..." gives "https"); nothing for a
// relative one, which keeps the scheme of the address it is relative to.
std::optional<std::string> Schema(std::string_view adresa) {
  std::size_t i = 0;
  while (i < adresa.size() && (std::isalnum(static_cast<unsigned char>(adresa[i])) ||
                               adresa[i] == '+' || adresa[i] == '-' || adresa[i] == '.'))
    ++i;
  if (i == 0 || i >= adresa.size() || adresa[i] != ':' ||
      !std::isalpha(static_cast<unsigned char>(adresa[0])))
    return std::nullopt;
  std::string schema(adresa.substr(0, i));
  for (char& c : schema)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return schema;
}

bool JeHttps(std::string_view adresa) {
  return Schema(adresa) == "https";
}

std::string_view BezMezer(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
    s.remove_prefix(1);
  while (!s.empty() &&
         (s.back() == '\r' || s.back() == '\n' || s.back() == ' ' || s.back() == '\t'))
    s.remove_suffix(1);
  return s;
}

std::size_t ZapsatTelo(char* data, std::size_t velikost, std::size_t pocet, void* u) {
  auto* p = static_cast<Prenos*>(u);
  std::size_t n = velikost * pocet;
  // The bucket empty: libcurl keeps the data and reads no more until it is resumed.
  if (p->vedro && !p->vedro->Vzit(static_cast<std::int64_t>(n), std::chrono::steady_clock::now())) {
    p->pozastavene->push_back(p);
    return CURL_WRITEFUNC_PAUSE;
  }
  if (!p->telo) {
    p->telo = true;
    if (p->zacatek > 0) {
      if (p->status == 206 && p->odkud == p->zacatek) {
        p->bajtu = p->zacatek;  // the rest follows what the file holds
      } else if (p->status == 206) {
        return 0;  // another range than asked for: aborts the transfer
      } else if (::ftruncate(p->fd, 0) != 0 || ::lseek(p->fd, 0, SEEK_SET) != 0) {
        p->chybaZapisu = errno;  // the whole body again: the file starts over
        return 0;
      }
    }
  }
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
    // "HTTP/1.1 404 Not Found": the code, and the text after it as the server wrote it.
    auto mezera = radek.find(' ');
    auto druha = mezera == std::string_view::npos ? mezera : radek.find(' ', mezera + 1);
    std::string_view text =
        druha == std::string_view::npos ? std::string_view() : radek.substr(druha + 1);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n'))
      text.remove_suffix(1);
    p->textStavu = std::string(text);
    p->status = mezera == std::string_view::npos
                    ? 0
                    : std::strtol(std::string(radek.substr(mezera + 1, 3)).c_str(), nullptr, 10);
    p->validator.clear();
    p->odkud = -1;
    return velikost * pocet;
  }
  auto dvojtecka = radek.find(':');
  auto je = [&](std::string_view jmeno) {
    return dvojtecka == jmeno.size() &&
           ::strncasecmp(radek.data(), jmeno.data(), jmeno.size()) == 0;
  };
  if (je("ETag")) {
    // Only a strong one may decide a range (If-Range).
    std::string_view etag = BezMezer(radek.substr(dvojtecka + 1));
    if (etag.substr(0, 2) != "W/") p->validator = std::string(etag);
  } else if (je("Last-Modified") && p->validator.empty()) {
    p->validator = std::string(BezMezer(radek.substr(dvojtecka + 1)));
  } else if (je("Content-Range")) {
    // "bytes 1000-1999/2000"
    std::string_view r = BezMezer(radek.substr(dvojtecka + 1));
    if (r.substr(0, 6) == "bytes ")
      p->odkud = std::strtoll(std::string(r.substr(6)).c_str(), nullptr, 10);
  }
  if (p->status / 100 == 3 && dvojtecka == 8 && ::strncasecmp(radek.data(), "Location", 8) == 0) {
    std::string_view kam = BezMezer(radek.substr(dvojtecka + 1));
    std::optional<std::string> schema = Schema(kam);
    // Once on https, a redirect goes on over https or not at all.
    if (p->https && schema && *schema != "https") {
      p->sestupNa = std::string(kam);
      return 0;  // aborts the transfer
    }
    if (schema) p->https = *schema == "https";
  }
  return velikost * pocet;
}

// Leaving https (a redirect to http, or an http address in a run on https) is refused
// with the platform's number for a redirect from https to http; a transfer past its
// time bounds fails with the number of a time-out.
constexpr auto kChybaSestupu = static_cast<std::int32_t>(0x80072F08u);
constexpr auto kChybaCasu = static_cast<std::int32_t>(0x80072EE2u);
constexpr const char* kTextCasu = "Vypršel časový limit operace.";

// A write that failed; a full disk is told as such, with its folder.
std::string TextZapisu(int e, const std::string& soubor) {
  if (e == ENOSPC || e == EDQUOT)
    return "Na disku není dost místa ve složce " + soubor.substr(0, soubor.rfind('/') + 1) +
           " (soubor " + soubor + ").";
  return "Nelze zapsat soubor " + soubor + ": " + ss::ChybaSystemu(e, soubor).popis;
}

std::string TextLhutyBehu(std::chrono::seconds lhuta) {
  return std::string(kTextCasu) + " Aktualizace nebyla dokončena do " +
         std::to_string(lhuta.count()) +
         " s od začátku běhu (LhutaBehu v Zevlon.ini); nic nebylo vyměněno, nedokončenou "
         "aktualizaci dokončí další běh.";
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
      p = {kChybaCasu, kTextCasu};
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
  throw Chyba(p.cislo, BezPristupovychUdaju(popis));
}

std::string DocasnyNazev(const std::string& soubor) {
  return soubor + ".part";
}

}  // namespace

// One transfer: its own easy handle (the connections live in the client's multi handle,
// so they are reused across transfers), the body's temporary file and what the callbacks
// collect.
struct KlientHttp::Stazeni {
  std::unique_ptr<CURL, ZrusitCurl> curl;
  Popisovac fd;
  std::string url, soubor, docasny;
  std::int64_t maxBajtu = 0;
  std::chrono::seconds lhuta{0};
  bool lhutaBehu = false;  // the deadline is what was left of the run's
  Prenos prenos;
  char chyba[CURL_ERROR_SIZE] = {};
  std::unique_ptr<curl_slist, UvolnitSeznam> hlavicky;  // with a range: its own list
  bool vMulti = false;  // added to the multi handle and not yet taken out
  bool hotovo = false;
  bool ponechat = false;  // the part received stays for a resume
  CURLcode kod = CURLE_OK;

  ~Stazeni() {
    // A transfer dropped before its end leaves nothing behind (after a whole answer the
    // name is already gone).
    if (!docasny.empty() && !ponechat) ::unlink(docasny.c_str());
  }
};

// The part of a body that a broken-off download left, for the next download of the same
// address to continue from.
struct Cast {
  std::string soubor;  // where it lies (a temporary name of the client's)
  std::int64_t bajtu = 0;
  std::string validator;
};

struct KlientHttp::Handle {
  std::unique_ptr<CURLM, ZrusitMulti> multi;
  std::unique_ptr<curl_slist, UvolnitSeznam> hlavicky;
  bool http2 = false;
  std::map<std::string, Cast> casti;  // by address
  Vedro vedro;
  std::vector<Prenos*> pozastavene;  // in the order they were paused
};

KlientHttp::KlientHttp() : h_(std::make_unique<Handle>()) {
  InicializovatCurl();
  h_->multi.reset(curl_multi_init());
  if (h_->multi) {
    // HTTP/2 streams share one connection; over HTTP/1.1 a host gets a few connections.
    curl_multi_setopt(h_->multi.get(), CURLMOPT_PIPELINING, CURLPIPE_MULTIPLEX);
    curl_multi_setopt(h_->multi.get(), CURLMOPT_MAX_HOST_CONNECTIONS,
                      static_cast<long>(kMaxSpojeni));
    curl_multi_setopt(h_->multi.get(), CURLMOPT_MAX_CONCURRENT_STREAMS,
                      static_cast<long>(kProuduNaSpojeni));
  }
  curl_slist* s = curl_slist_append(nullptr, "Cache-Control: no-cache");
  s = curl_slist_append(s, "Pragma: no-cache");
  h_->hlavicky.reset(s);
}

KlientHttp::~KlientHttp() = default;

bool KlientHttp::Http2() const {
  return h_->http2;
}

void KlientHttp::OveritLhutuBehu() const {
  if (konecBehu && std::chrono::steady_clock::now() >= *konecBehu)
    throw Chyba(kChybaCasu, TextLhutyBehu(lhutaBehu));
}

std::chrono::seconds KlientHttp::Lhuta(std::int64_t ocekavanaVelikost) const {
  // A size from outside counts for no more than the largest file an archive may hold,
  // and no deadline goes beyond a week: a server that lists huge files cannot keep a
  // run (and its lock) for longer, and the deadline cannot overflow the clock.
  constexpr std::int64_t kNejvetsiSoubor = std::int64_t{4} << 30;
  constexpr std::int64_t kNejdele = std::int64_t{7} * 24 * 3600;
  const std::int64_t rychlost = std::max<std::int64_t>(minRychlost, 1);
  const std::int64_t velikost = std::clamp<std::int64_t>(ocekavanaVelikost, 0, kNejvetsiSoubor);
  const std::int64_t zaklad = std::clamp<std::int64_t>(lhutaPrenosu.count(), 0, kNejdele);
  return std::chrono::seconds(std::min(zaklad + (velikost + rychlost - 1) / rychlost, kNejdele));
}

std::unique_ptr<KlientHttp::Stazeni> KlientHttp::Zacit(const std::string& url,
                                                       const std::string& soubor,
                                                       std::int64_t maxBajtu,
                                                       std::int64_t ocekavanaVelikost) {
  auto z = std::make_unique<Stazeni>();
  z->curl.reset(curl_easy_init());
  if (!z->curl || !h_->multi) throw Chyba(7, "Nedostatek paměti");
  CURL* c = z->curl.get();
  const bool https = JeHttps(url);
  const bool jenTls = jenHttps && !(!httpPovoleno.empty() && url.starts_with(httpPovoleno));
  if (jenTls && !https)
    throw Chyba(kChybaSestupu,
                "Aktualizace začala na zabezpečeném spojení (https), nezabezpečenou adresu " +
                    BezPristupovychUdaju(url) + " proto nelze použít.");

  // A file left under the temporary name is removed, and the new one is made only where
  // nothing stands: whatever appears under the name meanwhile is never written into. The
  // part an earlier download of the address left is continued instead, when it is still
  // the client's own file of the size it left.
  z->docasny = DocasnyNazev(soubor);
  std::optional<Cast> cast;
  if (auto c = h_->casti.find(url); c != h_->casti.end()) {
    cast = c->second;
    h_->casti.erase(c);
  }
  if (cast && cast->soubor != z->docasny &&
      ::rename(cast->soubor.c_str(), z->docasny.c_str()) != 0) {
    ::unlink(cast->soubor.c_str());
    cast.reset();
  }
  if (cast) {
    z->fd = Popisovac(::open(z->docasny.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW));
    struct stat st {};
    if (!z->fd.Platny() || ::fstat(z->fd.Fd(), &st) != 0 || !S_ISREG(st.st_mode) ||
        st.st_uid != ::geteuid() || st.st_nlink != 1 || st.st_size != cast->bajtu) {
      z->fd = Popisovac();
      cast.reset();
    }
  }
  if (!cast) {
    ::unlink(z->docasny.c_str());
    z->fd = Popisovac(
        ::open(z->docasny.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666));
  }
  if (!z->fd.Platny()) {
    ss::Vysledek v = ss::ChybaSystemu(errno, z->docasny);
    throw Chyba(v.kod, "Nelze vytvořit soubor " + z->docasny + ": " + v.popis);
  }
  z->url = url;
  z->soubor = soubor;
  z->maxBajtu = maxBajtu;
  Prenos& prenos = z->prenos;
  prenos.fd = z->fd.Fd();
  prenos.maxBajtu = maxBajtu;
  prenos.https = https;
  prenos.vedro = &h_->vedro;
  prenos.pozastavene = &h_->pozastavene;
  prenos.curl = c;
  OveritLhutuBehu();
  z->lhuta = Lhuta(ocekavanaVelikost);
  const auto ted = std::chrono::steady_clock::now();
  if (konecBehu && *konecBehu - ted < z->lhuta) {
    z->lhuta = std::chrono::ceil<std::chrono::seconds>(*konecBehu - ted);
    z->lhutaBehu = true;
  }
  prenos.konec = ted + z->lhuta;
  // http is not even offered to a transfer that must stay on https.
  const char* protokoly = https || jenTls ? "https" : "http,https";

  curl_easy_setopt(c, CURLOPT_PRIVATE, z.get());
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
  curl_slist* hlavicky = h_->hlavicky.get();
  if (cast) {
    // Only the rest, and only of the same body (If-Range): a changed file comes whole.
    prenos.zacatek = cast->bajtu;
    curl_slist* r = nullptr;
    for (curl_slist* h = hlavicky; h; h = h->next)
      r = curl_slist_append(r, h->data);
    r = curl_slist_append(r, ("Range: bytes=" + std::to_string(cast->bajtu) + "-").c_str());
    r = curl_slist_append(r, ("If-Range: " + cast->validator).c_str());
    z->hlavicky.reset(r);
    hlavicky = r;
  }
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, hlavicky);
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(c, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, jenTls ? "https" : "http,https");
  curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, protokoly);
  // HTTP/2 where the server offers it over TLS; there a transfer rather waits for the
  // shared connection than opens one of its own (plain http is always HTTP/1.1, where
  // waiting would only hold the transfers back).
  curl_easy_setopt(c, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_2TLS));
  curl_easy_setopt(c, CURLOPT_PIPEWAIT, https ? 1L : 0L);
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, static_cast<long>(casPripojeni.count()));
  // The deadline is watched by the progress callback, so that it is told apart from
  // the minimum speed; libcurl's own time-out a second later only backs it up.
  curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, HlidatLhutu);
  curl_easy_setopt(c, CURLOPT_XFERINFODATA, &prenos);
  curl_easy_setopt(c, CURLOPT_TIMEOUT_MS,
                   static_cast<long>(std::chrono::milliseconds(z->lhuta).count() + 1000));
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT,
                   static_cast<long>(std::max<std::int64_t>(minRychlost, 1)));
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, static_cast<long>(casMinRychlosti.count()));
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(maxBajtu));
  // Under a bound libcurl hands over no more at once than the bucket holds (at least its
  // smallest buffer), so that no transfer runs far ahead of the bound.
  if (maxRychlost > 0)
    curl_easy_setopt(c, CURLOPT_BUFFERSIZE,
                     static_cast<long>(std::clamp<std::int64_t>(Vedro::Objem(maxRychlost), 1024,
                                                                CURL_MAX_WRITE_SIZE)));
  if (proxy) {
    const std::string& p = https ? proxy->https : proxy->http;
    curl_easy_setopt(c, CURLOPT_PROXY, (p.empty() ? proxy->vse : p).c_str());
    curl_easy_setopt(c, CURLOPT_NOPROXY, proxy->vyjimky.c_str());
  }
  // A certificate store named in the environment (as OpenSSL reads it) is honoured.
  if (const char* ca = std::getenv("SSL_CERT_FILE"); ca && *ca)
    curl_easy_setopt(c, CURLOPT_CAINFO, ca);
  curl_easy_setopt(c, CURLOPT_USERAGENT, "Zevlon/" ZEVLON_VERZE);
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, z->chyba);
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, ZapsatTelo);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &prenos);
  curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, CistHlavicku);
  curl_easy_setopt(c, CURLOPT_HEADERDATA, &prenos);

  if (curl_multi_add_handle(h_->multi.get(), c) != CURLM_OK) throw Chyba(7, "Nedostatek paměti");
  z->vMulti = true;
  return z;
}

void KlientHttp::Odebrat(Stazeni& z) {
  std::erase(h_->pozastavene, &z.prenos);
  if (!z.vMulti) return;
  curl_multi_remove_handle(h_->multi.get(), z.curl.get());
  z.vMulti = false;
}

bool KlientHttp::Omezuje() const {
  return maxRychlost > 0 && (!omezeniPlati || omezeniPlati());
}

int KlientHttp::VLetu() const {
  const std::int64_t n = std::max(soubeznaStahovani, 1);
  if (!Omezuje()) return static_cast<int>(n);
  return static_cast<int>(
      std::clamp<std::int64_t>(maxRychlost / (2 * std::max<std::int64_t>(minRychlost, 1)), 1, n));
}

std::chrono::milliseconds KlientHttp::Omezit() {
  const auto ted = std::chrono::steady_clock::now();
  h_->vedro.Nastavit(Omezuje() ? maxRychlost : 0, ted);
  if (h_->pozastavene.empty()) return std::chrono::milliseconds(100);
  if (const auto cekani = h_->vedro.Cekani(ted); cekani.count() > 0)
    return std::min(cekani, std::chrono::milliseconds(100));
  // Resumed in the order they were paused; one that finds the bucket empty again pauses
  // again (its data comes back to the callback within curl_easy_pause).
  std::vector<Prenos*> cekaji;
  cekaji.swap(h_->pozastavene);
  for (Prenos* p : cekaji)
    curl_easy_pause(p->curl, CURLPAUSE_CONT);
  return std::chrono::milliseconds(h_->pozastavene.empty() ? 100 : 1);
}

bool KlientHttp::Pokracovat() {
  CURLM* m = h_->multi.get();
  int bezi = 0;
  const CURLMcode mc = curl_multi_perform(m, &bezi);
  int zbyva = 0;
  while (CURLMsg* zprava = curl_multi_info_read(m, &zbyva)) {
    if (zprava->msg != CURLMSG_DONE) continue;
    Stazeni* z = nullptr;
    curl_easy_getinfo(zprava->easy_handle, CURLINFO_PRIVATE, &z);
    if (!z) continue;
    z->kod = zprava->data.result;
    z->hotovo = true;
    Odebrat(*z);
  }
  return mc == CURLM_OK;
}

void KlientHttp::Bezet(Stazeni& cil, const std::function<void()>& priCekani) {
  CURLM* m = h_->multi.get();
  auto hlaseni = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
  while (!cil.hotovo) {
    if (prerusit && prerusit()) throw Chyba(kChybaZruseno, textPreruseni);
    if (const auto ted = std::chrono::steady_clock::now(); hlasitPrubeh && ted >= hlaseni) {
      hlaseni = ted + std::chrono::milliseconds(200);
      hlasitPrubeh(PrubehCile(cil));
    }
    const std::chrono::milliseconds cekani = Omezit();
    const bool ok = Pokracovat();
    if (cil.hotovo) break;
    if (!ok) {
      cil.kod = CURLE_OUT_OF_MEMORY;
      cil.hotovo = true;
      Odebrat(cil);
      break;
    }
    // Meanwhile the caller may start further transfers on connections that fell idle.
    if (priCekani) {
      priCekani();
      if (cil.hotovo) break;
    }
    curl_multi_poll(m, nullptr, 0, static_cast<int>(cekani.count()), nullptr);
  }
}

KlientHttp::PrubehStazeni KlientHttp::PrubehCile(Stazeni& z) {
  PrubehStazeni p;
  const Prenos& prenos = z.prenos;
  // Only the body of the final answer counts (not that of a redirect or an error page).
  p.prijato = prenos.telo ? prenos.bajtu : 0;
  curl_off_t delka = -1, rychlost = 0;
  curl_easy_getinfo(z.curl.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &delka);
  curl_easy_getinfo(z.curl.get(), CURLINFO_SPEED_DOWNLOAD_T, &rychlost);
  // The rest of a resumed body follows the part the file holds.
  if (prenos.telo && delka >= 0)
    p.celkem = (prenos.status == 206 && prenos.odkud > 0 ? prenos.odkud : 0) + delka;
  p.rychlost = static_cast<double>(rychlost);
  if (h_->vedro.Zdrzuje(std::chrono::steady_clock::now())) p.omezeno = h_->vedro.Rychlost();
  return p;
}

OdpovedHttp KlientHttp::Vyhodnotit(Stazeni& z) {
  CURL* c = z.curl.get();
  const std::string& url = z.url;
  const std::string& soubor = z.soubor;
  const std::string& docasny = z.docasny;
  Prenos& prenos = z.prenos;
  const CURLcode vysledek = z.kod;
  int chybaZavreni = z.fd.Zavrit();
  if (vysledek != CURLE_OK || prenos.chybaZapisu || chybaZavreni) {
    // A lost connection is worth one more try (PrerusenyPrenos), not a transfer past its
    // time bounds: those bounds end the run. The body broken off, of an answer that names
    // its version, is kept: the next download of the address asks for the rest.
    const bool preruseno = (vysledek == CURLE_PARTIAL_FILE || vysledek == CURLE_RECV_ERROR ||
                            vysledek == CURLE_SEND_ERROR || vysledek == CURLE_GOT_NOTHING ||
                            vysledek == CURLE_HTTP2 || vysledek == CURLE_HTTP2_STREAM) &&
                           !prenos.poLhute && !prenos.chybaZapisu && !chybaZavreni;
    const bool ponechat = preruseno && prenos.bajtu > 0 && !prenos.validator.empty() &&
                          (prenos.status == 200 || prenos.status == 206);
    if (ponechat) {
      z.ponechat = true;
      h_->casti[url] = Cast{docasny, prenos.bajtu, prenos.validator};
    } else {
      ::unlink(docasny.c_str());
    }
    if (prenos.prilisVelke || vysledek == CURLE_FILESIZE_EXCEEDED)
      throw PrilisVelkaOdpoved(kChybaUzivatele, "Soubor na adrese " + BezPristupovychUdaju(url) +
                                                    " je větší než povolených " +
                                                    std::to_string(z.maxBajtu) + " bajtů.");
    if (!prenos.sestupNa.empty())
      throw Chyba(kChybaSestupu,
                  "Server přesměroval zabezpečené spojení (https) na nezabezpečenou adresu " +
                      BezPristupovychUdaju(prenos.sestupNa) + ". (" + BezPristupovychUdaju(url) +
                      ")");
    if (prenos.chybaZapisu || chybaZavreni) {
      int e = prenos.chybaZapisu ? prenos.chybaZapisu : chybaZavreni;
      throw Chyba(e, TextZapisu(e, soubor));
    }
    if (prenos.poLhute || vysledek == CURLE_OPERATION_TIMEDOUT) {
      // The deadline, or the minimum speed once the request went out (before that it
      // was the time to connect).
      long odeslano = 0;
      curl_easy_getinfo(c, CURLINFO_REQUEST_SIZE, &odeslano);
      if ((prenos.poLhute || std::chrono::steady_clock::now() >= prenos.konec) && z.lhutaBehu)
        throw Chyba(kChybaCasu, TextLhutyBehu(lhutaBehu) + " (" + BezPristupovychUdaju(url) + ")");
      if (prenos.poLhute || std::chrono::steady_clock::now() >= prenos.konec)
        throw Chyba(kChybaCasu, std::string(kTextCasu) + " Přenos nebyl dokončen do " +
                                    std::to_string(z.lhuta.count()) + " s od svého začátku. (" +
                                    BezPristupovychUdaju(url) + ")");
      if (odeslano > 0)
        throw Chyba(kChybaCasu, std::string(kTextCasu) + " Server posílal data pomaleji než " +
                                    std::to_string(minRychlost) + " bajtů za sekundu po dobu " +
                                    std::to_string(casMinRychlosti.count()) + " s. (" +
                                    BezPristupovychUdaju(url) + ")");
    }
    try {
      VyvolatChybuPrenosu(vysledek, z.chyba, url);
    } catch (const Chyba& c) {
      if (preruseno) throw PrerusenyPrenos(c.Cislo(), c.Popis(), c.Zdroj());
      throw;
    }
  }

  OdpovedHttp odpoved;
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &odpoved.status);
  // The rest of a resumed body: the file is whole now, as after a 200.
  if (odpoved.status == 206 && prenos.zacatek > 0 && prenos.odkud == prenos.zacatek)
    odpoved.status = 200;
  long verze = 0;
  curl_easy_getinfo(c, CURLINFO_HTTP_VERSION, &verze);
  odpoved.http2 = verze == CURL_HTTP_VERSION_2_0;
  h_->http2 = odpoved.http2;
  odpoved.textStavu = prenos.textStavu;
  odpoved.bajtu = prenos.bajtu;
  if (odpoved.status != 200) {
    ::unlink(docasny.c_str());
    return odpoved;
  }
  if (::rename(docasny.c_str(), soubor.c_str()) != 0) {
    int e = errno;
    ::unlink(docasny.c_str());
    throw Chyba(e == EACCES || e == EPERM ? 70 : e, TextZapisu(e, soubor));
  }
  return odpoved;
}

OdpovedHttp KlientHttp::Dokoncit(Stazeni& z, const std::function<void()>& priCekani) {
  Bezet(z, priCekani);
  return Vyhodnotit(z);
}

void KlientHttp::Zrusit(Stazeni& z) {
  Odebrat(z);
  z.fd.Zavrit();
}

OdpovedHttp KlientHttp::Stahnout(const std::string& url, const std::string& soubor,
                                 std::int64_t maxBajtu, std::int64_t ocekavanaVelikost) {
  std::unique_ptr<Stazeni> z = Zacit(url, soubor, maxBajtu, ocekavanaVelikost);
  struct Uklid {
    KlientHttp& k;
    Stazeni& z;
    ~Uklid() { k.Odebrat(z); }
  } uklid{*this, *z};
  return Dokoncit(*z);
}

SkupinaStahovani::SkupinaStahovani(KlientHttp& klient) : klient_(klient) {}

SkupinaStahovani::~SkupinaStahovani() {
  for (auto& z : stazeni_)
    if (z) klient_.Zrusit(*z);
}

std::size_t SkupinaStahovani::Pridat(const std::string& url, const std::string& soubor,
                                     std::int64_t maxBajtu, std::int64_t ocekavanaVelikost) {
  stazeni_.push_back(klient_.Zacit(url, soubor, maxBajtu, ocekavanaVelikost));
  ++bezi_;
  return stazeni_.size() - 1;
}

void SkupinaStahovani::Pokracovat() {
  (void)klient_.Pokracovat();
}

std::size_t SkupinaStahovani::Probiha() const {
  std::size_t n = 0;
  for (const auto& z : stazeni_)
    n += z && !z->hotovo ? 1 : 0;
  return n;
}

OdpovedHttp SkupinaStahovani::Dokoncit(std::size_t cislo, const std::function<void()>& priCekani) {
  std::unique_ptr<KlientHttp::Stazeni>& z = stazeni_.at(cislo);
  if (!z) throw Chyba(kod::kNeplatnyArgument, "Stahování již bylo dokončeno.");
  // The download stays among the group's while it is awaited (Probiha counts it); then
  // it is taken out, whatever its outcome.
  struct Uklid {
    SkupinaStahovani& s;
    std::unique_ptr<KlientHttp::Stazeni>& z;
    ~Uklid() {
      s.klient_.Odebrat(*z);
      z.reset();
      --s.bezi_;
    }
  } uklid{*this, z};
  return klient_.Dokoncit(*z, priCekani);
}

KlientHttp& Http() {
  static KlientHttp klient;
  return klient;
}

}  // namespace zevlon
