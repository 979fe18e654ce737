// mZip32: packs one file (or a folder) into a zip archive and unpacks an archive into
// a folder, driving our Info-ZIP-style layer (zip32_knihovna.h) with its option
// records and this module's callbacks. Errors raised inside either operation are
// written to the error log under the operation's source and raised again; what the
// layer reports as failure comes back only as the returned code.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "prenos/zip/zip32_zaznamy.h"

namespace zevlon {

inline constexpr const char* kZdrojZazipovat = "mZip32::ZazipovatJednoduse";
inline constexpr const char* kZdrojRozzipovat = "mZip32::RozzipovatJednoduse";

// What ZazipovatJednoduse answers, without calling the layer, for a source that is
// neither a file nor a folder: "nothing to do".
inline constexpr std::int32_t kZdrojNeexistuje = zip32::ZE_NONE;

// Packs zdroj (a file or a folder) into archiv and answers the layer's code (0 on
// success). An empty archiv means zdroj + ".zip" for a file and the folder's path
// (without a trailing "/") + ".zip" for a folder. An existing archive is deleted
// first when nahradit is true, otherwise updated (new names added, entries replaced
// by newer files). A non-empty heslo encrypts the entries. A file is stored under its
// bare name; a folder's files under their paths relative to the folder, at most 1024
// of them (one more raises error 9). bezCest stores bare names throughout.
std::int32_t ZazipovatJednoduse(const std::string& zdroj, const std::string& archiv, bool nahradit,
                                const std::string& heslo, bool bezCest);

// The one entry a package is unpacked for: its path in the archive and what it may
// unpack to (at most `velikost` bytes, or exactly that many).
struct JedinaPolozka {
  std::string jmeno;
  std::uint64_t velikost = 0;
  bool presne = false;
};

// Unpacks the whole archive into cilovaSlozka (blank: the archive's own folder),
// recreating its folders, and answers the layer's code (0 on success). Existing
// files are replaced: unasked when prepsat is non-zero, otherwise after the replace
// callback answered "replace all". heslo opens encrypted entries; an empty heslo
// declines once and for the rest of the process. With `jen`, only the entry of
// exactly that path (letter case included) is unpacked, and only within its size.
std::int32_t RozzipovatJednoduse(const std::string& archiv, const std::string& cilovaSlozka,
                                 std::int16_t prepsat, const std::string& heslo,
                                 const JedinaPolozka* jen = nullptr);

namespace mzip32 {

inline constexpr int kSlotZip = 0;
inline constexpr int kSlotUnzip = 1;

// Number of slots of the zip name list.
inline constexpr std::size_t kSlotuSeznamu = 1024;

// Width of a listing line of the unzip message callback, in characters.
inline constexpr std::size_t kSirkaRadkuVypisu = 80;

// The unzip option values, one 16-bit integer per option of DCLIST.
struct VolbyUnzipu {
  std::int16_t ExtractOnlyNewer = 0;
  std::int16_t SpaceToUnderscore = 0;
  std::int16_t PromptToOverwrite = 0;
  std::int16_t fQuiet = 0;
  std::int16_t ncflag = 0;
  std::int16_t ntflag = 0;
  std::int16_t nvflag = 0;
  std::int16_t nfflag = 0;
  std::int16_t nzflag = 0;
  std::int16_t ndflag = 0;
  std::int16_t noflag = 0;
  std::int16_t naflag = 0;
  std::int16_t nZIflag = 0;
  std::int16_t C_flag = 0;
  std::int16_t fPrivilege = 0;
};

// The module's process-wide state, shared by both operations.
struct StavModulu {
  // Library handle table: a slot is set when the library was first used and stays
  // set (the layer is linked in; there is nothing to load or release).
  std::array<bool, 2> knihovny{};
  std::string heslo;  // the archive password the callbacks hand out
  bool zipHesloOdmitnuto = false;
  bool zipHesloZadano = false;
  bool unzipHesloOdmitnuto = false;  // set by the unzip password callback, never reset
  VolbyUnzipu volby;
  std::string zip;         // archive path
  std::string extractDir;  // extraction folder
  std::string vyber;       // file-selection list and count
  int pocetVyberu = 0;
  std::string vyjimky;  // exclusion list and count
  int pocetVyjimek = 0;
  // The one entry of a package and its size, when the selection is one exact path.
  bool jedinaPolozka = false;
  std::uint64_t maxVelikost = 0;
  bool presnaVelikost = false;
  std::string textTisku;   // what the unzip print callback received
  std::string textVypisu;  // listing lines of the unzip message callback
  int pocetVypsanych = 0;  // entries listed
};

// Read access to the module state (nothing in the system relies on it; tests and
// diagnostics look at it).
const StavModulu& Stav();

// The callbacks this module registers. None of them raises.
int ZipTisk(char* buf, unsigned long delka);
char* ZipKomentar(char* buf);
int ZipHeslo(char* buf, int delka, const char* vyzva, const char* jmeno);
int ZipSluzba(const char* jmeno, std::uint64_t velikost);

int UnzipTisk(char* buf, unsigned long delka);
int UnzipNahradit(char* jmeno, unsigned delka);
int UnzipHeslo(char* buf, int delka, const char* vyzva, const char* jmeno);
void UnzipZprava(std::uint64_t velikost, std::uint64_t komprimovana, unsigned pomer, unsigned mesic,
                 unsigned den, unsigned rok, unsigned hodina, unsigned minuta, char znak,
                 const char* jmeno, const char* metoda, unsigned long crc, char sifrovana);
int UnzipSluzba(const char* jmeno, std::uint64_t velikost);

}  // namespace mzip32
}  // namespace zevlon
