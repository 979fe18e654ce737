// Swapping a live folder for its newly built sibling: the previous backup is deleted,
// the new folder takes the live one's place and the old content becomes the "_old"
// backup. Where the file system can, the two folders are exchanged in one step after
// the new tree reached the disk, so that the live folder is never missing, not even
// when the process is killed in the middle. And the repair of a swap that an older,
// interrupted run left half done.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zevlon {

// All three paths end with "/"; the backup must lie on the live folder's file system.
// Raises the rename error when the new folder is missing or the swap cannot be made;
// the live folder then holds its old content (or, only where a stop came between two
// renames, its backup does).
// With `ponechatZalohu` the backup is left as it is (it holds what an unfinished update
// replaced): the new folder takes the live one's place and the displaced content is deleted.
// `stary`, when given, is called with the folder that holds the old content once the swap
// is on the disk (the backup, or the displaced content before it is deleted); where it
// answers false, displaced content is kept as "<live folder>_neprenesene" instead.
void VymenitSeZalohou(const std::string& zivy, const std::string& zaloha, const std::string& novy,
                      bool ponechatZalohu = false,
                      const std::function<bool(const std::string&)>& stary = {});

// Where the shared folder's backup lies: "SetupCommon_old" in the profile folder, unless
// that lies on another file system than the shared folder; then beside the shared folder
// (its path + "_old"), so that a swap never moves the old content across file systems.
std::string ZalohaSdilene(const std::string& slozkaProfilu, const std::string& sdilena);

// When the live folder is missing but its backup exists, puts the backup back and
// records it in the error log. Answers whether it did.
bool ObnovitPrerusenouVymenu(const std::string& zivy, const std::string& zaloha);

// The record of an update whose swaps have begun in a setup folder. While it is there the
// setup folder does not count as current, whatever its program folder says, so that the
// next run renews every folder that a stopped or failed run left old. It also names each
// folder that an update has swapped already, with the release it brought, the mark of the
// sibling that took the live folder's place and the mark of the folder that became the
// backup (the folder marks of platform/soubory/znacka_slozky.h): while the live folder is
// still that sibling, its "_old" holds what was there before the unfinished update, the
// only copy of whatever the snapshot does not list, and is never deleted.
inline constexpr const char* kZaznamNedokoncene = "~aktualizace.nedokoncena";
// The record of the last complete update, in the same form: the folders it swapped, the
// release it brought ("Release") and the one installed before it ("Predchozi").
inline constexpr const char* kZaznamPosledni = "~aktualizace.posledni";
// Both records also keep the release information's "ReleaseZmenyDat" (a record without it
// counts as one across a data-structure change) and the package's top-level files that the
// update put into the setup folder, each with the SHA-256 of what it placed there ("" for a
// file it took away), so that going back can tell which of them it exchanged already, and
// ("Kontrola=1") that the update still awaits the check after it, until that check passes
// or none is set: a run killed before then leaves it for the next.
// Writes it (the setup folder ends with "/") keeping the folders already swapped and the
// release from before the update that began first; raises the write failure. Every write
// of the record is flushed, with its folder.
void ZapsatNedokoncenou(const std::string& slozkaSetupu, const std::string& vydani,
                        const std::string& predchozi,
                        const std::optional<std::string>& zmenaDat = std::nullopt);
// Names in the record the top-level files about to be placed: name and SHA-256 each.
void ZaznamenatSoubory(const std::string& slozkaSetupu,
                       const std::vector<std::pair<std::string, std::string>>& soubory);
bool JeNedokoncena(const std::string& slozkaSetupu);
// Whether the last update of the setup folder awaits its check; notes, flushed, that it
// does no more.
bool CekaNaKontrolu(const std::string& slozkaSetupu);
void KontrolaProvedena(const std::string& slozkaSetupu);
// A customisation's backup that a way back left (the last update's record says so, and the
// backup carries the mark it names) holds the folder as users had it under the release gone
// back from, its only copy: before an update takes the backup's place it is put aside whole,
// as "<folder>_vraceno_<release>" (".2", ".3"... when taken), flushed; raises the failure.
void OdlozitZalohuNavratu(const std::string& slozkaSetupu, const std::string& zivy,
                          const std::string& zaloha);

// A record as it stands (kZaznamNedokoncene or kZaznamPosledni): the folders by their path
// without the trailing "/", the mark of the folder that took the live one's place and of
// the one that became its backup. `navrat` is set while a way back is under way: the
// record then names each folder already as it will be once the way back is complete.
struct VymenaVZaznamu {
  std::string slozka, znacka, znackaZalohy, uzel, vydani, znackaNova, vydaniNove;
};
struct ZaznamAktualizace {
  std::string vydani, predchozi;
  std::optional<std::string> zmenaDat;
  bool navrat = false;
  bool kontrola = false;
  std::vector<VymenaVZaznamu> vymeny;
  std::vector<std::pair<std::string, std::string>> soubory;
};
ZaznamAktualizace CistZaznamAktualizace(const std::string& slozkaSetupu, const char* jmeno);
// Writes the record of an unfinished update whole, flushed with its folder; raises the failure.
void ZapsatZaznamAktualizace(const std::string& slozkaSetupu, const ZaznamAktualizace& z);
// Notes, before the swap, that the live folder `zivy` is about to become the sibling `novy`
// of release `vydani`: the sibling gets a new mark, the live folder one when it has none,
// and the record names both; raises the write failure.
void ZaznamenatVymenu(const std::string& slozkaSetupu, const std::string& zivy,
                      const std::string& novy, const std::string& vydani);
// Whether the unfinished update swapped the live folder already (it carries the mark of the
// sibling that update put there); the release that sibling brought goes to *vydani. A folder
// whose mark is neither of the two the record names, or missing, cannot be told: the
// failure is raised and nothing changes.
bool JeVymenena(const std::string& slozkaSetupu, const std::string& zivy, std::string* vydani);
// Once the update is complete, keeps it as the last update, then removes the record,
// both flushed; a removal that cannot be made
// lasting raises the failure, so that the next run checks every folder again.
void SmazatZaznamNedokoncene(const std::string& slozkaSetupu);
// Deletes the sibling folders (prefix + "dwnld_...") that an interrupted run left in
// the folder. Answers whether there were any.
bool SmazatZbytkyBehu(const std::string& slozka, const std::string& predpona);
// Whether there are any.
bool MaZbytkyBehu(const std::string& slozka, const std::string& predpona);

}  // namespace zevlon
