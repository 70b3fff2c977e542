#include "main/PelluxUpdateUsage.h"

#include <string>

namespace pellux {

namespace {
#ifdef _WIN32
constexpr char kSynopsis[] =
    "Usage: PelluxUpdateV3 [--help | --version]\n"
    "       PelluxUpdateV3 --job PUpdate-<KEY>-<MODE>-<PORT> [FILE [local]]\n"
    "       PUpdate-<KEY>-<MODE>-<PORT>.exe [FILE [local]]   (a copy under a job name)\n";

// The lines that differ between Windows and the other systems.
constexpr char kStartup[] =
    "Started under its own name the program opens its dialog. Started under a\n"
    "job name (a copy of PelluxUpdateV3.exe renamed, as the machine's PC\n"
    "application makes one), or with --job, it runs that one job in a console\n"
    "window (the console it was started from, if any) and ends with the message\n"
    "box Complete or Error. With its output redirected to a file or a pipe it\n"
    "shows no box: the last lines say Complete or Error and name the job's log.\n";
constexpr char kPort[] =
    "  PORT    a COM port of this PC, such as COM3 or COM12 (the Device Manager\n"
    "          lists them under Ports), or an alias of PUPDATE_PORT_MAP\n";
constexpr char kEnvironmentPaths[] =
    "  PUPDATE_PORT_MAP     port aliases, such as COM3=\\\\.\\COM12\n"
    "  PUPDATE_FABRO_DIR    installation folder of Application jobs (C:\\Fabro)\n"
    "  PUPDATE_LOG_DIR      folder of the job logs (default\n"
    "                       %LOCALAPPDATA%\\PelluxUpdate\\logs)\n"
    "  PUPDATE_TRUSTED_KEYS folder of trusted publisher keys (*.pem); replaces\n"
    "                       the keys folder in the program's folder\n";
#else
constexpr char kSynopsis[] =
    "Usage: PelluxUpdateV3 [--help | --version]\n"
    "       PelluxUpdateV3 --job PUpdate-<KEY>-<MODE>-<PORT> [FILE [local]]\n"
    "       PUpdate-<KEY>-<MODE>-<PORT> [FILE [local]]   (a link or copy under a job name)\n";

constexpr char kStartup[] =
    "Started under its own name the program opens its dialog (a display is\n"
    "needed). Started under a job name, or with --job, it runs that one job in\n"
    "the terminal and ends with the line Complete or Error, then a line naming\n"
    "the job's log.\n";
constexpr char kPort[] =
    "  PORT    COM3 (an alias of PUPDATE_PORT_MAP) or a device in /dev, such as\n"
    "          TTYUSB0 for /dev/ttyUSB0\n";
constexpr char kEnvironmentPaths[] =
    "  PUPDATE_PORT_MAP     port aliases, such as COM3=/dev/ttyUSB0,COM5=/dev/pts/4\n"
    "  PUPDATE_FABRO_DIR    installation folder of Application jobs ($HOME/Fabro)\n"
    "  PUPDATE_LOG_DIR      folder of the job logs (default\n"
    "                       $XDG_STATE_HOME/PelluxUpdate/logs, that is\n"
    "                       ~/.local/state/PelluxUpdate/logs)\n"
    "  PUPDATE_TRUSTED_KEYS folder of trusted publisher keys (*.pem); replaces\n"
    "                       /etc/pelluxupdate/keys and share/pelluxupdate/keys\n";
#endif

constexpr char kIntroduction[] =
    "\n"
    "Updates the electronics of a sign-making machine over a serial port: the\n"
    "control board's firmware and FPGA, the machine PC application, servo and\n"
    "step drive settings.\n"
    "\n";

constexpr char kJobNames[] =
    "\n"
    "Job names, PUpdate-<KEY>-<MODE>-<PORT> (any case, .exe allowed, at most\n"
    "four parts between hyphens):\n"
    "  KEY     the machine key on the update server, such as NR2, R1PS or APB\n"
    "  MODE    Firmware, Initialize, FPGA, Application, Servo or Step\n";

constexpr char kDetails[] =
    "\n"
    "Arguments of a job:\n"
    "  (none)        download the first file of the server's list\n"
    "  FILE          download this file of the server's list\n"
    "  FILE local    use FILE from disk; nothing is downloaded\n"
    "\n"
    "Other program names:\n"
    "  PIP-a.b.c.d[-...]   the dialog, with the update server http://a.b.c.d/\n"
    "  ...L                a name ending in L: the dialog in local mode\n"
    "\n"
    "Options (only as the first argument, and not under a job name):\n"
    "  --job NAME [FILE [local]]   run the job NAME as if the program had that name\n"
    "  -h, --help                  print this help and exit\n"
    "  --version                   print the version and exit\n"
    "\n"
    "Environment:\n"
    "  PUPDATE_SERVER_URL   base URL of the update server (http://host/ or\n"
    "                       https://host/); wins over a PIP- name\n";

constexpr char kLogs[] =
    "\n"
    "Every job also writes its transcript, each line with its time, to a log\n"
    "file in that folder (the newest 200 are kept); the last line a job prints\n"
    "names it.\n"
    "\n"
    "Exit status:\n"
    "  0   the job completed, or the dialog was closed\n"
    "  1   the job failed or was cancelled (Ctrl+C), or the dialog could not start\n"
    "  2   the command line was wrong\n";
}  // namespace

const char* PelluxUpdateSynopsis() {
  return kSynopsis;
}

const char* PelluxUpdateHelp() {
  static const std::string help = std::string(kSynopsis) + kIntroduction + kStartup + kJobNames +
                                  kPort + kDetails + kEnvironmentPaths + kLogs;
  return help.c_str();
}

}  // namespace pellux
