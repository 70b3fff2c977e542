#pragma once

#include <optional>
#include <string>
#include <vector>

namespace pellux {

// The file names a server list offers: its lines from line 1 on (line 0 is
// the header, not checked here), untrimmed.
std::vector<std::string> OfferedFiles(const std::vector<std::string>& listLines);

// What the file selection offers for a job: the server's names, and when
// there are none, a status line that says why.
struct ServerFileOffer {
  std::vector<std::string> fileNames;
  std::string statusLine;
};

// Lists the server's files for `jobSpec` (ListServerFiles, the running job's
// token); a list that could not be read is also kept in a log note.
ServerFileOffer OfferServerFiles(const std::string& jobSpec, bool standardList);
// The offer made of a list's lines; `listFailure` is what the listing said
// when it failed.
ServerFileOffer OfferOfList(const std::string& jobSpec, const std::vector<std::string>& listLines,
                            const std::string& listFailure);

// The job argument vector OK of the file selection runs: the job
// specification and the selected name; nothing without a selection.
std::optional<std::vector<std::string>> SelectedFileJob(const std::string& jobSpec,
                                                        const std::vector<std::string>& fileNames,
                                                        std::optional<size_t> selected);

}  // namespace pellux
