// Passwords of secret keys: typed on the terminal without echo when stdin is one, else
// one line read from stdin, so that scripts can pipe them in as they do to minisign.
// A password is never printed.
#pragma once

#include <string>

namespace zevlon::publikace {

// The password of an existing key, asked with the prompt.
std::string ZeptatSeNaHeslo(const std::string& vyzva);

// The password of a new key: on a terminal typed twice, and the two must match. An empty
// password raises the program's error.
std::string NoveHeslo();

}  // namespace zevlon::publikace
