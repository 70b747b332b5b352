// The platform of the restore page: the files the user chose in the
// browser, seen as one folder. Reads go through a reader the page's script
// gives (FileReaderSync in a worker); nothing is ever written to a disk:
// an output keeps in memory only what is written into it, at its offsets.
// There are no threads: the core then does its work in turn.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/platform.h"

namespace morsela {

// One file the user chose: its name (UTF-8) and its length.
struct ChosenFile {
  std::string name;
  std::uint64_t size = 0;
};

// Reads the chosen files' bytes.
class ChosenFileReader {
 public:
  virtual ~ChosenFileReader() = default;
  // Reads up to `size` bytes of chosen file `file` from `offset` into
  // `buffer`; the count read (less only at the file's end), or -1 when the
  // browser could not read it.
  virtual std::int64_t ReadAt(std::size_t file, std::uint64_t offset, void* buffer, std::size_t size) = 0;
};

// An output that keeps what is written into it at its offsets and nothing
// else: the rebuilt pieces of a check, never the whole file.
class SparseOutput : public OutputFile {
 public:
  // Writes beyond `limit` bytes in all fail.
  explicit SparseOutput(std::uint64_t limit = ~std::uint64_t(0)) : limit_(limit) {}
  bool Write(const void* data, std::size_t size) override;
  bool Seek(std::uint64_t offset) override;
  bool Flush() override { return true; }
  bool Close() override { return true; }

  // The bytes written from `offset` on, up to `size` of them, when one run
  // of writes covers them all; nullptr otherwise.
  const char* At(std::uint64_t offset, std::size_t size) const;
  // The bytes kept.
  std::uint64_t Kept() const;
  // True once a write went beyond the limit.
  bool Overflowed() const { return overflowed_; }

 private:
  std::map<std::uint64_t, std::string> runs_;  // by offset; runs never touch
  std::uint64_t position_ = 0;
  std::uint64_t written_ = 0;
  bool overflowed_ = false;
  const std::uint64_t limit_;
};

class PagePlatform : public Platform {
 public:
  explicit PagePlatform(ChosenFileReader& reader) : reader_(reader) {}

  // The files chosen, in the order chosen; the reader knows them by their
  // place in it. A file whose name is one an earlier one has (compared as
  // Windows compares names) is passed over: a folder holds one file of a
  // name.
  void Choose(const std::vector<ChosenFile>& files);
  const std::vector<ChosenFile>& chosen() const { return chosen_; }
  // The place of the chosen file `name` names, compared as Windows
  // compares names.
  std::optional<std::size_t> IndexOf(const std::string& name) const;
  // The CRC-32C of the whole of chosen file `file`, which the page's
  // workers computed side by side: a check then takes it instead of
  // reading the file (InputFile::KnownCrc32c). Forgotten by Choose.
  void KnowCrc32c(std::size_t file, std::uint32_t crc);

  bool Scan(const std::string& pattern, EntrySink& sink) override;
  std::unique_ptr<InputFile> OpenRead(const std::string& path) override;
  std::unique_ptr<InputFile> OpenSource(const std::string&) override { return nullptr; }
  std::unique_ptr<OutputFile> Create(const std::string& path) override;
  std::unique_ptr<OutputFile> CreateNew(const std::string& path) override { return Create(path); }
  bool Remove(const std::string& path) override;
  bool Replace(const std::string& from, const std::string& to) override;
  void CopyZoneMark(const std::string&, const std::string&) override {}
  // Windows-1252, the code page of most sets made on older Windows.
  std::string DecodeLegacyName(const std::string& bytes) override;
  std::unique_ptr<Semaphore> NewSemaphore(unsigned) override { return nullptr; }
  std::unique_ptr<Thread> StartThread(void (*)(void*), void*) override { return nullptr; }
  std::string_view RestoreImage() override { return {}; }
  std::string_view PageTemplate() override { return {}; }

  // What was written under `path`; nullptr when nothing was created there.
  const SparseOutput* Output(const std::string& path) const;

 private:
  ChosenFileReader& reader_;
  std::vector<ChosenFile> chosen_;
  std::vector<bool> passedOver_;  // by place in `chosen_`
  std::vector<std::optional<std::uint32_t>> known_;  // by place in `chosen_`
  // The place of each name that is not passed over, by its key as names
  // compare (a set of a thousand pieces is looked up by name often).
  std::unordered_map<std::u16string, std::size_t> places_;
  std::map<std::string, std::shared_ptr<SparseOutput>> outputs_;
};

}  // namespace morsela
