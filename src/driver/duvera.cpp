#include "driver/duvera.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "common/chyba.h"
#include "driver/beh.h"
#include "platform/platforma.h"
#include "platform/souborovy_system.h"

namespace zevlon {

namespace {

[[noreturn]] void Odmitnout(const char* co, const std::string& cesta, const std::string& proc) {
  VyvolatChybu("Aktualizace nebyla spuštěna, protože program běží pod účtem root a " +
               std::string(co) + " '" + cesta + "' " + proc +
               ". Program, jeho složka i soubor voleb musí patřit uživateli root a nikdo jiný do "
               "nich nesmí zapisovat.");
}

void Overit(const char* co, const std::string& cesta, bool muzeChybet) {
  struct stat st {};
  if (::lstat(cesta.c_str(), &st) != 0) {
    const int e = errno;
    if (muzeChybet && e == ENOENT) return;
    Odmitnout(co, cesta, "nelze ověřit (" + ss::ChybaSystemu(e, cesta).popis + ")");
  }
  // A link could lead anywhere, whoever owns the link itself.
  if (S_ISLNK(st.st_mode)) Odmitnout(co, cesta, "je symbolický odkaz");
  if (st.st_uid != 0) Odmitnout(co, cesta, "nepatří uživateli root");
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
    Odmitnout(co, cesta, "má právo zápisu pro skupinu nebo ostatní");
}

}  // namespace

void OveritMistaRoota() {
  if (::geteuid() != 0) return;
  // A program file that is gone (replaced while it runs) can no longer be changed; its
  // folder still must be root's.
  Overit("program", platforma().CestaProgramu(), true);
  Overit("složka programu", SlozkaProgramu(), false);
  Overit("soubor voleb", CestaVolebIni(), true);
}

}  // namespace zevlon
