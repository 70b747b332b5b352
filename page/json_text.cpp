#include "json_text.h"

#include "text/text.h"

namespace morsela {

void JsonText::Separate() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (!first_) text_ += ',';
  first_ = false;
}

JsonText& JsonText::Open(char c) {
  Separate();
  text_ += c;
  first_ = true;
  return *this;
}

JsonText& JsonText::Close(char c) {
  text_ += c;
  first_ = false;
  return *this;
}

JsonText& JsonText::Key(const std::string& key) {
  String(key);
  text_ += ':';
  afterKey_ = true;
  return *this;
}

JsonText& JsonText::String(const std::string& value) {
  Separate();
  text_ += '"';
  for (unsigned char c : value) {
    switch (c) {
      case '"': text_ += "\\\""; break;
      case '\\': text_ += "\\\\"; break;
      case '\n': text_ += "\\n"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          text_ += "\\u00";
          text_ += "0123456789abcdef"[c >> 4];
          text_ += "0123456789abcdef"[c & 15];
        } else {
          text_ += char(c);
        }
    }
  }
  text_ += '"';
  return *this;
}

JsonText& JsonText::Number(double value) {
  Separate();
  if (value < 0) {
    text_ += '-';
    value = -value;
  }
  text_ += FormatDecimal(std::uint64_t(value));
  return *this;
}

JsonText& JsonText::Raw(const std::string& json) {
  Separate();
  text_ += json;
  return *this;
}

}  // namespace morsela
