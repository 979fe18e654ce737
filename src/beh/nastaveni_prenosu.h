// The bounds of the run's downloads, taken from section "Server" of the options file
// (Zevlon.ini): the deadline and minimum speed of a transfer, and whether the run
// keeps to https because its site is on https.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace zevlon {

// "LhutaPrenosu": seconds a transfer may take, plus the time its expected size takes at
// the minimum speed (default 120). "MinRychlost": bytes per second below which a
// transfer is given up once it stayed there for "DobaMinRychlosti" seconds (defaults
// 1024 and 30). A value that is not a whole number above 0 counts as missing.
inline constexpr const char* kKlicLhutyPrenosu = "LhutaPrenosu";
inline constexpr const char* kKlicMinRychlosti = "MinRychlost";
inline constexpr const char* kKlicDobyMinRychlosti = "DobaMinRychlosti";
// "SoubeznaStahovani": downloads in flight at once over HTTP/1.1, each on a connection of
// its own (1 to 8, default 8); over HTTP/2, where they share one connection, eight times
// as many.
inline constexpr const char* kKlicSoubeznychStahovani = "SoubeznaStahovani";
// "LhutaBehu": seconds the whole run may take from here (default 12 hours): no download
// starts after it, none goes on past it, and the swaps do not begin.
inline constexpr const char* kKlicLhutyBehu = "LhutaBehu";
inline constexpr std::int64_t kLhutaBehu = 12 * 3600;
// "LhutaTicha": seconds a process acting for a profile's owner may stay silent, without
// even its heartbeat, before root ends it (default 120; at least 5).
inline constexpr const char* kKlicLhutyTicha = "LhutaTicha";
inline constexpr std::chrono::seconds kLhutaTicha{120};

// A whole number above 0 under the key of section "Server" of the options file `volby`;
// nothing otherwise.
std::optional<std::int64_t> KladneCisloServeru(const std::string& volby, const char* klic);

// The message that the mirror of the options file `volby` ("Zrcadlo") cannot be used, ""
// when it can or none is set: it must be an absolute http or https address, and an http
// one for a site on https only where a public key is set (the mirror's files are then
// verified by the signed checksums).
std::string ChybaZrcadla(const std::string& volby);

// Sets the process's HTTP client for the run: the bounds above, https only when the site's
// address (AdresaWebu) is on https, the mirror of the options (none where ChybaZrcadla
// has a message: the run stops on it before), and the end of every transfer as soon as the run is
// cancelled (Storno, Ctrl+C) or asked to stop (SIGTERM).
void NastavitPrenosy();

}  // namespace zevlon
