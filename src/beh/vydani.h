// The release check against the update site: the connection test, the fetch of the
// release information file, the comparison of releases, the choice of the profile to
// update and the warning before a release that changes the data structure.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "prenos/stahovani/informace_vydani.h"

namespace zevlon {

// Whether the machine is connected (without contacting the site at `adresa`).
bool JePripojenInternet(const std::string& adresa);

// "JenNaSiti=1" of section "Server": an unattended run that finds the machine off the
// network waits for its next chance, ending without an error (vysledky::kBezPripojeni).
inline constexpr const char* kKlicJenNaSiti = "JenNaSiti";
bool JenNaSiti();

// The host part of an http(s) address.
std::string HostitelAdresy(std::string_view adresa);

// Fetches the site's release information (at `adresa`, the site's base address) into
// `mistni` and verifies its signature when keys are configured; the bytes the signature
// covers are kept beside it (kPriponaOverenych) for a process that verifies them again.
void StahnoutInformace(const std::string& adresa, const std::string& mistni);

// The release information fetch, step by step, so that a failed step can be repeated
// (the address and the signature check in prenos/stahovani/informace_vydani.h).
// Raises "Nepodařilo se stáhnout informace o aktualizacích." when the file has no
// release; answers the release.
std::string CistVydaniWebu(const std::string& mistniKopie);

// The release notes' address that verified release information names ("UrlZmen" of
// section "Merko"): an absolute http or https address without blanks or control
// characters, else none (the window keeps its own).
std::optional<std::string> OdkazZmen(const std::string& mistniKopie);

// The outcome of the profile choice.
struct VolbaProfilu {
  enum class Druh { kSlozka, kZadna, kZruseno } druh = Druh::kZadna;
  std::string slozka;
};

// Offers every profile whose release is older than the site's, in order, and answers
// the one the user accepted; an unattended run never picks one.
VolbaProfilu VybratProfil(const std::string& vydaniWebu);

// The warning before a release that changes the data structure; false when the user
// declined.
bool VarovaniZmenyDat(const std::string& souborVydani);

}  // namespace zevlon
