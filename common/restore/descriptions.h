// Every description of a set that the folder holds: the restore program's
// that came along, one that a front end carries itself (the restore page),
// the other restore programs of the set's names, and each recovery
// piece's. A folder that took in a later split of the same file beside an
// earlier one holds more than one; the restore then takes the one the
// pieces fit (piece_set.h), and never the one that comes first in a
// listing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "format/manifest.h"

namespace morsela {

// Why a restore does not go on: a message's fixed text and its second line.
struct Refusal {
  const char* text = nullptr;
  std::string detail;
};

// One description, and the file that holds it (the first of them where
// several hold the same one).
struct Description {
  Manifest manifest;
  std::string holder;
};

// At most this many different descriptions are weighed: a real folder
// holds one, two after a later split came in beside an earlier one.
constexpr std::size_t kMostDescriptions = 8;

struct Descriptions {
  // Each different description once, in a fixed order: the restore
  // program's, the one carried, the other restore programs', then the
  // recovery pieces' by their numbers.
  std::vector<Description> found;
  // For each recovery piece j (0-based, from its name) whose head is whole,
  // by j: which of `found` it carries; kNotWeighed for one beyond the
  // descriptions weighed. Recovery pieces missing here have a damaged head,
  // or none.
  std::vector<std::pair<std::uint64_t, std::size_t>> recovery;
  static constexpr std::size_t kNotWeighed = std::size_t(-1);
  // Which description recovery piece j carries, where its head tells.
  std::optional<std::size_t> RecoveryCarries(std::uint64_t j) const;
  // Why none of them can serve when `found` is empty and a file there
  // meant to describe the set: its description is damaged or of a later
  // format, or it could not be read.
  std::optional<Refusal> refusal;
};

// Where the descriptions may lie.
struct DescriptionSources {
  std::string folder;       // ends in a separator
  std::string program;      // the restore program file that came along; empty for none
  std::string programName;  // its name in the folder
  std::string baseName;     // the pieces' base name, where no description tells it
  const Manifest* carried = nullptr;  // a description the front end brings
  std::string carriedBy;    // the file that holds it
};

// Reads every description `sources` gives, as data (no program is run);
// every length is bounded before anything is read.
Descriptions GatherDescriptions(const DescriptionSources& sources);

// True when `a` and `b` describe the same file in the same pieces: a set
// split again with another count of recovery pieces gives the same file.
bool SameFile(const Manifest& a, const Manifest& b);

}  // namespace morsela
