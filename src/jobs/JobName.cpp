#include "jobs/JobName.h"

#include "base/AsciiCase.h"
#include "base/SplitText.h"
#include "jobs/ModeTable.h"

namespace pellux {

namespace {
constexpr size_t kMaxPieces = 4;

// The file part of a specification: only the backslash separates folders.
std::string FilePart(const std::string& text) {
  const auto pathPieces = SplitText(text, '\\');
  return pathPieces.empty() ? std::string() : pathPieces.back();
}

// The file part up to its first '.', upper case.
std::string UpperName(const std::string& filePart) {
  const auto dotPieces = SplitText(filePart, '.');
  return UpperAscii(dotPieces.empty() ? std::string() : dotPieces.front());
}
}  // namespace

JobSpec ParseJobSpec(const std::string& text) {
  JobSpec job;
  if (SplitText(text, '\\').empty()) {
    job.listMode = job.mode;
    return job;
  }
  job.name = UpperName(FilePart(text));
  const auto pieces = SplitText(job.name, '-');
  job.valid = !pieces.empty() && pieces[0] == "PUPDATE" && pieces.size() <= kMaxPieces;
  if (pieces.size() >= 2 && pieces.size() <= kMaxPieces) job.machine = pieces[1];
  if (pieces.size() >= 3 && pieces.size() <= kMaxPieces) job.mode = pieces[2];
  if (pieces.size() == kMaxPieces) job.port = pieces[3];
  const auto mode = FindMode(job.mode);
  job.listMode = mode ? mode->listMode : job.mode;
  return job;
}

std::string JobNameProblem(const std::string& text) {
  if (ParseJobSpec(text).valid) return {};
  const std::string file = FilePart(text);
  const std::string quoted = "The job name \"" + file + "\" was not understood: ";
  const char* shape =
      "a job name is PUpdate-<machine key>-<mode>-<port>, such as PUpdate-NR2-Firmware-COM3; "
      "rename the program file to one.";
  const auto pieces = SplitText(UpperName(file), '-');
  if (pieces.size() > kMaxPieces && pieces[0] == "PUPDATE") {
    return quoted + "it has " + std::to_string(pieces.size()) +
           " parts between hyphens, not at most 4; " + shape;
  }
  return quoted + shape;
}

bool BannerLabel(const std::string& mode, std::string& label) {
  const auto row = FindMode(mode);
  if (!row || !row->performed) return false;
  label = row->bannerLabel;
  return true;
}

}  // namespace pellux
