#include "CannedHttpServer.h"

#include <httplib.h>

#include <stdexcept>

#include "net/ServerBaseUrl.h"

namespace pellux {

CannedHttpServer::CannedHttpServer()
    : http_(std::make_unique<httplib::Server>()), previousBaseUrl_(ServerBaseUrl()) {
  http_->Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
    std::lock_guard lock(mutex_);
    targets_.push_back(request.target);
    const auto answer = answers_.find(request.target);
    if (answer == answers_.end()) {
      response.status = 404;
      response.set_content("<html><body>404 Not Found</body></html>", "text/html");
      return;
    }
    response.set_content(answer->second, "application/octet-stream");
  });
  port_ = http_->bind_to_any_port("127.0.0.1");
  if (port_ <= 0) throw std::runtime_error("canned HTTP server did not start");
  thread_ = std::thread([this] { http_->listen_after_bind(); });
  SetServerBaseUrl(BaseUrl());
}

CannedHttpServer::~CannedHttpServer() {
  http_->stop();
  thread_.join();
  SetServerBaseUrl(previousBaseUrl_);
}

void CannedHttpServer::Answer(const std::string& target, const std::string& body) {
  std::lock_guard lock(mutex_);
  answers_[target] = body;
}

void CannedHttpServer::Forget(const std::string& target) {
  std::lock_guard lock(mutex_);
  answers_.erase(target);
}

std::string CannedHttpServer::BaseUrl() const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/";
}

std::vector<std::string> CannedHttpServer::Targets() const {
  std::lock_guard lock(mutex_);
  return targets_;
}

}  // namespace pellux
