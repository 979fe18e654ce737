// An application's update server as its manifest describes it, and the transfer of
// sets of installed files between it and local folders over FTP: fetching the
// server's snapshot, bringing a local mirror folder up to date, and uploading. Files
// travel zipped, one archive per file, with ".zip" on the server. Files that cannot
// be moved are recorded in "Zevlon.log"; while a mirror folder is being replaced, the
// stop file "Zevlon.stop" lies in it.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "aplikace/instalovany_soubor.h"

namespace zevlon {

inline constexpr const char* kStopSoubor = "Zevlon.stop";
inline constexpr const char* kTextStopSouboru = "STOP - Probíhá Aktualizace z internetu!";

// What the last transfers of an UpdateServer could not do, and why: one line of text
// each, the FTP client's error text where it had one.
struct ZpravaPrenosu {
  std::string spojeni;                         // the session could not be opened
  std::map<std::string, std::string> priciny;  // Cesta -> why that record did not travel
};

class UpdateServer {
 public:
  std::string protocol;   // named by the manifest; transfers always use FTP
  std::string server;     // FTP host
  std::int32_t Port = 0;  // 0: the default port
  std::string user;
  std::string password;
  std::string remoteLocation;  // folder on the server ("/" or "\" separators)
  std::string snapshot;        // the snapshot file's path inside remoteLocation
  bool PasivniRezim = false;   // passive transfers (PASV/EPSV) rather than active ones

  // TEMP + "/Zevlon/" + a number unique among the live objects + "/".
  std::string TempFolder() const;

  // Downloads the snapshot file; answers its local path (a missing file there means
  // the download failed).
  std::string StahnoutSnapshot();

  // Brings the mirror folder up to date with the records: all are downloaded and
  // unpacked into a temporary folder first, and only when every one succeeded is the
  // result copied into the mirror (made when it is not there yet), under the stop
  // file. The outcome is in the records' flags and the transfer log.
  void AktualizovatSoubory(SeznamSouboru& soubory, const std::string& CilovaSlozka);

  // Packs each record's file of ZdrojovaSlozka and uploads the archives.
  void UploadovatSoubory(SeznamSouboru& soubory, const std::string& ZdrojovaSlozka);

  // Uploads ZdrojovaSlozka + Cesta + suffix of each record to the remote folder.
  void FTPUpload(SeznamSouboru& soubory, const std::string& ZdrojovaSlozka,
                 const std::string& suffix);

  // The remote folder as the transfers use it: "/" separators, ending with "/".
  std::string VzdalenaSlozka() const;

  // Why the records of the last transfers did not travel; each transfer renews the
  // entries of its own records and the session's text. A session that could not be
  // opened is also written to the transfer log.
  const ZpravaPrenosu& Zprava() const { return zprava_; }

 private:
  void FTPDownload(SeznamSouboru& soubory, const std::string& CilovaSlozka,
                   const std::string& suffix);

  ZpravaPrenosu zprava_;
};

}  // namespace zevlon
