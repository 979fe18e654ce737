#include "prenos/ftp/ftp_chyby.h"

#include <string>

#include "prenos/ftp/ftp.h"

namespace zevlon {

namespace {

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

namespace ftp {

std::int32_t KodZCurl(CURLcode r) {
  switch (r) {
    case CURLE_OK:
      return 0;
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_FTP_ACCEPT_TIMEOUT:
      return ftpkod::kCasovyLimit;
    case CURLE_REMOTE_ACCESS_DENIED:
    case CURLE_REMOTE_FILE_NOT_FOUND:
    case CURLE_FTP_COULDNT_RETR_FILE:
    case CURLE_UPLOAD_FAILED:
    case CURLE_QUOTE_ERROR:
    case CURLE_FTP_COULDNT_SET_TYPE:
    case CURLE_FTP_PORT_FAILED:
    case CURLE_FTP_COULDNT_USE_REST:
    case CURLE_REMOTE_DISK_FULL:
    case CURLE_REMOTE_FILE_EXISTS:
    case CURLE_FTP_PRET_FAILED:
    case CURLE_FTP_ACCEPT_FAILED:
      return ftpkod::kRozsirenaChyba;
    case CURLE_URL_MALFORMAT:
      return ftpkod::kNeplatnaAdresa;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return ftpkod::kNeznamyServer;
    case CURLE_LOGIN_DENIED:
      return ftpkod::kNespravneHeslo;
    case CURLE_COULDNT_CONNECT:
    case CURLE_FTP_CANT_GET_HOST:
      return ftpkod::kNelzeSePripojit;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
      return ftpkod::kSpojeniPreruseno;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_FTP_WEIRD_PASV_REPLY:
    case CURLE_FTP_WEIRD_227_FORMAT:
      return ftpkod::kNeplatnaOdpoved;
    default:
      return ftpkod::kVnitrniChyba;
  }
}

}  // namespace ftp

}  // namespace zevlon
