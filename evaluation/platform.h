#pragma once

// What differs between systems and C libraries, in one place: reading a decimal number whatever
// the process's locale, aligned memory, huge pages. The rest of the core is plain C++.

#include <cstddef>
#include <string_view>

namespace messwerte::platform {

struct Decimal {
  long double value;  // correctly rounded; an infinity where the number exceeds the range
  std::size_t used;   // bytes read from the start of the text, 0 when it starts with no number
};

// Reads the longest number at the start of `text` as strtold does in the C locale ('.' as the
// decimal point), however the process's locale is set.
Decimal ReadDecimal(std::string_view text);

// `bytes` at an address that is a multiple of `alignment`, a power of two. Throws std::bad_alloc.
void* AllocateAligned(std::size_t bytes, std::size_t alignment);
// Gives back a block from AllocateAligned with the same alignment.
void FreeAligned(void* block, std::size_t alignment) noexcept;

// Asks the system to back a large buffer, not yet written, with huge pages: a million lines
// otherwise cost thousands of page faults. Only advice; nothing changes where the system has none.
void AdviseHugePages(const void* data, std::size_t bytes);

// Hands memory that was freed back to the system where the C library keeps it otherwise.
void GiveBackFreedMemory() noexcept;

}  // namespace messwerte::platform
