#pragma once

#include <ctime>
#include <string>
#include <vector>

// Packages for install tests, made by other ZIP writers than ours.

// Runs Python's zipfile on `zipPath`. `body` is Python code that may call
//   add(name, data, method=DEFLATED|STORED, system=3, attr=None,
//       date=(2020, 1, 2, 3, 4, 6), extra=b'')
// with `system` the host of "version made by" and `attr` the external attributes.
void MakeZipWithPython(const std::string& zipPath, const std::string& body);

// Runs Info-ZIP `zip` in `sourceDir` with `options` and the names `inputs`.
void MakeZipWithInfoZip(const std::string& zipPath, const std::string& sourceDir,
                        const std::vector<std::string>& options,
                        const std::vector<std::string>& inputs = {"."});

// Unix seconds of a local date and time, worked out independently of the code under test.
std::time_t LocalTime(int year, int month, int day, int hour, int minute, int second);

// Every path below `dir`, relative and sorted, folders marked with a trailing '/'.
std::vector<std::string> TreeOf(const std::string& dir);
