// The one place where errno values become the program's codes and Czech descriptions.
#include <cerrno>
#include <cstring>

#include "common/chyba.h"
#include "platform/soubory/souborovy_system.h"
#include "platform/soubory/souborovy_system_pomucky.h"

namespace zevlon::ss {

namespace {

const char* CeskyPopis(int cislo) {
  switch (cislo) {
    case ENOSPC:
      return "Na disku není dost místa.";
    case EDQUOT:
      return "Byla překročena disková kvóta.";
    case EEXIST:
      return "Soubor nebo složka tohoto názvu již existuje.";
    case ENOTEMPTY:
      return "Složka není prázdná.";
    case EIO:
      return "Chyba vstupu nebo výstupu zařízení.";
    case ENAMETOOLONG:
      return "Název souboru nebo cesta je příliš dlouhá.";
    case EFBIG:
      return "Soubor je příliš velký.";
    case EXDEV:
      return "Nelze přesunout na jiný disk.";
    case ELOOP:
      return "Příliš mnoho úrovní symbolických odkazů.";
    case EMFILE:
    case ENFILE:
      return "Je otevřeno příliš mnoho souborů.";
    case ENOMEM:
      return "Nedostatek paměti.";
    default:
      return nullptr;
  }
}

}  // namespace

Vysledek ChybaSystemu(int cislo, const std::string& cesta, Druh druh) {
  switch (cislo) {
    case ENOENT:
      if (druh == Druh::kSoubor && JeSlozka(Rodic(cesta)))
        return {kod::kSouborNenalezen, "Soubor nebyl nalezen."};
      return {kod::kCestaNenalezena, "Cesta nebyla nalezena."};
    case ENOTDIR:
      return {kod::kCestaNenalezena, "Cesta nebyla nalezena."};
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
    case EBUSY:
    case EISDIR:
      return {kod::kPristupOdepren, "Přístup byl odepřen."};
    default:
      break;
  }
  if (cislo == 0) cislo = EIO;  // a failure is never reported as success
  const char* cesky = CeskyPopis(cislo);
  return {cislo, cesky ? std::string(cesky) : std::string(std::strerror(cislo))};
}

}  // namespace zevlon::ss
