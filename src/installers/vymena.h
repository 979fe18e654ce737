// Swapping a live folder for its newly built sibling: the previous backup is deleted,
// the new folder takes the live one's place and the old content becomes the "_old"
// backup. Where the file system can, the two folders are exchanged in one step after
// the new tree reached the disk, so that the live folder is never missing, not even
// when the process is killed in the middle. And the repair of a swap that an older,
// interrupted run left half done.
#pragma once

#include <string>

namespace zevlon {

// All three paths end with "/". Raises the rename error when the new folder is
// missing or the backup cannot be made room for; the live folder is then untouched.
void VymenitSeZalohou(const std::string& zivy, const std::string& zaloha, const std::string& novy);

// When the live folder is missing but its backup exists, puts the backup back and
// records it in the error log. Answers whether it did.
bool ObnovitPrerusenouVymenu(const std::string& zivy, const std::string& zaloha);

// Deletes the sibling folders (prefix + "dwnld_...") that an interrupted run left in
// the folder. Answers whether there were any.
bool SmazatZbytkyBehu(const std::string& slozka, const std::string& predpona);

}  // namespace zevlon
