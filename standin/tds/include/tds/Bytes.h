// Bounds-checked little- and big-endian readers and an appending writer for
// TDS payloads. Every parser of client bytes reads through ByteReader, so a
// wrong length or offset from the network becomes a ProtocolError instead of
// a read past the buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace standin::tds {

// Malformed or unsupported client input. The connection answers it (where the
// protocol state allows) and never lets it reach another session.
class ProtocolError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class ByteReader {
 public:
  explicit ByteReader(std::span<const std::uint8_t> data) : m_Data(data) {}

  std::size_t Position() const { return m_Position; }
  std::size_t Remaining() const { return m_Data.size() - m_Position; }
  bool AtEnd() const { return m_Position == m_Data.size(); }

  std::uint8_t U8() { return Take(1)[0]; }
  std::uint16_t U16() {
    auto bytes = Take(2);
    return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
  }
  std::uint16_t U16BigEndian() {
    auto bytes = Take(2);
    return static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]);
  }
  std::uint32_t U32() {
    auto bytes = Take(4);
    return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
           (static_cast<std::uint32_t>(bytes[2]) << 16) |
           (static_cast<std::uint32_t>(bytes[3]) << 24);
  }
  std::uint64_t U64() {
    std::uint64_t low = U32();
    std::uint64_t high = U32();
    return low | (high << 32);
  }
  // Unsigned little-endian integer of 1 to 8 bytes.
  std::uint64_t UnsignedOfSize(std::size_t size) {
    auto bytes = Take(size);
    std::uint64_t value = 0;
    for (std::size_t i = size; i-- > 0;) value = (value << 8) | bytes[i];
    return value;
  }

  std::span<const std::uint8_t> Take(std::size_t count) {
    if (count > Remaining()) {
      throw ProtocolError("truncated data: needed " + std::to_string(count) + " bytes at offset " +
                          std::to_string(m_Position) + ", " + std::to_string(Remaining()) +
                          " left");
    }
    auto result = m_Data.subspan(m_Position, count);
    m_Position += count;
    return result;
  }
  void Skip(std::size_t count) { Take(count); }

 private:
  std::span<const std::uint8_t> m_Data;
  std::size_t m_Position = 0;
};

class ByteWriter {
 public:
  explicit ByteWriter(std::vector<std::uint8_t>& out) : m_Out(out) {}

  std::vector<std::uint8_t>& Buffer() { return m_Out; }
  std::size_t Size() const { return m_Out.size(); }

  void U8(std::uint8_t value) { m_Out.push_back(value); }
  void U16(std::uint16_t value) {
    m_Out.push_back(static_cast<std::uint8_t>(value));
    m_Out.push_back(static_cast<std::uint8_t>(value >> 8));
  }
  void U16BigEndian(std::uint16_t value) {
    m_Out.push_back(static_cast<std::uint8_t>(value >> 8));
    m_Out.push_back(static_cast<std::uint8_t>(value));
  }
  void U32(std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
      m_Out.push_back(static_cast<std::uint8_t>(value >> shift));
  }
  void U32BigEndian(std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
      m_Out.push_back(static_cast<std::uint8_t>(value >> shift));
  }
  void U64(std::uint64_t value) {
    for (int shift = 0; shift < 64; shift += 8)
      m_Out.push_back(static_cast<std::uint8_t>(value >> shift));
  }
  void UnsignedOfSize(std::uint64_t value, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i)
      m_Out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  }
  void Append(std::span<const std::uint8_t> bytes) {
    m_Out.insert(m_Out.end(), bytes.begin(), bytes.end());
  }
  void Append(const std::u16string& utf16) {
    for (char16_t unit : utf16) U16(static_cast<std::uint16_t>(unit));
  }
  // Writes a placeholder for a 16-bit length and returns its position.
  std::size_t ReserveU16() {
    m_Out.push_back(0);
    m_Out.push_back(0);
    return m_Out.size() - 2;
  }
  // Fills a reserved length with the byte count written since it.
  void PatchU16Length(std::size_t position) {
    std::size_t length = m_Out.size() - position - 2;
    if (length > 0xFFFF) throw std::length_error("token longer than 65535 bytes");
    m_Out[position] = static_cast<std::uint8_t>(length);
    m_Out[position + 1] = static_cast<std::uint8_t>(length >> 8);
  }

 private:
  std::vector<std::uint8_t>& m_Out;
};

}  // namespace standin::tds
