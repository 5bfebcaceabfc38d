#include "kept_values.h"

#include "evaluation.h"
#include "formulas.h"
#include "platform.h"

namespace messwerte {

KeptValues::KeptValues() = default;
KeptValues::~KeptValues() = default;

void KeptValues::Free::operator()(long double* chunk) const noexcept {
  platform::FreeAligned(chunk, kChunkAlignment);
}

KeptValues& KeptValues::Follow(Form& form) {
  const std::uint64_t revision = form.Memo1.Revision();
  if (revision != revision_ || form.Dezimaltrenner != separator_) {
    revision_ = revision;
    separator_ = form.Dezimaltrenner;
    count_ = 0;  // the chunks stay: allocating them anew costs page faults
    first_empty_ = -1;
  }
  return *this;
}

// Converts and keeps the lines before `end` not kept yet, up to the first empty line; returns
// `end` or the empty line.
int KeptValues::Keep(Form& form, int end) {
  while (count_ < static_cast<std::size_t>(end)) {
    if (first_empty_ >= 0) return first_empty_;  // known: no need to read it again
    const int k = static_cast<int>(count_);
    const std::string_view text = form.Memo1.ReadLine(k);
    if (text.empty()) {
      first_empty_ = k;
      return k;
    }
    Append(ToValue(text, k, form.Dezimaltrenner));
  }
  return end;
}

void KeptValues::Append(long double value) {
  if (count_ / kChunk == chunks_.size()) {
    // Reserved first, so that a failing allocation leaves no chunk unowned.
    chunks_.reserve(chunks_.size() + 1);
    chunks_.emplace_back(
        static_cast<long double*>(platform::AllocateAligned(kChunkBytes, kChunkAlignment)));
    platform::AdviseHugePages(chunks_.back().get(), kChunkBytes);
  }
  chunks_[count_ / kChunk][count_ % kChunk] = value;
  ++count_;
}

}  // namespace messwerte
