// skimlet-cli run against a home and a settings directory of its own, for the command-line
// tests; and the decoding of %-escapes their servers and checks share.
#pragma once

#include <cctype>
#include <string>

#include "tests/support/TestSupport.h"

namespace skimlet::test {

struct CliHome {
  TempDir home, config;
  CommandResult Run(const std::string& args) {
    return RunCommand("XDG_CONFIG_HOME=" + ShellQuote(config.path()) + " " SKIMLET_CLI " --home " +
                          ShellQuote(home.path()) + " " + args,
                      true);
  }
};

inline std::string PercentDecoded(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && std::isxdigit(static_cast<unsigned char>(s[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
      out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

}  // namespace skimlet::test
