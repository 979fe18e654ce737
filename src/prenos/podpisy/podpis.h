// Detached signatures and keys in minisign's formats, so that a site signed here can be
// checked with the stock minisign and a file signed with minisign is accepted here.
//
// Public key (".pub" file): "untrusted comment: ..." and the base64 of "Ed" + key id (8)
// + Ed25519 public key (32). Signature (".minisig"): an untrusted comment line, the
// base64 of the algorithm ("Ed": the content itself is signed; "ED": its BLAKE2b-512)
// + key id + Ed25519 signature (64), "trusted comment: " + text, and the base64 of the
// global signature over the signature and the trusted comment's text. Secret key: the
// base64 of "Ed", the key derivation ("Sc": scrypt with the salt and limits that follow,
// or two zero bytes: not encrypted), "B2", salt (32), opslimit and memlimit (8 each,
// little-endian), then key id + Ed25519 secret key (64) + BLAKE2b-256 checksum (32),
// XORed with the scrypt stream when encrypted.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zevlon::podpis {

using IdKlice = std::array<std::uint8_t, 8>;

struct VerejnyKlic {
  IdKlice id{};
  std::array<std::uint8_t, 32> klic{};
  bool operator==(const VerejnyKlic&) const = default;
};

struct TajnyKlic {
  IdKlice id{};
  std::array<std::uint8_t, 64> klic{};  // seed and public key, as libsodium keeps them
};

struct Podpis {
  bool predhashovany = true;  // "ED": the signature covers the content's BLAKE2b-512
  IdKlice id{};
  std::array<std::uint8_t, 64> podpis{};
  std::string duveryhodnyKomentar;  // the text after "trusted comment: "
  std::array<std::uint8_t, 64> globalniPodpis{};
  bool operator==(const Podpis&) const = default;
};

// The key id as minisign prints it: the uppercase hex digits (no leading zeros) of the id read as a
// little-endian number.
std::string TextId(const IdKlice& id);

// A public key: the base64 line as `minisign -P` takes it, or the whole ".pub" file
// (comment line and key line). nullopt when it is anything else.
std::optional<VerejnyKlic> CistVerejnyKlic(std::string_view text);

// Public keys separated by blanks (spaces, tabs, line ends); nullopt when any of them is
// not a key, so that a mistyped key is never silently passed over.
std::optional<std::vector<VerejnyKlic>> CistVerejneKlice(std::string_view text);

// The base64 line of a public key, and the ".pub" file with minisign's comment.
std::string TextVerejnehoKlice(const VerejnyKlic& klic);
std::string SouborVerejnehoKlice(const VerejnyKlic& klic);

// A ".minisig" file; nullopt when it is not one (a bound on its size included).
std::optional<Podpis> CistPodpis(std::string_view text);

enum class Overeni {
  kPlatny,    // signed by one of the keys, the trusted comment included
  kJinyKlic,  // the signature names a key that is not among them
  kNeplatny,  // the key matches but the content or the trusted comment do not
};

// Checks the content and the trusted comment against the signature with whichever of the
// keys the signature names.
Overeni Overit(const Podpis& podpis, std::span<const VerejnyKlic> klice, std::string_view obsah);

// The unix time of a trusted comment "timestamp:<seconds>" (further fields after a tab
// are allowed); nullopt when it has none.
std::optional<std::int64_t> CasPodpisu(std::string_view duveryhodnyKomentar);

// A new key pair from the system's random source.
std::pair<TajnyKlic, VerejnyKlic> NovyPar();

// Signs the content ("ED") with the given trusted comment; answers the ".minisig" text.
std::string Podepsat(const TajnyKlic& klic, std::string_view obsah,
                     const std::string& duveryhodnyKomentar);

// The secret key file: encrypted with the password (scrypt, as minisign does) or, with
// no password, not encrypted.
std::string SouborTajnehoKlice(const TajnyKlic& klic, const std::optional<std::string>& heslo);

// Reads a secret key file (ours or one made by `minisign -G`); the password is asked for
// only when the key is encrypted. A file that is not a key, or a wrong password, raises
// the program's error with a Czech text.
TajnyKlic CistTajnyKlic(std::string_view text, const std::function<std::string()>& heslo);

}  // namespace zevlon::podpis
