#include "jobs/ApplicationInstall.h"

#include <system_error>
#include <vector>

#include "base/AsciiCase.h"
#include "base/Cancellation.h"
#include "base/JobConsole.h"
#include "jobs/FolderTree.h"
#include "jobs/InstallLocation.h"
#include "jobs/ZipArchive.h"

namespace pellux {

namespace fs = std::filesystem;

namespace {
// Machine-specific folders that survive an install, in any case: packages
// and installations come from Windows, which does not care about case.
constexpr const char* kKeptFolders[] = {"CFG", "EL"};

// The entries of `folder` named `name` in any case.
std::vector<fs::path> EntriesNamed(const fs::path& folder, const char* name) {
  std::vector<fs::path> found;
  std::error_code ec;
  for (auto it = fs::directory_iterator(folder, ec); !ec && it != fs::directory_iterator();
       it.increment(ec)) {
    if (EqualsIgnoringAsciiCase(it->path().filename().string(), name)) found.push_back(it->path());
  }
  return found;
}

bool Exists(const fs::path& path) {
  std::error_code ignored;
  return fs::exists(fs::symlink_status(path, ignored));
}

// Refuses a package that could not be installed whole, before anything moves.
bool CheckPackage(const std::string& packagePath, ZipArchive& archive, JobConsole& console) {
  std::string why;
  if (!archive.Open(packagePath, why)) {
    console.Printf("Cannot install \"%s\": %s. Nothing was changed.\r\n", packagePath.c_str(),
                   why.c_str());
    return false;
  }
  if (archive.Count() == 0) {
    console.Printf("Cannot install \"%s\": the package holds no files. Nothing was changed.\r\n",
                   packagePath.c_str());
    return false;
  }
  for (int i = 0; i < archive.Count(); ++i) {
    const ZipItemInfo& item = archive.Item(i);
    if (!item.attributes.directory && item.name.empty()) {
      console.Printf(
          "Cannot install \"%s\": the item \"%s\" has no usable name. Nothing was changed.\r\n",
          packagePath.c_str(), item.storedName.c_str());
      return false;
    }
  }
  return true;
}

// One install: what it moved and made, so that a failure can put it back.
class Installation {
 public:
  Installation(fs::path directory, const CancelToken& cancel, JobConsole& console)
      : directory_(std::move(directory)), cancel_(cancel), console_(console) {}

  bool MoveOldAside(std::time_t now) {
    std::error_code ec;
    if (!Exists(directory_)) return true;
    if (!fs::is_directory(directory_, ec)) {
      console_.Printf("Cannot install: %s is not a folder. Nothing was changed.\r\n",
                      directory_.string().c_str());
      return false;
    }
    const fs::path backup = BackupDirectoryFor(directory_, now);
    if (Exists(backup)) {
      console_.Printf(
          "Cannot move the previous installation aside: %s already exists. Nothing was "
          "changed.\r\n",
          backup.string().c_str());
      return false;
    }
    fs::rename(directory_, backup, ec);
    if (ec) {
      console_.Printf(
          "Cannot move the previous installation %s aside to %s: %s. Nothing was "
          "changed.\r\n",
          directory_.string().c_str(), backup.string().c_str(), ec.message().c_str());
      return false;
    }
    backup_ = backup;
    return true;
  }

  bool CreateFresh() {
    std::error_code ec;
    fs::create_directories(directory_, ec);
    if (!fs::is_directory(directory_, ec)) {
      console_.Printf("Cannot create the installation directory %s.\r\n",
                      directory_.string().c_str());
      return false;
    }
    created_ = true;
    return true;
  }

  bool Extract(ZipArchive& archive) {
    archive.SetBaseDirectory(directory_);
    const int count = archive.Count();
    for (int i = 0; i < count; ++i) {
      std::string why;
      if (cancel_.IsCancelled() || !archive.Extract(i, cancel_, why)) {
        if (cancel_.IsCancelled()) {
          console_.Write("\r\nInstallation cancelled.\r\n");
        } else {
          console_.Printf("\r\nCannot extract \"%s\": %s.\r\n", archive.Item(i).storedName.c_str(),
                          why.c_str());
        }
        return false;
      }
      console_.Printf("Extracting %d/%d..\r", i + 1, count);
    }
    return true;
  }

  // The previous installation's CFG and EL replace the package's own, under
  // the name the previous installation gave them. A folder the previous
  // installation did not have leaves the package's in place.
  bool RestoreKeptFolders() {
    if (backup_.empty()) return true;
    for (const char* folder : kKeptFolders) {
      std::vector<fs::path> kept;
      std::error_code ec;
      for (const fs::path& old : EntriesNamed(backup_, folder)) {
        if (fs::is_directory(old, ec)) kept.push_back(old);
      }
      if (kept.empty()) continue;
      for (const fs::path& packaged : EntriesNamed(directory_, folder)) {
        if (!RemoveFolderTree(packaged, ec)) break;
      }
      for (size_t i = 0; i < kept.size() && !ec; ++i) {
        CopyFolderTree(kept[i], directory_ / kept[i].filename(), ec);
      }
      if (ec) {
        console_.Printf("\r\nCannot put back %s from %s: %s.\r\n", folder, backup_.string().c_str(),
                        ec.message().c_str());
        return false;
      }
    }
    return true;
  }

  // Removes what this install wrote and moves the previous installation back.
  void Undo() {
    std::error_code ec;
    if (created_) RemoveFolderTree(directory_, ec);
    if (ec) {
      console_.Printf("The partly installed application remains in %s.\r\n",
                      directory_.string().c_str());
    }
    if (backup_.empty()) {
      if (!ec) console_.Write("Nothing was installed.\r\n");
      return;
    }
    if (!ec) fs::rename(backup_, directory_, ec);
    if (ec) {
      console_.Printf("The previous installation is kept whole in %s.\r\n",
                      backup_.string().c_str());
    } else {
      console_.Printf("The previous installation has been put back in %s.\r\n",
                      directory_.string().c_str());
    }
  }

 private:
  fs::path directory_;
  const CancelToken& cancel_;
  JobConsole& console_;
  fs::path backup_;
  bool created_ = false;
};
}  // namespace

bool InstallApplication(const std::string& packagePath, const CancelToken& cancel,
                        JobConsole& console) {
  return InstallApplication(packagePath, ApplicationDirectory(), std::time(nullptr), cancel,
                            console);
}

bool InstallApplication(const std::string& packagePath) {
  return InstallApplication(packagePath, JobCancellation(), ActiveConsole());
}

bool InstallApplication(const std::string& packagePath, const fs::path& directory, std::time_t now,
                        const CancelToken& cancel, JobConsole& console) {
  ZipArchive archive;
  if (!CheckPackage(packagePath, archive, console)) return false;

  Installation installation(directory, cancel, console);
  if (!installation.MoveOldAside(now)) return false;
  if (!installation.CreateFresh() || !installation.Extract(archive) ||
      !installation.RestoreKeptFolders()) {
    archive.Close();
    installation.Undo();
    return false;
  }
  archive.Close();
  console.Write("\r\nComplete.\r\n");
  return true;
}

}  // namespace pellux
