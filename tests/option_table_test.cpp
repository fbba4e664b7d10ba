// The options table against the README's table of options: every option
// appears once in each, with the same value name and default.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <string>

#include "cli/settings.h"

namespace tintara {
namespace {

struct ReadmeRow {
  std::string valueName;
  std::string shownDefault;
};

// The rows of the README's "| option | default | meaning |" table, by name.
std::map<std::string, ReadmeRow> readmeOptions() {
  std::ifstream readme(std::string(TINTARA_SOURCE_DIR "/README.md"));
  std::map<std::string, ReadmeRow> rows;
  const std::regex row(R"(\| `--([A-Za-z-]+)( ([A-Za-z]+))?` \| ([^|]*?) *\|.*)");
  bool inTable = false;
  for (std::string line; std::getline(readme, line);) {
    if (line.rfind("| option | default | meaning |", 0) == 0) {
      inTable = true;
      continue;
    }
    if (!inTable) continue;
    if (line.empty() || line[0] != '|') break;
    std::smatch match;
    if (!std::regex_match(line, match, row)) continue;
    EXPECT_TRUE(rows.emplace(match[1], ReadmeRow{match[3], match[4]}).second)
        << "--" << match[1] << " is listed twice";
  }
  return rows;
}

TEST(OptionTable, TheReadmeListsEveryOptionWithItsValueAndDefault) {
  std::map<std::string, ReadmeRow> readme = readmeOptions();
  for (const OptionSpec& option : optionTable()) {
    const auto row = readme.find(option.name);
    ASSERT_NE(row, readme.end()) << "--" << option.name << " is missing from the README";
    EXPECT_EQ(row->second.valueName, option.valueName ? option.valueName : "") << option.name;
    EXPECT_EQ(row->second.shownDefault,
              option.defaultValue ? option.defaultValue : option.shownDefault)
        << option.name;
    readme.erase(row);
  }
  for (const auto& [name, row] : readme) ADD_FAILURE() << "--" << name << " is not an option";
}

}  // namespace
}  // namespace tintara
