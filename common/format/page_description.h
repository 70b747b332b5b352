// Where the restore page keeps its set's description: the manifest's own
// bytes (version 1 or 2, as after the restore program's image), in base64,
// as the whole text of the page's element
//   <script type="application/x-morsela-set" id="morsela-set">...</script>
// which the page template holds with the placeholder text MORSELA-SET.
// docs/format.md tells it for other programs.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "format/manifest.h"

namespace morsela {

// The text between these two in a page is its description.
extern const char kPageSetOpen[];
extern const char kPageSetClose[];
// What the page template holds there: no set.
extern const char kPageSetPlaceholder[];

// The page `pageTemplate` carrying `manifest`; empty when the template has
// no place for it.
std::string FillPage(std::string_view pageTemplate, const Manifest& manifest);

// The manifest bytes a page carries; nothing when it carries none (the
// generic page) or the text there is no base64.
std::optional<std::string> PageDescription(std::string_view page);

std::string Base64Encode(std::string_view bytes);
// Nothing when `text` is no base64 (whitespace is passed over).
std::optional<std::string> Base64Decode(std::string_view text);

}  // namespace morsela
