#include "cli/machine_output.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>

#include "annotation/annotation_check.h"
#include "cli/plain_words.h"
#include "kerro_version.h"
#include "platform/memory.h"
#include "schematic/schematic_document.h"

namespace kerro {

namespace {

constexpr const char* kSchema = "file:///usr/share/kerro/output.schema.json";
constexpr int kFormatVersion = 1;

// The length of the UTF-8 sequence at `at`, or 0 if the bytes there are not one.
size_t Utf8SequenceAt(std::string_view text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead < 0x80) {
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    low = lead == 0xE0 ? 0xA0 : 0x80;   // no overlong forms
    high = lead == 0xED ? 0x9F : 0xBF;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    low = lead == 0xF0 ? 0x90 : 0x80;
    high = lead == 0xF4 ? 0x8F : 0xBF;
  } else {
    return 0;
  }
  if (at + length > text.size() || byte(at + 1) < low || byte(at + 1) > high) {
    return 0;
  }
  for (size_t i = 2; i < length; ++i) {
    if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) {
      return 0;
    }
  }
  return length;
}

std::string Field(const char* name, const std::string& value) {
  return JsonString(name) + ":" + value;
}

std::string Number(long long value) {
  return std::to_string(value);
}

std::string Bool(bool value) {
  return value ? "true" : "false";
}

// `items` joined by commas between `open` and `close`, onto `out`. A run's list of a
// million changes is copied once, into room made for all of it.
void AppendJoined(std::string& out, char open, const std::vector<std::string>& items, char close) {
  size_t size = out.size() + 2 + items.size();
  for (const std::string& item : items) {
    size += item.size();
  }
  out.reserve(size);
  out += open;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0) {
      out += ',';
    }
    out += items[i];
  }
  out += close;
}

std::string Object(const std::vector<std::string>& fields) {
  std::string object;
  AppendJoined(object, '{', fields, '}');
  return object;
}

std::string Array(const std::vector<std::string>& items) {
  std::string array;
  AppendJoined(array, '[', items, ']');
  return array;
}

// A path as a relative URI reference: '/' separates, everything but the unreserved
// characters is percent-encoded.
std::string UriOf(std::string_view path) {
  std::string uri;
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                            (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' ||
                            c == '~' || c == '/';
    if (unreserved) {
      uri += c;
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
      uri += escaped;
    }
  }
  return uri;
}

// A finding's name as a rule id: "duplicate reference" -> "duplicate-reference".
std::string RuleId(std::string_view name) {
  std::string id(name);
  for (char& c : id) {
    c = c == ' ' ? '-' : c;
  }
  return id;
}

// Escapes what a workflow command gives a meaning of its own.
std::string GitHubEscaped(std::string_view text, bool property) {
  std::string escaped;
  for (const char c : text) {
    switch (c) {
      case '%':
        escaped += "%25";
        break;
      case '\r':
        escaped += "%0D";
        break;
      case '\n':
        escaped += "%0A";
        break;
      case ':':
        escaped += property ? "%3A" : ":";
        break;
      case ',':
        escaped += property ? "%2C" : ",";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

}  // namespace

std::optional<OutputFormat> ParseOutputFormat(std::string_view name) {
  if (name == "text") {
    return OutputFormat::Text;
  }
  if (name == "json") {
    return OutputFormat::Json;
  }
  if (name == "github") {
    return OutputFormat::GitHub;
  }
  if (name == "sarif") {
    return OutputFormat::Sarif;
  }
  return std::nullopt;
}

namespace {

constexpr size_t kMostPerJsonByte = 6;  // a control character as \u00XX

// Writes `text` at `out` as a JSON string, quotes included, and returns the end. A byte
// that begins no UTF-8 sequence is written as the text \xNN.
char* PutJsonString(char* out, std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  *out++ = '"';
  // Names and references are mostly plain ASCII, which goes as it is: a character, or
  // each of a word of them, that is neither a control character, a quote, a backslash nor
  // a byte of a longer UTF-8 sequence.
  const auto plain = [](auto word) {
    return !HasByteBelow(word, 0x20) && !HasByte(word, 0x7F) && !HasByte(word, '"') &&
           !HasByte(word, '\\') && !HasByteBelow(static_cast<decltype(word)>(~word), 0x80);
  };
  size_t at = PutPlainWords(out, text, plain);
  out += at;
  while (at < text.size()) {
    const auto byte = static_cast<uint8_t>(text[at]);
    if (plain(byte)) {
      *out++ = static_cast<char>(byte);
      ++at;
      continue;
    }
    const size_t length = Utf8SequenceAt(text, at);
    if (length == 0) {
      out = std::copy_n("\\\\x", 3, out);
      *out++ = kHex[byte >> 4];
      *out++ = kHex[byte & 0xF];
      ++at;
      continue;
    }
    if (byte == '"' || byte == '\\') {
      *out++ = '\\';
      *out++ = static_cast<char>(byte);
    } else if (byte < 0x20 || byte == 0x7F) {
      out = std::copy_n("\\u00", 4, out);
      *out++ = kHex[byte >> 4];
      *out++ = kHex[byte & 0xF];
    } else {
      out = std::copy_n(text.data() + at, length, out);
    }
    at += length;
  }
  *out++ = '"';
  return out;
}

}  // namespace

void AppendJsonString(std::string& json, std::string_view text) {
  const size_t start = json.size();
  json.resize(start + 2 + kMostPerJsonByte * text.size());
  json.resize(static_cast<size_t>(PutJsonString(json.data() + start, text) - json.data()));
}

std::string JsonString(std::string_view text) {
  std::string json;
  AppendJsonString(json, text);
  return json;
}

namespace {

// One object of a list, written onto the list as its fields are given, and closed when it
// goes: a million changes are written without a string of their own each. The object is
// made in a buffer of its own and goes onto the list in one piece, so that a change of ten
// fields costs one append instead of one for each name, quote and comma. Field names are
// plain words and need no escaping.
class ItemOnto {
 public:
  explicit ItemOnto(std::string& list) : ItemOnto(list, !list.empty()) {}
  // Onto the end of `text`, after a comma where it follows another item.
  ItemOnto(std::string& text, bool afterAnother) : list_(text) {
    if (afterAnother) {
      buffer_[used_++] = ',';
    }
    buffer_[used_++] = '{';
  }
  ItemOnto(const ItemOnto&) = delete;
  ItemOnto& operator=(const ItemOnto&) = delete;
  ~ItemOnto() {
    room(1)[0] = '}';
    ++used_;
    flush();
  }

  ItemOnto& text(std::string_view name, std::string_view value) {
    const size_t most = name.size() + kMostAroundName + 2 + kMostPerJsonByte * value.size();
    if (most > buffer_.size()) {
      AppendJsonString(open(name), value);  // a long text goes straight onto the list
    } else {
      settle(PutJsonString(putName(room(most), name), value));
    }
    return *this;
  }
  ItemOnto& number(std::string_view name, long long value) {
    char digits[kMostDigits];
    const char* const end = std::to_chars(digits, digits + kMostDigits, value).ptr;
    const std::string_view written(digits, static_cast<size_t>(end - digits));
    if (name.size() + kMostAroundName + written.size() > buffer_.size()) {
      open(name) += written;
    } else {
      settle(std::copy(written.begin(), written.end(),
                       putName(room(name.size() + kMostAroundName + written.size()), name)));
    }
    return *this;
  }
  // A value already in JSON: true, null, an array.
  ItemOnto& json(std::string_view name, std::string_view value) {
    open(name) += value;
    return *this;
  }

 private:
  static constexpr size_t kMostAroundName = 4;  // a comma, two quotes and a colon
  static constexpr size_t kMostDigits = 20;

  // Where `most` more bytes go; what the buffer holds goes onto the list first if they
  // would not fit.
  char* room(size_t most) {
    if (used_ + most > buffer_.size()) {
      flush();
    }
    return buffer_.data() + used_;
  }
  // The bytes up to `end`, written at room(), now belong to the item.
  void settle(const char* end) { used_ = static_cast<size_t>(end - buffer_.data()); }
  void flush() {
    list_.append(buffer_.data(), used_);
    used_ = 0;
  }

  // Writes the comma where one is due and the name, and returns where the value goes.
  char* putName(char* out, std::string_view name) {
    if (!first_) {
      *out++ = ',';
    }
    first_ = false;
    *out++ = '"';
    out = std::copy(name.begin(), name.end(), out);
    *out++ = '"';
    *out++ = ':';
    return out;
  }
  // The same straight onto the list, for a value written there.
  std::string& open(std::string_view name) {
    flush();
    if (!first_) {
      list_ += ',';
    }
    first_ = false;
    list_ += '"';
    list_ += name;
    list_ += "\":";
    return list_;
  }

  std::string& list_;
  std::array<char, 512> buffer_;
  size_t used_ = 0;
  bool first_ = true;
};

}  // namespace

JsonReport::JsonReport(std::string command, bool writes)
    : command_(std::move(command)), writes_(writes) {}

void JsonReport::addChanges(const std::string& file, std::vector<ComponentChange> changes) {
  changes_.push_back({file, std::move(changes)});
}

void JsonReport::addFile(const FileSummary& file) {
  std::vector<std::string> outputs;
  if (file.written) {
    for (int section = 0; section < file.sections; ++section) {
      outputs.push_back(JsonString(SchematicDocument::SectionFileName(file.path, section)));
    }
  }
  ItemOnto item(files_);
  item.text("path", file.path)
      .number("sections", file.sections)
      .number("referencesChanged", static_cast<long long>(file.referencesChanged))
      .number("blocksChanged", static_cast<long long>(file.blocksChanged))
      .json("written", Bool(file.written && writes_))
      .json("outputs", Array(outputs));
  if (file.written) {
    item.text("backup", MakeBackupName(file.path));
  } else {
    item.json("backup", "null");
  }
}

void JsonReport::addComponents(const std::string& file,
                               std::span<const ComponentEntry> components) {
  std::vector<Listed>& listed = listed_.emplace_back(file, std::vector<Listed>()).second;
  listed.reserve(components.size());
  for (const ComponentEntry& component : components) {
    listed.push_back({.x = component.storedX(),
                      .y = component.y(),
                      .section = static_cast<uint8_t>(component.section()),
                      .block = component.block(),
                      .part = component.partName(),
                      .tag = component.packageTag(),
                      .reference = component.reference()});
  }
}

void JsonReport::addFinding(const FindingRow& finding) {
  ItemOnto item(findings_);
  item.text("file", finding.file);
  if (finding.hasComponent) {
    item.number("section", finding.section)
        .number("x", finding.x)
        .number("y", finding.y)
        .text("part", finding.part)
        .text("tag", finding.tag)
        .text("reference", finding.reference)
        .number("block", finding.block);
  }
  item.text("finding", finding.finding).text("detail", finding.detail);
}

void JsonReport::write(std::ostream& out, int exitStatus) const {
  std::vector<std::string> fields = {
      Field("$schema", JsonString(kSchema)),
      Field("formatVersion", Number(kFormatVersion)),
      Field("program", JsonString(std::string("kerro-cli ") + KERRO_VERSION)),
      Field("command", JsonString(command_)),
      Field("writes", Bool(writes_)),
      Field("exitStatus", Number(exitStatus)),
  };
  // The lists go out after the other fields, without another copy of them.
  std::string head = Object(fields);
  head.pop_back();
  out << head;
  const auto writeList = [&out](const char* name, const std::string& items) {
    out << ',' << JsonString(name) << ":[" << items << ']';
  };
  // The long lists go out in pieces as they are made: a million components or changes make
  // a list of a few hundred megabytes.
  constexpr size_t kPiece = 64 * 1024;
  std::string piece;
  piece.reserve(kPiece + 4096);
  const auto sendWhenFull = [&] {
    if (piece.size() >= kPiece) {
      out << piece;
      piece.clear();
    }
  };
  if (command_ == "list") {
    const auto shown = [this](std::string_view text) {
      return shown_ ? shown_(text) : std::string(text);
    };
    piece += ',' + JsonString("components") + ":[";
    bool first = true;
    for (const auto& [file, components] : listed_) {
      for (const Listed& component : components) {
        ItemOnto(piece, !first)
            .text("file", file)
            .number("section", component.section + 1)
            .number("x", component.x)
            .number("y", component.y)
            .number("block", component.block)
            .text("tag", shown(component.tag))
            .text("reference", shown(component.reference))
            .text("part", shown(component.part));
        first = false;
        sendWhenFull();
      }
    }
    out << piece << ']';
  } else if (command_ == "lint") {
    writeList("findings", findings_);
  } else {
    writeList("files", files_);
    piece += ',' + JsonString("changes") + ":[";
    bool first = true;
    for (const FileChanges& file : changes_) {
      for (const ComponentChange& change : file.changes) {
        const ShownTexts shown(change, shown_);
        const auto& [part, tag, oldReference, newReference] = *shown;
        ItemOnto(piece, !first)
            .text("file", file.path)
            .number("section", change.section + 1)
            .number("x", change.x)
            .number("y", change.y)
            .text("part", part)
            .text("tag", tag)
            .text("oldReference", oldReference)
            .text("newReference", newReference)
            .number("oldBlock", change.oldBlock)
            .number("newBlock", change.newBlock);
        first = false;
        sendWhenFull();
      }
    }
    out << piece << ']';
  }
  out << "}\n";
}

std::string GitHubError(std::string_view file, std::string_view title, std::string_view message) {
  return "::error file=" + GitHubEscaped(file, true) + ",title=" + GitHubEscaped(title, true) +
         "::" + GitHubEscaped(message, false);
}

void WriteSarifLog(std::ostream& out, const std::vector<FindingRow>& findings) {
  std::vector<std::string> rules;
  std::vector<std::string> ruleIds;
  for (int kind = static_cast<int>(FindingKind::LibraryFailed);
       kind <= static_cast<int>(FindingKind::PackageOnTwoSheets); ++kind) {
    const std::string name(FindingName(static_cast<FindingKind>(kind)));
    ruleIds.push_back(RuleId(name));
    rules.push_back(
        Object({Field("id", JsonString(ruleIds.back())),
                Field("shortDescription", Object({Field("text", JsonString(name))})),
                Field("defaultConfiguration", Object({Field("level", JsonString("error"))}))}));
  }
  const std::string driver =
      Object({Field("name", JsonString("kerro-cli")), Field("version", JsonString(KERRO_VERSION)),
              Field("rules", Array(rules))});
  // The results are the last list of the log: they go out in pieces as they are made, not
  // joined into one text and copied into the log (a board's findings can be a hundred
  // megabytes of it).
  out << '{' << Field("$schema", JsonString("https://json.schemastore.org/sarif-2.1.0.json")) << ','
      << Field("version", JsonString("2.1.0")) << ',' << JsonString("runs") << ":[{"
      << Field("tool", Object({Field("driver", driver)})) << ',' << JsonString("results") << ":[";
  constexpr size_t kPiece = 64 * 1024;
  std::string piece;
  for (size_t f = 0; f < findings.size(); ++f) {
    const FindingRow& finding = findings[f];
    const std::string id = RuleId(finding.finding);
    size_t index = 0;
    while (index < ruleIds.size() && ruleIds[index] != id) {
      ++index;
    }
    std::vector<std::string> location = {Field(
        "physicalLocation",
        Object(
            {Field("artifactLocation", Object({Field("uri", JsonString(UriOf(finding.file)))}))}))};
    if (finding.hasComponent) {
      location.push_back(Field(
          "logicalLocations",
          Array({Object({Field("name", JsonString(finding.reference)),
                         Field("fullyQualifiedName",
                               JsonString("section " + std::to_string(finding.section) + " at (" +
                                          std::to_string(finding.x) + ", " +
                                          std::to_string(finding.y) + ") " + finding.reference)),
                         Field("kind", JsonString("element"))})})));
    }
    if (f > 0) {
      piece += ',';
    }
    piece += Object({Field("ruleId", JsonString(id)),
                     Field("ruleIndex", Number(static_cast<long long>(index))),
                     Field("level", JsonString("error")),
                     Field("message", Object({Field("text", JsonString(finding.line))})),
                     Field("locations", Array({Object(location)}))});
    if (piece.size() >= kPiece) {
      out << piece;
      piece.clear();
    }
  }
  out << piece << "]}]}\n";
}

}  // namespace kerro
