#pragma once

#include <string>
#include <string_view>

// The project version, set once in CMake ("3.0").
std::string_view ProjectVersion();
// The git revision the programs were built from ("1a2b3c4d5e6f", with
// "-dirty" for uncommitted changes); empty when the sources had no git.
std::string_view BuildRevision();
// What --version prints: "FlashLoader 3.0 (git 1a2b3c4d5e6f)".
std::string VersionLine(std::string_view program);
