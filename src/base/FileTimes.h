#pragma once

#include <ctime>
#include <filesystem>
#include <system_error>

// File times and local time. Implemented by the platform's backend file.

// Sets the access and modification times of `path` (of a symbolic link
// itself, not its target); false with `error` set when the system refuses.
bool SetFileTimes(const std::filesystem::path& path, std::time_t accessed, std::time_t modified,
                  std::error_code& error);

// `when` broken down in the local time zone (thread-safe).
std::tm LocalTime(std::time_t when);
