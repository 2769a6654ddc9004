// INI files with the rules of the Windows profile functions. A line "[name]" opens a
// section; a line "key=value" in a section is an item; every other line is carried
// through untouched. Names compare without regard to ASCII case, the first section and
// the first key of a name win, and blanks around names and values are dropped. A value
// in matching single or double quotes loses them.

#include "platform/ini_file.h"

#include <optional>
#include <vector>

#include "platform/profile.h"

namespace kerro {

namespace {

struct Line {
  size_t begin;  // offset of the first character
  size_t end;    // offset after the last character, before the line break
  size_t next;   // offset of the following line
};

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && IsBlank(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) {
      return false;
    }
  }
  return true;
}

std::vector<Line> SplitLines(std::string_view text) {
  std::vector<Line> lines;
  size_t at = 0;
  while (at < text.size()) {
    const size_t feed = text.find('\n', at);
    const size_t next = feed == std::string_view::npos ? text.size() : feed + 1;
    size_t end = feed == std::string_view::npos ? text.size() : feed;
    if (end > at && text[end - 1] == '\r') {
      --end;
    }
    lines.push_back({at, end, next});
    at = next;
  }
  return lines;
}

// The section name of a line "[name]", or nullopt for any other line. A missing "]"
// takes the rest of the line.
std::optional<std::string_view> SectionName(std::string_view line) {
  line = Trim(line);
  if (line.empty() || line.front() != '[') {
    return std::nullopt;
  }
  line.remove_prefix(1);
  return Trim(line.substr(0, line.find(']')));
}

struct Item {
  std::string_view key;
  std::string_view value;
};

std::optional<Item> ItemOf(std::string_view line) {
  const size_t equals = line.find('=');
  if (equals == std::string_view::npos) {
    return std::nullopt;
  }
  return Item{Trim(line.substr(0, equals)), Trim(line.substr(equals + 1))};
}

// The file's text, read shared; nullopt if it cannot be read.
std::optional<std::string> ReadWholeFile(FileSystem& fileSystem, const std::string& path) {
  const auto bytes = fileSystem.readFileShared(path);
  if (!bytes) {
    return std::nullopt;
  }
  return std::string(bytes->begin(), bytes->end());
}

// Where a key stands in the file, or where it would go.
struct Place {
  std::optional<size_t> sectionLine;  // the section's header line
  std::optional<size_t> keyLine;      // the key's line
  size_t lastItemLine = 0;            // the last item or the header of the section
};

Place Find(std::string_view text, const std::vector<Line>& lines, std::string_view section,
           std::string_view key) {
  Place place;
  bool inSection = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string_view line = text.substr(lines[i].begin, lines[i].end - lines[i].begin);
    if (const auto name = SectionName(line)) {
      if (inSection) {
        break;  // only the first section of the name counts
      }
      if (SameName(*name, section)) {
        inSection = true;
        place.sectionLine = i;
        place.lastItemLine = i;
      }
      continue;
    }
    if (!inSection) {
      continue;
    }
    if (const auto item = ItemOf(line)) {
      place.lastItemLine = i;
      if (SameName(item->key, key)) {
        place.keyLine = i;
        break;
      }
    }
  }
  return place;
}

std::string_view Unquoted(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

// What ends a last line that has no line feed: a line break, or only the feed if the line
// ends in a CR, which a further CR would make part of the line.
std::string_view LineEndAfter(std::string_view text, std::string_view lineBreak) {
  return !text.empty() && text.back() == '\r' ? std::string_view("\n") : lineBreak;
}

}  // namespace

std::string ReadIniString(FileSystem& fileSystem, const std::string& file, std::string_view section,
                          std::string_view key, std::string_view defaultValue) {
  std::string_view result = defaultValue;
  // Trailing blanks of the default are dropped, as the Windows call does.
  while (!result.empty() && IsBlank(result.back())) {
    result.remove_suffix(1);
  }
  const auto text = ReadWholeFile(fileSystem, file);
  std::vector<Line> lines;
  if (text) {
    lines = SplitLines(*text);
    const Place place = Find(*text, lines, section, key);
    if (place.keyLine) {
      const Line& line = lines[*place.keyLine];
      result = Unquoted(
          ItemOf(std::string_view(*text).substr(line.begin, line.end - line.begin))->value);
    }
  }
  return std::string(result.substr(0, kProfileValueLimit));
}

bool WriteIniString(FileSystem& fileSystem, const std::string& file, std::string_view section,
                    std::string_view key, std::string_view value) {
  if (value.find_first_of("\r\n") != std::string_view::npos ||
      key.find_first_of("\r\n=") != std::string_view::npos ||
      section.find_first_of("\r\n]") != std::string_view::npos) {
    return false;  // would break the file's lines
  }
  std::string text;
  if (auto existing = ReadWholeFile(fileSystem, file)) {
    text = std::move(*existing);
  }
  const std::string_view lineBreak = text.find("\r\n") != std::string::npos ? "\r\n" : "\n";
  const std::vector<Line> lines = SplitLines(text);
  const Place place = Find(text, lines, section, key);
  const std::string item = std::string(key) + "=" + std::string(value);
  std::string updated;
  if (place.keyLine) {
    // The key keeps the spelling it has in the file, as on Windows.
    const Line& line = lines[*place.keyLine];
    const auto existing = ItemOf(std::string_view(text).substr(line.begin, line.end - line.begin));
    updated = text.substr(0, line.begin) + std::string(existing->key) + "=" + std::string(value) +
              text.substr(line.end);
  } else if (place.sectionLine) {
    const Line& line = lines[place.lastItemLine];
    std::string before = text.substr(0, line.next);
    if (line.next == 0 || text[line.next - 1] != '\n') {
      before += LineEndAfter(before, lineBreak);  // the last line of the file had no break
    }
    updated = before + item + std::string(lineBreak) + text.substr(line.next);
  } else {
    updated = text;
    if (!updated.empty() && updated.back() != '\n') {
      updated += LineEndAfter(updated, lineBreak);
    }
    updated +=
        "[" + std::string(section) + "]" + std::string(lineBreak) + item + std::string(lineBreak);
  }
  // Through a temporary beside it, so that a failed write leaves the old file whole.
  return fileSystem.replaceFile(
      file, std::span(reinterpret_cast<const uint8_t*>(updated.data()), updated.size()));
}

}  // namespace kerro
