// pupdate-server under load on 127.0.0.1: 200 concurrent clients asking for
// lists, digests and a 1 MB file, readers that stall in the middle of a body,
// clients that hang up mid-transfer, malformed request lines and oversized
// headers. Every reply that arrives whole must carry the right bytes, the
// server's memory must stay bounded, and it must still answer afterwards.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "TestFiles.h"

using namespace pellux;

namespace {

constexpr int kClients = 200;
constexpr int kRequestsPerClient = 2;
constexpr size_t kDataFileSize = 1 << 20;
// Socket waits end after this; nothing in the test waits longer.
constexpr int kSocketTimeoutSeconds = 30;

int FreeLoopbackPort() {
  const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(probe, reinterpret_cast<sockaddr*>(&address), length);
  ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(probe);
  return ntohs(address.sin_port);
}

// A loopback connection that closes itself.
class Connection {
 public:
  explicit Connection(int port) {
    for (int attempt = 0; attempt < 20 && fd_ < 0; ++attempt) {
      fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
      timeval timeout{kSocketTimeoutSeconds, 0};
      ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
      ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
      sockaddr_in address{};
      address.sin_family = AF_INET;
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      address.sin_port = htons(static_cast<uint16_t>(port));
      if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) break;
      ::close(fd_);
      fd_ = -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  ~Connection() {
    if (fd_ >= 0) ::close(fd_);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  bool Send(const std::string& text) {
    size_t sent = 0;
    while (fd_ >= 0 && sent < text.size()) {
      const ssize_t n = ::send(fd_, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) return false;
      sent += static_cast<size_t>(n);
    }
    return fd_ >= 0;
  }
  // Appends up to `limit` bytes; false at the end of the stream or on an error.
  bool Receive(std::string& into, size_t limit = 65536) {
    if (fd_ < 0) return false;
    char buffer[65536];
    const ssize_t n = ::recv(fd_, buffer, std::min(limit, sizeof buffer), 0);
    if (n <= 0) return false;
    into.append(buffer, static_cast<size_t>(n));
    return true;
  }

 private:
  int fd_ = -1;
};

struct Reply {
  int status = 0;
  std::string body;
  bool complete = false;  // headers and the whole announced body arrived
};

enum class Reading { kWhole, kStallMidBody, kHangUpMidBody };

Reply Exchange(int port, const std::string& request, Reading reading = Reading::kWhole) {
  Reply reply;
  Connection connection(port);
  if (!connection.Send(request)) return reply;
  std::string received;
  size_t headerEnd;
  while ((headerEnd = received.find("\r\n\r\n")) == std::string::npos) {
    if (!connection.Receive(received)) return reply;
  }
  std::istringstream statusLine(received.substr(0, received.find("\r\n")));
  std::string version;
  statusLine >> version >> reply.status;
  const std::string headers = received.substr(0, headerEnd);
  size_t length = 0;
  const size_t field = headers.find("Content-Length: ");
  if (field != std::string::npos) length = std::stoul(headers.substr(field + 16));
  reply.body = received.substr(headerEnd + 4);
  bool stalled = false;
  while (reply.body.size() < length) {
    if (reading == Reading::kHangUpMidBody && reply.body.size() >= 100 * 1024) return reply;
    if (reading == Reading::kStallMidBody && !stalled && reply.body.size() >= 64 * 1024) {
      std::this_thread::sleep_for(std::chrono::seconds(1));
      stalled = true;
    }
    if (!connection.Receive(reply.body, 16384)) return reply;
  }
  reply.complete = reply.body.size() == length;
  return reply;
}

std::string Get(const std::string& target) {
  return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
}

long ResidentKilobytes(pid_t pid, const char* field) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0) return std::stol(line.substr(line.find(':') + 1));
  }
  return -1;
}

}  // namespace

TEST(ServerLoad, TwoHundredClientsGetTheRightBytesAndTheServerStaysBoundedAndAnswers) {
  TempDir tree;
  std::filesystem::create_directories(tree.path() / "NR2/FIRMWARE");
  std::string data(kDataFileSize, '\0');
  std::mt19937 random(19);
  for (char& c : data) c = static_cast<char>(random());
  WriteFile(tree / "NR2/FIRMWARE/main.hex", data);
  WriteFile(tree / "NR2/FIRMWARE/old.hex", "old firmware\n");
  WriteFile(tree / "NR2/FIRMWARE/.filelist", "main.hex\nold.hex\n");
  WriteFile(tree / "machlist.txt", "New R2 Bender,NR2\n");
  ChildProcess md5sum("/usr/bin/md5sum", {tree / "NR2/FIRMWARE/main.hex"});
  ASSERT_EQ(md5sum.Wait(), 0);
  const std::string digest = md5sum.Output().substr(0, 32);

  const int port = FreeLoopbackPort();
  // The request log goes to a file, so the server never waits on a full pipe.
  ChildProcess server("/bin/sh",
                      {"-c", "exec \"$0\" --port \"$1\" --root \"$2\" >\"$2/../server.log\"",
                       BuiltProgram("pupdate-server"), std::to_string(port), tree.path().string()});
  Reply first;
  for (int tries = 0; tries < 500 && !first.complete; ++tries) {
    first = Exchange(port, Get("/machlist.txt"));
    if (!first.complete) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_TRUE(first.complete) << "the server did not start";
  const long residentBefore = ResidentKilobytes(server.pid(), "VmRSS:");

  std::atomic<int> complete{0}, wrong{0}, normalIncomplete{0};
  std::mutex problemsMutex;
  std::vector<std::string> problems;
  auto report = [&](const std::string& what) {
    ++wrong;
    std::lock_guard lock(problemsMutex);
    if (problems.size() < 10) problems.push_back(what);
  };
  auto client = [&](int index) {
    for (int request = 0; request < kRequestsPerClient; ++request) {
      switch ((index + request) % 8) {
        case 0: {
          const Reply reply = Exchange(port, Get("/filelist.php?MachineName=NR2/FIRMWARE"));
          if (!reply.complete) ++normalIncomplete;
          if (reply.complete &&
              (reply.status != 200 || reply.body != "FileList\nmain.hex\nold.hex\n"))
            report("list: " + std::to_string(reply.status) + " " + reply.body);
          complete += reply.complete;
          break;
        }
        case 1: {
          const Reply reply = Exchange(port, Get("/filemd5.php?FilePath=NR2/FIRMWARE/main.hex"));
          if (!reply.complete) ++normalIncomplete;
          if (reply.complete && (reply.status != 200 || reply.body != digest))
            report("digest: " + std::to_string(reply.status) + " " + reply.body);
          complete += reply.complete;
          break;
        }
        case 2:
        case 3:
        case 4: {
          const Reading reading =
              (index + request) % 8 == 4 ? Reading::kStallMidBody : Reading::kWhole;
          const Reply reply = Exchange(port, Get("//NR2/FIRMWARE/main.hex"), reading);
          if (!reply.complete && reading == Reading::kWhole) ++normalIncomplete;
          if (reply.complete && (reply.status != 200 || reply.body != data))
            report("data file: status " + std::to_string(reply.status) + ", " +
                   std::to_string(reply.body.size()) + " bytes");
          complete += reply.complete;
          break;
        }
        case 5:
          Exchange(port, Get("/NR2/FIRMWARE/main.hex"), Reading::kHangUpMidBody);
          break;
        case 6: {
          const Reply reply = Exchange(port, "GARBAGE\r\n\r\n");
          if (reply.status == 200) report("a malformed request line was served");
          break;
        }
        case 7: {
          const Reply reply =
              Exchange(port, "GET /machlist.txt HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Big: " +
                                 std::string(64 * 1024, 'x') + "\r\n\r\n");
          if (reply.status == 200) report("an oversized header was served");
          break;
        }
      }
    }
  };

  std::atomic<bool> loadRunning{true};
  long residentPeak = residentBefore;
  std::thread monitor([&] {
    while (loadRunning) {
      residentPeak = std::max(residentPeak, ResidentKilobytes(server.pid(), "VmRSS:"));
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  });
  std::vector<std::thread> clients;
  for (int i = 0; i < kClients; ++i) clients.emplace_back(client, i);
  for (std::thread& thread : clients) thread.join();
  loadRunning = false;
  monitor.join();

  std::printf("%d complete replies; the server's resident memory grew by %ld kB\n", complete.load(),
              residentPeak - residentBefore);
  EXPECT_EQ(wrong.load(), 0) << (problems.empty() ? "" : problems.front());
  EXPECT_EQ(normalIncomplete.load(), 0) << "lists, digests and whole-file reads must all complete";
  EXPECT_GE(complete.load(), kClients * kRequestsPerClient / 2);
  // A server that kept a data file's bytes per request (a leak, a cache
  // without bound) would grow by over 150 MB; AddressSanitizer builds keep
  // freed memory aside and grow by about 30 MB.
  EXPECT_LT(residentPeak - residentBefore, 128 * 1024) << "kB grown under load";

  const Reply after = Exchange(port, Get("/filelist.php?MachineName=NR2/FIRMWARE"));
  EXPECT_TRUE(after.complete);
  EXPECT_EQ(after.body, "FileList\nmain.hex\nold.hex\n");
  server.Signal(SIGTERM);
  EXPECT_EQ(server.Wait(), 0);
}
