#include "board/was_is.h"

#include <unordered_set>

#include "library/name_index.h"

namespace kerro {

namespace {

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",;\"\r\n") == std::string::npos && !text.empty() && text.front() != ' ' &&
      text.back() != ' ') {
    return text;
  }
  std::string quoted = "\"";
  for (const char c : text) {
    quoted += c == '"' ? "\"\"" : std::string(1, c);
  }
  return quoted + "\"";
}

std::string TemporaryName(std::span<const Rename> renames,
                          const std::function<bool(std::string_view)>& inUse) {
  std::unordered_set<std::string_view> named;  // only those a temporary name could be
  const auto note = [&](std::string_view name) {
    if (name.starts_with(kTemporaryPrefix)) {
      named.insert(name);
    }
  };
  for (const Rename& rename : renames) {
    note(rename.from);
    note(rename.to);
  }
  for (size_t n = 1;; ++n) {
    std::string name = "TMP" + std::to_string(n);
    if (!named.contains(name) && !inUse(name)) {
      return name;
    }
  }
}

}  // namespace

std::vector<Rename> RenamesOf(std::span<const FileChanges> changes) {
  // The first change of each renamed reference is found first, so that the renames, eight
  // times as large as a pointer to it, are made in room of their own size: grown one by
  // one, a million of them would need three times theirs while they move.
  size_t count = 0;
  for (const FileChanges& file : changes) {
    count += file.changes.size();
  }
  std::vector<const ComponentChange*> firsts;
  firsts.reserve(count);
  NameIndex seen;  // of the firsts' old references
  const auto oldReferenceAt = [&](uint32_t at) { return firsts[at]->oldReference.view(); };
  for (const FileChanges& file : changes) {
    for (const ComponentChange& change : file.changes) {
      if (change.oldReference != change.newReference &&
          seen.addFirst(change.oldReference, static_cast<uint32_t>(firsts.size()),
                        oldReferenceAt)) {
        firsts.push_back(&change);
      }
    }
  }
  std::vector<Rename> renames;
  renames.reserve(firsts.size());
  for (const ComponentChange* change : firsts) {
    renames.push_back({std::string(change->oldReference), std::string(change->newReference)});
  }
  return renames;
}

std::vector<Rename> OneAtATime(std::span<const Rename> renames,
                               const std::function<bool(std::string_view)>& inUse) {
  // Names are distinct among the froms and among the tos, so the renames form chains and
  // cycles. A rename is ready when no rename still to come holds its new name. Both names
  // of each rename are found by hash: a run of a million parts renames about as many.
  const auto fromAt = [&](uint32_t at) { return std::string_view(renames[at].from); };
  const auto toAt = [&](uint32_t at) { return std::string_view(renames[at].to); };
  NameIndex byFrom;
  NameIndex byTo;
  for (size_t i = 0; i < renames.size(); ++i) {
    byFrom.addFirst(renames[i].from, static_cast<uint32_t>(i), fromAt);
    byTo.addFirst(renames[i].to, static_cast<uint32_t>(i), toAt);
  }
  std::vector<bool> done(renames.size(), false);
  std::vector<bool> broken(renames.size(), false);  // moved to the temporary name first
  // At first a rename is ready when no rename holds its new name; later, when the rename
  // that held it is done.
  std::vector<size_t> ready;
  for (size_t i = 0; i < renames.size(); ++i) {
    if (byFrom.find(renames[i].to, NameIndex::Hash(renames[i].to), fromAt) < 0) {
      ready.push_back(i);
    }
  }
  // The rename that waits on `name`, now free, is ready.
  const auto release = [&](std::string_view name) {
    const int64_t waiting = byTo.find(name, NameIndex::Hash(name), toAt);
    if (waiting >= 0 && !done[static_cast<size_t>(waiting)]) {
      ready.push_back(static_cast<size_t>(waiting));
    }
  };
  std::vector<Rename> lines;
  std::string temporary;
  size_t next = 0;  // where to look for a cycle to break
  while (true) {
    if (!ready.empty()) {
      const size_t i = ready.back();
      ready.pop_back();
      if (done[i]) {
        continue;
      }
      done[i] = true;
      lines.push_back({broken[i] ? temporary : renames[i].from, renames[i].to});
      if (!broken[i]) {
        release(renames[i].from);
      }
      continue;
    }
    while (next < renames.size() && done[next]) {
      ++next;
    }
    if (next == renames.size()) {
      break;
    }
    // Every rename still to come waits on another: a cycle. Its first one goes through a
    // temporary name, freeing its name for the rename that waits on it.
    if (temporary.empty()) {
      temporary = TemporaryName(renames, inUse);
    }
    lines.push_back({renames[next].from, temporary});
    broken[next] = true;
    release(renames[next].from);
  }
  return lines;
}

std::string FormatWasIs(std::span<const Rename> renames, WasIsFormat format,
                        const std::function<bool(std::string_view)>& inUse) {
  std::string text;
  switch (format) {
    case WasIsFormat::Csv:
      text = "old_reference,new_reference\r\n";
      for (const Rename& rename : renames) {
        text += CsvField(rename.from) + "," + CsvField(rename.to) + "\r\n";
      }
      break;
    case WasIsFormat::Pads:
      text = "*PADS-ECO*\r\n*RENPART*\r\n";
      for (const Rename& rename : OneAtATime(renames, inUse)) {
        text += rename.from + " " + rename.to + "\r\n";
      }
      text += "*END*\r\n";
      break;
    case WasIsFormat::Swap:
      for (const Rename& rename : OneAtATime(renames, inUse)) {
        text += "CHANGEREF " + rename.from + " " + rename.to + "\r\n";
      }
      break;
  }
  return text;
}

}  // namespace kerro
