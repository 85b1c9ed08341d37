// The byte layout the window-input fuzzer reads: a short header describing the
// window, then fixed-size records, each one synthetic SDL event. Shared by the
// fuzzer (decoding) and the seed maker (encoding) so the seeds mean what they
// say. Fixed offsets keep the layout easy for libFuzzer's mutations to hit.
#pragma once

#include <SDL.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

namespace fuzz_input {

// Header: flags (bit 0: the class asks for double clicks), then the client
// area's screen position as two little-endian int16.
constexpr std::size_t HEADER_SIZE = 5;
constexpr std::uint8_t FLAG_DOUBLE_CLICKS = 0x01;

// What one record turns into.
enum class Kind : std::uint8_t { Press = 0, Release, Motion, Window, Other, Count };

// One record: kind, SDL button, motion button mask, window event id, key
// modifiers, x and y (little-endian int32), timestamp step in ms.
constexpr std::size_t RECORD_SIZE = 16;

struct Header {
  std::uint8_t flags = 0;
  std::int16_t screenX = 0;
  std::int16_t screenY = 0;
};

struct Record {
  std::uint8_t kind = 0;  // taken modulo Kind::Count
  std::uint8_t button = 0;
  std::uint8_t mask = 0;
  std::uint8_t windowEvent = 0;
  std::uint16_t keyMods = 0;
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::uint16_t timeStep = 0;
};

// Little-endian reads and writes, independent of the host's byte order.
inline std::uint32_t ReadLe(const std::uint8_t* bytes, std::size_t count) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < count; ++i) value |= std::uint32_t{bytes[i]} << (8 * i);
  return value;
}

inline void WriteLe(std::vector<std::uint8_t>& out, std::uint32_t value, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i)
    out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// The header of data (zeros where data is shorter).
inline Header DecodeHeader(std::span<const std::uint8_t> data) {
  std::uint8_t bytes[HEADER_SIZE] = {};
  std::memcpy(bytes, data.data(), data.size() < HEADER_SIZE ? data.size() : HEADER_SIZE);
  return Header{bytes[0], static_cast<std::int16_t>(ReadLe(bytes + 1, 2)),
                static_cast<std::int16_t>(ReadLe(bytes + 3, 2))};
}

// Record i of data; the caller keeps i below RecordCount(data).
inline Record DecodeRecord(std::span<const std::uint8_t> data, std::size_t i) {
  const std::uint8_t* r = data.data() + HEADER_SIZE + i * RECORD_SIZE;
  return Record{r[0],
                r[1],
                r[2],
                r[3],
                static_cast<std::uint16_t>(ReadLe(r + 4, 2)),
                static_cast<std::int32_t>(ReadLe(r + 6, 4)),
                static_cast<std::int32_t>(ReadLe(r + 10, 4)),
                static_cast<std::uint16_t>(ReadLe(r + 14, 2))};
}

// Number of whole records after the header.
inline std::size_t RecordCount(std::span<const std::uint8_t> data) {
  return data.size() < HEADER_SIZE ? 0 : (data.size() - HEADER_SIZE) / RECORD_SIZE;
}

inline void EncodeHeader(std::vector<std::uint8_t>& out, const Header& header) {
  out.push_back(header.flags);
  WriteLe(out, static_cast<std::uint16_t>(header.screenX), 2);
  WriteLe(out, static_cast<std::uint16_t>(header.screenY), 2);
}

inline void EncodeRecord(std::vector<std::uint8_t>& out, const Record& record) {
  out.push_back(record.kind);
  out.push_back(record.button);
  out.push_back(record.mask);
  out.push_back(record.windowEvent);
  WriteLe(out, record.keyMods, 2);
  WriteLe(out, static_cast<std::uint32_t>(record.x), 4);
  WriteLe(out, static_cast<std::uint32_t>(record.y), 4);
  WriteLe(out, record.timeStep, 2);
}

}  // namespace fuzz_input
