// The clear text of a password field, kept beside the field's window.
//
// The window shows the clear text masked: one mask character for each UTF-16
// unit at or above 0x20, the units below (tabs, breaks) as themselves. The
// clear text therefore has the window's length, and a position in one is the
// same position in the other. Edits never leave half a surrogate pair: a
// range that would split a pair is widened to take all of it.
//
// Portable: no platform header.
#pragma once
#include <cstddef>
#include <string>

struct TextRange {
  size_t start = 0;
  size_t end = 0;  // one past the last unit; start <= end
  bool empty() const { return start == end; }
};

class PasswordText {
 public:
  const std::u16string& Text() const { return text_; }
  void Assign(std::u16string text) { text_ = std::move(text); }

  // What the window shows for the clear text, and for any units.
  std::u16string Masked(char16_t mask) const { return Mask(text_, mask); }
  static std::u16string Mask(std::u16string units, char16_t mask);
  // The range, put in order, limited to the text and widened so that it
  // splits no surrogate pair.
  TextRange Whole(size_t start, size_t end) const;
  // The character before the caret (Backspace) and at the caret (Delete):
  // one unit, or both units of a pair; empty at the text's ends.
  TextRange CharacterBefore(size_t caret) const;
  TextRange CharacterAt(size_t caret) const;
  // Replaces the units of the range (Whole first) with the text.
  void Replace(TextRange range, const std::u16string& with);

 private:
  std::u16string text_;
};
