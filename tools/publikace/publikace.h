// Publishing a release: from a release folder laid out as on the update site, the
// complete site folder that the updater reads.
//
// Release folder:   Setup/ (Merko/ and the package's top-level files), optionally
//                   Setup14/, SetupCommon/, and customisation items in
//                   Upravy/{Doplnky,Moduly}/<name>/ (for Setup) and
//                   Upravy14/{Doplnky,Moduly}/<name>/ (for Setup14).
// Site folder:      download.ini (with a key, download.ini.minisig beside it) and each
//                   release in a folder of its own, vydani/<folder>/, that download.ini's
//                   Urls name: the download.ini that published it, unsigned; for every
//                   published folder its master.snapshot.zip and one zip per file
//                   (<path>.zip); with an updater given, SetupCommon/<its name>.zip.
//                   vydani/.zevlon-slozky records the folders this tool made. Each snapshot line
//                   carries its file's SHA-256, and download.ini the SHA-256 of each
//                   unpacked snapshot and of the updater's archive, so that a signature
//                   of download.ini covers the whole site. With a key given, its
//                   signature lies beside it as download.ini.minisig. With earlier
//                   sites given, the per-file deltas against them and each folder's
//                   master.delty.zip, whose SHA-256 download.ini lists as well.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "aplikace/instalovany_soubor.h"
#include "common/chyba.h"
#include "prenos/podpisy/podpis.h"

namespace zevlon::publikace {

struct Zadani {
  std::string zdroj;                      // the release folder
  std::string cil;                        // the site folder (created; existing content replaced)
  std::string adresa;                     // the site's base address, ending with "/"
  std::string vydani;                     // "Release"
  std::optional<std::string> zmenaDat;    // "ReleaseZmenyDat"
  std::string verzeZevlonu = "8";         // "ZevlonVerze"
  std::optional<std::string> zevlon;      // an updater program to publish
  std::optional<podpis::TajnyKlic> klic;  // signs download.ini into download.ini.minisig
  std::string souborKlice;                // the key's file, never inside the site folder
  std::vector<std::string> predchozi;     // earlier sites to make deltas against
  bool bezDelt = false;                   // no deltas, not even against the site replaced
  bool prepsatVydani = false;             // the site's own release may be published again
  bool vratitVydani = false;              // an older release than the site's may be published
  int ponechat = 3;                       // release folders kept, the new one among them (2+)
};

// The number of the error raised when the site folder already holds the release being
// published, or a newer one, and the Zadani allows neither.
inline constexpr std::int32_t kChybaVydaniWebu = kChybaUzivatele + 0x100;

struct Souhrn {
  std::string slozka;  // the release folder's name below vydani/
  int slozek = 0;
  int souboru = 0;
  int delt = 0;
  std::vector<std::string> protiVydanim;  // the releases of the sites the deltas are against
};

struct PublikovanaSlozka {
  int souboru = 0;
  std::string sha256Snapshotu;  // of master.snapshot as it is unpacked
  std::string sha256Delt;       // of master.delty as it is unpacked; "" when it has none
  int delt = 0;
};

class PredchoziWeby;

// Publishes one folder: its snapshot as cil/master.snapshot.zip and every file as
// cil/<path>.zip; with earlier sites, the deltas against them of the site's folder
// `naWebu` ("Setup/", ...) beside, and their list as cil/master.delty.zip.
PublikovanaSlozka PublikovatSlozku(const std::string& zdroj, const std::string& cil,
                                   const PredchoziWeby* predchozi = nullptr,
                                   const std::string& naWebu = "");

// Sets each record's Sha256 from its file below the folder `zdroj`; raises the program's
// error for a file that cannot be read.
void DoplnitSha256(SeznamSouboru& soubory, const std::string& zdroj);

// Publishes the release into the site folder, which must be empty, missing or a site this
// tool made (OveritCilWebu), from a release folder that OveritSlozkuVydani accepts; with
// deltas against the earlier sites given and, unless bezDelt, the site it replaces. The
// release goes into a new folder vydani/<release> (vydani/<release>.<n> when that name was
// ever used), its files equal to the live release's hard links to them; once it is whole
// and on the disk, download.ini is replaced by a rename, then its signature. Then the
// top-level folders of the former layout that an earlier run converted, and the oldest of
// the release folders this tool made beyond `ponechat`, are removed. Raises the program's
// error on any failure, with the live site as it was and nothing of the tool's left behind
// when it came before the switch, and kChybaVydaniWebu before anything is written when the
// site holds the same release or a newer one.
Souhrn Publikovat(const Zadani& z);

// Sets "Nasazeni" of the site's download.ini (the percent of machines that may install its
// release now) and nothing else of it, and signs it again with `klic`; a signed site needs
// the key, and its pair must verify with it. The new pair takes the old one's place as vydat's
// does.
void Nasadit(const std::string& web, int procento, const std::optional<podpis::TajnyKlic>& klic);

// Points the site's download.ini back at the newest release folder before the live one that
// is still on the site, holds an older release and was never withdrawn, restoring the
// download.ini that folder keeps, signed again with `klic`; the record names the live folder
// withdrawn. Answers the release the site offers now; raises when there is no such folder.
std::string Stahnout(const std::string& web, const std::optional<podpis::TajnyKlic>& klic);

}  // namespace zevlon::publikace
