#include "app/FileSelection.h"

#include "base/Cancellation.h"
#include "base/JobConsole.h"
#include "jobs/ConsoleHost.h"
#include "jobs/JobDriver.h"
#include "jobs/JobName.h"
#include "jobs/LineRecordingConsole.h"

namespace pellux {

std::vector<std::string> OfferedFiles(const std::vector<std::string>& listLines) {
  if (listLines.size() < 2) return {};
  return {listLines.begin() + 1, listLines.end()};
}

ServerFileOffer OfferServerFiles(const std::string& jobSpec, bool standardList) {
  LineRecordingConsole listConsole(ActiveConsole());
  const std::vector<std::string> lines =
      ListServerFiles(jobSpec, standardList, JobCancellation(), listConsole);
  ServerFileOffer offer = OfferOfList(jobSpec, lines, lines.empty() ? listConsole.LastLine() : "");
  if (lines.empty()) {
    std::vector<std::string> note = listConsole.Lines();
    note.push_back(offer.statusLine);
    ActiveConsoleHost().LogNote("SELECT-FILE", note);
  }
  return offer;
}

ServerFileOffer OfferOfList(const std::string& jobSpec, const std::vector<std::string>& listLines,
                            const std::string& listFailure) {
  ServerFileOffer offer{.fileNames = OfferedFiles(listLines), .statusLine = {}};
  if (!offer.fileNames.empty()) return offer;
  const JobSpec job = ParseJobSpec(jobSpec);
  const std::string what = job.machine + " " + job.listMode;
  if (listLines.empty()) {
    const std::string why = listFailure.empty() ? "no reply" : listFailure;
    offer.statusLine = "No file list for " + what + " from the server (" + why +
                       "). Check the network and the server, then try again.";
  } else {
    offer.statusLine = "The server lists no file for " + what + ".";
  }
  return offer;
}

std::optional<std::vector<std::string>> SelectedFileJob(const std::string& jobSpec,
                                                        const std::vector<std::string>& fileNames,
                                                        std::optional<size_t> selected) {
  if (!selected || *selected >= fileNames.size()) return std::nullopt;
  return std::vector<std::string>{jobSpec, fileNames[*selected]};
}

}  // namespace pellux
