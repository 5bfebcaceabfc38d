#pragma once

#include <cstddef>

namespace messwerte {

// Asks the system to back a large buffer, not yet written, with huge pages: a million lines
// otherwise cost thousands of page faults. Only advice; nothing changes where it is not followed.
void AdviseHugePages(const void* data, std::size_t bytes);

}  // namespace messwerte
