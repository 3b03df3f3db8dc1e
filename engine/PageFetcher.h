// Browser identification and the byte counter shared by every transfer.
#pragma once

#include <atomic>
#include <cstdint>
#include <random>
#include <string>

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

// The 14 status-bar frames of a transfer.
extern const char* const kProgressFrames[14];

}  // namespace skimlet
