// An application's manifest ("*.manifest.xml"): the XML file in the application's
// folder that describes its update server for file transfer ("UpdateOnLine") and
// carries the suite data element ("merkoData"). The file is read on first use and
// only once; the parser reads no DTD and resolves no external entity.
#pragma once

#include <pugixml.hpp>

#include <memory>
#include <string>

#include "server/update_server.h"

namespace zevlon {

class Manifest {
 public:
  Manifest() = default;
  explicit Manifest(std::string cesta) : cesta_(std::move(cesta)) {}

  // A new update-server object from the seven attributes of "UpdateOnLine". A missing
  // element raises 91, a missing attribute 94, a port that is no number 13.
  std::unique_ptr<zevlon::UpdateServer> UpdateServer();

  void NastavitCestu(const std::string& cesta) { cesta_ = cesta; }
  // Loads the file once; a file that is missing or not well-formed leaves an empty
  // document, and the next element access fails.
  void NacistDokument();
  pugi::xml_node ElementDat();          // "merkoData", or an empty node
  pugi::xml_node ElementAktualizace();  // "UpdateOnLine", or an empty node

 private:
  std::string cesta_;
  pugi::xml_document dokument_;
  bool nacteno_ = false;
};

}  // namespace zevlon
