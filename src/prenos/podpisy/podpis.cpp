#include "prenos/podpisy/podpis.h"

#include <sodium.h>

#include <algorithm>
#include <charconv>
#include <cstring>

#include "common/chyba.h"
#include "prenos/podpisy/podpis_pomucky.h"

namespace zevlon::podpis {

using namespace detail;

namespace {

// Bounds on what is read: a ".minisig" holds two comments within minisign's own bounds
// and two short base64 lines; a public key, one comment and one line.
constexpr std::size_t kNejvetsiPodpis = 16 * 1024;
constexpr std::size_t kNejvetsiVerejnyKlic = 4 * 1024;

constexpr std::string_view kKomentarPodpisu = "signature from minisign secret key";
constexpr std::string_view kKomentarKlice = "minisign public key ";
constexpr std::string_view kCasPodpisu = "timestamp:";

constexpr std::string_view kMezery = " \t\r\n\v\f";

using BlobKlice = std::array<std::uint8_t, 2 + 8 + crypto_sign_PUBLICKEYBYTES>;
using BlobPodpisu = std::array<std::uint8_t, 2 + 8 + crypto_sign_BYTES>;
using Hash = std::array<std::uint8_t, crypto_generichash_BYTES_MAX>;  // BLAKE2b-512

std::string_view Orezat(std::string_view text) {
  const std::size_t zacatek = text.find_first_not_of(kMezery);
  if (zacatek == std::string_view::npos) return {};
  return text.substr(zacatek, text.find_last_not_of(kMezery) + 1 - zacatek);
}

// The base64 line of a public key: "Ed", the id, the key.
std::optional<VerejnyKlic> KlicZRadku(std::string_view radek) {
  BlobKlice blob;
  if (!ZBase64(radek, blob) || !std::equal(kAlgoritmus.begin(), kAlgoritmus.end(), blob.begin()))
    return std::nullopt;
  VerejnyKlic klic;
  std::copy_n(blob.begin() + 2, klic.id.size(), klic.id.begin());
  std::copy_n(blob.begin() + 2 + klic.id.size(), klic.klic.size(), klic.klic.begin());
  return klic;
}

// A trusted comment the file can hold and minisign reads as it is: one line within the
// bound, no NUL (minisign would stop there) and no carriage return (minisign drops it).
bool PlatnyDuveryhodny(std::string_view komentar) {
  return komentar.size() <= kNejdelsiDuveryhodny &&
         komentar.find_first_of(std::string_view("\0\r\n", 3)) == std::string_view::npos;
}

// What the global signature covers: the signature and the trusted comment's text.
std::vector<std::uint8_t> GlobalniZprava(const std::array<std::uint8_t, 64>& podpis,
                                         std::string_view komentar) {
  std::vector<std::uint8_t> zprava(podpis.begin(), podpis.end());
  zprava.insert(zprava.end(), komentar.begin(), komentar.end());
  return zprava;
}

Hash Blake2b512(std::string_view obsah) {
  Hash h;
  crypto_generichash(h.data(), h.size(), reinterpret_cast<const unsigned char*>(obsah.data()),
                     obsah.size(), nullptr, 0);
  return h;
}

bool PlatiObsah(const Podpis& podpis, const VerejnyKlic& klic, std::string_view obsah) {
  if (podpis.predhashovany) {
    const Hash h = Blake2b512(obsah);
    return crypto_sign_verify_detached(podpis.podpis.data(), h.data(), h.size(),
                                       klic.klic.data()) == 0;
  }
  return crypto_sign_verify_detached(podpis.podpis.data(),
                                     reinterpret_cast<const unsigned char*>(obsah.data()),
                                     obsah.size(), klic.klic.data()) == 0;
}

bool Plati(const Podpis& podpis, const VerejnyKlic& klic, std::string_view obsah) {
  if (!PlatiObsah(podpis, klic, obsah)) return false;
  const auto globalni = GlobalniZprava(podpis.podpis, podpis.duveryhodnyKomentar);
  return crypto_sign_verify_detached(podpis.globalniPodpis.data(), globalni.data(), globalni.size(),
                                     klic.klic.data()) == 0;
}

}  // namespace

std::string TextId(const IdKlice& id) {
  static constexpr char kCislice[] = "0123456789ABCDEF";
  std::string text;
  for (auto b = id.rbegin(); b != id.rend(); ++b) {
    text += kCislice[*b >> 4];
    text += kCislice[*b & 15];
  }
  // Without leading zeros, as minisign prints it ("%" PRIX64).
  const std::size_t prvni = text.find_first_not_of('0');
  return prvni == std::string::npos ? "0" : text.substr(prvni);
}

std::optional<VerejnyKlic> CistVerejnyKlic(std::string_view text) {
  if (text.size() > kNejvetsiVerejnyKlic) return std::nullopt;
  const auto radky = Radky(Orezat(text));
  if (radky.size() == 1) return KlicZRadku(Orezat(radky[0]));
  if (radky.size() == 2 && JeNeduveryhodnyKomentar(radky[0])) return KlicZRadku(Orezat(radky[1]));
  return std::nullopt;
}

std::optional<std::vector<VerejnyKlic>> CistVerejneKlice(std::string_view text) {
  std::vector<VerejnyKlic> klice;
  for (std::size_t i = text.find_first_not_of(kMezery); i != std::string_view::npos;) {
    const std::size_t konec = text.find_first_of(kMezery, i);
    auto klic = KlicZRadku(text.substr(i, konec - i));
    if (!klic) return std::nullopt;
    klice.push_back(*klic);
    i = konec == std::string_view::npos ? konec : text.find_first_not_of(kMezery, konec);
  }
  return klice;
}

std::string TextVerejnehoKlice(const VerejnyKlic& klic) {
  BlobKlice blob;
  auto kam = std::copy(kAlgoritmus.begin(), kAlgoritmus.end(), blob.begin());
  kam = std::copy(klic.id.begin(), klic.id.end(), kam);
  std::copy(klic.klic.begin(), klic.klic.end(), kam);
  return Base64(blob);
}

std::string SouborVerejnehoKlice(const VerejnyKlic& klic) {
  return std::string(kNeduveryhodny) + std::string(kKomentarKlice) + TextId(klic.id) + "\n" +
         TextVerejnehoKlice(klic) + "\n";
}

std::optional<Podpis> CistPodpis(std::string_view text) {
  if (text.size() > kNejvetsiPodpis) return std::nullopt;
  const auto radky = Radky(text);
  if (radky.size() != 4 || !JeNeduveryhodnyKomentar(radky[0]) ||
      !radky[2].starts_with(kDuveryhodny))
    return std::nullopt;
  Podpis podpis;
  BlobPodpisu blob;
  if (!ZBase64(radky[1], blob) || !ZBase64(radky[3], podpis.globalniPodpis)) return std::nullopt;
  if (std::equal(kAlgoritmus.begin(), kAlgoritmus.end(), blob.begin()))
    podpis.predhashovany = false;
  else if (!std::equal(kAlgoritmusHash.begin(), kAlgoritmusHash.end(), blob.begin()))
    return std::nullopt;
  std::copy_n(blob.begin() + 2, podpis.id.size(), podpis.id.begin());
  std::copy_n(blob.begin() + 2 + podpis.id.size(), podpis.podpis.size(), podpis.podpis.begin());
  podpis.duveryhodnyKomentar = radky[2].substr(kDuveryhodny.size());
  if (!PlatnyDuveryhodny(podpis.duveryhodnyKomentar)) return std::nullopt;
  return podpis;
}

Overeni Overit(const Podpis& podpis, std::span<const VerejnyKlic> klice, std::string_view obsah) {
  InicializovatSodium();
  // More keys may carry the same id (a list with a key twice, or a forged id): any of
  // them that verifies will do.
  bool jmenovany = false;
  for (const VerejnyKlic& klic : klice) {
    if (klic.id != podpis.id) continue;
    jmenovany = true;
    if (Plati(podpis, klic, obsah)) return Overeni::kPlatny;
  }
  return jmenovany ? Overeni::kNeplatny : Overeni::kJinyKlic;
}

std::optional<std::int64_t> CasPodpisu(std::string_view duveryhodnyKomentar) {
  if (!duveryhodnyKomentar.starts_with(kCasPodpisu)) return std::nullopt;
  std::string_view cislo = duveryhodnyKomentar.substr(kCasPodpisu.size());
  cislo = cislo.substr(0, cislo.find('\t'));
  // from_chars would take a minus sign; only digits are a time here.
  if (cislo.empty() || cislo.find_first_not_of("0123456789") != std::string_view::npos)
    return std::nullopt;
  std::int64_t cas = 0;
  const auto [konec, chyba] = std::from_chars(cislo.data(), cislo.data() + cislo.size(), cas);
  if (chyba != std::errc() || konec != cislo.data() + cislo.size()) return std::nullopt;
  return cas;
}

std::pair<TajnyKlic, VerejnyKlic> NovyPar() {
  InicializovatSodium();
  TajnyKlic tajny;
  VerejnyKlic verejny;
  crypto_sign_keypair(verejny.klic.data(), tajny.klic.data());
  randombytes_buf(tajny.id.data(), tajny.id.size());
  verejny.id = tajny.id;
  return {tajny, verejny};
}

std::string Podepsat(const TajnyKlic& klic, std::string_view obsah,
                     const std::string& duveryhodnyKomentar) {
  if (!PlatnyDuveryhodny(duveryhodnyKomentar))
    VyvolatChybu(
        "Důvěryhodný komentář podpisu musí být jeden řádek bez znaků NUL a CR, nejvýše 8192 "
        "bajtů.");
  InicializovatSodium();
  const Hash h = Blake2b512(obsah);
  BlobPodpisu blob;
  auto kam = std::copy(kAlgoritmusHash.begin(), kAlgoritmusHash.end(), blob.begin());
  kam = std::copy(klic.id.begin(), klic.id.end(), kam);
  std::array<std::uint8_t, crypto_sign_BYTES> podpis;
  crypto_sign_detached(podpis.data(), nullptr, h.data(), h.size(), klic.klic.data());
  std::copy(podpis.begin(), podpis.end(), kam);
  std::array<std::uint8_t, crypto_sign_BYTES> globalni;
  const auto zprava = GlobalniZprava(podpis, duveryhodnyKomentar);
  crypto_sign_detached(globalni.data(), nullptr, zprava.data(), zprava.size(), klic.klic.data());
  return std::string(kNeduveryhodny) + std::string(kKomentarPodpisu) + "\n" + Base64(blob) + "\n" +
         std::string(kDuveryhodny) + duveryhodnyKomentar + "\n" + Base64(globalni) + "\n";
}

}  // namespace zevlon::podpis
