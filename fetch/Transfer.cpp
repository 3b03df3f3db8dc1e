#include "fetch/Transfer.h"

#include <algorithm>
#include <cstdlib>

#include "platform/Charset.h"
#include "platform/Text.h"
#include "platform/Url.h"

namespace skimlet {

const AgentRow AgentTable[kAgentRows] = {
    {"Mozilla/5.0 (compatible; MSIE 6.00; Windows NT 5.0)", "1783"},
    {"Mozilla/4.0 (compatible; MSIE 5.01; Windows 98)", "343"},
    {"Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)", "314"},
    {"Mozilla/4.0 (compatible; MSIE 5.50; Windows NT 5.0)", "224"},
    {"Opera 7.11", "25"},
    {"Opera 7.21", "22"},
    {"Mozilla/4.0 (compatible; MSIE 4.01; Windows 98)", "16"},
    {"Opera 7.20", "10"},
    {"Opera 7.03", "8"},
    {"Opera 7.01", "6"},
    {"Opera 6.01", "5"},
    {"Opera 6.05", "4"},
    {"Mozilla 1.5", "3"},
    {"Opera 7.10", "3"},
    {"Opera 7.0", "3"},
    {"Mozilla 1.3", "3"},
    {"Mozilla 1.4", "3"},
    {"Opera 6.02", "2"},
    {"Navigator 7.1", "2"},
    {"Mozilla/4.0 (compatible; MSIE 4.01; Windows 98)", "2"},
    {"Opera 7.22", "2"},
    {"Opera 6.0", "2"},
    {"DISCo Pump 3.1", "1"},
    {"Mozilla/4.0 (compatible; MSIE 3.01; Windows 95)", "1"},
    {"Navigator 4.0", "1"},
    {"Navigator 7.0", "1"},
    {"MSIE 6.0b", "1"},
    {"Opera 7.02", "1"},
    {"Mozilla 1.3.1", "1"},
    {"Navigator 4.5", "1"},
};

const char* const kProgressFrames[14] = {
    ">----------->", ">>-----------", "->>----------", "-->>---------", "-->>---------",
    "--->>--------", "---->>-------", "----->>------", "------>>-----", "------->>----",
    "-------->>---", "--------->>--", "---------->>-", "----------->>",
};

std::string PickAgent(std::mt19937& rng) {
  long total = 0;
  for (const AgentRow& row : AgentTable) total += std::atol(row.weight);
  long r = std::uniform_int_distribution<long>(1, total)(rng);
  long sum = 0;
  for (const AgentRow& row : AgentTable) {
    sum += std::atol(row.weight);
    if (r <= sum) return row.agent;
  }
  return AgentTable[0].agent;
}

std::string UrlForTransfer(const std::string& win1251Url) {
  return PercentEscape(Win1251ToUtf8(win1251Url), [](unsigned char c) {
    return c <= 0x20 || c >= 0x7F || c == '"' || c == '<' || c == '>' || c == '\\' || c == '^' || c == '`' || c == '{' ||
           c == '|' || c == '}';
  });
}

std::atomic<std::uint64_t>& TotalBytes() {
  static std::atomic<std::uint64_t> total{0};
  return total;
}

std::string LowerAscii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string MediaType(const std::string& contentType) {
  std::string type = LowerAscii(contentType.substr(0, contentType.find(';')));
  type.erase(0, type.find_first_not_of(" \t"));
  type.erase(type.find_last_not_of(" \t") + 1);
  return type;
}

bool IsPageType(const std::string& contentType) {
  const std::string type = MediaType(contentType);
  return type.empty() || type == "text/html" || type == "application/xhtml+xml" || type == "text/xml" ||
         type == "text/plain";
}

std::uint32_t OpenFlagsOf(const RunSettings& settings) {
  std::uint32_t flags = 0;
  if (settings.hURLReload) flags |= kFlagReload;
  if (settings.hURLExistsConnection) flags |= kFlagExistingConnect;
  if (settings.hURLUseCashe) flags |= kFlagMakePersistent;
  if (settings.hURLReloadCookiesOff) flags |= kFlagNoCookies;
  return flags;
}

std::string CookieJarPath(const std::string& dataDir) { return dataDir + "cookies.txt"; }

HttpSettings TransferSettings(std::uint32_t openFlags, const RunSettings& settings, const std::string& dataDir) {
  HttpSettings s;
  s.reload = openFlags & kFlagReload;
  s.reuseConnection = openFlags & kFlagExistingConnect;
  s.useCache = openFlags & kFlagMakePersistent;
  s.noCookies = openFlags & kFlagNoCookies;
  s.cacheDir = dataDir + "cache/";
  s.cookieJar = CookieJarPath(dataDir);
  s.lowSpeedBytesPerSec = settings.lowSpeedLimit;
  s.lowSpeedWindowMs = 1000L * settings.lowSpeedTime;
  s.maxTransferMs = 1000L * settings.maxTransferTime;
  s.maxPerHost = settings.maxPerHost;
  return s;
}

}  // namespace skimlet
