#include "TestUpdateServer.h"

#include <chrono>
#include <stdexcept>

#include "UpdateServer.h"
#include "net/ServerBaseUrl.h"

namespace pellux {

namespace fs = std::filesystem;

TestUpdateServer::TestUpdateServer() : previousBaseUrl_(ServerBaseUrl()) {
  server_ = std::make_unique<UpdateServer>(root_.path(), [this](const std::string& line) {
    std::lock_guard lock(mutex_);
    requests_.push_back(line);
  });
  if (!server_->Start("127.0.0.1", 0)) throw std::runtime_error("update server did not start");
  SetServerBaseUrl(BaseUrl());
}

TestUpdateServer::~TestUpdateServer() {
  server_->Stop();
  SetServerBaseUrl(previousBaseUrl_);
}

void TestUpdateServer::AddFile(const std::string& key, const std::string& mode,
                               const std::string& name, const std::string& content) {
  const fs::path folder = root_.path() / key / mode;
  fs::create_directories(folder);
  const fs::path path = folder / name;
  WriteFile(path.string(), content);
  // Distinct, increasing times keep "newest first" deterministic.
  const auto base = fs::file_time_type::clock::now() - std::chrono::hours(1);
  fs::last_write_time(path, base + std::chrono::seconds(++filesAdded_));
}

void TestUpdateServer::SetList(const std::string& key, const std::string& mode,
                               const std::vector<std::string>& names, bool standardList) {
  const fs::path folder = root_.path() / key / mode;
  fs::create_directories(folder);
  std::string text;
  for (const std::string& name : names) text += name + "\n";
  WriteFile((folder / (standardList ? ".filelist" : ".filelistx")).string(), text);
}

void TestUpdateServer::AddRootFile(const std::string& name, const std::string& content) {
  WriteFile((root_.path() / name).string(), content);
}

std::string TestUpdateServer::BaseUrl() const {
  return "http://127.0.0.1:" + std::to_string(server_->Port()) + "/";
}

int TestUpdateServer::Port() const {
  return server_->Port();
}

std::vector<std::string> TestUpdateServer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::vector<std::string> TestUpdateServer::RequestTargets() const {
  std::vector<std::string> targets;
  for (const std::string& line : Requests()) {
    // address "METHOD target VERSION" status length
    const size_t open = line.find('"');
    const size_t space = line.find(' ', open);
    const size_t end = line.rfind(' ', line.rfind('"'));
    if (open == std::string::npos || space == std::string::npos || end <= space) continue;
    targets.push_back(line.substr(space + 1, end - space - 1));
  }
  return targets;
}

void TestUpdateServer::ClearRequests() {
  std::lock_guard lock(mutex_);
  requests_.clear();
}

}  // namespace pellux
