// Browser identification and the byte counter shared by every transfer.
#pragma once

#include <atomic>
#include <cstdint>
#include <random>
#include <string>

#include "platform/Http.h"
#include "store/Settings.h"

namespace skimlet {

struct AgentRow {
  const char* agent;
  const char* weight;  // decimal text
};
inline constexpr int kAgentRows = 30;
extern const AgentRow AgentTable[kAgentRows];

// One identification string, each row with the probability of its weight.
std::string PickAgent(std::mt19937& rng);

// A URL (Windows-1251, as a page wrote it) as it goes on the wire: UTF-8, with the bytes
// that may not stand in a URL percent-escaped.
std::string UrlForTransfer(const std::string& win1251Url);

// Bytes received by every run and downloader since start.
std::atomic<std::uint64_t>& TotalBytes();

// The request flags of the four connection settings.
inline constexpr std::uint32_t kFlagReload = 0x80000000u;
inline constexpr std::uint32_t kFlagExistingConnect = 0x20000000u;
inline constexpr std::uint32_t kFlagMakePersistent = 0x02000000u;
inline constexpr std::uint32_t kFlagNoCookies = 0x00080000u;

// The request flags of the four connection settings as they are ticked.
std::uint32_t OpenFlagsOf(const RunSettings& settings);
// What a transfer of a page or an attachment works with: the meaning of the request flags,
// the transfer limits of the settings, the data directory's page cache and cookie jar.
HttpSettings TransferSettings(std::uint32_t openFlags, const RunSettings& settings, const std::string& dataDir);
// The cookie jar of a data directory (ends in '/').
std::string CookieJarPath(const std::string& dataDir);

// Only A-Z lowered: for schemes and header values.
std::string LowerAscii(std::string s);

// The media type of a Content-Type header, lower case ("image/jpeg"), and whether it is a
// page GetNews takes (text/html, application/xhtml+xml, text/xml, text/plain, or none given).
std::string MediaType(const std::string& contentType);
bool IsPageType(const std::string& contentType);

// The 14 status-bar frames of a transfer.
extern const char* const kProgressFrames[14];

}  // namespace skimlet
