#pragma once

#include <string>
#include <vector>

namespace pellux {

class CancelToken;
class JobConsole;

// Addresses of the update server's resources; the values are escaped as
// EscapeUrlValue says.
std::string ListUrl(const std::string& machine, const std::string& listMode, bool standardList);
std::string DataUrl(const std::string& machine, const std::string& listMode,
                    const std::string& file);
std::string Md5Url(const std::string& machine, const std::string& listMode,
                   const std::string& file);
// The publisher's signature of a data file: "filesig.php?FilePath=" + path.
std::string SignatureUrl(const std::string& machine, const std::string& listMode,
                         const std::string& file);
// <KEY>/<MODE>/<file>: a data file's path on the server, as its digest and
// signature requests name it.
std::string ServerFilePath(const std::string& machine, const std::string& listMode,
                           const std::string& file);

// Lines of a text file (CR before LF dropped; a last line without LF is lost).
std::vector<std::string> ReadLines(const std::string& path);

// A short reply body as text; empty on failure (said on `console`) or once
// `cancel` is cancelled.
std::string FetchText(const std::string& url, const CancelToken& cancel, JobConsole& console);
// The same for the running job: its token and the active console.
std::string FetchText(const std::string& url);

// MD5 of a file as 32 lower-case hex digits; empty when it cannot be read.
std::string Md5OfFile(const std::string& path);

// True only when the file's MD5 equals the server's reply byte for byte.
bool CheckMd5(const std::string& localFile, const std::string& md5Url, const CancelToken& cancel,
              JobConsole& console);
// The same for the running job: its token and the active console.
bool CheckMd5(const std::string& localFile, const std::string& md5Url);

// A name from a server list becomes a local file name and a URL path: it must
// not hold a directory separator, a drive prefix or a control byte, nor be
// "." or "..".
bool IsSafeServerFileName(const std::string& name);

// A name from a server as it may be shown on a terminal: control bytes as \xNN.
std::string PrintableServerFileName(const std::string& name);

// A short reply of the server (an MD5 digest) as it may be shown: control
// bytes as \xNN, and a reply far longer than a digest cut short with its size.
std::string PrintableServerReply(const std::string& reply);

}  // namespace pellux
