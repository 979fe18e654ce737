// The bounds of the run's downloads, taken from section "Server" of the options file
// (Zevlon.ini): the deadline and minimum speed of a transfer, and whether the run
// keeps to https because its site is on https.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/http/http.h"

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

// "MaxRychlost": kB per second (1 kB = 1000 B) of all the transfers of the run together,
// at least twice MinRychlost; "MaxRychlostOkno": "HH:MM-HH:MM", the hours of the day (local
// time; the span may cross midnight) when it holds, always without it.
inline constexpr const char* kKlicMaxRychlosti = "MaxRychlost";
inline constexpr const char* kKlicOknaMaxRychlosti = "MaxRychlostOkno";

// The message that the run's bound cannot be used, "" when it can or none is set: it names
// both keys where it is below twice the minimum speed.
std::string ChybaMaxRychlosti(const std::string& volby);

// "Proxy": the proxy of every transfer of the run and of the owner's process, an address
// without user or password (Zevlon.ini is readable by all); "BezProxy": the hosts reached
// directly, as libcurl's no_proxy lists them; "ProxyUdaje": a file holding
// "uživatel:heslo" on one line, a regular file of root's or of the user running, readable
// by its owner alone, whose credentials go with the proxy. Without Proxy and BezProxy the
// environment's proxy variables count.
inline constexpr const char* kKlicProxy = "Proxy";
inline constexpr const char* kKlicBezProxy = "BezProxy";
inline constexpr const char* kKlicProxyUdaju = "ProxyUdaje";

// The proxy's address without what stands before its last "@": a user and password, with
// a scheme before them or without one, whatever they hold ("/" too).
std::string ProxyBezUdaju(const std::string& proxy);

// The message that the proxy of the options file `volby` cannot be used, "" when it can or
// none is set; it names the key or the file, never a password.
std::string ChybaProxy(const std::string& volby);

// The proxy of the options file `volby`, with the credentials of ProxyUdaje in its
// address; nothing where neither Proxy nor BezProxy is set (BezProxy alone takes the
// environment's proxy with its own exceptions). Credentials that cannot be used are left
// out (ChybaProxy names them).
std::optional<KlientHttp::Proxy> ProxyZVoleb(const std::string& volby);

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
