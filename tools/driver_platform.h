// The platform of the command-line drivers: the system's own, with messages
// printed to the error stream and a restore program image given by the
// driver.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform.h"

namespace morsela {

class DriverPlatform : public Platform {
 public:
  // `endOnMessage`: a message ends the run with exit code 1, as the engine
  // returns after one without telling its caller.
  DriverPlatform(std::string image, bool endOnMessage)
      : image_(std::move(image)), endOnMessage_(endOnMessage) {}
  bool List(const std::string& p, std::vector<DirEntry>& e) override { return real_.List(p, e); }
  std::string DecodeLegacyName(const std::string& b) override { return real_.DecodeLegacyName(b); }
  std::unique_ptr<InputFile> OpenRead(const std::string& p) override { return real_.OpenRead(p); }
  std::unique_ptr<OutputFile> Create(const std::string& p) override { return real_.Create(p); }
  std::unique_ptr<OutputFile> CreateNew(const std::string& p) override { return real_.CreateNew(p); }
  bool Remove(const std::string& p) override { return real_.Remove(p); }
  bool Replace(const std::string& a, const std::string& b) override { return real_.Replace(a, b); }
  void CopyZoneMark(const std::string& a, const std::string& b) override { real_.CopyZoneMark(a, b); }
  void ShowMessage(const std::string& text) override {
    std::fprintf(stderr, "%s\n", text.c_str());
    if (endOnMessage_) std::exit(1);
  }
  std::string_view RestoreImage() override { return image_; }

 private:
  Platform& real_ = NativePlatform();
  std::string image_;
  bool endOnMessage_;
};

}  // namespace morsela
