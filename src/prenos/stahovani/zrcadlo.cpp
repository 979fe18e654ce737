#include "prenos/stahovani/zrcadlo.h"

#include "common/adresa.h"
#include "common/chyba.h"
#include "common/text.h"
#include "platform/http/http.h"
#include "soubory/log.h"

namespace zevlon {

namespace {

bool PodWebem(const KlientHttp::Zrcadleni& z, const std::string& url) {
  return url.size() > z.web.size() && StejnyText(url.substr(0, z.web.size()), z.web);
}

}  // namespace

std::string AdresaZeZrcadla(const std::string& url) {
  const auto& z = Http().zrcadleni;
  if (!z || z->opusteno || !PodWebem(*z, url)) return url;
  return z->zrcadlo + url.substr(z->web.size());
}

void ZeZrcadla(const std::string& url, bool predem,
               const std::function<void(const std::string& adresa, bool znovu)>& stahnout) {
  auto& z = Http().zrcadleni;
  const std::string adresa = AdresaZeZrcadla(url);
  if (adresa == url && !(predem && z && PodWebem(*z, url))) return stahnout(url, false);
  try {
    return stahnout(adresa, false);
  } catch (const Chyba& c) {
    if (c.JeZruseni()) throw;
    if (!z->opusteno)
      ZapsatDoLogu(kPrenosovyLog, "Zrcadlo " + BezPristupovychUdaju(z->zrcadlo) +
                                      " selhalo u souboru " + BezPristupovychUdaju(url) + " (" +
                                      BezPristupovychUdaju(c.Popis()) +
                                      "), zbytek běhu se stahuje od vydavatele.");
    z->opusteno = true;
  }
  stahnout(url, true);
}

}  // namespace zevlon
