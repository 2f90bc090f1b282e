#include "support/Placeholders.h"

#include "support/Error.h"
#include "support/Helpers.h"
#include "support/StringTable.h"

namespace bw {

namespace {

// Positions are reported as the runtime the texts were written for counts
// them: 1-based, in UTF-16 code units.
std::size_t CharacterPosition(const std::string& text, std::size_t byteOffset) {
  std::size_t units = 0;
  for (std::size_t i = 0; i < byteOffset && i < text.size(); ++i) {
    auto byte = static_cast<unsigned char>(text[i]);
    if ((byte & 0xC0) != 0x80) units += byte >= 0xF0 ? 2 : 1;
  }
  return units + 1;
}

}  // namespace

std::string FormatPlaceholders(const std::string& input, const std::vector<Variant>& args) {
  std::string text = input;
  text = ReplaceText(text, "\\\\", "[\\]");
  text = ReplaceText(text, "\\t", "\t");
  text = ReplaceText(text, "\\r", "\r");
  text = ReplaceText(text, "\\n", "\r\n");
  text = ReplaceText(text, "\\[", "[(]");

  std::size_t scan = 0;
  std::size_t argIndex = 0;
  for (;;) {
    std::size_t open = text.find('[', scan);
    if (open == std::string::npos) return text;
    std::size_t close = text.find(']', open + 1);
    if (close == std::string::npos) {
      throw Error(kErrMissingBracket, "printf",
                  "Missing ']' after '[' at position " +
                      std::to_string(CharacterPosition(text, open)) + "!");
    }
    std::string content = text.substr(open + 1, close - open - 1);

    bool positional = false;
    std::size_t rememberedIndex = argIndex;
    if (content.size() >= 2 && content[0] >= '1' && content[0] <= '9' && content[1] == ':') {
      positional = true;
      std::size_t wanted = static_cast<std::size_t>(content[0] - '1');
      argIndex = args.empty() ? wanted : std::min(wanted, args.size() - 1);
      content.erase(0, 2);
    }
    if (!content.empty() && content[0] == '=') {
      throw Error(kErrScriptCode, "sprintf",
                  "No script code allowed in placeholder string. Use the sprintf COM-component "
                  "instead.");
    }

    std::string replacement;
    bool consumes = true;
    if (content.empty()) {
      // Consumes a value and inserts nothing.
    } else if (content == "(") {
      replacement = "[";
      consumes = false;
    } else if (content == "\\") {
      replacement = "\\";
      consumes = false;
    } else {
      if (argIndex >= args.size()) {
        throw Error(kErrMissingValue, "printf",
                    "Missing value in printf-call for format string '[" + content + "]'!");
      }
      replacement = content == "*" ? args[argIndex].ToText() : FormatValue(args[argIndex], content);
    }

    text = text.substr(0, open) + replacement + text.substr(close + 1);
    scan = open + replacement.size();
    if (positional) {
      argIndex = rememberedIndex;
    } else if (consumes) {
      ++argIndex;
    }
  }
}

std::string FormatResString(int id, const std::vector<Variant>& args) {
  return FormatPlaceholders(LoadResString(id), args);
}

}  // namespace bw
