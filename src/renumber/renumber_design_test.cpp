#include "renumber/renumber_design.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <tuple>

#include "annotation/annotation_check.h"
#include "renumber/component_changes.h"
#include "renumber/reference.h"
#include "renumber/renumber_plain.h"
#include "testing/test_support.h"

namespace kerro {
namespace {

using testing::ComponentRecord;
using testing::SchematicBuilder;

using Sheet = std::vector<ComponentRecord>;
using File = std::vector<Sheet>;

std::vector<uint8_t> FileBytes(const File& file) {
  SchematicBuilder builder;
  for (const Sheet& sheet : file) {
    builder.header();
    for (const ComponentRecord& record : sheet) {
      builder.component(record);
    }
  }
  return builder.bytes();
}

std::vector<SchematicDocument> Load(const std::vector<File>& files) {
  std::vector<SchematicDocument> documents(files.size());
  for (size_t i = 0; i < files.size(); ++i) {
    EXPECT_TRUE(documents[i].loadImage(FileBytes(files[i])));
  }
  return documents;
}

std::vector<SchematicDocument*> Pointers(std::vector<SchematicDocument>& documents) {
  std::vector<SchematicDocument*> pointers;
  for (SchematicDocument& document : documents) {
    pointers.push_back(&document);
  }
  return pointers;
}

const std::map<std::string, int> kBlockCounts = {
    {"74LS00", 4}, {"LM358", 2}, {"74HC04", 6}, {"RES", 1}, {"CON4", 0}};

BlockCountLookup Lookup() {
  return [](std::string_view name) -> std::optional<int> {
    auto it = kBlockCounts.find(std::string(name));
    return it == kBlockCounts.end() ? std::nullopt : std::optional<int>(it->second);
  };
}

// Random boards: few positions, tags, prefixes and numbers, so that ties, shared
// references, packages of several prefixes and the 8-character cut are all common.
Sheet RandomSheet(std::mt19937& random, int count) {
  static const std::vector<std::string> kParts = {
      "74LS00", "LM358", "74HC04", "RES", "CAP", "CON4", "VCC", "GND", "VCC_74LS00", "GND_LM358"};
  static const std::vector<std::string> kTags = {"", "A", "B", "74LS00", "LM358", "T"};
  static const std::vector<std::string> kPrefixes = {"U", "IC",      "R",       "C",
                                                     "",  "ABCDEFG", "ABCDEFGH"};
  static const std::vector<std::string> kEnds = {"", "?", "??", "0", "1", "2", "3", "5", "12"};
  Sheet sheet;
  for (int i = 0; i < count; ++i) {
    ComponentRecord record;
    record.x = static_cast<int16_t>(static_cast<int>(random() % 8) * 900 - 500);
    record.y = static_cast<int16_t>(random() % 4);
    record.partName = kParts[random() % kParts.size()];
    // Half of them as the editor places parts: the tag is the part name, gates are U.
    const bool placed = random() % 2 == 0;
    record.packageTag = placed ? record.partName : kTags[random() % kTags.size()];
    const std::string& prefix = placed ? kPrefixes[0] : kPrefixes[random() % kPrefixes.size()];
    record.reference = prefix.empty() ? "" : (prefix + kEnds[random() % kEnds.size()]).substr(0, 8);
    record.partName = kParts[random() % kParts.size()];
    record.block = static_cast<uint8_t>(random() % 3);
    sheet.push_back(record);
  }
  return sheet;
}

std::vector<File> RandomDesign(std::mt19937& random, int files) {
  std::vector<File> design(static_cast<size_t>(files));
  for (File& file : design) {
    const int sheets = 1 + static_cast<int>(random() % 3);
    for (int s = 0; s < sheets; ++s) {
      file.push_back(RandomSheet(random, static_cast<int>(random() % 14)));
    }
  }
  return design;
}

// The numbering rules once more, written out plainly over the whole design with linear
// searches, to check the steered numbering against.
struct ModelPart {
  int sheet;
  int64_t x;
  int y;
  std::string tag, reference, partName;
  int block;
  int role;  // 0 ordinary, 1 power symbol, 2 power block
};

struct ModelOptions {
  int initial, step;
  bool library, keep, rows;
  std::vector<std::string> locks;
  int sheetBase;
  bool fixDuplicates = false;
  bool after = false;  // new numbers above the highest the prefix holds
};

int ModelRole(const std::string& part) {
  for (const std::string power : {"VCC", "VDD", "GND", "VEE", "VSS"}) {
    if (part.rfind(power, 0) == 0) {
      return part == power ? 1 : 2;
    }
  }
  return 0;
}

std::string ModelPrefix(const std::string& reference) {
  size_t cut = reference.size();
  while (cut > 1 && std::isdigit(static_cast<unsigned char>(reference[cut - 1]))) {
    --cut;
  }
  return reference.substr(0, cut);
}

int64_t ModelNumber(const std::string& reference) {
  const std::string digits = reference.substr(ModelPrefix(reference).size());
  return digits.empty() ? 0 : std::stoll(digits);
}

std::string ModelFormat(const std::string& prefix, int64_t number) {
  return (prefix + std::to_string(number)).substr(0, 8);
}

bool ModelUnnumbered(const std::string& reference) {
  const std::string bare = reference.substr(0, reference.find_last_not_of('?') + 1);
  return !bare.empty() && !std::isdigit(static_cast<unsigned char>(bare.back()));
}

std::string ModelBare(const std::string& reference) {
  return reference.substr(0, reference.find_last_not_of('?') + 1);
}

bool ModelMatches(const std::string& pattern, const std::string& text) {
  if (pattern.empty()) {
    return text.empty();
  }
  if (pattern[0] == '*') {
    for (size_t skip = 0; skip <= text.size(); ++skip) {
      if (ModelMatches(pattern.substr(1), text.substr(skip))) {
        return true;
      }
    }
    return false;
  }
  return !text.empty() && (pattern[0] == '?' || pattern[0] == text[0]) &&
         ModelMatches(pattern.substr(1), text.substr(1));
}

class Model {
 public:
  Model(std::vector<ModelPart>& parts, const ModelOptions& options)
      : parts_(parts), o_(options), newReference_(parts.size()), newBlock_(parts.size(), -1) {}

  // False when some prefix runs out of numbers; then `failedPrefix` says which.
  bool locked(size_t i) const {
    bool matched = false;
    for (const std::string& pattern : o_.locks) {
      matched = matched || ModelMatches(pattern, parts_[i].reference);
    }
    return matched;
  }

  // Which holders of a shared reference move, and with which package (from 1).
  void findMovers() {
    struct Holding {
      std::string reference, tag;
      std::set<int> blocks;
      int capacity;
      int moves;
    };
    std::vector<Holding> packages;
    int lastMoving = 0;
    auto place = [&](size_t i, bool movable) {
      const ModelPart& p = parts_[i];
      bool first = true;
      for (Holding& package : packages) {
        if (package.reference != p.reference) {
          continue;
        }
        first = false;
        if (package.tag != p.tag) {
          continue;
        }
        if (p.role == 2) {
          return package.moves;
        }
        const bool full =
            package.capacity > 0 && static_cast<int>(package.blocks.size()) >= package.capacity;
        if (!full && !package.blocks.contains(p.block)) {
          package.blocks.insert(p.block);
          return package.moves;
        }
      }
      Holding package{p.reference, p.tag, {}, 0, 0};
      if (p.role != 2) {
        package.blocks.insert(p.block);
        const int count = o_.library ? blocksOf(i) : 0;
        package.capacity = count > 1 ? count : 0;
      }
      if (!first && movable) {
        package.moves = ++lastMoving;
      }
      packages.push_back(package);
      return package.moves;
    };
    for (int pass = 0; pass < 2; ++pass) {
      for (size_t i = 0; i < parts_.size(); ++i) {
        const ModelPart& p = parts_[i];
        if (p.reference.empty() || ModelUnnumbered(p.reference) || p.role == 1) {
          continue;
        }
        const bool movable = !p.tag.empty() && !locked(i);
        if (movable == (pass == 1)) {
          const int moves = place(i, movable);
          movers_[i] = movable ? moves : 0;
        }
      }
    }
  }

  bool run() {
    movers_.assign(parts_.size(), 0);
    if (o_.fixDuplicates) {
      findMovers();
    }
    const bool keep = o_.keep || o_.fixDuplicates;
    for (size_t i = 0; i < parts_.size(); ++i) {
      const ModelPart& p = parts_[i];
      const bool fixed =
          movers_[i] == 0 && (p.reference.empty() || p.tag.empty() || (o_.library && p.role == 1) ||
                              locked(i) || (keep && !ModelUnnumbered(p.reference)));
      fixed_.push_back(fixed);
      if (fixed && !p.reference.empty()) {
        taken_.insert(p.reference);
        taken_.insert(ModelFormat(ModelPrefix(p.reference), ModelNumber(p.reference)));
      }
      if ((fixed || movers_[i] > 0) && !p.reference.empty()) {
        int64_t& high = highest_[ModelPrefix(p.reference)];
        high = std::max(high, ModelNumber(p.reference));
      }
    }
    const bool done = !o_.library ? (keep ? plainKept() : plain()) : library();
    if (done) {
      for (size_t i = 0; i < parts_.size(); ++i) {
        if (newReference_[i]) {
          parts_[i].reference = *newReference_[i];
        }
        if (newBlock_[i] >= 0) {
          parts_[i].block = newBlock_[i];
        }
      }
    }
    return done;
  }

  std::string failedPrefix;

 private:
  int sheetKey(size_t i) const { return o_.sheetBase > 0 ? parts_[i].sheet : 0; }

  std::optional<int64_t> next(const std::string& prefix, size_t i) {
    const int64_t first =
        o_.initial + int64_t{o_.sheetBase} * (parts_[i].sheet + 1) * (o_.sheetBase > 0 ? 1 : 0);
    auto [cursor, added] = cursors_.try_emplace({prefix, sheetKey(i)}, first);
    // No free reference within 10^(4 + room) numbers: the prefix has run out.
    int64_t span = 10000;
    for (size_t room = 8 - std::min<size_t>(prefix.size(), 8); room > 0; --room) {
      span *= 10;
    }
    if (added && o_.after) {
      while (cursor->second <= highest_[prefix]) {
        cursor->second += o_.step;
      }
    }
    for (int64_t n = cursor->second; n < first + span; n += o_.step) {
      if (o_.sheetBase > 0 && n >= first + o_.sheetBase) {
        break;
      }
      const int64_t shown = ModelNumber(ModelFormat(prefix, n));
      if (o_.after && highest_[prefix] > 0 && shown <= highest_[prefix]) {
        continue;
      }
      if (taken_.insert(ModelFormat(prefix, n)).second) {
        cursor->second = n + o_.step;
        return n;
      }
    }
    failedPrefix = prefix;
    return std::nullopt;
  }

  // Each numbered present reference (prefix and number) is one group; each unnumbered
  // component (no digit at its end) is a group alone, before the numbered ones of its
  // prefix, in file order.
  bool plain() {
    std::vector<std::tuple<std::string, int64_t, size_t>> groups;
    for (size_t i = 0; i < parts_.size(); ++i) {
      if (!fixed_[i]) {
        const std::string& reference = parts_[i].reference;
        const bool unnumbered = ModelPrefix(reference) == reference;
        groups.emplace_back(ModelPrefix(reference), unnumbered ? 0 : ModelNumber(reference) + 1,
                            unnumbered ? i : 0);
      }
    }
    std::sort(groups.begin(), groups.end());
    groups.erase(std::unique(groups.begin(), groups.end()), groups.end());
    for (const auto& [prefix, key, alone] : groups) {
      std::optional<int64_t> given;
      for (size_t i = 0; i < parts_.size(); ++i) {
        const std::string& reference = parts_[i].reference;
        const bool unnumbered = ModelPrefix(reference) == reference;
        const bool member = !fixed_[i] && ModelPrefix(reference) == prefix &&
                            (key == 0 ? i == alone && unnumbered
                                      : !unnumbered && ModelNumber(reference) + 1 == key);
        if (!member) {
          continue;
        }
        if (!given && !(given = next(prefix, i))) {
          return false;
        }
        newReference_[i] = ModelFormat(prefix, *given);
      }
    }
    return true;
  }

  // Each prefix in turn: its unnumbered components in file order, then its packages of
  // repaired duplicates, each one number.
  bool plainKept() {
    std::vector<std::tuple<std::string, int, size_t>> order;
    for (size_t i = 0; i < parts_.size(); ++i) {
      if (movers_[i] > 0) {
        order.emplace_back(ModelPrefix(parts_[i].reference), movers_[i], i);
      } else {
        order.emplace_back(ModelBare(parts_[i].reference), 0, i);
      }
    }
    std::sort(order.begin(), order.end());
    std::map<int, int64_t> moved;
    for (const auto& [bare, moves, i] : order) {
      if (moves > 0) {
        auto [number, added] = moved.try_emplace(moves, 0);
        if (added && !(number->second = next(bare, i).value_or(0))) {
          return false;
        }
        newReference_[i] = ModelFormat(bare, number->second);
        continue;
      }
      if (!fixed_[i]) {
        const std::string prefix = ModelBare(parts_[i].reference);
        const std::optional<int64_t> number = next(prefix, i);
        if (!number) {
          return false;
        }
        newReference_[i] = ModelFormat(prefix, *number);
      }
    }
    return true;
  }

  std::vector<size_t> sorted(int role) const {
    std::vector<size_t> list;
    for (size_t i = 0; i < parts_.size(); ++i) {
      if (parts_[i].role == role && !parts_[i].tag.empty() && !parts_[i].reference.empty()) {
        list.push_back(i);
      }
    }
    std::stable_sort(list.begin(), list.end(), [&](size_t a, size_t b) {
      const ModelPart& p = parts_[a];
      const ModelPart& q = parts_[b];
      if (o_.rows) {
        return p.sheet != q.sheet ? p.sheet < q.sheet : p.y != q.y ? p.y < q.y : p.x < q.x;
      }
      return p.x != q.x ? p.x < q.x : p.y < q.y;
    });
    return list;
  }

  int blocksOf(size_t i) const {
    auto it = kBlockCounts.find(parts_[i].partName);
    return it == kBlockCounts.end() ? 0 : it->second;
  }

  std::string current(size_t i) const {
    return newReference_[i] ? *newReference_[i] : parts_[i].reference;
  }

  struct Package {
    std::string tag, prefix, reference;
    int sheet, count;
    std::set<int> used;
    int64_t number = 0;
    int last = 0;
    size_t first = 0;  // position in numbering order of its first block
  };

  bool library() {
    const std::vector<size_t> ordinary = sorted(0);
    const std::vector<size_t> power = sorted(2);
    const bool keep = o_.keep || o_.fixDuplicates;
    if (!(keep ? ordinaryKept(ordinary) : ordinaryNew(ordinary))) {
      return false;
    }
    if (!numberMovers()) {
      return false;
    }
    return keep ? powerKept(ordinary, power) : powerNew(ordinary, power);
  }

  // Each package of repaired duplicates takes a number at its first member in file order.
  bool numberMovers() {
    std::map<int, int64_t> moved;
    for (size_t i = 0; i < parts_.size(); ++i) {
      if (movers_[i] == 0) {
        continue;
      }
      const std::string prefix = ModelPrefix(parts_[i].reference);
      auto [number, added] = moved.try_emplace(movers_[i], 0);
      if (added && !(number->second = next(prefix, i).value_or(0))) {
        return false;
      }
      newReference_[i] = ModelFormat(prefix, number->second);
    }
    return true;
  }

  bool ordinaryNew(const std::vector<size_t>& ordinary) {
    std::vector<Package> packages;
    for (size_t i : ordinary) {
      if (fixed_[i]) {
        continue;
      }
      const std::string prefix = ModelPrefix(parts_[i].reference);
      const int count = blocksOf(i);
      Package* found = nullptr;
      for (Package& p : packages) {
        if (p.tag == parts_[i].tag && p.prefix == prefix && p.sheet == sheetKey(i)) {
          found = &p;
        }
      }
      std::optional<int64_t> number;
      int block = 0;
      if (count > 1 && found && found->last < found->count - 1 && found->last < count - 1) {
        number = found->number;
        block = ++found->last;
      } else {
        if (!(number = next(prefix, i))) {
          return false;
        }
        if (count > 1 && found) {
          found->number = *number;
          found->last = 0;
        } else if (count > 1) {
          packages.push_back({parts_[i].tag, prefix, "", sheetKey(i), count, {}, *number, 0});
        }
      }
      newReference_[i] = ModelFormat(prefix, *number);
      newBlock_[i] = block;
    }
    return true;
  }

  bool powerNew(const std::vector<size_t>& ordinary, const std::vector<size_t>& power) {
    struct Entry {
      std::string tag, prefix;
      int sheet;
      int64_t last = 0;
      size_t scan = 0;
    };
    std::vector<Entry> entries;
    for (size_t i : power) {
      if (fixed_[i]) {
        continue;
      }
      const std::string prefix = ModelPrefix(parts_[i].reference);
      Entry* entry = nullptr;
      for (Entry& e : entries) {
        if (e.tag == parts_[i].tag && e.prefix == prefix && e.sheet == sheetKey(i)) {
          entry = &e;
        }
      }
      if (!entry) {
        entries.push_back({parts_[i].tag, prefix, sheetKey(i)});
        entry = &entries.back();
      }
      bool matched = false;
      for (size_t k = entry->scan; k < ordinary.size() && !matched; ++k) {
        const size_t o = ordinary[k];
        const std::string reference = current(o);
        if (parts_[o].tag == entry->tag && ModelPrefix(reference) == prefix &&
            sheetKey(o) == entry->sheet && ModelNumber(reference) > entry->last) {
          entry->scan = k + 1;
          entry->last = ModelNumber(reference);
          matched = true;
        }
      }
      if (!matched) {
        const std::optional<int64_t> number = next(prefix, i);
        if (!number) {
          return false;
        }
        entry->last = *number;
      }
      newReference_[i] = ModelFormat(prefix, entry->last);
    }
    return true;
  }

  bool ordinaryKept(const std::vector<size_t>& ordinary) {
    std::vector<Package> packages;  // in the order of their first blocks
    for (size_t k = 0; k < ordinary.size(); ++k) {
      const size_t i = ordinary[k];
      if (!fixed_[i] || ModelUnnumbered(parts_[i].reference)) {
        continue;
      }
      Package* found = nullptr;
      for (Package& p : packages) {
        if (p.tag == parts_[i].tag && p.reference == parts_[i].reference) {
          found = &p;
        }
      }
      if (!found) {
        packages.push_back({parts_[i].tag,
                            ModelPrefix(parts_[i].reference),
                            parts_[i].reference,
                            sheetKey(i),
                            blocksOf(i),
                            {},
                            0,
                            0,
                            k});
        found = &packages.back();
      }
      found->used.insert(parts_[i].block);
    }
    for (size_t k = 0; k < ordinary.size(); ++k) {
      const size_t i = ordinary[k];
      if (fixed_[i] || movers_[i] > 0) {
        continue;
      }
      const std::string prefix = ModelBare(parts_[i].reference);
      const int count = blocksOf(i);
      for (size_t q = 0; count > 1 && q < packages.size() && !newReference_[i]; ++q) {
        Package& p = packages[q];
        if (p.tag != parts_[i].tag || p.prefix != prefix || p.sheet != sheetKey(i)) {
          continue;
        }
        for (int block = 0; block < std::min(p.count, count); ++block) {
          if (!p.used.contains(block)) {
            p.used.insert(block);
            newReference_[i] = p.reference;
            newBlock_[i] = block;
            break;
          }
        }
      }
      if (newReference_[i]) {
        continue;
      }
      const std::optional<int64_t> number = next(prefix, i);
      if (!number) {
        return false;
      }
      newReference_[i] = ModelFormat(prefix, *number);
      newBlock_[i] = 0;
      if (count > 1) {
        // Placed among the others by the position of its first block: this one.
        size_t at = 0;
        while (at < packages.size() && packages[at].first < k) {
          ++at;
        }
        packages.insert(
            packages.begin() + static_cast<ptrdiff_t>(at),
            Package{parts_[i].tag, prefix, *newReference_[i], sheetKey(i), count, {0}, 0, 0, k});
      }
    }
    return true;
  }

  bool powerKept(const std::vector<size_t>& ordinary, const std::vector<size_t>& power) {
    std::vector<Package> packages;  // every numbered package, in order of first blocks
    for (size_t i : ordinary) {
      const std::string reference = current(i);
      bool seen = ModelUnnumbered(reference);
      for (const Package& p : packages) {
        seen = seen || (p.tag == parts_[i].tag && p.reference == reference);
      }
      if (!seen) {
        packages.push_back({parts_[i].tag, ModelPrefix(reference), reference, sheetKey(i), 0});
      }
    }
    std::set<std::pair<std::string, std::string>> served;
    for (size_t i : power) {
      if (fixed_[i]) {
        served.insert({parts_[i].tag, parts_[i].reference});
      }
    }
    for (size_t i : power) {
      if (fixed_[i] || movers_[i] > 0) {
        continue;
      }
      const std::string prefix = ModelBare(parts_[i].reference);
      for (const Package& p : packages) {
        if (!newReference_[i] && p.tag == parts_[i].tag && p.prefix == prefix &&
            p.sheet == sheetKey(i) && !served.contains({p.tag, p.reference})) {
          newReference_[i] = p.reference;
        }
      }
      if (!newReference_[i]) {
        const std::optional<int64_t> number = next(prefix, i);
        if (!number) {
          return false;
        }
        newReference_[i] = ModelFormat(prefix, *number);
      }
      served.insert({parts_[i].tag, *newReference_[i]});
    }
    return true;
  }

  std::vector<ModelPart>& parts_;
  ModelOptions o_;
  std::vector<bool> fixed_;
  std::vector<int> movers_;  // by part: the package of repaired duplicates it moves with
  std::map<std::string, int64_t> highest_;  // by prefix: the highest number held
  std::set<std::string> taken_;
  std::map<std::pair<std::string, int>, int64_t> cursors_;
  std::vector<std::optional<std::string>> newReference_;
  std::vector<int> newBlock_;
};

std::vector<ModelPart> ModelParts(std::vector<SchematicDocument>& documents) {
  std::vector<ModelPart> parts;
  int sheetsBefore = 0;
  for (SchematicDocument& document : documents) {
    const auto starts = document.sectionStarts();
    for (const ComponentEntry& c : document.entries()) {
      const size_t offset = c.recordOffset(document.image());
      const int section = static_cast<int>(
          std::upper_bound(starts.begin(), starts.end() - 1, offset) - starts.begin() - 1);
      const std::string partName(c.partName());
      parts.push_back({sheetsBefore + section, c.x() + int64_t{5000} * sheetsBefore, c.y(),
                       std::string(c.packageTag()), std::string(c.reference()), partName, c.block(),
                       ModelRole(partName)});
    }
    sheetsBefore += document.sectionCount();
  }
  return parts;
}

// No component is given a reference that another component holds, unless they shared one
// before (as written, or as prefix and number) or are blocks of one package: one tag, in
// library-guided mode, and never one block twice unless a power block. A component that
// joins a reference some components kept (a package that is there) must belong with one
// of them; duplicates among those that kept it were there before.
void ExpectNoNewDuplicates(const std::vector<ModelPart>& before,
                           const std::vector<ModelPart>& after, bool library) {
  auto sharedBefore = [&](size_t a, size_t b) {
    const std::string& oldA = before[a].reference;
    const std::string& oldB = before[b].reference;
    return oldA == oldB ||
           (ModelPrefix(oldA) == ModelPrefix(oldB) && ModelNumber(oldA) == ModelNumber(oldB));
  };
  auto onePackage = [&](size_t a, size_t b) {
    return library && after[a].tag == after[b].tag &&
           (after[a].role == 2 || after[b].role == 2 || after[a].block != after[b].block);
  };
  std::map<std::string, std::vector<size_t>> holders;
  for (size_t i = 0; i < after.size(); ++i) {
    if (!after[i].reference.empty()) {
      holders[after[i].reference].push_back(i);
    }
  }
  for (const auto& [reference, parts] : holders) {
    std::vector<size_t> keepers;
    std::vector<size_t> joiners;
    for (size_t i : parts) {
      (before[i].reference == reference ? keepers : joiners).push_back(i);
    }
    for (size_t j : joiners) {
      const bool belongs =
          keepers.empty() || std::any_of(keepers.begin(), keepers.end(), [&](size_t k) {
            return sharedBefore(j, k) || onePackage(j, k);
          });
      EXPECT_TRUE(belongs) << reference << " given to component " << j << " (was "
                           << before[j].reference << ") beside " << keepers.front();
      // Joiners of one tag must be blocks of one package; joiners of two tags each joined
      // its own side of a duplicate that was there.
      for (size_t other : joiners) {
        const bool twoSides = !keepers.empty() && after[j].tag != after[other].tag;
        EXPECT_TRUE(other <= j || sharedBefore(j, other) || onePackage(j, other) || twoSides)
            << reference << " given to components " << j << " and " << other;
      }
    }
  }
}

// --fix-duplicates changes only holders of a shared reference and unnumbered parts, leaves
// no duplicate that the annotation check finds among parts it may renumber, and a second
// run changes nothing.
void ExpectOnlyDuplicatesRepaired(const std::vector<ModelPart>& before,
                                  const std::vector<ModelPart>& after,
                                  std::vector<SchematicDocument>& documents,
                                  const DesignNumbering& numbering) {
  std::map<std::string, int> holders;
  for (const ModelPart& part : before) {
    holders[part.reference] += part.role != 1 ? 1 : 0;
  }
  for (size_t i = 0; i < before.size(); ++i) {
    const bool changed =
        before[i].reference != after[i].reference || before[i].block != after[i].block;
    EXPECT_TRUE(!changed || ModelUnnumbered(before[i].reference) ||
                holders[before[i].reference] > 1)
        << "component " << i << " (" << before[i].reference << ") changed";
  }
  const bool library = numbering.mode == NumberingMode::ByLibrary;
  const BlockCountLookup lookup = Lookup();
  for (const AnnotationFinding& finding : CheckAnnotation(documents, library ? &lookup : nullptr)) {
    if (finding.kind != FindingKind::DuplicateReference &&
        finding.kind != FindingKind::OneBlockTwice) {
      continue;
    }
    // Parts that no run renumbers (no tag, locked) may still share a reference.
    const auto stays = [&](const ComponentAt& at) {
      const ComponentEntry& entry = documents[at.document].entries()[at.entry];
      return entry.packageTag().empty() || numbering.controls.isLocked(entry.reference());
    };
    EXPECT_TRUE(stays(finding.component) && stays(*finding.other))
        << FindingName(finding.kind) << " left at " << finding.component.document << "/"
        << finding.component.entry;
  }
  std::vector<std::vector<uint8_t>> once;
  for (const SchematicDocument& document : documents) {
    once.emplace_back(document.image().begin(), document.image().end());
  }
  ASSERT_FALSE(RenumberDesign(Pointers(documents), numbering, Lookup()));
  for (size_t d = 0; d < documents.size(); ++d) {
    EXPECT_TRUE(std::ranges::equal(documents[d].image(), once[d])) << "a second run changed it";
  }
}

TEST(RenumberDesign, AgreesWithAModelAndNeverMakesADuplicate) {
  std::mt19937 random(151515);
  const std::vector<std::string> patterns = {"R1*", "U?", "J*", "C3", "*?", "IC1", "ABCDEFG?"};
  int shortages = 0;
  int repairs = 0;
  for (int round = 0; round < 600; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    std::vector<SchematicDocument> documents =
        Load(RandomDesign(random, 1 + static_cast<int>(random() % 3)));
    DesignNumbering numbering;
    NumberingControls& controls = numbering.controls;
    numbering.initial = random() % 3 == 0 ? 1 + static_cast<int>(random() % 1000) : 1;
    numbering.step = random() % 2 == 0 ? 1 + static_cast<int>(random() % 20) : 1;
    numbering.mode = random() % 2 == 0 ? NumberingMode::Plain : NumberingMode::ByLibrary;
    // A third of the rounds without any control: the default modes.
    const bool steered = random() % 3 != 0;
    controls.keep = steered && random() % 2 == 0;
    controls.fixDuplicates = steered && !controls.keep && random() % 3 == 0;
    if ((controls.keep || controls.fixDuplicates) && random() % 3 == 0) {
      controls.newNumbers = NewNumberPlace::After;
    }
    for (int n = steered ? static_cast<int>(random() % 3) : 0; n > 0; --n) {
      controls.locks.push_back(patterns[random() % patterns.size()]);
    }
    const int bases[] = {0, 0, 10, 100, 1000};
    controls.sheetBase = steered ? bases[random() % 5] : 0;
    if (steered && numbering.mode == NumberingMode::ByLibrary && random() % 2 == 0) {
      controls.order = NumberingOrder::Rows;
    }

    std::vector<ModelPart> before = ModelParts(documents);
    std::vector<ModelPart> expected = before;
    Model model(
        expected,
        {numbering.initial, numbering.step, numbering.mode == NumberingMode::ByLibrary,
         controls.keep, controls.order == NumberingOrder::Rows, controls.locks, controls.sheetBase,
         controls.fixDuplicates, controls.newNumbers == NewNumberPlace::After});
    const bool numbered = model.run();
    std::vector<std::vector<uint8_t>> images;
    for (const SchematicDocument& document : documents) {
      images.emplace_back(document.image().begin(), document.image().end());
    }

    std::vector<ChangeRecorder> recorders;
    for (SchematicDocument& document : documents) {
      recorders.emplace_back(document);
    }
    std::vector<DocumentChanges> changes;
    const std::optional<NumberShortage> shortage =
        RenumberDesign(Pointers(documents), numbering, Lookup(), &changes);
    ASSERT_EQ(!shortage, numbered);
    if (shortage) {
      ++shortages;
      EXPECT_EQ(shortage->prefix, model.failedPrefix);
      for (size_t d = 0; d < documents.size(); ++d) {
        ASSERT_TRUE(std::ranges::equal(documents[d].image(), images[d])) << "changed anyway";
      }
      continue;
    }
    // What the numbering says it changed is what notes taken before find.
    for (size_t d = 0; d < documents.size(); ++d) {
      const ChangeRecorder::Counts counts = recorders[d].count(documents[d]);
      EXPECT_EQ(changes[d].anyByte, !std::ranges::equal(documents[d].image(), images[d]));
      EXPECT_EQ(changes[d].references, counts.references);
      EXPECT_EQ(changes[d].blocks, counts.blocks);
    }
    const std::vector<ModelPart> after = ModelParts(documents);
    for (size_t i = 0; i < after.size(); ++i) {
      ASSERT_EQ(after[i].reference, expected[i].reference) << "component " << i;
      ASSERT_EQ(after[i].block, expected[i].block) << "component " << i;
    }
    ExpectNoNewDuplicates(before, after, numbering.mode == NumberingMode::ByLibrary);
    if (controls.fixDuplicates) {
      ExpectOnlyDuplicatesRepaired(before, after, documents, numbering);
      ++repairs;
    }
  }
  EXPECT_GT(repairs, 30);
  // Both outcomes are exercised.
  EXPECT_GT(shortages, 30);
  EXPECT_LT(shortages, 400);
}

// Many holders of a few references and tags, many blocks and power blocks among them: the
// repair forms and fills many packages per reference and tag.
TEST(RenumberDesign, RepairOfCrowdedReferencesAgreesWithTheModel) {
  std::mt19937 random(4242);
  const std::vector<std::string> parts = {"74LS00", "LM358",      "74HC04",
                                          "RES",    "VCC_74LS00", "GND_LM358"};
  // Tags placed in byte order, also those that share their first eight bytes or hold a NUL.
  const std::vector<std::string> tags = {
      "", "A", "B", "C", std::string("A\0", 2), "PACKAGE_1", "PACKAGE_2", "PACKAGE_"};
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    File file(2);
    for (Sheet& sheet : file) {
      for (int i = 0; i < 150; ++i) {
        ComponentRecord record;
        record.x = static_cast<int16_t>(random() % 6 * 700);
        record.y = static_cast<int16_t>(random() % 3);
        record.partName = parts[random() % parts.size()];
        record.packageTag = tags[random() % tags.size()];
        record.reference = std::vector<std::string>{"U1", "U2", "R1", "U?"}[random() % 4];
        record.block = static_cast<uint8_t>(random() % 6);
        sheet.push_back(record);
      }
    }
    std::vector<SchematicDocument> documents = Load({file});
    DesignNumbering numbering;
    numbering.mode = round % 2 == 0 ? NumberingMode::Plain : NumberingMode::ByLibrary;
    numbering.controls.fixDuplicates = true;
    if (round % 3 == 0) {
      numbering.controls.locks.push_back("R*");
    }
    std::vector<ModelPart> expected = ModelParts(documents);
    Model model(expected, {1, 1, numbering.mode == NumberingMode::ByLibrary, false, false,
                           numbering.controls.locks, 0, true, false});
    ASSERT_TRUE(model.run());
    ASSERT_FALSE(RenumberDesign(Pointers(documents), numbering, Lookup()));
    const std::vector<ModelPart> after = ModelParts(documents);
    for (size_t i = 0; i < after.size(); ++i) {
      ASSERT_EQ(after[i].reference, expected[i].reference) << "component " << i;
      ASSERT_EQ(after[i].block, expected[i].block) << "component " << i;
    }
  }
}

}  // namespace
}  // namespace kerro
