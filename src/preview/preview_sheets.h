#pragma once
// What a picture of a run shows of each sheet: every component at its place with its
// reference and block after the run and before it, why the run left it alone, and whether
// it holds a duplicate that the run leaves. Built from the job's numbered design, so the
// picture shows the numbering that the run writes, not a second one.

#include <cstdint>
#include <string>
#include <vector>

#include "renumber/renumber_job.h"

namespace kerro {

enum class LeftAloneBecause : uint8_t {
  NotLeftAlone,      // numbered by the run (its reference may have stayed the same)
  PowerSymbol,       // library-guided numbering leaves power symbols as they are
  Locked,            // --lock
  Kept,              // numbered and kept: --keep, --fix-duplicates
  NoTagOrReference,  // a part without a tag or a reference takes no number
};

struct PreviewComponent {
  int32_t x = 0;  // on its sheet, as the record stores it
  int32_t y = 0;
  // Texts as the file holds them (bytes of its code page).
  std::string reference;
  std::string oldReference;
  std::string packageTag;
  int block = 0;
  int oldBlock = 0;
  // Whether the block is worth a letter: the package holds more than one component under
  // this reference and tag, or the block is not the first. A resistor stays "R1".
  bool showBlock = false;
  bool showOldBlock = false;
  LeftAloneBecause leftAlone = LeftAloneBecause::NotLeftAlone;
  // One reference on parts that cannot be one package, or one block twice: what --lint
  // reports as a duplicate.
  bool duplicate = false;

  bool changed() const { return reference != oldReference || block != oldBlock; }
};

struct PreviewSheet {
  std::string file;  // as given
  int section = 0;   // within the file, from 0
  int sectionCount = 1;
  std::vector<PreviewComponent> components;  // in file order
};

// Appends one sheet for every section of every document of `design`, in design order.
void AddPreviewSheets(const NumberedDesign& design, std::vector<PreviewSheet>& sheets);

}  // namespace kerro
