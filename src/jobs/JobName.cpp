#include "jobs/JobName.h"

#include "base/AsciiCase.h"
#include "base/SplitText.h"
#include "jobs/ModeTable.h"

namespace pellux {

JobSpec ParseJobSpec(const std::string& text) {
  JobSpec job;
  const auto pathPieces = SplitText(text, '\\');
  if (pathPieces.empty()) {
    job.listMode = job.mode;
    return job;
  }
  const auto dotPieces = SplitText(pathPieces.back(), '.');
  const std::string name = UpperAscii(dotPieces.empty() ? std::string() : dotPieces.front());
  job.name = name;
  const auto pieces = SplitText(name, '-');
  job.valid = !pieces.empty() && pieces[0] == "PUPDATE";
  if (pieces.size() >= 2 && pieces.size() <= 4) job.machine = pieces[1];
  if (pieces.size() >= 3 && pieces.size() <= 4) job.mode = pieces[2];
  if (pieces.size() == 4) job.port = pieces[3];
  const auto mode = FindMode(job.mode);
  job.listMode = mode ? mode->listMode : job.mode;
  return job;
}

bool BannerLabel(const std::string& mode, std::string& label) {
  const auto row = FindMode(mode);
  if (!row || !row->performed) return false;
  label = row->bannerLabel;
  return true;
}

}  // namespace pellux
