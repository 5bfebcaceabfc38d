#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <new>
#include <string_view>
#include <vector>

// A line's text as the list keeps it: eight bytes where a view takes sixteen. A measurement
// file's lines are mostly shorter than a view, so with views the list would weigh more than its
// text. The address and the length share one word; a line of 64 KiB or more points to a view
// kept apart by `LongViews`, which alone makes such references.
class LineRef {
 public:
  LineRef() = default;

  std::string_view view() const {
    const char* const at = reinterpret_cast<const char*>(bits_ & kAddress);
    const std::size_t size = bits_ >> kShift;
    if (size != kLong) return {at, size};
    return *reinterpret_cast<const std::string_view*>(at);
  }
  operator std::string_view() const { return view(); }
  const char* data() const { return view().data(); }
  std::size_t size() const { return view().size(); }
  bool empty() const { return size() == 0; }

 private:
  friend class LongViews;
  static constexpr int kShift = 48;
  static constexpr std::uint64_t kAddress = (std::uint64_t{1} << kShift) - 1;
  static constexpr std::size_t kLong = 0xFFFF;

  static bool Fits(const void* at) {
    return (reinterpret_cast<std::uintptr_t>(at) & ~kAddress) == 0;
  }

  std::uint64_t bits_ = 0;
};

static_assert(sizeof(LineRef) == 8 && sizeof(void*) == 8);

// The views of long lines that references point to. Views that no reference needs any more
// are found by marking those that one does and sweeping the others.
class LongViews {
 public:
  LineRef Make(std::string_view view) {
    LineRef ref;
    if (view.size() < LineRef::kLong && LineRef::Fits(view.data())) {
      ref.bits_ = reinterpret_cast<std::uintptr_t>(view.data()) |
                  (std::uint64_t{view.size()} << LineRef::kShift);
      return ref;
    }
    Long* kept;
    if (free_.empty()) {
      kept = &views_.emplace_back();
    } else {
      kept = free_.back();
      free_.pop_back();
    }
    kept->view = view;
    // An address beyond 48 bits is not seen from user space on the systems this runs on.
    if (!LineRef::Fits(kept)) throw std::bad_alloc();
    ref.bits_ =
        reinterpret_cast<std::uintptr_t>(kept) | (std::uint64_t{LineRef::kLong} << LineRef::kShift);
    return ref;
  }

  // Points `ref` at `view`; a long view of it is changed where it is kept, so `ref` must be the
  // only reference to it.
  void Renew(LineRef& ref, std::string_view view) {
    if (Long* kept = Of(ref); kept && view.size() >= LineRef::kLong) {
      kept->view = view;
      return;
    }
    ref = Make(view);
  }

  void Mark(LineRef ref) {
    if (Long* kept = Of(ref)) kept->viewed = true;
  }
  // Frees the views not marked since the last sweep.
  void Sweep() {
    free_.clear();
    for (Long& kept : views_) {
      if (!kept.viewed) free_.push_back(&kept);
      kept.viewed = false;
    }
  }

 private:
  struct Long {
    std::string_view view;  // first: a reference reads it through the address of the whole
    bool viewed = false;
  };
  static Long* Of(LineRef ref) {
    if ((ref.bits_ >> LineRef::kShift) != LineRef::kLong) return nullptr;
    return reinterpret_cast<Long*>(ref.bits_ & LineRef::kAddress);
  }

  std::deque<Long> views_;
  std::vector<Long*> free_;
};
