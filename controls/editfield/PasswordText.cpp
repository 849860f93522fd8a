// The clear text of a password field.
#include "controls/editfield/PasswordText.h"

#include <algorithm>

namespace {

bool IsHigh(char16_t unit) { return unit >= 0xD800 && unit < 0xDC00; }
bool IsLow(char16_t unit) { return unit >= 0xDC00 && unit < 0xE000; }

}  // namespace

std::u16string PasswordText::Mask(std::u16string units, char16_t mask) {
  for (char16_t& unit : units) {
    if (unit >= 0x20) unit = mask;
  }
  return units;
}

TextRange PasswordText::Whole(size_t start, size_t end) const {
  if (start > end) std::swap(start, end);
  start = std::min(start, text_.size());
  end = std::min(end, text_.size());
  // A boundary between the two units of a pair moves outwards.
  auto splitsPair = [&](size_t at) {
    return at > 0 && at < text_.size() && IsHigh(text_[at - 1]) && IsLow(text_[at]);
  };
  if (splitsPair(start)) --start;
  if (splitsPair(end)) ++end;
  return TextRange{start, end};
}

TextRange PasswordText::CharacterBefore(size_t caret) const {
  const size_t at = Whole(caret, caret).start;
  return at == 0 ? TextRange{0, 0} : Whole(at - 1, at);
}

TextRange PasswordText::CharacterAt(size_t caret) const {
  const size_t at = Whole(caret, caret).start;
  return at >= text_.size() ? TextRange{at, at} : Whole(at, at + 1);
}

void PasswordText::Replace(TextRange range, const std::u16string& with) {
  range = Whole(range.start, range.end);
  text_.replace(range.start, range.end - range.start, with);
}
