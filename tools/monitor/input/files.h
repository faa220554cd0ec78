// Why a file cannot be read or written, said in one line with the
// system's reason, for every mode alike.
#pragma once

#include <string>

// "cannot read P: REASON" ("it is a folder", "it is empty", or the
// system's words), or "" when `path` is a file with something in it.
std::string CannotRead(const std::string& path);
// "cannot write P: the folder F does not exist", or "" when it does: said
// before the work whose result would have nowhere to go.
std::string MissingFolder(const std::string& path);
// "cannot write P: REASON", `error` the errno its opening failed with; a
// missing folder is named.
std::string CannotWrite(const std::string& path, int error);
// Writes `bytes` as the whole file at `path`: "" once written, else why not
// (as CannotWrite), and a file written in part removed.
std::string WriteWholeFile(const std::string& path, const std::string& bytes);
