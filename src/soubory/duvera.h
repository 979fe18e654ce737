// What a run as root may trust. Root takes its program and its settings only from
// places that only root can change: the program file, the program's folder and the
// options file beside the program (CestaVolebIni) must belong to root and must not be
// writable by group or others. Either file may be missing; neither may be a link.
//
// Root never acts inside a folder that another user can change: a profile that such a
// user can write is renewed by a process running as that user (the profile's owner),
// and every folder that a run acts in must belong to the acting user or be writable by
// root alone. Paths are resolved component by component for these checks, never
// compared as texts.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace zevlon {

// For a process running as root, raises an error naming the first place that fails
// these conditions; for any other user does nothing.
void OveritMistaRoota();

// Who renews the profile: for a process running as root, root itself when the profile
// folder and every folder on the way to it can be changed by root alone, else the owner
// of the profile folder, provided every folder on the way belongs to that owner or only
// root can write it (root's folders that everyone may write and that keep others'
// entries safe, such as /tmp, may lie above the profile). A link on the way that another
// user could have laid, or any other mix of owners, raises an error naming it. A missing
// profile folder is left to root, which finds no installation in it. For any other
// process: that process's own user, unchecked.
uid_t KdoAktualizuje(const std::string& slozkaProfilu);

// For root and for a process acting for the profile's owner (`zaVlastnika`), the setup
// and shared folders of the profile (all ending with "/"), where the run is going to
// write: each is resolved component by component (a link is followed only when the
// acting user or root laid it in a folder that only they can write); a folder that does
// not resolve inside the resolved profile folder is taken from the profile's Merko.ini
// only when that file belongs to the acting user or root and nobody else may write it;
// each folder, its parent and every folder on the way must belong to the acting user or
// be writable by root alone. Raises an error naming the first folder or link that fails;
// for a user's own run does nothing.
void OveritSlozkyProfilu(const std::string& slozkaProfilu, const std::vector<std::string>& slozky,
                         bool zaVlastnika = false);

// For root and for a process acting for the profile's owner, a folder found inside an
// installation that the run reads and rebuilds (owner and mode as fstat saw them): it must
// belong to the acting user or be writable by root alone, else the error names it. A
// user's own run checks nothing.
void OveritSlozkuInstalace(const std::string& slozka, uid_t vlastnik, mode_t rezim);

// Whether the process may take what a file says on trust: the file is a regular file of
// the process's user or root that neither group nor others may write, and the folders on
// the resolved way to it belong to that user or only root can write them (a sticky folder
// of everybody, as /tmp, only above the file's folder and its parent). For root that is
// root's alone.
bool DuveryhodnySoubor(const std::string& soubor);

}  // namespace zevlon
