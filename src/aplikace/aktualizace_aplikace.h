// Builds the new content of one installation folder from its update server: the
// server's snapshot of the whole folder is compared with the existing copy, unchanged
// files are copied locally and changed or new ones downloaded one by one.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "aplikace/delty_slozky.h"
#include "aplikace/souhrn_obnovy.h"

namespace zevlon {

class PredstihStahovani;

// "ObnovaOdkazy" of section "Server": "1" lays the unchanged files into the new folder as
// hard links to the live ones instead of copies.
inline constexpr const char* kKlicObnovaOdkazy = "ObnovaOdkazy";

// The download of a folder's snapshot started before its turn, by the folder renewed
// before it once that folder's own downloads are all under way and one of their places is
// free, so that the folder does not wait a round trip for it when its turn comes.
// AktualizaceAplikace takes it for the same address; its outcome, an error included,
// counts only then. Broken off, leaving no file, when the object ends untaken.
class PredstihSnapshotu {
 public:
  PredstihSnapshotu(std::string TempSlozka, const std::string& UrlServeru);
  ~PredstihSnapshotu();
  PredstihSnapshotu(const PredstihSnapshotu&) = delete;
  PredstihSnapshotu& operator=(const PredstihSnapshotu&) = delete;
  // Starts the download, once; a download that cannot start now waits for its turn.
  void Zacit();
  // The download started for the folder at this address, if any.
  PredstihStahovani* Pro(const std::string& UrlServeru);

 private:
  std::string temp_, url_;
  bool zacato_ = false;
  std::unique_ptr<PredstihStahovani> stahovani_;
};

// TempSlozka: download folder (ending with "/"); UrlServeru: the folder's address on
// the server (ending with "/"), holding "master.snapshot.zip" and one archive per
// file; PuvodniSlozka: the existing copy (may be missing); NovaSlozka: the target
// that receives the complete new content; JenSlozky: when not empty, only the root's
// own files and these folders of PuvodniSlozka are considered.
//
// Sha256Snapshotu, when given, is what the signed release information vouches for: the
// SHA-256 of the folder's unpacked snapshot (empty when it lists none, which is an
// error). The snapshot must have it, every line must carry its file's SHA-256, and each
// downloaded file must have that SHA-256 before it is placed; files copied locally (size
// and time match) are taken as they are.
//
// Where the release information lists the folder's delta list (`delty`), a file of which the
// installation has an earlier version is fetched as a delta against it when the list has
// one, else whole.
//
// The folder's snapshot may have been started ahead (`snapshotPredem`); the snapshot of the folder
// renewed next (`dalsiSnapshot`) is started here when this folder's downloads leave room.
// The files copied, downloaded and rebuilt, and the bytes received, are added to `souhrn`.
void AktualizaceAplikace(const std::string& TempSlozka, const std::string& UrlServeru,
                         const std::string& PuvodniSlozka, const std::string& NovaSlozka,
                         const std::vector<std::string>& JenSlozky = {},
                         const std::optional<std::string>& Sha256Snapshotu = std::nullopt,
                         PredstihSnapshotu* snapshotPredem = nullptr,
                         PredstihSnapshotu* dalsiSnapshot = nullptr, const UvedeneDelty& delty = {},
                         SouhrnObnovy* souhrn = nullptr);

// What renewing the folder would take, found without changing the installation: the
// snapshot is fetched and checked as AktualizaceAplikace checks it, and each file of it
// counted as one to copy (the installed file holds what the line lists, hashed where the
// line has a SHA-256) or to download (with the size the line lists). The record of
// checksums is read, never written.
SouhrnObnovy OdhadnoutAplikaci(const std::string& TempSlozka, const std::string& UrlServeru,
                               const std::string& PuvodniSlozka,
                               const std::vector<std::string>& JenSlozky,
                               const std::optional<std::string>& Sha256Snapshotu);

}  // namespace zevlon
