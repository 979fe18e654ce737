// The files room of the platform floor: the file system as the program sees it. Copy,
// delete, move and list (souborovy_system*), whole small files read and written
// (soubor.h), paths resolved through folders opened without following links
// (rozliseni_cesty.h), and the run's private temp folder (soukromy_temp.h).
//
// The file system as the program's file and folder operations need it: copy, delete,
// attributes, folder creation, move, forced deletion and copy of whole trees, and
// folder listings. Every call answers a Vysledek instead of raising, so that the
// caller can build its own Czech message and offer a retry. Paths are native ("/"),
// UTF-8 and used as given.
//
// Failures carry the program's codes: 53 file not found, 70 access denied (also a
// file in use), 76 path not found; any other failure carries its errno value and a
// description. ChybaSystemu is the one place where errno values are mapped.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/cas.h"
#include "platform/soubory/soubor.h"

namespace zevlon {

// Bits of the attribute word, as the program's attribute operations use them.
// Here read-only is a file without its owner's write bit, hidden is a name that
// begins with "."; no file is a system file.
namespace atribut {
inline constexpr std::uint32_t kNormalni = 0;
inline constexpr std::uint32_t kJenProCteni = 1;
inline constexpr std::uint32_t kSkryty = 2;
inline constexpr std::uint32_t kSystemovy = 4;
inline constexpr std::uint32_t kSlozka = 16;
}  // namespace atribut

namespace ss {

// Outcome of one file-system call.
struct Vysledek {
  std::int32_t kod = 0;  // 0 on success; else 53, 70, 76 or the errno value
  std::string popis;     // description of the failure for the user
  bool Uspech() const { return kod == 0; }
};

// What the failed call expected to find at the path: a missing folder is always
// "path not found", a missing file is "file not found" when its folder exists.
enum class Druh { kSoubor, kSlozka };

// Maps an errno value of a call on `cesta` to the program's code and description.
Vysledek ChybaSystemu(int cislo, const std::string& cesta, Druh druh = Druh::kSoubor);

// True when the path (symbolic links followed) names an existing folder; no handle
// stays open after the test.
bool JeSlozka(const std::string& cesta);

// Copies one file over the target. The data go to a temporary name beside the target
// that is renamed over it only when complete, so the target is either the old file
// or the whole new one (not flushed to disk: see ZapsatNaDisk). The copy keeps the source's
// permission bits and modification time, and a replaced file its owner. Only regular files are
// copied (a folder, pipe or device as source is refused with code 70). A read-only target (no owner
// write bit) is refused with code 70; a target that is a symbolic link is replaced by the copy,
// never written through.
Vysledek ZkopirovatSoubor(const std::string& zdroj, const std::string& cil);

// A target named by an open folder and a name in it (`cesta` its path, for messages).
struct CilVeSlozce {
  int slozka;
  std::string jmeno, cesta;
};
// The same into the open folder: nothing on the way to it is looked up again, and the
// temporary file is made under a new name that nothing stood under.
Vysledek ZkopirovatSouborDo(const std::string& zdroj, const CilVeSlozce& cil);
// The same from a file already open for reading at its start, whose status is `zs` (`zdroj`
// names it in messages); the copy takes `cas` as its modification time when given. With
// `zmenen`, a source whose status is no longer `zs` once it was read (written to meanwhile)
// leaves nothing placed and sets *zmenen.
Vysledek ZkopirovatOtevrenyDo(int vstup, const struct stat& zs, const std::string& zdroj,
                              const CilVeSlozce& cil, std::optional<UtcCas> cas,
                              bool* zmenen = nullptr);
// Renames a file into the open folder where nothing stands under the name (one file system).
Vysledek PrejmenovatDo(const std::string& zdroj, const CilVeSlozce& cil);
// The folder `relativni` below the open folder `koren` (path `korenCesta`; AT_FDCWD opens
// that path, never through a link at its last name), reached level by level without
// following a link and made where missing; its descriptor goes to `fd`.
Vysledek OtevritPodslozku(int koren, const std::string& korenCesta, const std::string& relativni,
                          Popisovac& fd);

// Last-write time (UTC, whole seconds; the fraction dropped) and size of a file,
// symbolic links followed.
struct UdajeSouboru {
  UtcCas casZmeny = 0;
  std::int64_t velikost = 0;
};
Vysledek CistUdaje(const std::string& cesta, UdajeSouboru& udaje);

// Exchanges two folders in one step: at no instant is either path missing. Answers
// EINVAL in kod when the file system cannot exchange (the caller then falls back to
// two renames). The caller makes it lasting (ZapsatSlozkuNaDisk of their folder).
Vysledek VymenitSlozky(const std::string& a, const std::string& b);

// Writes everything the file system holding `cesta` has in its caches to the disk,
// so that a following rename finds complete files after a power loss.
Vysledek ZapsatNaDisk(const std::string& cesta);

// A file system held open from before a folder is built in it: syncfs reports only the
// write-back errors that came after its descriptor was opened, so the flush before a swap
// is made through one opened first. An empty path holds nothing and flushes nothing.
class DrzenySystem {
 public:
  explicit DrzenySystem(const std::string& cesta);
  ~DrzenySystem();
  DrzenySystem(const DrzenySystem&) = delete;
  DrzenySystem& operator=(const DrzenySystem&) = delete;
  // Writes everything the file system has in its caches to the disk; answers why not.
  Vysledek Zapsat() const;

 private:
  std::string cesta_;
  int fd_ = -1;
  int chyba_ = 0;  // why the open failed
};

// Writes a folder's own entries (renames, creations and removals in it) to the disk.
Vysledek ZapsatSlozkuNaDisk(const std::string& slozka);

// True when both paths name the same existing file or folder (links followed).
bool TenSamyObjekt(const std::string& a, const std::string& b);

// Sets the last-write time of a file (UTC, whole seconds); a link gets its own time.
Vysledek NastavitCasZmeny(const std::string& cesta, UtcCas cas);

// Deletes one file (or symbolic link); a folder is refused with code 70.
Vysledek SmazatSoubor(const std::string& cesta);

// Reads the attribute word (atribut::...) of a file, folder or symbolic link itself; a
// link answers its own word (never read-only, never a folder), not its target's.
Vysledek CistAtributy(const std::string& cesta, std::uint32_t& atributy);

// Sets the attribute word: only the read-only bit has an effect (it takes away or
// gives back the owner's write bit); hidden and system cannot be changed here and
// are ignored. Nothing is changed when the read-only state already matches, nor on a
// symbolic link: attributes are never changed through a link.
Vysledek NastavitAtributy(const std::string& cesta, std::uint32_t atributy);

// Creates one folder; its parent must exist.
Vysledek VytvoritSlozku(const std::string& cesta);
// A new folder whose name is `predpona` followed by "." and random letters and digits, made
// where nothing of that name stood (never one found there); its path goes to *cesta.
Vysledek VytvoritNovouSlozku(const std::string& predpona, std::string* cesta);

// Moves a folder to a new path; an existing target is refused (the rename never
// replaces anything). Across file systems the tree is copied and the source deleted;
// when the copy fails the partial target is removed and the source stays.
Vysledek PresunoutSlozku(const std::string& zdroj, const std::string& cil);

// Renames a file or folder within one file system; an existing target is refused.
Vysledek Presunout(const std::string& zdroj, const std::string& cil);
// Renames a regular file over the target (a file or nothing) in one step, on one file
// system; a link or folder under either name is refused.
Vysledek NahraditSouborem(const std::string& zdroj, const std::string& cil);

// Deletes a folder with everything in it, read-only content included. Symbolic links
// are removed, never followed; a subfolder without its owner's rwx bits gets them
// back first. A path that is a symbolic link to a folder loses only the link.
Vysledek SmazatStrom(const std::string& slozka);

// Copies the whole content of a folder into another: subfolders included, existing
// files overwritten, missing folders (the target with its parents too) created,
// modification times kept, symbolic links recreated as links. Stops at the first
// failure; what was copied stays.
Vysledek ZkopirovatObsahSlozky(const std::string& zdroj, const std::string& cil);

// What a merge saw of an entry of its source, enough to tell later whether it changed: its
// identity, size and times, the name it took in the target ("" where it gave way to the
// target's) and, for a file or link it copied, the copy's inode.
struct VidenaPolozka {
  dev_t zarizeni = 0;
  ino_t uzel = 0, kopie = 0;
  off_t velikost = 0;
  timespec zmena{}, stav{}, stavKopie{};  // the copy's status-change time too
  std::string cilJmeno;
  bool slozka = false;
};
// By path below the source (names joined by "/").
using VidenyStrom = std::map<std::string, VidenaPolozka>;

// What a merge (DoplnitStrom, DorovnatStrom) did not carry as it stood: entries kept under
// another name (source path, new target path), special files left out (source paths), what
// it saw of the source (when asked for) and what a carry brought (source path, target path).
struct ZmenyDoplneni {
  std::vector<std::pair<std::string, std::string>> prejmenovano;
  std::vector<std::string> vynechano;
  VidenyStrom* videno = nullptr;
  std::vector<std::pair<std::string, std::string>> preneseno;
};

// Copies into the target folder whatever of the source it lacks, so that what the target
// already holds wins: a subfolder is merged into a folder of exactly its name, a file or
// link gives way to a file or link of exactly its name. Any other entry of the source whose
// name the target has (as another kind, or in another letter case) is kept beside it as
// "<name>.uzivatel" (then ".uzivatel2", ... while taken in any letter case); devices, pipes
// and sockets are left out. Both are noted in *zmeny when given, and what the merge saw of
// every entry in *zmeny->videno. Copied files, links and created folders keep their mode and
// times and, for the superuser, their owner; links are recreated, never followed. The
// target folder itself takes the source folder's owner and mode. A folder's mark is never
// copied.
Vysledek DoplnitStrom(const std::string& zdroj, const std::string& cil,
                      ZmenyDoplneni* zmeny = nullptr);

// After such a merge, once the target is in use: carries into it what changed in the source
// since the merge saw it (`videno`). An entry the merge did not see is carried as the merge
// carries one; a file or link that changed replaces the merge's copy while the target still
// holds that very copy; any other changed or new entry whose name the target has keeps a
// name of its own ("<name>.uzivatel", ...). Each file reaches the target under a hidden name
// and is renamed into place, so the target never shows half of one. Each file or link
// carried is noted in zmeny->preneseno under the name it took.
Vysledek DorovnatStrom(const std::string& zdroj, const std::string& cil, const VidenyStrom& videno,
                       ZmenyDoplneni* zmeny);

// True when both paths exist (links followed) and lie on one file system.
bool StejnySystemSouboru(const std::string& a, const std::string& b);

struct PolozkaSlozky {
  std::string jmeno;
  bool slozka = false;  // a folder itself, not a link to one
  bool odkaz = false;   // a symbolic link
};

// Lists a folder without "." and "..", in no particular order.
Vysledek CistSlozku(const std::string& slozka, std::vector<PolozkaSlozky>& polozky);

// The entries of the tree `zdroj` whose path below it names nothing below `cil`, walked
// without following links (a folder that `cil` lacks counts once, its content not listed;
// a folder's mark is passed over): at most `max` of them in `chybejici`, folder by folder
// in name order, all of them counted in `celkem`.
Vysledek ChybejiciVCili(const std::string& zdroj, const std::string& cil, std::size_t max,
                        std::vector<std::string>& chybejici, std::size_t& celkem);

}  // namespace ss
}  // namespace zevlon
