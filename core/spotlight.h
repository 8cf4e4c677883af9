#pragma once
// Every question the program asks the file index, through mdfind.
#include <string>
#include <string_view>
#include <vector>

#include "core/path_set.h"

namespace qf {

// The folder of the running program, where its helper programs sit; empty
// when it cannot be told.
std::string runningProgramFolder();

// The mdfind executable: $QUILLFIND_MDFIND, else mdfind beside the running
// program, else /usr/bin/mdfind.
std::string mdfindExecutable();
// The folder that holds mdfindExecutable(); child shells find "mdfind" there first.
std::string mdfindFolder();

// Every "'" becomes '\'' so the text can sit inside a single-quoted value.
std::string escapeQuotes(std::string_view s);
std::string substringNameQuery(std::string_view literal);
std::string wildcardNameQuery(std::string_view pattern);
std::string recentFilesQuery();

AnswerLines mdfindNameCLI(const std::string& term);
PathSet mdfindIntersection(const std::vector<std::string>& terms);
std::vector<std::string> recentPaths();

}  // namespace qf
