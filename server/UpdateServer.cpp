#include "UpdateServer.h"

#include <httplib.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdio>

namespace {
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// %XX escapes only: clients send names as they are, and a '+' in a file
// name is a plus sign.
std::string PercentDecode(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
        HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// The value of `key` in a raw query text; nothing when it is absent.
std::optional<std::string> QueryValue(const std::string& query, const std::string& key) {
  size_t start = 0;
  while (start <= query.size()) {
    size_t end = query.find('&', start);
    if (end == std::string::npos) end = query.size();
    const std::string pair = query.substr(start, end - start);
    const size_t equals = pair.find('=');
    if (equals != std::string::npos && PercentDecode(pair.substr(0, equals)) == key) {
      return PercentDecode(pair.substr(equals + 1));
    }
    start = end + 1;
  }
  return std::nullopt;
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
}  // namespace

UpdateServer::UpdateServer(std::filesystem::path root, RequestLog log,
                           std::shared_ptr<const PublisherKey> key)
    : tree_(std::move(root)),
      digests_(std::move(key)),
      log_(std::move(log)),
      http_(std::make_unique<httplib::Server>()) {
  // Short keep-alive so Stop never waits long for an idle client.
  http_->set_keep_alive_timeout(1);
  // One request per connection, as the program's downloads make them, and
  // the reply held back (TCP_CORK, which accepted sockets inherit) until the
  // connection is shut: the library writes the header and the body with a
  // send each, and on its own every send left as a packet of its own. As
  // one packet with the end of the connection a small reply costs the
  // server about a fifth less time (measured with bench/). Cork alone would
  // hold a reply's last piece back for 200 ms on a connection kept open.
  http_->set_keep_alive_max_count(1);
  // The library listens with a queue of 5 connections: with more clients
  // connecting at once the kernel drops their requests, and they retry only
  // after a second or more. The listening socket is noted here (these
  // options replace the library's, so SO_REUSEADDR is set again, and not its
  // SO_REUSEPORT, which let a second server share a port in use) and given
  // a longer queue once bound.
  http_->set_socket_options([this](socket_t socket) {
    int on = 1;
    ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    ::setsockopt(socket, IPPROTO_TCP, TCP_CORK, &on, sizeof on);
    listenSocket_ = socket;  // the last one made is the one that was bound
  });
  http_->Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
    Handle(request, response);
  });
}

UpdateServer::~UpdateServer() {
  Stop();
}

bool UpdateServer::Start(const std::string& host, int port) {
  if (thread_.joinable()) return false;
  if (port == 0) {
    port_ = http_->bind_to_any_port(host);
    if (port_ <= 0) return false;
  } else {
    if (!http_->bind_to_port(host, port)) return false;
    port_ = port;
  }
  if (listenSocket_ >= 0) ::listen(listenSocket_.load(), SOMAXCONN);
  // The socket listens from here on; the accept loop runs on its own thread.
  thread_ = std::thread([this] {
    http_->listen_after_bind();
    loopEnded_ = true;
  });
  // The library ignores a stop() that comes before its loop has begun, so
  // Start returns only once the loop runs (a few microseconds at most).
  while (!http_->is_running() && !loopEnded_)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return true;
}

void UpdateServer::Stop() {
  if (!thread_.joinable()) return;
  http_->stop();
  thread_.join();
}

void UpdateServer::Log(const httplib::Request& request, int status, size_t length) {
  if (!log_) return;
  const std::string line = request.remote_addr + " \"" + request.method + " " + request.target +
                           " " + request.version + "\" " + std::to_string(status) + " " +
                           std::to_string(length);
  std::lock_guard lock(logMutex_);
  log_(line);
}

void UpdateServer::Handle(const httplib::Request& request, httplib::Response& response) {
  const std::string& target = request.target;
  const size_t question = target.find('?');
  const std::string path = PercentDecode(target.substr(0, question));
  const std::string query = question == std::string::npos ? "" : target.substr(question + 1);

  std::optional<std::string> text;
  if (path == "/filelist.php" || path == "/filelistx.php") {
    if (auto machine = QueryValue(query, "MachineName")) {
      text = tree_.ListReply(*machine, path == "/filelist.php");
    }
  } else if (path == "/filemd5.php" || (path == "/filesig.php" && digests_.Signs())) {
    const auto value = QueryValue(query, "FilePath");
    const auto name = value ? ServerTree::QueriedName(*value) : std::nullopt;
    auto replies =
        name && !name->empty() ? digests_.Kept(tree_.Root() / *name, *name) : std::nullopt;
    if (!replies) {
      const auto file = value ? tree_.QueriedFile(*value) : std::nullopt;
      if (file) replies = digests_.Of(file->path, file->name);
    }
    if (replies) {
      text = path == "/filemd5.php" ? replies->md5 : replies->signature;
    }
  } else if (auto file = tree_.File(path)) {
    std::shared_ptr<std::FILE> stream(std::fopen(file->c_str(), "rb"), FileCloser());
    std::error_code error;
    const auto size = std::filesystem::file_size(*file, error);
    if (stream && !error) {
      response.status = 200;
      response.set_content_provider(
          size, file->extension() == ".txt" ? "text/plain" : "application/octet-stream",
          [stream](size_t offset, size_t length, httplib::DataSink& sink) {
            char buffer[65536];
            if (::fseeko(stream.get(), static_cast<off_t>(offset), SEEK_SET) != 0) return false;
            const size_t got = std::fread(buffer, 1, std::min(length, sizeof buffer), stream.get());
            return got > 0 && sink.write(buffer, got);
          });
      Log(request, 200, size);
      return;
    }
  }

  if (text) {
    response.status = 200;
    response.set_content(*text, "text/plain");
    Log(request, 200, text->size());
  } else {
    response.status = 404;
    response.set_content("Not Found\n", "text/plain");
    Log(request, 404, response.body.size());
  }
}
