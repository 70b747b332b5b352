// JSON written a value at a time, for what the page's core hands its
// script. Strings are UTF-8 and escaped as JSON needs; the script shows
// them as text.
#pragma once

#include <cstdint>
#include <string>

namespace morsela {

class JsonText {
 public:
  JsonText& OpenObject() { return Open('{'); }
  JsonText& CloseObject() { return Close('}'); }
  JsonText& OpenArray() { return Open('['); }
  JsonText& CloseArray() { return Close(']'); }
  // The key of the next member; its value follows.
  JsonText& Key(const std::string& key);
  JsonText& String(const std::string& value);
  // Whole numbers up to 2^53 are exact in the script.
  JsonText& Number(double value);
  JsonText& Raw(const std::string& json);
  const std::string& text() const { return text_; }

 private:
  JsonText& Open(char c);
  JsonText& Close(char c);
  void Separate();

  std::string text_;
  bool first_ = true;     // no value yet in the innermost object or array
  bool afterKey_ = false;  // the next value is a member's
};

}  // namespace morsela
