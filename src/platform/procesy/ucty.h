// Accounts of the user database: who owns a folder, under which groups and with which
// home folder a process acting for that user is to run.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace zevlon {

struct Ucet {
  uid_t uid = 0;
  gid_t gid = 0;               // the primary group
  std::string jmeno;           // the account name
  std::string domov;           // the home folder as the database names it
  std::vector<gid_t> skupiny;  // the supplementary groups, the primary one included
};

// The account of a uid with its groups; nothing when the database has no such user.
std::optional<Ucet> NajitUcet(uid_t uid);

// The account name of a uid for messages: the name, else the number.
std::string JmenoUctu(uid_t uid);

}  // namespace zevlon
