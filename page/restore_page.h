// The restore page's side of the core, the same in the browser (compiled
// to WebAssembly) and in the native tests: which set the chosen files
// make, its list as Morsela's window shows it, and the check that reads
// every piece, rebuilds lost ones into memory and says how the page
// composes the file from the chosen files and the rebuilt bytes. The
// page's script shows what it returns and asks nothing of its own.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "format/manifest.h"
#include "pipeline/progress.h"
#include "platform/platform_page.h"
#include "restore/restore.h"

namespace morsela {

// At most this many bytes of rebuilt pieces are kept in the page's memory;
// a set that needs more is sent to the restore program.
constexpr std::uint64_t kPageRebuildLimit = std::uint64_t(1) << 30;

extern const char kPageTooMuchToRebuild[];

class RestorePage {
 public:
  explicit RestorePage(ChosenFileReader& reader);
  ~RestorePage();

  // The set's description the page carries (a manifest's own bytes) and
  // the page's own file name; false when the bytes are no manifest, and
  // the page then takes the description from the chosen files.
  bool Carry(std::string_view manifestBytes, const std::string& pageName);

  // Takes the chosen files and returns the set they make as JSON:
  //   {"name": stored name or "", "described": whether the set has a
  //    description (and the check compares CRCs), "rows": [[text, state], ...],
  //    "order": [chosen file of each piece, or -1], "refusal": [line, ...] or null}
  // state is "", "missing", "wrong size" or "damaged".
  std::string Choose(const std::vector<ChosenFile>& files);

  // Checks the set the chosen files make, with `progress` (may be null),
  // and returns JSON:
  //   {"code": 0 restored | 1 refused, "status": [line, ...], "name": ...,
  //    "bytes": N, "rows": as Choose's, "parts": [[file, from, to], ...]}
  // A part [f, a, b] is bytes a to b of chosen file f; [-1, o, n] is n
  // rebuilt bytes at offset o of the file (Rebuilt gives them). After a
  // refusal there are no parts.
  std::string Check(Progress* progress);

  // `size` rebuilt bytes at `offset` of the file; nullptr when not kept.
  const char* Rebuilt(std::uint64_t offset, std::size_t size) const;

  PagePlatform& platform() { return platform_; }

 private:
  std::optional<SetSource> SourceOfChosen();
  std::string Rows(const SetView& view, const std::vector<std::uint64_t>& damaged) const;

  PagePlatform platform_;
  Platform* previous_;
  std::optional<Manifest> carried_;
  std::string pageName_;
  std::unique_ptr<SparseOutput> rebuilt_;
};

}  // namespace morsela
