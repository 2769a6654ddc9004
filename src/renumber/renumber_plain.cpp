#include "renumber/renumber_plain.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "platform/text_compare.h"
#include "renumber/reference.h"

namespace kerro {

namespace {

struct NumberedComponent {
  ComponentEntry* component;
  std::string_view prefix;  // a view into the component's present reference
  int64_t number;           // the present number, then the new one
};

}  // namespace

size_t RenumberPlain(SchematicDocument& document, int initial, int step) {
  std::vector<NumberedComponent> numbered;
  numbered.reserve(document.entries().size());
  for (ComponentEntry& component : document.entries()) {
    if (component.reference().empty() || component.packageTag().empty()) {
      continue;
    }
    SplitResult split = SplitReference(component.reference());
    numbered.push_back({&component, split.prefix, split.number});
  }
  if (numbered.empty()) {
    return 0;
  }

  std::sort(numbered.begin(), numbered.end(),
            [](const NumberedComponent& a, const NumberedComponent& b) {
              const int order = CompareText(a.prefix, b.prefix);
              return order != 0 ? order < 0 : a.number < b.number;
            });

  // All new numbers are worked out before any reference is stored: the prefixes are views
  // into the reference fields that storing rewrites.
  std::string_view lastPrefix;
  int64_t lastPresent = 0;
  int64_t lastNew = 0;
  bool first = true;
  for (NumberedComponent& item : numbered) {
    int64_t next = 0;
    if (first || item.prefix != lastPrefix) {
      next = initial;
      lastPrefix = item.prefix;
    } else if (item.number != lastPresent) {
      next = lastNew + step;
    } else {
      next = lastNew;
    }
    first = false;
    lastPresent = item.number;
    lastNew = next;
    item.number = next;
  }

  for (NumberedComponent& item : numbered) {
    StoreReference(FormatReference(item.prefix, item.number), item.component->referenceField());
  }
  return numbered.size();
}

}  // namespace kerro
