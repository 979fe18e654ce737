// Operations on whole folders: create with every missing level, copy the content,
// rename (move) and delete with everything inside. Folder paths may or may not end
// in "/"; each operation says what it makes of that.
#pragma once

#include <string>

#include "platform/soubory/soubor.h"
#include "platform/soubory/souborovy_system.h"

namespace zevlon {

// Creates the folder with every missing parent level, one level at a time. A level
// that cannot be created is reported for the whole path; with askRetry the user may
// retry, which repeats that level and goes on. Raises the failure's code otherwise.
void VytvoritSlozku(const std::string& slozka, bool askRetry);
// Makes a folder that did not exist before under a name of `predpona` with a random end
// (ss::VytvoritNovouSlozku), as VytvoritSlozku reports and retries; answers its path with
// a trailing "/".
std::string VytvoritNovouSlozku(const std::string& predpona, bool askRetry);
// The folder `relativni` below the open folder `koren` (path `korenCesta`, ending with "/"),
// reached without following a link and made where missing (ss::OtevritPodslozku), as
// VytvoritSlozku reports and retries.
Popisovac OtevritPodslozku(int koren, const std::string& korenCesta, const std::string& relativni,
                           bool askRetry);

// Copies the whole content of the source folder into the target (subfolders too,
// existing files overwritten, missing folders created). On a failure the user is
// always asked whether to try again (an unattended run counts as No); without a
// retry it raises the user error code with the failure's code in its text. Answers
// true on success.
bool KopirovatSlozku(std::string zdroj, std::string cil);

// Copies into the target whatever of the source's content it lacks (what the target holds
// wins), keeping owners, modes and times; links are recreated, never followed. Failures
// are asked about and raised as with KopirovatSlozku. What it saw of the source goes to
// *videno when given.
void DoplnitSlozku(std::string zdroj, std::string cil, ss::VidenyStrom* videno = nullptr);
// Once the target of such a merge took the source's place (the source now being the
// backup `zaloha`), carries into it whatever changed in the backup since the merge saw it
// (ss::DorovnatStrom), naming each file in Zevlon.log, and flushes what it carried.
// Never raises: a carry that fails is said in both logs and answered false (what it did
// not carry is only in the old content).
bool DorovnatSlozku(const std::string& zaloha, const std::string& cil,
                    const ss::VidenyStrom& videno);
// Renames (moves) a folder; an existing target is never replaced. Raises the user
// error code on failure, without a question.
void PrejmenovatSlozku(const std::string& zdroj, const std::string& cil);

// Deletes the folder with everything in it, read-only content included. Never
// raises: after a failure that the user did not retry the folder stays, and the failure
// is said in Zevlon.log.
void SmazatSlozku(const std::string& slozka, bool askRetry);

}  // namespace zevlon
