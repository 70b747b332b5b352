#include "restore_page.h"

#include <algorithm>

#include "format/pieces.h"
#include "format/recovery_piece.h"
#include "json_text.h"
#include "restore/descriptions.h"
#include "text/case_fold.h"
#include "text/messages.h"
#include "text/text.h"

namespace morsela {

const char kPageTooMuchToRebuild[] =
    "The page keeps at most 1 GiB of rebuilt pieces in memory: restore this set with its restore program.";

namespace {

const char* StateText(PieceState state) {
  switch (state) {
    case PieceState::kMissing: return "missing";
    case PieceState::kWrongSize: return "wrong size";
    case PieceState::kOther: return "of another split";
    case PieceState::kPresent: break;
  }
  return "";
}

// The lines of a message.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t from = 0;
  for (std::size_t end; (end = text.find('\n', from)) != std::string::npos; from = end + 1)
    lines.push_back(text.substr(from, end - from));
  lines.push_back(text.substr(from));
  return lines;
}

bool EndsWithNoCase(const std::string& name, const char* tail) {
  const std::string_view end(tail);
  return name.size() >= end.size() && EqualsNoCase(std::string_view(name).substr(name.size() - end.size()), end);
}

}  // namespace

RestorePage::RestorePage(ChosenFileReader& reader) : platform_(reader), previous_(SetSystem(&platform_)) {}

RestorePage::~RestorePage() { SetSystem(previous_); }

bool RestorePage::Carry(std::string_view manifestBytes, const std::string& pageName) {
  carried_.reset();
  if (manifestBytes.size() < 4) return false;
  const std::uint32_t version = std::uint8_t(manifestBytes[0]) | std::uint32_t(std::uint8_t(manifestBytes[1])) << 8 |
                                std::uint32_t(std::uint8_t(manifestBytes[2])) << 16 |
                                std::uint32_t(std::uint8_t(manifestBytes[3])) << 24;
  Manifest m;
  if (!DecodeManifestBody(manifestBytes, version, m)) return false;
  carried_ = std::move(m);
  pageName_ = pageName;
  return true;
}

// The set as the restore program would see it: the page's own description
// when it carries one; else a restore program among the chosen files whose
// file ends in a manifest; else the set of a piece or recovery piece
// chosen (with its restore program where that was chosen too); else the
// set a restore program's name gives.
std::optional<SetSource> RestorePage::SourceOfChosen() {
  if (carried_) {
    SetSource source;
    source.baseName = carried_->baseName;
    source.programName = FileNameOf(RestoreProgramName(carried_->storedName));
    source.carried = carried_;
    source.carriedBy = pageName_;
    return source;
  }
  const std::vector<ChosenFile>& chosen = platform_.chosen();
  // A restore program is a file whose footer says it carries a description.
  const auto isProgram = [&](const std::string& name) {
    std::unique_ptr<InputFile> in = platform_.OpenRead(name);
    return in && ReadManifest(*in).footer;
  };
  for (const ChosenFile& file : chosen) {
    if (EndsWithNoCase(file.name, ".exe") && isProgram(file.name))
      return SetSource{"", file.name, file.name, BaseNameOf(file.name), {}, {}};
  }
  for (const ChosenFile& file : chosen) {
    const std::size_t dot = file.name.find('.');
    if (dot == std::string::npos || dot == 0 || file.name[dot - 1] != '#') continue;
    const std::string base = file.name.substr(0, dot - 1);
    if (!PieceNumber(file.name, base) && !RecoveryPieceNumber(file.name, base)) continue;
    const Descriptions there = GatherDescriptions({"", {}, {}, base, nullptr, {}});
    if (platform_.IndexOf(PieceFileName(base, 0)) || PieceNumber(file.name, base) == 0u || !there.found.empty() ||
        there.refusal)
      return SetSource{"", "", "", base, {}, {}};
  }
  for (const ChosenFile& file : chosen) {
    if (EndsWithNoCase(file.name, ".exe")) return SetSource{"", file.name, file.name, BaseNameOf(file.name), {}, {}};
  }
  return std::nullopt;
}

std::string RestorePage::Rows(const SetView& view, const std::vector<std::uint64_t>& damaged) const {
  JsonText rows;
  rows.OpenArray();
  const PieceSet* set = view.set.get();
  const std::uint64_t count = set ? set->Count() : 0;
  for (std::uint64_t k = 0; k < count; ++k) {
    const PieceState state = set->State(k);
    const bool bad = state == PieceState::kPresent && std::binary_search(damaged.begin(), damaged.end(), k);
    rows.OpenArray();
    rows.String(set->At(k).name);
    rows.String(bad ? "damaged" : StateText(state));
    rows.CloseArray();
  }
  const std::uint64_t recovery = set ? set->RecoveryCount() : 0;
  for (std::uint64_t j = 0; j < recovery; ++j) {
    const PieceState state = set->RecoveryState(j);
    rows.OpenArray();
    rows.String(state == PieceState::kPresent ? *set->RecoveryPiece(j)
                                              : RecoveryPieceFileName(set->Description()->baseName, j));
    rows.String(StateText(state));
    rows.CloseArray();
  }
  rows.CloseArray();
  return rows.text();
}

std::string RestorePage::Choose(const std::vector<ChosenFile>& files) {
  platform_.Choose(files);
  rebuilt_.reset();
  const std::optional<SetSource> source = SourceOfChosen();
  JsonText out;
  out.OpenObject();
  SetView view;
  std::optional<Refusal> refusal;
  if (source) {
    view = LookAtSet(*source);
    refusal = view.refusal;
    if (!refusal && view.set) refusal = view.set->Check();
  } else {
    refusal = Refusal{kNoSplitFileFound, {}};
  }
  const Manifest* m = view.set ? view.set->Description() : nullptr;
  out.Key("name").String(m ? m->storedName : std::string());
  // Whether the check compares the pieces with CRCs, which the page's
  // workers may then compute beforehand, side by side.
  out.Key("described").Raw(m ? "true" : "false");
  out.Key("rows").Raw(Rows(view, {}));
  // The chosen file of each piece in the order the check reads them (-1
  // where there is none), so that the script can read ahead.
  out.Key("order").OpenArray();
  for (std::uint64_t k = 0; view.set && k < view.set->Count(); ++k) {
    const std::optional<std::size_t> file = view.set->State(k) == PieceState::kPresent
                                                ? platform_.IndexOf(view.set->At(k).name)
                                                : std::nullopt;
    out.Number(file ? double(*file) : -1);
  }
  out.CloseArray();
  out.Key("refusal");
  if (refusal) {
    out.OpenArray();
    for (const std::string& line : Lines(WithDetail(refusal->text, refusal->detail))) out.String(line);
    out.CloseArray();
  } else {
    out.Raw("null");
  }
  out.CloseObject();
  return out.text();
}

std::string RestorePage::Check(Progress* progress) {
  rebuilt_ = std::make_unique<SparseOutput>(kPageRebuildLimit);
  const std::optional<SetSource> source = SourceOfChosen();
  RestoreResult result;
  if (source) {
    RestoreOptions options;
    options.progress = progress;
    options.checkOnly = true;
    options.rebuiltTo = rebuilt_.get();
    result = Restore(*source, options);
  } else {
    result.messages.push_back(kNoSplitFileFound);
  }

  JsonText out;
  out.OpenObject();
  out.Key("code").Number(result.code);
  out.Key("name").String(result.name);
  out.Key("bytes").Number(result.bytes);
  out.Key("status").OpenArray();
  if (result.code == kExitRestored) {
    // The warning first, as in the window.
    const std::string warning = UncheckedWarning(result, source && !source->program.empty());
    if (!warning.empty()) out.String(warning);
    out.String(RestoredText(result, result.name));
  } else {
    for (const std::string& message : result.messages)
      for (const std::string& line : Lines(message)) out.String(line);
    if (rebuilt_->Overflowed()) out.String(kPageTooMuchToRebuild);
  }
  out.CloseArray();

  const SetView view = source ? LookAtSet(*source) : SetView();
  // Marked damaged: those the check found so, whether rebuilt or refused.
  std::vector<std::uint64_t> damaged = result.rebuiltPieces;
  damaged.insert(damaged.end(), result.damagedPieces.begin(), result.damagedPieces.end());
  std::sort(damaged.begin(), damaged.end());
  out.Key("rows").Raw(Rows(view, damaged));

  // The file as the pieces give it, after the name header: the chosen
  // files' bytes, and the rebuilt ones where a piece was lost.
  out.Key("parts").OpenArray();
  if (result.code == kExitRestored && view.set) {
    const PieceSet& set = *view.set;
    std::uint64_t start = 0;  // where the piece begins in the sequence the pieces cut
    for (std::uint64_t k = 0; k < set.Count(); ++k) {
      const JoinPiece piece = set.At(k);
      const std::uint64_t skip = std::min(piece.size, start > result.headerSize ? 0 : result.headerSize - start);
      if (skip < piece.size) {
        // A rebuilt piece: its mended stripes from the rebuilt bytes, the
        // sound ones from its file.
        const bool rebuilt = std::binary_search(damaged.begin(), damaged.end(), k);
        const std::uint64_t stripe = rebuilt && set.Description() ? set.Description()->StripeSize() : piece.size;
        for (std::uint64_t from = skip; from < piece.size; from = (from / stripe + 1) * stripe) {
          const std::uint64_t to = std::min(piece.size, (from / stripe + 1) * stripe);
          const std::uint64_t at = start + from - result.headerSize;
          out.OpenArray();
          if (rebuilt && (stripe == piece.size || Rebuilt(at, std::size_t(to - from)))) {
            out.Number(-1).Number(double(at)).Number(double(to - from));
          } else {
            out.Number(double(*platform_.IndexOf(piece.name))).Number(double(from)).Number(double(to));
          }
          out.CloseArray();
        }
      }
      start += piece.size;
    }
  }
  out.CloseArray();
  out.CloseObject();
  return out.text();
}

const char* RestorePage::Rebuilt(std::uint64_t offset, std::size_t size) const {
  return rebuilt_ ? rebuilt_->At(offset, size) : nullptr;
}

}  // namespace morsela
