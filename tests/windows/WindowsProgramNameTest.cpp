// The program's name is its module's file name: a launcher may write anything
// as the first word of the command line, and a job copy still runs its job.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "TestFiles.h"
#include "base/ProgramLocation.h"

using namespace pellux;
namespace fs = std::filesystem;

namespace {
struct ProgramRun {
  DWORD status = 0;
  std::string output;
};

// Starts `program` with exactly `commandLine` (its first word included), the
// output into a file, no input, and waits for it to end; `whileRunning` is
// handed the process's id first.
ProgramRun RunProgram(const fs::path& program, std::wstring commandLine, const fs::path& dir,
                      const std::function<void(const PROCESS_INFORMATION&)>& whileRunning = {}) {
  ProgramRun run;
  // A file of its own per run: the last run's may still be held by its console.
  static int runs = 0;
  const fs::path outputPath = dir / ("output-" + std::to_string(++runs) + ".txt");
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE output = CreateFileW(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  HANDLE input = CreateFileW(L"NUL", GENERIC_READ, 0, &inherit, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(output, INVALID_HANDLE_VALUE);
  EXPECT_NE(input, INVALID_HANDLE_VALUE);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = output;
  startup.hStdError = output;
  PROCESS_INFORMATION process{};
  const BOOL started = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                      0, nullptr, dir.c_str(), &startup, &process);
  CloseHandle(output);
  CloseHandle(input);
  EXPECT_TRUE(started) << "cannot start " << program.string() << ": " << GetLastError();
  if (!started) return run;
  if (whileRunning) whileRunning(process);
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 120000), WAIT_OBJECT_0);
  GetExitCodeProcess(process.hProcess, &run.status);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  // Lines as the console would show them, whatever the line ends.
  for (char c : pellux::ReadFile(outputPath.string())) {
    if (c != '\r') run.output += c;
  }
  return run;
}

// build-windows/src/PelluxUpdateV3.exe beside build-windows/tests/windows/.
fs::path BuiltPelluxUpdate() {
  return RunningProgramPath().parent_path().parent_path().parent_path() / "src" /
         "PelluxUpdateV3.exe";
}

// The first dialog window of a process, waited for up to a minute or until
// the process ends.
HWND WaitForDialogOf(const PROCESS_INFORMATION& process) {
  const DWORD processId = process.dwProcessId;
  struct Search {
    DWORD processId;
    HWND found;
  };
  for (int attempt = 0; attempt < 600; ++attempt) {
    Search search{processId, nullptr};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
          auto* search = reinterpret_cast<Search*>(data);
          DWORD owner = 0;
          GetWindowThreadProcessId(window, &owner);
          char name[16] = {};
          GetClassNameA(window, name, sizeof name);
          if (owner != search->processId || std::string(name) != "#32770") return TRUE;
          search->found = window;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr) return search.found;
    if (WaitForSingleObject(process.hProcess, 100) != WAIT_TIMEOUT) return nullptr;
  }
  return nullptr;
}

class ScopedVariable {
 public:
  ScopedVariable(const wchar_t* name, const std::wstring& value) : name_(name) {
    SetEnvironmentVariableW(name, value.c_str());
  }
  ~ScopedVariable() { SetEnvironmentVariableW(name_, nullptr); }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  const wchar_t* name_;
};
}  // namespace

TEST(WindowsProgramName, IsTheModulesFileNameNotTheLaunchersWord) {
  EXPECT_EQ(ProgramFileName("C:\\Tools\\PUpdate-NR2-Firmware-COM3.exe"),
            "pupdate_windows_tests.exe");
  EXPECT_EQ(ProgramFileName(nullptr), "pupdate_windows_tests.exe");
}

TEST(WindowsProgramName, AJobCopyRunsItsJobWhateverItsCommandLineSays) {
  const fs::path built = BuiltPelluxUpdate();
  ASSERT_TRUE(fs::exists(built)) << built.string();
  TempDir dir;
  ScopedVariable logs(L"PUPDATE_LOG_DIR", (dir.path() / "logs").wstring());
  ScopedVariable noMap(L"PUPDATE_PORT_MAP", L"");
  const fs::path job = dir.path() / "PUpdate-NR2-FPGA-COM98.exe";
  fs::copy_file(built, job);
  pellux::WriteFile(dir / "image.bin", std::string(300, '\0'));

  // The launcher writes the original program's name first: the copy's own
  // name still chooses the job, which ends at the port no machine has.
  ProgramRun run =
      RunProgram(job, L"\"C:\\Tools\\PelluxUpdateV3.exe\" image.bin local", dir.path());
  EXPECT_EQ(run.status, 1u) << run.output;
  EXPECT_NE(run.output.find("[ FPGA Update mode ] - PUPDATE-NR2-FPGA-COM98\n"), std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("\\\\.\\COM98 cannot be opened"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("\nError\n"), std::string::npos) << run.output;

  // And the other way round: a job name written first does not make the
  // program under its own name run a job: it opens its dialog (local mode,
  // the server being unreachable), which Close ends. Without a display the
  // dialog cannot open, and the program says so.
  ScopedVariable noServer(L"PUPDATE_SERVER_URL", L"http://127.0.0.1:9/");
  HWND dialog = nullptr;
  run = RunProgram(built, L"PUpdate-NR2-FPGA-COM98.exe image.bin local", dir.path(),
                   [&](const PROCESS_INFORMATION& process) {
                     dialog = WaitForDialogOf(process);
                     if (dialog != nullptr) PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
                   });
  EXPECT_EQ(run.output.find("Update mode"), std::string::npos) << run.output;
  if (dialog != nullptr) {
    EXPECT_EQ(run.status, 0u) << run.output;
  } else {
    EXPECT_EQ(run.status, 1u) << run.output;
    EXPECT_NE(run.output.find("The dialog cannot be opened"), std::string::npos) << run.output;
  }
}
