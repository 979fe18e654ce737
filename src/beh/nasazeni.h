// Waves of a release: the publisher lets a release reach a part of the fleet first
// ("Nasazeni" of section "Merko" of the signed release information, the percent of
// machines that may install it now; missing means all). Each machine has its place from 0
// to 99 for each release, drawn from its identity, so that it is stable for a machine and
// release and differs between releases.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace zevlon {

inline constexpr const char* kKlicNasazeni = "Nasazeni";
inline constexpr const char* kKlicSkupinyNasazeni = "SkupinaNasazeni";
inline constexpr const char* kStrojIdentita = "/etc/machine-id";
// The machine's own identity where it has no machine-id, in the record place.
inline constexpr const char* kZaznamIdentity = "identita_stroje";

// The place of a machine in the waves of a release: the first 8 bytes of
// SHA-256(identity + "\n" + release), read big-endian, modulo 100.
int MistoNasazeni(std::string_view identita, std::string_view vydani);

// The percent of machines the release information's section lets install now: a whole
// number from 0 to 100; 100 when missing, 0 for anything else (no machine takes it yet).
int ProcentoNasazeni(const std::string& souborVydani, const std::string& sekce = "Merko");

// The identity a machine's place is drawn from: "SkupinaNasazeni" of section "Server" (an
// office moves as one), else the machine-id in `strojId`, else a random value kept in the
// record place of this process's user (made at the first need). Raises when there is none.
std::string IdentitaStroje(const std::string& strojId = kStrojIdentita);

// The add-on sections of the release information whose own "Nasazeni" does not reach this
// machine yet (the place drawn with the section's "Release", else the release's), as
// kKlicMimoVlnu writes them; empty when there is none. The identity is asked only when a
// section has a wave.
std::string DoplnkyMimoVlnu(const std::string& souborVydani,
                            const std::function<std::string()>& identita);

}  // namespace zevlon
