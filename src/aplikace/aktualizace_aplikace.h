// Builds the new content of one installation folder from its update server: the
// server's snapshot of the whole folder is compared with the existing copy, unchanged
// files are copied locally and changed or new ones downloaded one by one.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zevlon {

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
void AktualizaceAplikace(const std::string& TempSlozka, const std::string& UrlServeru,
                         const std::string& PuvodniSlozka, const std::string& NovaSlozka,
                         const std::vector<std::string>& JenSlozky = {},
                         const std::optional<std::string>& Sha256Snapshotu = std::nullopt);

}  // namespace zevlon
