// Requests per second of an update server on 127.0.0.1: list replies,
// digests, signatures and a 1 MB data file, from 1 and from 32 clients at a
// time, one connection per request (as the program's downloads do).
// PUPDATE_BENCH_PORT names the server's port; bench/server-load-vs-nginx.sh
// runs it against pupdate-server and against nginx serving the published tree.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <string_view>

namespace {

int Port() {
  const char* given = std::getenv("PUPDATE_BENCH_PORT");
  return given ? std::atoi(given) : 8080;
}

// One request on a fresh connection; the reply's byte count, 0 on failure
// or when the status is not 200.
size_t Fetch(const std::string& target) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(Port()));
  size_t total = 0;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    const std::string request =
        "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
        static_cast<ssize_t>(request.size())) {
      char buffer[65536];
      ssize_t got;
      bool ok = true;
      while ((got = ::recv(fd, buffer, sizeof buffer, 0)) > 0) {
        if (total == 0)
          ok = std::string_view(buffer, static_cast<size_t>(got)).starts_with("HTTP/1.1 200 ");
        total += static_cast<size_t>(got);
      }
      if (!ok) total = 0;
    }
  }
  ::close(fd);
  return total;
}

void Requests(benchmark::State& state, const std::string& target) {
  size_t bytes = 0;
  for (auto _ : state) {
    const size_t got = Fetch(target);
    if (got == 0) {
      state.SkipWithError("no 200 reply: is the server running on PUPDATE_BENCH_PORT?");
      break;
    }
    bytes += got;
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

void BM_FileList(benchmark::State& state) {
  Requests(state, "/filelist.php?MachineName=NR2/FIRMWARE");
}
void BM_Digest(benchmark::State& state) {
  Requests(state, "/filemd5.php?FilePath=NR2/FIRMWARE/main.hex");
}
void BM_Signature(benchmark::State& state) {
  Requests(state, "/filesig.php?FilePath=NR2/FIRMWARE/main.hex");
}
void BM_DataFile1MB(benchmark::State& state) {
  Requests(state, "//NR2/FIRMWARE/main.hex");
}

}  // namespace

BENCHMARK(BM_FileList)->Threads(1)->Threads(32)->UseRealTime();
BENCHMARK(BM_Digest)->Threads(1)->Threads(32)->UseRealTime();
BENCHMARK(BM_Signature)->Threads(1)->Threads(32)->UseRealTime();
BENCHMARK(BM_DataFile1MB)->Threads(1)->Threads(32)->UseRealTime();
