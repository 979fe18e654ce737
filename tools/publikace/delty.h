// Deltas of a release's files against the same files of earlier sites this tool published,
// for clients that have one of those releases installed.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "aplikace/instalovany_soubor.h"

namespace zevlon::publikace {

class PredchoziWeby {
 public:
  // Reads the sites in the folders `weby` (absolute, without a trailing "/") whole: each
  // folder's snapshot now, so that one of them may be the very site that the new one
  // replaces; raises when one is no site of this tool.
  explicit PredchoziWeby(const std::vector<std::string>& weby);

  // For the files `soubory` (with their SHA-256) of the release folder `zdroj`, published
  // as the site's folder `slozka` ("Setup/", ...) into `cil`: a delta of every file whose
  // content differs from the same path in an earlier release, against each such earlier
  // content, kept when smaller than the file's archive already in `cil`; and their list as
  // cil/master.delty.zip. Answers the SHA-256 of the unpacked list, "" when no delta was
  // kept (then no list is written), and adds the deltas kept to *pocet.
  std::string Vytvorit(const std::string& slozka, const std::string& zdroj,
                       const SeznamSouboru& soubory, const std::string& cil, int* pocet) const;

 private:
  struct Verze {
    std::string sha256;
    std::string archiv;  // the file's archive on the earlier site
  };
  // folder → path → the distinct earlier contents
  std::map<std::string, std::map<std::string, std::vector<Verze>>> slozky_;
};

}  // namespace zevlon::publikace
