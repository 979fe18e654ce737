// The secret key file in minisign's format, as `minisign -G` writes and `minisign -S`
// reads it, encrypted with scrypt or not encrypted.
#include <sodium.h>

#include <algorithm>

#include "common/chyba.h"
#include "prenos/podpisy/podpis.h"
#include "prenos/podpisy/podpis_pomucky.h"

namespace zevlon::podpis {

using namespace detail;

namespace {

// The decoded file: "Ed", the key derivation, "B2", salt, opslimit, memlimit (the
// header), then the key id, the secret key and the checksum (the part encrypted).
constexpr std::size_t kKdf = 2, kKontrolniAlg = 4, kSul = 6, kOps = 38, kMem = 46;
constexpr std::size_t kId = 54, kKlic = 62, kKontrolniSoucet = 126, kDelka = 158;
constexpr std::size_t kSifrovano = kDelka - kId;
using Blob = TajneBajty<kDelka>;

constexpr std::array<std::uint8_t, 2> kScrypt{'S', 'c'};
constexpr std::array<std::uint8_t, 2> kBezSifrovani{0, 0};
constexpr std::array<std::uint8_t, 2> kBlake2b{'B', '2'};

constexpr std::string_view kKomentar = "minisign encrypted secret key";
constexpr std::size_t kNejvetsiSoubor = 4 * 1024;

// Limits written with a password: scrypt with N = 2^16, r = 8, p = 1 (64 MiB, a fraction
// of a second), four times libsodium's interactive level. minisign itself uses the
// sensitive level (1 GiB, seconds), which would make every signing of a site and every
// test pay that; a publisher's key file is meant to sit on that publisher's own machine.
constexpr std::uint64_t kZapisOps = 1ull << 21;
constexpr std::uint64_t kZapisMem = 1ull << 26;
// Read up to minisign's own sensitive limits and no further: a corrupt or hostile file
// must not make us allocate or compute without bound.
constexpr std::uint64_t kNejvicOps = crypto_pwhash_scryptsalsa208sha256_OPSLIMIT_SENSITIVE;
constexpr std::uint64_t kNejvicMem = crypto_pwhash_scryptsalsa208sha256_MEMLIMIT_SENSITIVE;

constexpr const char* kNeniKlic = "Soubor není tajný klíč ve formátu minisign.";
constexpr const char* kSpatneHeslo = "Nesprávné heslo nebo poškozený tajný klíč.";
constexpr const char* kPoskozeny = "Tajný klíč je poškozený.";

// A password as the caller gave it, wiped when it goes.
struct Heslo {
  std::string text;
  ~Heslo() { sodium_memzero(text.data(), text.size()); }
};

bool Je(const Blob& blob, std::size_t kde, const std::array<std::uint8_t, 2>& hodnota) {
  return std::equal(hodnota.begin(), hodnota.end(), blob.b.begin() + kde);
}

std::uint64_t CistLe(const Blob& blob, std::size_t kde) {
  std::uint64_t n = 0;
  for (std::size_t i = 8; i-- > 0;)
    n = n << 8 | blob.b[kde + i];
  return n;
}

void ZapsatLe(Blob& blob, std::size_t kde, std::uint64_t n) {
  for (std::size_t i = 0; i < 8; ++i)
    blob.b[kde + i] = static_cast<std::uint8_t>(n >> (8 * i));
}

using KontrolniSoucet = TajneBajty<crypto_generichash_BYTES>;

// BLAKE2b-256 over "Ed", the key id and the secret key.
void SpocitatSoucet(const Blob& blob, KontrolniSoucet& soucet) {
  crypto_generichash_state stav;
  crypto_generichash_init(&stav, nullptr, 0, soucet.b.size());
  crypto_generichash_update(&stav, blob.b.data(), 2);
  crypto_generichash_update(&stav, blob.b.data() + kId, kKontrolniSoucet - kId);
  crypto_generichash_final(&stav, soucet.b.data(), soucet.b.size());
  sodium_memzero(&stav, sizeof stav);
}

// XORs the key id, the secret key and the checksum with the scrypt stream of the
// password under the header's salt and limits; the same call encrypts and decrypts.
void Sifrovat(Blob& blob, std::string_view heslo) {
  TajneBajty<kSifrovano> proud;
  if (crypto_pwhash_scryptsalsa208sha256(proud.b.data(), proud.b.size(), heslo.data(), heslo.size(),
                                         blob.b.data() + kSul, CistLe(blob, kOps),
                                         static_cast<std::size_t>(CistLe(blob, kMem))) != 0)
    VyvolatChybu("Nelze odvodit klíč z hesla (nedostatek paměti?).");
  for (std::size_t i = 0; i < kSifrovano; ++i)
    blob.b[kId + i] ^= proud.b[i];
}

// Whether the secret key's second half is the public key of its first (the seed).
bool KlicSedi(const Blob& blob) {
  std::array<std::uint8_t, crypto_sign_PUBLICKEYBYTES> verejny;
  TajneBajty<crypto_sign_SECRETKEYBYTES> znovu;
  crypto_sign_seed_keypair(verejny.data(), znovu.b.data(), blob.b.data() + kKlic);
  return sodium_memcmp(znovu.b.data(), blob.b.data() + kKlic, znovu.b.size()) == 0;
}

}  // namespace

std::string SouborTajnehoKlice(const TajnyKlic& klic, const std::optional<std::string>& heslo) {
  InicializovatSodium();
  Blob blob;
  std::copy(kAlgoritmus.begin(), kAlgoritmus.end(), blob.b.begin());
  std::copy(kBezSifrovani.begin(), kBezSifrovani.end(), blob.b.begin() + kKdf);
  std::copy(kBlake2b.begin(), kBlake2b.end(), blob.b.begin() + kKontrolniAlg);
  if (heslo) {
    std::copy(kScrypt.begin(), kScrypt.end(), blob.b.begin() + kKdf);
    randombytes_buf(blob.b.data() + kSul, kOps - kSul);
    ZapsatLe(blob, kOps, kZapisOps);
    ZapsatLe(blob, kMem, kZapisMem);
  }
  std::copy(klic.id.begin(), klic.id.end(), blob.b.begin() + kId);
  std::copy(klic.klic.begin(), klic.klic.end(), blob.b.begin() + kKlic);
  KontrolniSoucet soucet;
  SpocitatSoucet(blob, soucet);
  std::copy(soucet.b.begin(), soucet.b.end(), blob.b.begin() + kKontrolniSoucet);
  if (heslo) Sifrovat(blob, *heslo);
  return std::string(kNeduveryhodny) + std::string(kKomentar) + "\n" + Base64(blob.b) + "\n";
}

TajnyKlic CistTajnyKlic(std::string_view text, const std::function<std::string()>& heslo) {
  InicializovatSodium();
  if (text.size() > kNejvetsiSoubor) VyvolatChybu(kNeniKlic);
  const auto radky = Radky(text);
  Blob blob;
  if (radky.size() != 2 || !JeNeduveryhodnyKomentar(radky[0]) || !ZBase64(radky[1], blob.b) ||
      !Je(blob, 0, kAlgoritmus) || !Je(blob, kKontrolniAlg, kBlake2b))
    VyvolatChybu(kNeniKlic);

  const bool sifrovany = Je(blob, kKdf, kScrypt);
  if (sifrovany) {
    if (CistLe(blob, kOps) > kNejvicOps || CistLe(blob, kMem) > kNejvicMem)
      VyvolatChybu(
          "Tajný klíč žádá k odvození z hesla víc paměti nebo výpočtu, než program dovolí.");
    if (!heslo) VyvolatChybu("Tajný klíč je zašifrovaný a heslo nebylo zadáno.");
    const Heslo zadane{heslo()};
    Sifrovat(blob, zadane.text);
  } else if (!Je(blob, kKdf, kBezSifrovani)) {
    VyvolatChybu("Tajný klíč je zašifrovaný nepodporovaným způsobem.");
  }

  // `minisign -G -W` leaves the checksum of a key not encrypted as zero bytes; the key's
  // halves must then agree at least.
  KontrolniSoucet soucet;
  SpocitatSoucet(blob, soucet);
  const bool bezSouctu =
      !sifrovany && sodium_is_zero(blob.b.data() + kKontrolniSoucet, crypto_generichash_BYTES) == 1;
  if ((!bezSouctu &&
       sodium_memcmp(soucet.b.data(), blob.b.data() + kKontrolniSoucet, soucet.b.size()) != 0) ||
      !KlicSedi(blob))
    VyvolatChybu(sifrovany ? kSpatneHeslo : kPoskozeny);

  TajnyKlic klic;
  std::copy_n(blob.b.begin() + kId, klic.id.size(), klic.id.begin());
  std::copy_n(blob.b.begin() + kKlic, klic.klic.size(), klic.klic.begin());
  return klic;
}

}  // namespace zevlon::podpis
