// Keyed list: keeps insertion order, looks keys up without regard to letter case
// (Czech letters folded), refuses a second entry with an existing key (error 457)
// and holds its records by reference, so several lists may share one record.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/chyba.h"
#include "common/text.h"

namespace zevlon {

template <typename T>
class KlicovanySeznam {
 public:
  using Ukazatel = std::shared_ptr<T>;

  struct Polozka {
    std::string klic;
    Ukazatel hodnota;     // null for a removed entry, which iteration skips
    std::string slozeny;  // the folded key (SlozitVelikost), empty when it equals klic

    std::string_view Slozeny() const { return slozeny.empty() ? klic : slozeny; }
  };

  // Walks the entries in insertion order, passing over removed ones.
  class Iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = Polozka;
    using difference_type = std::ptrdiff_t;
    using pointer = const Polozka*;
    using reference = const Polozka&;

    Iterator(const Polozka* p, const Polozka* konec) : p_(p), konec_(konec) { Preskocit(); }
    reference operator*() const { return *p_; }
    pointer operator->() const { return p_; }
    Iterator& operator++() {
      ++p_;
      Preskocit();
      return *this;
    }
    Iterator operator++(int) {
      Iterator kopie = *this;
      ++*this;
      return kopie;
    }
    bool operator==(const Iterator& o) const { return p_ == o.p_; }
    bool operator!=(const Iterator& o) const { return p_ != o.p_; }

   private:
    void Preskocit() {
      while (p_ != konec_ && !p_->hodnota)
        ++p_;
    }
    const Polozka* p_;
    const Polozka* konec_;
  };

  void Rezervovat(std::size_t n) {
    polozky_.reserve(n);
    if (n * 2 > sloty_.size()) Prestavet(n * 2);
  }

  // Adds a record under key; an existing key (case ignored) raises error 457.
  void Pridat(std::string_view klic, Ukazatel hodnota) {
    PridatSlozeny(klic, SlozitVelikost(klic), std::move(hodnota));
  }

  // The same with the key's folded form (SlozitVelikost) already at hand, so that a
  // record added to several lists is folded once.
  void PridatSlozeny(std::string_view klic, std::string_view slozeny, Ukazatel hodnota) {
    if ((pocet_ + 1) * 2 > sloty_.size()) Prestavet((pocet_ + 1) * 2);
    const std::uint32_t h = Hash(slozeny);
    std::size_t i = h & (sloty_.size() - 1);
    for (; sloty_[i] != 0; i = (i + 1) & (sloty_.size() - 1))
      if (Shoda(sloty_[i], h, slozeny))
        throw Chyba(kod::kKlicJizExistuje, "Tento klíč je již přidružen k prvku této kolekce.");
    sloty_[i] = Slot(h, polozky_.size());
    Polozka p{std::string(klic), std::move(hodnota), {}};
    if (slozeny != klic) p.slozeny = slozeny;
    polozky_.push_back(std::move(p));
    ++pocet_;
  }

  bool Obsahuje(std::string_view klic) const { return NajitSlot(SlozitVelikost(klic)) != kZadny; }

  // The record under key, or nullptr.
  Ukazatel Najit(std::string_view klic) const { return NajitSlozeny(SlozitVelikost(klic)); }

  // The record under a key already folded (SlozitVelikost), or nullptr.
  Ukazatel NajitSlozeny(std::string_view slozeny) const {
    std::size_t s = NajitSlot(slozeny);
    return s == kZadny ? nullptr : polozky_[Index(sloty_[s])].hodnota;
  }

  // The record under key; a missing key raises the invalid-argument error (5).
  Ukazatel Ziskat(std::string_view klic) const {
    auto h = Najit(klic);
    if (!h) throw Chyba(kod::kNeplatnyArgument, "Neplatné volání procedury nebo argument");
    return h;
  }

  // Removes the record under key; a missing key raises error 5.
  void Odebrat(std::string_view klic) {
    std::size_t s = NajitSlot(SlozitVelikost(klic));
    if (s == kZadny) throw Chyba(kod::kNeplatnyArgument, "Neplatné volání procedury nebo argument");
    Polozka& p = polozky_[Index(sloty_[s])];
    p = Polozka{};
    UvolnitSlot(s);
    --pocet_;
    if (polozky_.size() > 32 && pocet_ < polozky_.size() / 2) Zhutnit();
  }

  std::size_t Pocet() const { return pocet_; }
  bool Prazdny() const { return pocet_ == 0; }

  Iterator begin() const { return Iterator(polozky_.data(), polozky_.data() + polozky_.size()); }
  Iterator end() const {
    const Polozka* konec = polozky_.data() + polozky_.size();
    return Iterator(konec, konec);
  }

 private:
  // The index is an open-addressing table (linear probing) of slots, each holding the
  // key's 32-bit hash and the entry's position + 1; 0 is a free slot. The table is a
  // power of two at most half full, so lookups touch few slots and no list of nodes.
  static constexpr std::size_t kZadny = static_cast<std::size_t>(-1);

  static std::uint32_t Hash(std::string_view slozeny) {
    std::size_t h = std::hash<std::string_view>{}(slozeny);
    return static_cast<std::uint32_t>(h ^ (h >> 32));
  }
  static std::uint64_t Slot(std::uint32_t h, std::size_t index) {
    return (std::uint64_t{h} << 32) | static_cast<std::uint32_t>(index + 1);
  }
  static std::uint32_t HashSlotu(std::uint64_t s) { return static_cast<std::uint32_t>(s >> 32); }
  static std::size_t Index(std::uint64_t s) { return static_cast<std::uint32_t>(s) - 1u; }

  bool Shoda(std::uint64_t s, std::uint32_t h, std::string_view slozeny) const {
    return HashSlotu(s) == h && polozky_[Index(s)].Slozeny() == slozeny;
  }

  std::size_t NajitSlot(std::string_view slozeny) const {
    if (sloty_.empty()) return kZadny;
    const std::uint32_t h = Hash(slozeny);
    const std::size_t maska = sloty_.size() - 1;
    for (std::size_t i = h & maska; sloty_[i] != 0; i = (i + 1) & maska)
      if (Shoda(sloty_[i], h, slozeny)) return i;
    return kZadny;
  }

  // Frees slot i, moving later slots of the same run back so that no lookup stops
  // early at the gap.
  void UvolnitSlot(std::size_t i) {
    const std::size_t maska = sloty_.size() - 1;
    for (std::size_t j = i;;) {
      sloty_[i] = 0;
      for (;;) {
        j = (j + 1) & maska;
        if (sloty_[j] == 0) return;
        std::size_t k = HashSlotu(sloty_[j]) & maska;  // where that entry would like to be
        bool zustava = i <= j ? (i < k && k <= j) : (i < k || k <= j);
        if (!zustava) break;
      }
      sloty_[i] = sloty_[j];
      i = j;
    }
  }

  // A table of at least `minimum` slots holding every live entry.
  void Prestavet(std::size_t minimum) {
    std::size_t velikost = 16;
    while (velikost < minimum)
      velikost *= 2;
    std::vector<std::uint64_t> stare = std::move(sloty_);
    sloty_.assign(velikost, 0);
    for (std::uint64_t s : stare)
      if (s != 0) Vlozit(s);
  }

  void Vlozit(std::uint64_t s) {
    const std::size_t maska = sloty_.size() - 1;
    std::size_t i = HashSlotu(s) & maska;
    while (sloty_[i] != 0)
      i = (i + 1) & maska;
    sloty_[i] = s;
  }

  // Drops removed entries once they are the majority, keeping the order.
  void Zhutnit() {
    std::vector<Polozka> zive;
    zive.reserve(pocet_);
    for (Polozka& p : polozky_)
      if (p.hodnota) zive.push_back(std::move(p));
    polozky_ = std::move(zive);
    std::fill(sloty_.begin(), sloty_.end(), 0);
    for (std::size_t i = 0; i < polozky_.size(); ++i)
      Vlozit(Slot(Hash(polozky_[i].Slozeny()), i));
  }

  std::vector<Polozka> polozky_;
  std::vector<std::uint64_t> sloty_;
  std::size_t pocet_ = 0;
};

}  // namespace zevlon
