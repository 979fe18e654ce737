// Deltas of a release's files against the same files of earlier sites this tool published,
// for clients that have one of those releases installed.
#pragma once

#include <cstdint>
#include <deque>
#include <future>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "aplikace/instalovany_soubor.h"
#include "aplikace/seznam_delt.h"

namespace zevlon::publikace {

// The deltas of one folder being made: each on a thread of its own (as many at once as
// the machine has cores), while the folder's archives are written.
class RozpracovaneDelty {
 public:
  RozpracovaneDelty() = default;
  RozpracovaneDelty(RozpracovaneDelty&&) = default;
  RozpracovaneDelty& operator=(RozpracovaneDelty&&) = default;
  // Waits for what is still being made.
  ~RozpracovaneDelty();

  // Once the folder's archives lie in `cil`: writes each delta smaller than its file's
  // archive beside it and their list as cil/master.delty.zip. Answers the SHA-256 of the
  // unpacked list, "" when no delta was kept (then no list is written), and adds the
  // deltas kept to *pocet.
  std::string Dokoncit(const std::string& cil, int* pocet);

 private:
  friend class PredchoziWeby;
  struct Prace {
    Delta delta;
    std::future<std::optional<std::string>> bajty;
  };
  std::deque<Prace> prace_;
};

class PredchoziWeby {
 public:
  // Reads the sites in the folders `weby` (absolute, without a trailing "/") whole: each
  // folder's snapshot now, so that one of them may be the very site that the new one
  // replaces; raises when one is no site of this tool.
  explicit PredchoziWeby(const std::vector<std::string>& weby);

  // Starts the deltas of the files `soubory` (with their SHA-256) of the release folder
  // `zdroj`, published as the site's folder `slozka` ("Setup/", ...): of every file whose
  // content differs from the same path in an earlier release, against each such earlier
  // content (unpacked here from the earlier site's archive, when it has the SHA-256 that
  // site's snapshot lists).
  RozpracovaneDelty Zacit(const std::string& slozka, const std::string& zdroj,
                          const SeznamSouboru& soubory) const;

 private:
  struct Verze {
    std::string sha256;
    std::string archiv;  // the file's archive on the earlier site
  };
  // folder → path → the distinct earlier contents
  std::map<std::string, std::map<std::string, std::vector<Verze>>> slozky_;
};

}  // namespace zevlon::publikace
