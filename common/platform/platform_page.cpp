#include "platform/platform_page.h"

#include <algorithm>
#include <cstring>

#include "text/case_fold.h"
#include "text/utf8.h"
#include "text/wildcard.h"

namespace morsela {

namespace {

// A name as the page compares names: its UTF-16 units, each taken to its
// upper case by UpperCaseUnit's table, the one the page's comparison uses
// (text/case_fold_posix.cpp), so that two names are one exactly when
// their keys are equal.
std::u16string NoCaseKey(std::string_view name) {
  std::u16string key = Utf8ToUtf16(name);
  for (char16_t& unit : key) unit = UpperCaseUnit(unit);
  return key;
}

class ChosenInput : public InputFile {
 public:
  ChosenInput(ChosenFileReader& reader, std::size_t file, std::uint64_t size, std::optional<std::uint32_t> known)
      : reader_(reader), file_(file), size_(size), known_(known) {}

  std::size_t Read(void* buffer, std::size_t size) override {
    if (failed_ || position_ >= size_) return 0;
    const std::int64_t got =
        reader_.ReadAt(file_, position_, buffer, std::size_t(std::min<std::uint64_t>(size, size_ - position_)));
    if (got < 0) {
      failed_ = true;
      return 0;
    }
    position_ += std::uint64_t(got);
    return std::size_t(got);
  }
  bool Failed() const override { return failed_; }
  bool Size(std::uint64_t& size) override {
    size = size_;
    return true;
  }
  bool Seek(std::uint64_t offset) override {
    position_ = offset;
    return true;
  }
  // A chosen file does not change while the page looks at it.
  bool Stamp(FileStamp& stamp) override {
    stamp = {size_, 0};
    return true;
  }
  std::optional<std::uint32_t> KnownCrc32c() override { return known_; }

 private:
  ChosenFileReader& reader_;
  const std::size_t file_;
  const std::uint64_t size_;
  const std::optional<std::uint32_t> known_;
  std::uint64_t position_ = 0;
  bool failed_ = false;
};

// The output under one path, which the platform keeps after it is closed.
class KeptOutput : public OutputFile {
 public:
  explicit KeptOutput(std::shared_ptr<SparseOutput> kept) : kept_(std::move(kept)) {}
  bool Write(const void* data, std::size_t size) override { return kept_->Write(data, size); }
  bool Seek(std::uint64_t offset) override { return kept_->Seek(offset); }
  bool Flush() override { return true; }
  bool Close() override { return true; }

 private:
  std::shared_ptr<SparseOutput> kept_;
};

}  // namespace

bool SparseOutput::Write(const void* data, std::size_t size) {
  if (size == 0) return true;
  if (size > limit_ - written_) {
    overflowed_ = true;
    return false;
  }
  written_ += size;
  const char* bytes = static_cast<const char*>(data);
  const std::uint64_t from = position_, to = position_ + size;
  position_ = to;
  // The run that ends where this write begins, or covers part of it, takes it.
  auto run = runs_.upper_bound(from);
  if (run != runs_.begin()) {
    auto before = std::prev(run);
    if (before->first + before->second.size() >= from) run = before;
  }
  if (run == runs_.end() || run->first > to) {
    runs_.emplace(from, std::string(bytes, size));
    return true;
  }
  // Merge every run that this write touches into one.
  const std::uint64_t start = std::min(run->first, from);
  std::string merged;
  auto last = run;
  std::uint64_t end = to;
  for (; last != runs_.end() && last->first <= to; ++last) end = std::max(end, last->first + last->second.size());
  merged.resize(std::size_t(end - start));
  for (auto r = run; r != last; ++r) std::memcpy(&merged[std::size_t(r->first - start)], r->second.data(), r->second.size());
  std::memcpy(&merged[std::size_t(from - start)], bytes, size);
  runs_.erase(run, last);
  runs_.emplace(start, std::move(merged));
  return true;
}

bool SparseOutput::Seek(std::uint64_t offset) {
  position_ = offset;
  return true;
}

const char* SparseOutput::At(std::uint64_t offset, std::size_t size) const {
  auto run = runs_.upper_bound(offset);
  if (run == runs_.begin()) return nullptr;
  --run;
  if (offset + size > run->first + run->second.size()) return nullptr;
  return run->second.data() + (offset - run->first);
}

std::uint64_t SparseOutput::Kept() const {
  std::uint64_t kept = 0;
  for (const auto& run : runs_) kept += run.second.size();
  return kept;
}

void PagePlatform::Choose(const std::vector<ChosenFile>& files) {
  chosen_.clear();
  passedOver_.clear();
  outputs_.clear();
  places_.clear();
  known_.assign(files.size(), std::nullopt);
  for (const ChosenFile& file : files) {
    passedOver_.push_back(!places_.emplace(NoCaseKey(file.name), chosen_.size()).second);
    chosen_.push_back(file);
  }
}

std::optional<std::size_t> PagePlatform::IndexOf(const std::string& name) const {
  const auto found = places_.find(NoCaseKey(name));
  if (found == places_.end()) return std::nullopt;
  return found->second;
}

void PagePlatform::KnowCrc32c(std::size_t file, std::uint32_t crc) {
  if (file < known_.size()) known_[file] = crc;
}

bool PagePlatform::Scan(const std::string& pattern, EntrySink& sink) {
  if (!HasWildcard(pattern)) {
    if (const std::optional<std::size_t> index = IndexOf(pattern))
      sink.Take(DirEntry{chosen_[*index].name, chosen_[*index].size, false, 0, false});
    return true;
  }
  for (std::size_t i = 0; i < chosen_.size(); ++i) {
    const ChosenFile& file = chosen_[i];
    if (!passedOver_[i] && WildcardMatch(pattern, file.name)) sink.Take(DirEntry{file.name, file.size, false, 0, false});
  }
  return true;
}

std::unique_ptr<InputFile> PagePlatform::OpenRead(const std::string& path) {
  const std::optional<std::size_t> index = IndexOf(path);
  if (!index) return nullptr;
  return std::make_unique<ChosenInput>(reader_, *index, chosen_[*index].size, known_[*index]);
}

std::unique_ptr<OutputFile> PagePlatform::Create(const std::string& path) {
  auto kept = std::make_shared<SparseOutput>();
  outputs_[path] = kept;
  return std::make_unique<KeptOutput>(kept);
}

bool PagePlatform::Remove(const std::string& path) {
  outputs_.erase(path);
  return true;
}

bool PagePlatform::Replace(const std::string& from, const std::string& to) {
  auto found = outputs_.find(from);
  if (found == outputs_.end()) return true;
  outputs_[to] = found->second;
  outputs_.erase(from);
  return true;
}

const SparseOutput* PagePlatform::Output(const std::string& path) const {
  auto found = outputs_.find(path);
  return found == outputs_.end() ? nullptr : found->second.get();
}

std::string PagePlatform::DecodeLegacyName(const std::string& bytes) {
  return Windows1252ToUtf8(bytes);
}

}  // namespace morsela
