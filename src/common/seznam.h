// Keyed list: keeps insertion order, looks keys up without regard to letter case
// (Czech letters folded), refuses a second entry with an existing key (error 457)
// and holds its records by reference, so several lists may share one record.
#pragma once

#include <cstddef>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "common/chyba.h"
#include "common/text.h"

namespace zevlon {

template <typename T>
class KlicovanySeznam {
 public:
  using Ukazatel = std::shared_ptr<T>;

  struct Polozka {
    std::string klic;
    Ukazatel hodnota;
  };

  // Adds a record under key; an existing key (case ignored) raises error 457.
  void Pridat(std::string_view klic, Ukazatel hodnota) {
    std::string slozeny = SlozitVelikost(klic);
    if (index_.count(slozeny))
      throw Chyba(kod::kKlicJizExistuje, "Tento klíč je již přidružen k prvku této kolekce.");
    polozky_.push_back(Polozka{std::string(klic), std::move(hodnota)});
    index_.emplace(std::move(slozeny), std::prev(polozky_.end()));
  }

  bool Obsahuje(std::string_view klic) const { return index_.count(SlozitVelikost(klic)) != 0; }

  // The record under key, or nullptr.
  Ukazatel Najit(std::string_view klic) const {
    auto it = index_.find(SlozitVelikost(klic));
    return it == index_.end() ? nullptr : it->second->hodnota;
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
    polozky_.erase(it->second);
    index_.erase(it);
  }

  std::size_t Pocet() const { return polozky_.size(); }
  bool Prazdny() const { return polozky_.empty(); }

  auto begin() const { return polozky_.begin(); }
  auto end() const { return polozky_.end(); }

 private:
  std::list<Polozka> polozky_;
  std::unordered_map<std::string, typename std::list<Polozka>::iterator> index_;
};

}  // namespace zevlon
