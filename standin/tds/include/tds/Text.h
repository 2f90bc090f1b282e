// Character conversions between the engine's UTF-8 and the wire: UTF-16LE for
// the N types and all protocol strings, code page 1252 (the collation's) for
// CHAR/VARCHAR/TEXT.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace standin::tds {

// Invalid UTF-8 becomes U+FFFD, so a bad byte never shifts a length.
std::u16string Utf8ToUtf16(std::string_view utf8);
// Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);
// Decodes UTF-16LE bytes; an odd trailing byte is a ProtocolError.
std::string Utf16LeBytesToUtf8(std::span<const std::uint8_t> bytes);
void AppendUtf16Le(std::vector<std::uint8_t>& out, std::string_view utf8);

// Characters code page 1252 cannot hold become '?', like a conversion without
// best-fit mapping.
std::string Utf8ToCp1252(std::string_view utf8);
// The five bytes 1252 leaves undefined map to the C1 controls of the same value.
std::string Cp1252ToUtf8(std::string_view cp1252);

}  // namespace standin::tds
