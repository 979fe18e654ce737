// Resolving a path the way a careful process must before it acts inside it: component by
// component from the root, following only the symbolic links that nobody but the acting
// user or root could have laid, and noting every folder passed on the way with its owner
// and mode, so that the caller can decide whether those folders are safe to act in.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "platform/soubory/souborovy_system.h"

namespace zevlon::ss {

// A folder of the resolved path, as lstat saw it.
struct SlozkaNaCeste {
  std::string cesta;  // without a trailing separator ("/" for the root)
  uid_t vlastnik = 0;
  mode_t rezim = 0;
};

struct Rozliseni {
  std::string cesta;                  // the resolved absolute path, no trailing separator
  std::vector<SlozkaNaCeste> slozky;  // every existing folder on the way, root first
  bool existuje = false;              // the whole path exists (as a folder or a file)
  std::string odmitnutyOdkaz;         // a link that may not be followed: resolution stopped
  Vysledek chyba;                     // a failure of lstat or readlink other than "missing"
};

// Whether only the user `jednajici` or root can change the entries of a folder with this
// owner and mode: it belongs to one of them and neither its group nor others may write.
bool ZapisujeJen(uid_t vlastnik, mode_t rezim, uid_t jednajici);

// Whether only the user `jednajici` or root can change where the resolved path leads: the
// resolution refused no link and failed nowhere, and every folder on the way is theirs alone
// (ZapisujeJen) but for a sticky folder of theirs that everybody may write, as /tmp, above
// the last one.
bool ZmenitJenSami(const Rozliseni& r, uid_t jednajici);

// Resolves an absolute path. A symbolic link is followed only when it belongs to root or
// to `jednajici` and lies in a folder that only they can write (ZapisujeJen); any other
// link stops the resolution and is answered in odmitnutyOdkaz. Components past the first
// missing one are joined as written, "." dropped and ".." taken as the parent. A relative
// path, more than 40 links or a link whose target cannot be read is an error.
Rozliseni RozlisitCestu(const std::string& cesta, uid_t jednajici);

}  // namespace zevlon::ss
