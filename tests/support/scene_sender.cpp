// A host application driven by a script: reads one call of an export per
// line from standard input and makes it through the real library, so browser
// tests can draw scenes. A line is the export's name and its arguments:
// integers, or strings in double quotes (\" \\ and \xNN escapes), or NULL.
// "repeat N <call>" makes the call N times. Exits 1 if a call returned 0.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "VesprineDovetide.h"

namespace {

struct Arg {
  int32_t number = 0;
  std::optional<std::string> text;  // nullopt for NULL or a number
  const char* str() const { return text ? text->c_str() : nullptr; }
};

bool Parse(const std::string& line, std::string& name, std::vector<Arg>& args) {
  size_t i = 0;
  const auto skip = [&] {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
  };
  skip();
  while (i < line.size() && line[i] != ' ') name += line[i++];
  for (skip(); i < line.size(); skip()) {
    Arg arg;
    if (line[i] == '"') {
      std::string text;
      for (++i; i < line.size() && line[i] != '"'; ++i) {
        if (line[i] == '\\' && i + 1 < line.size()) {
          ++i;
          if (line[i] == 'x' && i + 2 < line.size()) {
            text += static_cast<char>(std::strtol(line.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
            continue;
          }
        }
        text += line[i];
      }
      if (i >= line.size()) return false;
      ++i;
      arg.text = text;
    } else {
      const size_t start = i;
      while (i < line.size() && line[i] != ' ') ++i;
      const std::string word = line.substr(start, i - start);
      if (word != "NULL") {
        char* end = nullptr;
        arg.number = static_cast<int32_t>(std::strtoll(word.c_str(), &end, 10));
        if (*end != '\0') return false;
      }
    }
    args.push_back(arg);
  }
  return true;
}

using Call = int32_t (*)(const std::vector<Arg>&);

const std::map<std::string, std::pair<size_t, Call>>& Exports() {
  static const std::map<std::string, std::pair<size_t, Call>> exports = {
      {"Init", {0, [](auto&) { return Init(); }}},
      {"SetColor", {4, [](auto& a) { return SetColor(a[0].number, a[1].number, a[2].number, a[3].number); }}},
      {"DrawPixel", {2, [](auto& a) { return DrawPixel(a[0].number, a[1].number); }}},
      {"DrawLine", {4, [](auto& a) { return DrawLine(a[0].number, a[1].number, a[2].number, a[3].number); }}},
      {"DrawRect",
       {5, [](auto& a) { return DrawRect(a[0].number, a[1].number, a[2].number, a[3].number, a[4].number); }}},
      {"DrawEllipse",
       {5, [](auto& a) { return DrawEllipse(a[0].number, a[1].number, a[2].number, a[3].number, a[4].number); }}},
      {"DrawString", {4, [](auto& a) { return DrawString(a[0].number, a[1].number, a[2].str(), a[3].number); }}},
      {"DrawImage", {3, [](auto& a) { return DrawImage(a[0].str(), a[1].number, a[2].number); }}},
      {"DrawImageScaled", {6, [](auto& a) {
         return DrawImageScaled(a[0].str(), a[1].number, a[2].number, a[3].number, a[4].number, a[5].number);
       }}},
      {"DrawClear", {0, [](auto&) { return DrawClear(); }}},
      {"CreateSprite", {3, [](auto& a) { return CreateSprite(a[0].str(), a[1].number, a[2].number); }}},
      {"DisposeSprite", {1, [](auto& a) { return DisposeSprite(a[0].str()); }}},
      {"DisposeCurrentSprite", {0, [](auto&) { return DisposeCurrentSprite(); }}},
      {"DisposeAllSprites", {0, [](auto&) { return DisposeAllSprites(); }}},
      {"SetEditSprite", {1, [](auto& a) { return SetEditSprite(a[0].str()); }}},
      {"SetBound", {2, [](auto& a) { return SetBound(a[0].number, a[1].number); }}},
      {"SetZ", {1, [](auto& a) { return SetZ(a[0].number); }}},
      {"SetVisible", {1, [](auto& a) { return SetVisible(a[0].number); }}},
      {"SetAlpha", {1, [](auto& a) { return SetAlpha(a[0].number); }}},
      {"SetOPoint", {2, [](auto& a) { return SetOPoint(a[0].number, a[1].number); }}},
      {"SetResolution", {2, [](auto& a) { return SetResolution(a[0].number, a[1].number); }}},
      {"SetBackground", {2, [](auto& a) { return SetBackground(a[0].str(), a[1].number); }}},
      {"SetEncodingUTF8", {0, [](auto&) { return SetEncodingUTF8(); }}},
      {"SetEncodingShiftJIS", {0, [](auto&) { return SetEncodingShiftJIS(); }}},
      {"LogV", {1, [](auto& a) { return LogV(a[0].str()); }}},
      {"LogD", {1, [](auto& a) { return LogD(a[0].str()); }}},
      {"LogI", {1, [](auto& a) { return LogI(a[0].str()); }}},
      {"LogW", {1, [](auto& a) { return LogW(a[0].str()); }}},
      {"LogE", {1, [](auto& a) { return LogE(a[0].str()); }}},
      {"LogC", {1, [](auto& a) { return LogC(a[0].str()); }}},
  };
  return exports;
}

}  // namespace

int main() {
  std::string line;
  long number = 0;
  while (std::getline(std::cin, line)) {
    ++number;
    long times = 1;
    if (line.rfind("repeat ", 0) == 0) {
      char* end = nullptr;
      times = std::strtol(line.c_str() + 7, &end, 10);
      line = end;
    }
    std::string name;
    std::vector<Arg> args;
    if (!Parse(line, name, args)) {
      std::fprintf(stderr, "scene_sender: line %ld: cannot read: %s\n", number, line.c_str());
      return 2;
    }
    if (name.empty()) continue;
    const auto found = Exports().find(name);
    if (found == Exports().end() || found->second.first != args.size()) {
      std::fprintf(stderr, "scene_sender: line %ld: unknown call or wrong arguments: %s\n", number, line.c_str());
      return 2;
    }
    for (long i = 0; i < times; ++i) {
      if (found->second.second(args) != 1) {
        std::fprintf(stderr, "scene_sender: line %ld: %s returned 0\n", number, name.c_str());
        return 1;
      }
    }
  }
  Dispose();
  return 0;
}
