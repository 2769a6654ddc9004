#include "library/field_reader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <iterator>
#include <random>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace kerro {
namespace {

struct Field {
  std::string text;
  int line;
  bool operator==(const Field&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Field& field) {
  return out << '"' << field.text << "\"@" << field.line;
}

std::span<const uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// Every field up to the first -1.
std::vector<Field> AllFields(const std::string& text) {
  FieldReader reader;
  reader.Bind(Bytes(text));
  std::vector<Field> fields;
  std::string_view field;
  for (int line; (line = reader.ReadField(field)) >= 0;) {
    fields.push_back({std::string(field), line});
  }
  return fields;
}

TEST(FieldReader, SplitsFieldsAndCountsLines) {
  struct Case {
    const char* name;
    std::string text;
    std::vector<Field> fields;
  };
  const std::vector<Case> cases = {
      {"empty", "", {}},
      {"only blanks and breaks", " \t\r\n\n  \r\n", {}},
      {"trailing blanks kept", "  abc  ,def", {{"abc  ", 1}, {"def", 1}}},
      {"blank line", "x\n\ny", {{"x", 1}, {"y", 3}}},
      {"CR LF", "a\r\nb", {{"a", 1}, {"b", 2}}},
      {"CR LF blank lines", "a\r\n\r\n\r\nb\r\n", {{"a", 1}, {"b", 4}}},
      {"comma at line end", "a,\nb", {{"a", 1}, {"b", 2}}},
      {"leading comma", ",x", {{"", 1}, {"x", 1}}},
      {"empty between commas", "a,,b", {{"a", 1}, {"", 1}, {"b", 1}}},
      {"last field without break", "one\ntwo", {{"one", 1}, {"two", 2}}},
      {"inner blanks", "  a b \t\n", {{"a b \t", 1}}},
      {"lone CR ends a field", "a\rb", {{"a", 1}, {"b", 1}}},
      {"escapes", "A%41B", {{"AAB", 1}}},
      {"escaped separators", "%2C%25%0A%0d", {{",%\n\r", 1}}},
      {"escaped line feed is not counted", "%0A\nx", {{"\n", 1}, {"x", 2}}},
      {"non-hex pair gives 0", "%zz", {{std::string(1, '\0'), 1}}},
      {"one digit then other", "%4z", {{"\x04", 1}}},
      {"blank and sign like strtol", "% F%-1%+A%\tB", {{"\x0F\xFF\x0A\x0B", 1}}},
      {"0x prefix has no digit", "%0x", {{std::string(1, '\0'), 1}}},
      {"high bytes pass through", "\xE4\xF6", {{"\xE4\xF6", 1}}},
      {"escape cut by end", "ab%4", {{"ab", 1}}},
      {"escape cut by end at once", "ab%", {{"ab", 1}}},
      {"field starting with an escape", "\n%41", {{"A", 2}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(AllFields(c.text), c.fields);
  }
}

TEST(FieldReader, MalformedEscapeEndsInput) {
  struct Case {
    const char* name;
    std::string text;
    std::vector<Field> before;
  };
  const std::vector<Case> cases = {
      {"line feed after one digit", "ok\n%4\nmore", {{"ok", 1}}},
      {"comma first", "%,x", {}},
      {"carriage return second", "a\nb%F\rc", {{"a", 1}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(AllFields(c.text), c.before);
  }
}

TEST(FieldReader, LongFields) {
  const std::string exact(FieldReader::kMaxFieldLength, 'a');
  EXPECT_EQ(AllFields(exact + "\nb"), (std::vector<Field>{{exact, 1}, {"b", 2}}));

  // One more character: it is lost, the rest comes back as a further field.
  EXPECT_EQ(AllFields(exact + "XYZ\nb"), (std::vector<Field>{{exact, 1}, {"YZ", 1}, {"b", 2}}));

  // Escapes count as one character each.
  std::string escaped;
  for (size_t i = 0; i < FieldReader::kMaxFieldLength; ++i) {
    escaped += "%41";
  }
  EXPECT_EQ(AllFields(escaped + "\n"),
            (std::vector<Field>{{std::string(FieldReader::kMaxFieldLength, 'A'), 1}}));
}

TEST(FieldReader, EndOfInputLeavesFieldEmpty) {
  const std::string text = "x  \n \n";
  FieldReader reader;
  reader.Bind(Bytes(text));
  std::string_view field = "stale";
  EXPECT_EQ(reader.ReadField(field), 1);
  EXPECT_EQ(reader.ReadField(field), -1);
  EXPECT_EQ(field, "");
  EXPECT_EQ(reader.line(), 3);
}

TEST(FieldReader, SkipTo) {
  const std::string text = "a\n-BMPX\n-BMP\nb\n";
  FieldReader reader;
  reader.Bind(Bytes(text));
  EXPECT_EQ(reader.SkipTo("-BMP"), 0);
  std::string_view field;
  EXPECT_EQ(reader.ReadField(field), 4);
  EXPECT_EQ(field, "b");
  EXPECT_EQ(reader.SkipTo("-BMP"), -1);

  const std::string caseDiffers = "-bmp\n";
  reader.Bind(Bytes(caseDiffers));
  EXPECT_EQ(reader.SkipTo("-BMP"), -1);
}

}  // namespace
}  // namespace kerro

namespace kerro {
namespace {

// Up to 40 of `pieces`, with now and then a run of plain characters about the length limit.
std::string RandomText(std::mt19937& random, std::span<const std::string> pieces) {
  std::string text;
  const size_t count = random() % 40;
  for (size_t i = 0; i < count; ++i) {
    if (random() % 20 == 0) {
      text.append(FieldReader::kMaxFieldLength - 2 + random() % 4, 'L');
    } else {
      text += pieces[random() % pieces.size()];
    }
  }
  return text;
}

// The reader against a model that takes one character at a time, on texts of runs of
// plain characters, escapes, blanks and line ends, with fields near the 32768-byte limit.
TEST(FieldReader, AgreesWithACharacterByCharacterModel) {
  auto model = [](std::span<const uint8_t> text) {
    std::vector<std::pair<int, std::string>> fields;
    size_t at = 0;
    int line = 1;
    auto next = [&]() -> int { return at < text.size() ? text[at++] : -1; };
    auto terminator = [](int c) { return c == '\n' || c == '\r' || c == ','; };
    while (true) {
      int c = next();
      while (c == '\t' || c == '\n' || c == '\r' || c == ' ') {
        line += c == '\n' ? 1 : 0;
        c = next();
      }
      if (c < 0) {
        return fields;
      }
      std::string field;
      const int start = line;
      bool ended = false;
      while (!terminator(c) && field.size() < FieldReader::kMaxFieldLength) {
        if (c == '%') {
          const int high = next();
          const int low = high < 0 || terminator(high) ? high : next();
          if (high < 0 || (!terminator(high) && low < 0)) {
            ended = true;
            break;
          }
          if (terminator(high) || terminator(low)) {
            if (!field.empty()) {
              fields.emplace_back(-1, field);
            }
            return fields;
          }
          const char digits[3] = {static_cast<char>(high), static_cast<char>(low), 0};
          field.push_back(static_cast<char>(std::strtol(digits, nullptr, 16) & 0xFF));
        } else {
          field.push_back(static_cast<char>(c));
        }
        c = next();
        if (c < 0) {
          ended = true;
          break;
        }
      }
      if (!ended && c == '\n') {
        ++line;
      }
      fields.emplace_back(start, field);
      if (ended) {
        return fields;
      }
    }
  };
  std::mt19937 random(28);
  const std::string pieces[] = {"AB", "x", "%41", "%7e", " ", "\n", "\r\n", ",", "\t", "%"};
  for (int round = 0; round < 300; ++round) {
    const std::string text = RandomText(random, pieces);
    const std::vector<uint8_t> bytes(text.begin(), text.end());
    FieldReader reader;
    reader.Bind(bytes);
    std::vector<std::pair<int, std::string>> read;
    std::string_view field;
    for (int line; (line = reader.ReadField(field)) >= 0 || !field.empty();) {
      read.emplace_back(line, std::string(field));
      if (line < 0) {
        break;
      }
    }
    const auto expected = model(bytes);
    ASSERT_EQ(read, expected) << "round " << round;
  }
}

}  // namespace
}  // namespace kerro

namespace kerro {
namespace {

// Reading only the marked fields gives what reading every field and keeping the marked ones
// gives, lines and line count included: on marks at a field's start, inside it, behind
// blanks or escapes, after fields cut at the length limit, and at malformed escapes.
TEST(FieldReader, MarkedFieldsAreTheMarkedOnesOfAllFields) {
  const auto isMarked = [](std::string_view field) {
    return !field.empty() && (field.front() == '+' || field.front() == '-');
  };
  std::mt19937 random(29);
  const std::string pieces[] = {"+P", "-P",   "a+b", "x-", "%2B", "%2d", "%41", " ",
                                "\n", "\r\n", ",",   "\t", "%",   "Q",   "+",   "-"};
  for (int round = 0; round < 400; ++round) {
    const std::string text = RandomText(random, pieces);
    const std::vector<uint8_t> bytes(text.begin(), text.end());
    FieldReader every;
    FieldReader marked;
    every.Bind(bytes);
    marked.Bind(bytes);
    for (int line = 0; line >= 0;) {
      std::string_view field;
      while ((line = every.ReadField(field)) >= 0 && !isMarked(field)) {
      }
      const std::string expected = line < 0 ? "" : std::string(field);
      ASSERT_EQ(marked.ReadMarkedField(field), line) << "round " << round;
      if (line >= 0) {
        ASSERT_EQ(field, expected) << "round " << round;
      }
      ASSERT_EQ(marked.line(), every.line()) << "round " << round;
    }
  }
}

}  // namespace
}  // namespace kerro
