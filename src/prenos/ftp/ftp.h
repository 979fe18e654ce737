// The FTP client: one CFTPManager holds one session with one FTP server and offers
// folder navigation, folder creation, listing, existence tests, deletion, and upload
// and download of single files in fragments. It runs over libcurl, synchronously on
// the caller's thread. Failed operations are not raised: each operation leaves its
// outcome in FtpSuccess and, on failure, a text in FtpError, which the caller reads
// after the call. Only two errors are raised to the caller: the port overflow of
// FtpOpen (6, a port above 65535) and a listing with two names that differ only in letter case
// (457).
//
// Session. FtpOpen logs in and keeps one libcurl handle until FtpClose; every
// operation in between goes through that handle, so one control connection (one
// login) serves them all. Should the server drop the connection, the next operation
// connects and logs in again on its own. Transfers are active (the client listens,
// PORT/EPRT) unless PasivniRezim is set (PASV/EPSV).
//
// Remote paths. The current remote folder is kept in the object: FtpOpen starts it
// at the folder the server logged us into, writing FtpCurrDir checks on the server
// that the folder exists before taking it. A relative remote path is taken from the
// current folder; "." and ".." are resolved in the text. Paths travel URL-escaped,
// so blanks and non-ASCII names (UTF-8) are fine; a path with a control character
// is refused (123).
//
// Listings use MLSD when the server announces MLST in its FEAT reply, else LIST,
// whose Unix "ls -l" and DOS/IIS lines are both read. A mask is matched here, not by
// the server: "*" and "?" wildcards, letter case ignored, "*.*" matching every name.
// Names that could leave the listed folder ("..", "a/b", ...) are never listed.
//
// Error text in FtpError: "Chyba " + code + CR LF + the code's Czech description;
// for 12003 (the server answered with an error reply) CR LF and the server's last
// reply follow. The user name and password never appear in it: they go to libcurl
// as options and are part of no address built here, and a server reply that repeats
// them has them masked.
//
// Codes (the platform's own numbers) and the libcurl outcomes they stand for:
//   6      no connection: an operation before FtpOpen, after FtpClose or after a
//          failed FtpOpen ("Popisovač je neplatný.")
//   123    a remote path with a control character in it
//   12002  CURLE_OPERATION_TIMEDOUT, CURLE_FTP_ACCEPT_TIMEOUT
//   12003  the server refused a command: CURLE_REMOTE_ACCESS_DENIED,
//          CURLE_REMOTE_FILE_NOT_FOUND, CURLE_FTP_COULDNT_RETR_FILE,
//          CURLE_UPLOAD_FAILED, CURLE_QUOTE_ERROR, CURLE_FTP_COULDNT_SET_TYPE,
//          CURLE_FTP_PORT_FAILED, CURLE_FTP_COULDNT_USE_REST, CURLE_REMOTE_DISK_FULL,
//          CURLE_REMOTE_FILE_EXISTS, CURLE_FTP_PRET_FAILED, CURLE_FTP_ACCEPT_FAILED,
//          and a 4xx/5xx reply to MKD or DELE
//   12004  anything else (libcurl's internal failures)
//   12005  CURLE_URL_MALFORMAT, an empty or malformed URL (host)
//   12007  CURLE_COULDNT_RESOLVE_HOST, CURLE_COULDNT_RESOLVE_PROXY
//   12014  CURLE_LOGIN_DENIED
//   12029  CURLE_COULDNT_CONNECT, CURLE_FTP_CANT_GET_HOST
//   12030  CURLE_SEND_ERROR, CURLE_RECV_ERROR, CURLE_GOT_NOTHING, CURLE_PARTIAL_FILE
//   12152  CURLE_WEIRD_SERVER_REPLY, CURLE_FTP_WEIRD_PASV_REPLY,
//          CURLE_FTP_WEIRD_227_FORMAT, an oversized listing
// Local file failures of FtpPut and FtpGet carry the file operations' codes (53 file
// not found, 70 access denied, 76 path not found, ...) with a sentence naming the
// file, and the cancel carries the user error base 0x80040000.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "common/cas.h"
#include "common/seznam.h"

namespace zevlon {

// Platform codes of the FTP client (see above).
namespace ftpkod {
inline constexpr std::int32_t kNeplatnyPopisovac = 6;
inline constexpr std::int32_t kNeplatnyNazev = 123;
inline constexpr std::int32_t kCasovyLimit = 12002;
inline constexpr std::int32_t kRozsirenaChyba = 12003;
inline constexpr std::int32_t kVnitrniChyba = 12004;
inline constexpr std::int32_t kNeplatnaAdresa = 12005;
inline constexpr std::int32_t kNeznamyServer = 12007;
inline constexpr std::int32_t kNespravneHeslo = 12014;
inline constexpr std::int32_t kNelzeSePripojit = 12029;
inline constexpr std::int32_t kSpojeniPreruseno = 12030;
inline constexpr std::int32_t kNeplatnaOdpoved = 12152;
}  // namespace ftpkod

// "Chyba " + code + CR LF + description, and for 12003 CR LF + the server's reply
// when there is one.
std::string TextChybyFtp(std::int32_t kod, const std::string& odpovedServeru = {});

// A server's reply with the user name and the password replaced by "***". A password
// of four or more characters is masked wherever it stands; the user name and a
// shorter password only as whole words (between characters that are not letters
// or digits), so that a short name does not eat the letters of the words around it.
std::string ZakrytPrihlasovaciUdaje(std::string text, const std::string& uzivatel,
                                    const std::string& heslo);

// The port number of a port text as the platform reads a number: the leading
// decimal number after blanks are dropped (sign, fraction and exponent allowed),
// rounded half to even; no digits give 0 (the default FTP port, 21). A value
// outside -32768..65535 raises the overflow error (6); a negative one stands for
// its 16-bit unsigned counterpart, as a signed 16-bit port type reads it.
std::int32_t CisloPortu(const std::string& port);

// One entry of a remote listing.
class CFTPFile {
 public:
  std::string Nazev;
  // Size in bytes, all 64 bits of it.
  std::int64_t Velikost = 0;
  // UTC seconds since 1970 (0 when the listing gave no time). MLSD times are UTC by
  // definition; LIST does not say its zone and its times are taken as UTC.
  UtcCas DatumPosledniZmeny = 0;
  // Listings carry no access time: the last-write time.
  UtcCas DatumPoslednihoPristupu = 0;
  // MLSD "create" when the server gives it, else the last-write time.
  UtcCas DatumVzniku = 0;
};

// Bounds of one download, each 0 when there is none: the bytes it may bring (a listing
// above it is refused before the transfer, a transfer that goes beyond it is broken
// off), the speed below which it is given up once it stayed there for
// `dobaMinRychlosti` seconds, and its deadline in seconds.
struct MezeStazeniFtp {
  std::int64_t maxBajtu = 0;
  std::int64_t minRychlost = 0;
  std::int64_t dobaMinRychlosti = 0;
  std::int64_t lhuta = 0;
};

class CFTPManager {
 public:
  // Raised after each transferred fragment of FtpPut (bolUpload true) and FtpGet
  // (false) with the local file name, the bytes done so far, the whole size and
  // iCancel 0; a receiver that sets iCancel to non-zero stops the transfer. All
  // values are the receiver's to change; only iCancel is read back.
  using Odezva = std::function<void(bool& bolUpload, std::string& strSoubor, std::int64_t& iHotovo,
                                    std::int64_t& iCelkem, std::int32_t& iCancel)>;

  CFTPManager();
  ~CFTPManager();
  CFTPManager(const CFTPManager&) = delete;
  CFTPManager& operator=(const CFTPManager&) = delete;

  std::string URL;       // server host name or address (no scheme, no port)
  std::string Port;      // port as text; see CisloPortu
  std::string Uzivatel;  // empty: anonymous
  std::string Heslo;
  std::int32_t PocetPokusu = 0;  // highest attempt number of FtpPutLoop
  std::int32_t Prodleva = 0;     // pause between attempts of FtpPutLoop, seconds
  bool PasivniRezim = false;
  std::string FtpError;
  bool FtpSuccess = true;
  KlicovanySeznam<CFTPFile> FtpSeznamSouboru;  // the last listing, keyed by Nazev
  Odezva FTPResponse;

  // Connects and logs in (replacing an earlier session); answers FtpSuccess. A
  // port text above 65535 raises error 6 before anything else happens.
  bool FtpOpen();
  // Ends the session; answers true.
  bool FtpClose();
  // Whether the folder exists; the current folder and FtpSuccess stay as they were.
  bool FtpFolderExists(const std::string& strDir);
  // The current remote folder (absolute, "/" separators, no trailing "/" but for
  // the root).
  std::string FtpCurrDir();
  // Makes a folder current after checking on the server that it exists.
  void FtpCurrDir(const std::string& strDir);
  // Creates one folder; answers FtpSuccess.
  bool FtpMkDir(const std::string& strDir);
  // Creates every missing level of a path taken from the server's root ("/a/b/c/"
  // creates /a, /a/b and /a/b/c as needed); the current folder is left alone. An
  // error raised on the way is shown to the user, who may repeat the step.
  void FtpMkDirExtended(const std::string& Slozka);
  // Lists the folder part of the mask (the current folder when it has none) into
  // FtpSeznamSouboru, keeping the entries whose names match the mask's last part
  // (all when that is empty). No match is an empty list and success.
  void FtpDir(const std::string& strMask = {});
  // Lists strSoubor; true when the first entry has its name (case ignored) and,
  // when iSize > 0, that size.
  bool FtpFileExist(const std::string& strSoubor, std::int64_t iSize = 0);
  // Deletes a remote file; a missing file counts as deleted. Answers FtpSuccess.
  bool FtpDelete(const std::string& strSoubor);
  // Renames a remote file (RNFR, RNTO) over a file of the new name; a server that will not
  // rename over a file has it deleted first. Succeeds when the server then lists the new
  // name and no longer the old one. Answers FtpSuccess.
  bool FtpRename(const std::string& strZ, const std::string& strDo);
  // Uploads a local file in fragments; succeeds when the server then lists the
  // remote file with the local file's size.
  void FtpPut(const std::string& strLokalniSoubor, const std::string& strVzdalenySoubor,
              std::int32_t iVelikostFragmentu);
  // FtpPut, repeated up to PocetPokusu attempts (at least one) with a pause of
  // Prodleva seconds between them; an existing remote file is deleted before each.
  void FtpPutLoop(const std::string& strLokalniSoubor, const std::string& strVzdalenySoubor,
                  std::int32_t iVelikostFragmentu);
  // Downloads a remote file that the listing shows exactly once; the data go to a
  // temporary file beside the target that replaces the target only when its length
  // equals the listed size.
  void FtpGet(const std::string& strVzdalenySoubor, const std::string& strLokalniSoubor,
              std::int32_t iVelikostFragmentu, const MezeStazeniFtp& meze = {});

 private:
  class Spojeni;

  bool Pripojeno();
  void Zaznamenat(std::int32_t kod, const std::string& odpovedServeru = {});
  bool AbsolutniCesta(const std::string& cesta, std::string& vysledek);
  void Ohlasit(bool upload, const std::string& soubor, std::int64_t hotovo, std::int64_t celkem);
  void Pockat(std::int32_t sekundy);

  std::unique_ptr<Spojeni> spojeni_;
  std::string slozka_ = "/";
};

}  // namespace zevlon
