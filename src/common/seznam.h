// Keyed list: keeps insertion order, looks keys up without regard to letter case
// (Czech letters folded), refuses a second entry with an existing key (error 457)
// and holds its records by reference, so several lists may share one record.
#pragma once

#include <cstddef>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
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
    Ukazatel hodnota;  // null for a removed entry, which iteration skips
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
    index_.reserve(n);
  }

  // Adds a record under key; an existing key (case ignored) raises error 457.
  void Pridat(std::string_view klic, Ukazatel hodnota) {
    PridatSlozeny(klic, SlozitVelikost(klic), std::move(hodnota));
  }

  // The same with the key's folded form (SlozitVelikost) already at hand, so that a
  // record added to several lists is folded once.
  void PridatSlozeny(std::string_view klic, std::string slozeny, Ukazatel hodnota) {
    auto [it, nove] = index_.try_emplace(std::move(slozeny), polozky_.size());
    if (!nove)
      throw Chyba(kod::kKlicJizExistuje, "Tento klíč je již přidružen k prvku této kolekce.");
    polozky_.push_back(Polozka{std::string(klic), std::move(hodnota)});
  }

  bool Obsahuje(std::string_view klic) const { return index_.count(SlozitVelikost(klic)) != 0; }

  // The record under key, or nullptr.
  Ukazatel Najit(std::string_view klic) const {
    auto it = index_.find(SlozitVelikost(klic));
    return it == index_.end() ? nullptr : polozky_[it->second].hodnota;
  }

  // The record under key; a missing key raises the invalid-argument error (5).
  Ukazatel Ziskat(std::string_view klic) const {
    auto h = Najit(klic);
    if (!h) throw Chyba(kod::kNeplatnyArgument, "Neplatné volání procedury nebo argument");
    return h;
  }

  // Removes the record under key; a missing key raises error 5.
  void Odebrat(std::string_view klic) {
    auto it = index_.find(SlozitVelikost(klic));
    if (it == index_.end())
      throw Chyba(kod::kNeplatnyArgument, "Neplatné volání procedury nebo argument");
    Polozka& p = polozky_[it->second];
    p.hodnota.reset();
    p.klic.clear();
    index_.erase(it);
    if (polozky_.size() > 32 && index_.size() < polozky_.size() / 2) Zhutnit();
  }

  std::size_t Pocet() const { return index_.size(); }
  bool Prazdny() const { return index_.empty(); }

  Iterator begin() const { return Iterator(polozky_.data(), polozky_.data() + polozky_.size()); }
  Iterator end() const {
    const Polozka* konec = polozky_.data() + polozky_.size();
    return Iterator(konec, konec);
  }

 private:
  // Drops removed entries once they are the majority, keeping the order.
  void Zhutnit() {
    std::vector<Polozka> zive;
    zive.reserve(index_.size());
    for (Polozka& p : polozky_)
      if (p.hodnota) zive.push_back(std::move(p));
    polozky_ = std::move(zive);
    for (std::size_t i = 0; i < polozky_.size(); ++i)
      index_[SlozitVelikost(polozky_[i].klic)] = i;
  }

  std::vector<Polozka> polozky_;
  std::unordered_map<std::string, std::size_t> index_;
};

}  // namespace zevlon
