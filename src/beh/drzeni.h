// The hold of a machine on the release it has: "DrzetVydani" of section "Server" names the
// highest release that a run may install; `zevlon --drzet [R]` sets it and
// `zevlon --uvolnit` lets go, through the same safe write of the options file as the
// options window.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

namespace zevlon {

inline constexpr const char* kKlicDrzetVydani = "DrzetVydani";
inline constexpr const char* kVolbaDrzet = "--drzet";
inline constexpr const char* kVolbaUvolnit = "--uvolnit";

// The release the options hold the machine on; empty for none. A value that is no
// release number raises an error (the run installs nothing it cannot tell from it).
std::string DrzeneVydani();

// `--drzet [R]`: holds the machine on R, by default on the release installed in the
// profile of "SlozkaDat". Answers the exit status: 0 held, 64 no release number (or none
// to take), 1 the options file cannot be written (another user's, root's places untrusted).
int Drzet(const std::optional<std::string>& vydani, std::FILE* out);

// `--uvolnit`: lets go of everything that keeps the machine on the release it has, each in
// a step of its own: the hold of the options, and the refusal of a release gone back from
// in the profile of "SlozkaDat" (lifted by the profile's owner). Answers the exit status as
// Drzet does.
int Uvolnit(std::FILE* out);

}  // namespace zevlon
