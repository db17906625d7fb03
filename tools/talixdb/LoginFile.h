// Saved passwords, as .pgpass keeps them for psql: the file
// TALIXDB_LOGIN_FILE, else $XDG_CONFIG_HOME/talixdb/logins, else
// ~/.config/talixdb/logins, holds one login per line,
//   SERVER USER PASSWORD
// (blanks between the fields; the password is the rest of the line; "*"
// stands for any server or user; lines starting with "#" are comments). The
// first line that matches gives the password. A file that others than its
// owner may read or write is not used.
#pragma once

#include <string>

namespace talixdb_cli {

// The path of the file (it may not exist).
std::string loginFilePath();

// The password saved for `user` on `server` (the address as --server
// normalises it). False when none is saved; `warning` then says why the
// file was not used when it exists but cannot be trusted or read.
bool savedPassword(const std::string& server, const std::string& user, std::string& password,
                   std::string& warning);

}  // namespace talixdb_cli
