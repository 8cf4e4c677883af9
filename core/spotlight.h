#pragma once
// Every question the program asks the file index, through mdfind.
#include <string>
#include <string_view>
#include <vector>

#include "core/path_set.h"

namespace qf {

// The mdfind executable: $QUILLFIND_MDFIND, else mdfind beside the running
// program, else /usr/bin/mdfind.
std::string mdfindExecutable();
// The folder that holds mdfindExecutable(); child shells find "mdfind" there first.
std::string mdfindFolder();

// The text made safe for the single-quoted value inside the double-quoted
// word of a name query: every "'" becomes '\'' and "\", "$", "`" and '"' get
// a backslash, so the shell runs nothing and mdfind sees every byte as typed.
std::string escapeNameValue(std::string_view s);
// The one mdfind argument of a whole-name query for `value` ("*" and "?"
// wildcards; case and diacritics ignored), for running mdfind without a
// shell: only "'" needs its escape there.
std::string nameQueryArgument(std::string_view value);
std::string substringNameQuery(std::string_view literal);
std::string wildcardNameQuery(std::string_view pattern);
std::string recentFilesQuery();

AnswerLines mdfindNameCLI(const std::string& term);
PathSet mdfindIntersection(const std::vector<std::string>& terms);
std::vector<std::string> recentPaths();

}  // namespace qf
