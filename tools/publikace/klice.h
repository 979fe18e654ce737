// The publisher's keys and signatures, in minisign's formats: a site or any file signed
// here is checked with the stock `minisign -V`, and keys made by `minisign -G` sign here.
#pragma once

#include <string>

#include "prenos/podpisy/podpis.h"

namespace zevlon::publikace {

// A new key pair: the secret key into `soubor` (mode 0600, protected by a password asked
// for unless bezHesla), the public key into soubor + ".pub" (mode 0644). Neither file
// may exist yet. Prints the public key and where to put it.
void VytvoritKlic(const std::string& soubor, bool bezHesla);

// Reads a secret key file, ours or minisign's, asking for the password when it is
// encrypted; a wrong password raises the program's error.
podpis::TajnyKlic NacistTajnyKlic(const std::string& soubor);

// Signs the file's bytes into soubor + ".minisig" with the trusted comment
// "timestamp:<unix seconds>\tfile:<the file's name>".
void PodepsatSoubor(const podpis::TajnyKlic& klic, const std::string& soubor);

}  // namespace zevlon::publikace
