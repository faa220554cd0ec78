// The table of codes in docs/protocol.md says what the command table
// (VESPRINE_COMMANDS) says: each code's exports, payload form and the
// record fields it sets, and no code more or less.
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "protocol/commands.h"
#include "render_support.h"

namespace {

// The `quoted` spans of a cell, each cut at its first '(' (an export's arguments).
std::string Quoted(const std::string& cell) {
  std::string out;
  for (size_t open = cell.find('`'); open != std::string::npos; open = cell.find('`', open + 1)) {
    const size_t close = cell.find('`', open + 1);
    if (close == std::string::npos) break;
    const std::string span = cell.substr(open + 1, close - open - 1);
    out += (out.empty() ? "" : " ") + span.substr(0, span.find('('));
    open = close;
  }
  return out;
}

// Each row of the table under "## Codes", as "code exports | form | fields".
std::vector<std::string> DocumentedRows() {
  std::ifstream in(SourcePath(VESPRINE_DOCS) + "/protocol.md");
  std::vector<std::string> rows;
  bool in_codes = false;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("## ", 0) == 0) in_codes = line == "## Codes";
    if (!in_codes || line.size() < 3 || line[0] != '|' || line[2] < '0' || line[2] > '9') continue;
    std::vector<std::string> cells;
    std::istringstream row(line.substr(1));
    for (std::string cell; std::getline(row, cell, '|');) cells.push_back(cell);
    if (cells.size() != 4) {
      rows.push_back("not four cells: " + line);
      continue;
    }
    const std::string code = cells[0].substr(1, cells[0].find(' ', 1) - 1);
    const std::string form = cells[2].find_first_not_of(' ') == std::string::npos ? "" : cells[2].substr(1, cells[2].size() - 2);
    rows.push_back(code + " " + Quoted(cells[1]) + " | " + form + " | " + Quoted(cells[3]));
  }
  return rows;
}

// The same rows, from the command table.
std::vector<std::string> TableRows() {
  std::vector<std::string> rows;
  for (int32_t code = 1; code <= kMaxCode; ++code) {
    const CommandInfo* command = FindCommand(code);
    std::string row = std::to_string(code) + " ";
    if (command == nullptr) {
      rows.push_back(row + " |  | ");
      continue;
    }
    row += command->code == CommandCode::SetEncoding
               ? std::string(kEncodingExports[0]) + " " + kEncodingExports[1]
               : std::string(command->name);
    const char* forms[] = {"short", "full", "text"};
    row += std::string(" | ") + forms[static_cast<int>(command->form)] + " |";
    std::string fields;
    for (size_t i = 0; i < std::size(kIntegerFields); ++i) {
      if (command->fields & (1u << i)) fields += std::string(" ") + kIntegerFields[i].name;
    }
    if (command->fields & kName) fields += " name nameLength";
    if (command->fields & kText) fields += " text textLength";
    rows.push_back(row + (fields.empty() ? " " : fields));
  }
  return rows;
}

TEST(CommandTable, IsTheOneInTheProtocolDocument) {
  const std::vector<std::string> documented = DocumentedRows();
  ASSERT_FALSE(documented.empty()) << "no table under \"## Codes\" in docs/protocol.md";
  EXPECT_EQ(documented, TableRows());
}

}  // namespace
