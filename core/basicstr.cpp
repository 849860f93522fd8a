// Numbers as text. Digits come from <charconv>, which rounds correctly and
// ignores the C locale, so a number always reads and prints with a '.'.
#include "core/basicstr.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "core/string.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

int RadixOf(char prefix) {
  switch (prefix) {
    case 'h':
    case 'H':
      return 16;
    case 'o':
    case 'O':
      return 8;
    case 'b':
    case 'B':
      return 2;
    default:
      return 0;
  }
}

// "&h1F" and its octal and binary kin, read as an unsigned value.
double ParseRadix(const char* p, const char* end, int radix) {
  double value = 0;
  for (; p < end && DigitValue(*p) < radix; ++p) value = value * radix + DigitValue(*p);
  return value;
}

// Whether a decimal text too large or too small for a double is too large:
// its digits before the point and its exponent say which.
bool Overflows(const char* start, const char* end) {
  int64_t magnitude = 0;
  const char* p = start;
  while (p < end && *p == '0') ++p;
  for (; p < end && IsDigit(*p); ++p) ++magnitude;
  if (magnitude == 0 && p < end && *p == '.')
    for (++p; p < end && *p == '0'; ++p) --magnitude;
  while (p < end && *p != 'e' && *p != 'E') ++p;
  if (p < end) {
    bool negative = ++p < end && *p == '-';
    if (p < end && (*p == '-' || *p == '+')) ++p;
    int64_t exponent = 0;
    for (; p < end && IsDigit(*p); ++p)
      if (exponent < 100000) exponent = exponent * 10 + (*p - '0');
    magnitude += negative ? -exponent : exponent;
  }
  return magnitude > 0;
}

// Digits, an optional fraction and an optional exponent; 0 without digits.
// Beyond a double's range the value is infinite or 0.
double ParseDecimal(const char* p, const char* end) {
  const char* start = p;
  bool digits = false;
  for (; p < end && IsDigit(*p); ++p) digits = true;
  if (p < end && *p == '.')
    for (++p; p < end && IsDigit(*p); ++p) digits = true;
  if (!digits) return 0;
  if (p < end && (*p == 'e' || *p == 'E')) {
    const char* exponent = p + 1;
    if (exponent < end && (*exponent == '+' || *exponent == '-')) ++exponent;
    if (exponent < end && IsDigit(*exponent))
      for (p = exponent; p < end && IsDigit(*p);) ++p;
  }
  double value = 0;
  if (std::from_chars(start, p, value).ec == std::errc::result_out_of_range)
    value = Overflows(start, p) ? HUGE_VAL : 0;
  return value;
}

// The decimal digits of a magnitude in scientific form and its decimal
// exponent: `precision` digits after the first, or as few as read back as the
// same double when precision is negative.
void Scientific(double magnitude, int precision, std::string* digits, int* exponent) {
  // The first digit, the point, `precision` digits and "e-308": a format's
  // placeholders may ask for more digits than a short buffer holds.
  char shortBuffer[64];
  std::vector<char> longBuffer;
  char* buffer = shortBuffer;
  size_t size = sizeof shortBuffer;
  if (precision > int(sizeof shortBuffer) - 16) {
    longBuffer.resize(size_t(precision) + 16);
    buffer = longBuffer.data();
    size = longBuffer.size();
  }
  auto result = precision >= 0 ? std::to_chars(buffer, buffer + size, magnitude,
                                               std::chars_format::scientific, precision)
                               : std::to_chars(buffer, buffer + size, magnitude,
                                               std::chars_format::scientific);
  const char* e = std::find(buffer, result.ptr, 'e');
  digits->clear();
  for (const char* p = buffer; p < e; ++p)
    if (IsDigit(*p)) *digits += *p;
  *exponent = 0;
  const char* exponentText = e + 1 < result.ptr && e[1] == '+' ? e + 2 : e + 1;
  std::from_chars(exponentText, result.ptr, *exponent);
}

// The significant digits of |value| (rounded to `digits`, or as few as read
// back exactly when digits is 0; trailing zeros dropped, at least one) and
// its decimal exponent.
void Digits(double value, int digits, std::string* mantissa, int* exponent) {
  Scientific(std::fabs(value), digits - 1, mantissa, exponent);
  while (mantissa->size() > 1 && mantissa->back() == '0') mantissa->pop_back();
}

std::string FixedText(const std::string& digits, int exponent) {
  std::string whole, fraction;
  if (exponent >= 0) {
    size_t wholeDigits = size_t(exponent) + 1;
    whole = digits.substr(0, wholeDigits);
    if (whole.size() < wholeDigits) whole.append(wholeDigits - whole.size(), '0');
    if (digits.size() > wholeDigits) fraction = digits.substr(wholeDigits);
  } else {
    whole = "0";
    fraction = std::string(size_t(-exponent - 1), '0') + digits;
  }
  return fraction.empty() ? whole : whole + "." + fraction;
}

std::string ExponentText(const std::string& digits, int exponent) {
  std::string text = digits.substr(0, 1);
  if (digits.size() > 1) text += "." + digits.substr(1);
  text += exponent < 0 ? "e-" : "e+";
  return text + std::to_string(exponent < 0 ? -exponent : exponent);
}

std::string NumberText(double value, int32_t digits, int32_t style) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (value == 0) return "0";
  // A double holds no more than 17 significant digits: more asks for the
  // shortest text that reads back as the same value.
  int significant = digits >= 1 && digits < 17 ? digits : 0;
  std::string mantissa;
  int exponent;
  Digits(value, significant, &mantissa, &exponent);
  double magnitude = std::fabs(value);
  bool fixed =
      style == kNumberFixed || (style != kNumberExponent && magnitude >= 1e-5 && magnitude < 1e6);
  std::string text = fixed ? FixedText(mantissa, exponent) : ExponentText(mantissa, exponent);
  return value < 0 ? "-" + text : text;
}

// ---- Format specifiers ------------------------------------------------------

enum class TokenKind {
  kLiteral,
  kSign,
  kWholeDigit,
  kPoint,
  kFractionDigit,
  kExponent,
  kExponentDigit,
  kPercent
};

struct Token {
  TokenKind kind;
  std::string text;         // literal text; the placeholder or sign character; "e"/"E"
  bool plusAlways = false;  // an exponent shown with '+'
};

struct Section {
  std::vector<Token> tokens;
  bool grouping = false;
  int wholeDigits = 0;
  int fractionDigits = 0;
  int exponentZeros = 0;
  int percents = 0;
  bool exponent = false;
  bool hasSign = false;
};

bool IsPlaceholder(char c) { return c == '0' || c == '#'; }

// Cuts a format at the ';' that are not quoted or escaped.
std::vector<std::string> SplitSections(const std::string& format) {
  std::vector<std::string> sections(1);
  bool quoted = false;
  for (size_t i = 0; i < format.size(); ++i) {
    char c = format[i];
    if (c == ';' && !quoted) {
      sections.emplace_back();
      continue;
    }
    sections.back() += c;
    if (c == '"') quoted = !quoted;
    if (c == '\\' && !quoted && i + 1 < format.size()) sections.back() += format[++i];
  }
  return sections;
}

Section ParseSection(const std::string& text) {
  Section section;
  auto literal = [&section](const std::string& chunk) {
    if (!section.tokens.empty() && section.tokens.back().kind == TokenKind::kLiteral)
      section.tokens.back().text += chunk;
    else
      section.tokens.push_back({TokenKind::kLiteral, chunk});
  };
  bool digitSeen = false, pointSeen = false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\\' && i + 1 < text.size()) {
      literal(std::string(1, text[++i]));
    } else if (c == '"') {
      size_t close = text.find('"', i + 1);
      if (close == std::string::npos) close = text.size();
      literal(text.substr(i + 1, close - i - 1));
      i = close;
    } else if (IsPlaceholder(c)) {
      digitSeen = true;
      std::string placeholder(1, c);
      if (section.exponent) {
        section.tokens.push_back({TokenKind::kExponentDigit, placeholder});
        if (c == '0') ++section.exponentZeros;
      } else if (pointSeen) {
        section.tokens.push_back({TokenKind::kFractionDigit, placeholder});
        ++section.fractionDigits;
      } else {
        section.tokens.push_back({TokenKind::kWholeDigit, placeholder});
        ++section.wholeDigits;
      }
    } else if (c == '.' && !pointSeen && !section.exponent) {
      pointSeen = true;
      section.tokens.push_back({TokenKind::kPoint, "."});
    } else if (c == ',' && digitSeen && !pointSeen && !section.exponent) {
      section.grouping = true;
    } else if ((c == '-' || c == '+') && !digitSeen) {
      section.hasSign = true;
      section.tokens.push_back({TokenKind::kSign, std::string(1, c)});
    } else if ((c == 'e' || c == 'E') && digitSeen && !section.exponent && i + 1 < text.size() &&
               (text[i + 1] == '+' || text[i + 1] == '-' || IsPlaceholder(text[i + 1]))) {
      section.exponent = true;
      Token token{TokenKind::kExponent, std::string(1, c)};
      if (text[i + 1] == '+' || text[i + 1] == '-') token.plusAlways = text[++i] == '+';
      section.tokens.push_back(token);
    } else if (c == '%') {
      ++section.percents;
      section.tokens.push_back({TokenKind::kPercent, "%"});
    } else {
      literal(std::string(1, c));
    }
  }
  return section;
}

// The digits a section shows for a magnitude: whole and fraction digits (the
// whole part empty for zero) and the exponent when the section has one.
struct Rendered {
  std::string whole, fraction;
  int exponent = 0;
};

Rendered RenderDigits(const Section& section, double magnitude) {
  Rendered out;
  for (int i = 0; i < section.percents; ++i) magnitude *= 100;
  if (section.exponent) {
    int wholeDigits = section.wholeDigits > 0 ? section.wholeDigits : 0;
    int precision = (wholeDigits > 0 ? wholeDigits - 1 : -1) + section.fractionDigits;
    if (precision < 0) precision = 0;
    std::string digits;
    int exponent;
    Scientific(magnitude, precision, &digits, &exponent);
    if (magnitude == 0) exponent = wholeDigits > 0 ? wholeDigits - 1 : -1;
    size_t split = size_t(wholeDigits);
    out.whole = digits.substr(0, split);
    out.fraction = digits.substr(split < digits.size() ? split : digits.size());
    out.exponent = wholeDigits > 0 ? exponent - (wholeDigits - 1) : exponent + 1;
  } else {
    std::vector<char> buffer(400 + size_t(section.fractionDigits));
    auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), magnitude,
                                std::chars_format::fixed, section.fractionDigits);
    std::string text(buffer.data(), result.ptr);
    size_t point = text.find('.');
    out.whole = text.substr(0, point);
    if (point != std::string::npos) out.fraction = text.substr(point + 1);
  }
  while (out.whole.size() > 0 && out.whole[0] == '0') out.whole.erase(0, 1);
  return out;
}

bool ShowsOnlyZeros(const Rendered& digits) {
  return digits.whole.find_first_not_of('0') == std::string::npos &&
         digits.fraction.find_first_not_of('0') == std::string::npos;
}

// Fraction digits shown: trailing zeros under '#' are dropped.
size_t FractionShown(const Section& section, const std::string& fraction) {
  std::vector<char> placeholders;
  for (const Token& token : section.tokens)
    if (token.kind == TokenKind::kFractionDigit) placeholders.push_back(token.text[0]);
  size_t shown = fraction.size();
  while (shown > 0 && placeholders[shown - 1] == '#' && fraction[shown - 1] == '0') --shown;
  return shown;
}

std::string ExponentDigits(const Section& section, int exponent) {
  std::string digits = std::to_string(exponent < 0 ? -exponent : exponent);
  size_t minimum = section.exponentZeros > 0 ? size_t(section.exponentZeros) : 1;
  if (digits.size() < minimum) digits.insert(0, minimum - digits.size(), '0');
  return digits;
}

// Lays the digits into the section. `sign` is the sign shown: '-', '+' or 0
// for none; signTokens says whether the section's '+'/'-' act as signs.
std::string Render(const Section& section, double magnitude, bool negative, bool signTokens) {
  Rendered digits = RenderDigits(section, magnitude);
  if (ShowsOnlyZeros(digits)) negative = false;
  size_t fractionShown = FractionShown(section, digits.fraction);
  const std::string& whole = digits.whole;
  int placeholders = section.wholeDigits;
  int leading = int(whole.size()) - placeholders;  // digits beyond the placeholders
  std::string out;
  auto putWholeDigit = [&](char digit, int fromRight) {
    out += digit;
    if (section.grouping && fromRight > 0 && fromRight % 3 == 0) out += ',';
  };
  int wholeIndex = 0, fractionIndex = 0;
  for (const Token& token : section.tokens) {
    switch (token.kind) {
      case TokenKind::kLiteral:
      case TokenKind::kPercent:
        out += token.text;
        break;
      case TokenKind::kSign:
        if (!signTokens)
          out += token.text;
        else if (negative)
          out += '-';
        else if (token.text == "+")
          out += '+';
        break;
      case TokenKind::kWholeDigit: {
        if (wholeIndex == 0)
          for (int i = 0; i < leading; ++i)
            putWholeDigit(whole[size_t(i)], int(whole.size()) - 1 - i);
        int fromRight = placeholders - 1 - wholeIndex;
        int index = int(whole.size()) - 1 - fromRight;
        if (index >= 0)
          putWholeDigit(whole[size_t(index)], fromRight);
        else if (token.text == "0")
          putWholeDigit('0', fromRight);
        ++wholeIndex;
        break;
      }
      case TokenKind::kPoint:
        if (fractionShown > 0) out += '.';
        break;
      case TokenKind::kFractionDigit:
        if (size_t(fractionIndex) < fractionShown) out += digits.fraction[size_t(fractionIndex)];
        ++fractionIndex;
        break;
      case TokenKind::kExponent:
        out += token.text;
        if (digits.exponent < 0)
          out += '-';
        else if (token.plusAlways)
          out += '+';
        out += ExponentDigits(section, digits.exponent);
        break;
      case TokenKind::kExponentDigit:
        break;
    }
  }
  if (negative && signTokens && !section.hasSign) out.insert(0, "-");
  return out;
}

std::string FormatText(double value, const std::string& format) {
  if (format.empty() || std::isnan(value) || std::isinf(value))
    return NumberText(value, 15, kNumberGeneral);
  std::vector<std::string> sections = SplitSections(format);
  size_t chosen = 0;
  if (value < 0 && sections.size() > 1) chosen = 1;
  if (value == 0 && sections.size() > 2) chosen = 2;
  if (sections[chosen].empty()) chosen = 0;
  // A section of its own for negative values shows them without a sign.
  bool signTokens = chosen == 0;
  return Render(ParseSection(sections[chosen]), std::fabs(value), value < 0, signTokens);
}

bool AllASCII(const std::string& text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

}  // namespace

extern "C" {

int32_t CStringToInt(const char* text) {
  if (!text) return 0;
  while (IsBlank(*text)) ++text;
  bool negative = *text == '-';
  if (*text == '-' || *text == '+') ++text;
  int64_t value = 0;
  for (; IsDigit(*text); ++text)
    if (value <= int64_t(INT32_MAX) + 1) value = value * 10 + (*text - '0');
  if (negative) value = -value;
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return int32_t(value);
}

double StringVal(const StringRecord* text) {
  std::string bytes =
      StringEncoding(text) == kEncodingUTF16 ? StringToStdUTF8(text) : StringBytes(text);
  const char* p = bytes.data();
  const char* end = p + bytes.size();
  while (p < end && IsBlank(*p)) ++p;
  bool negative = p < end && *p == '-';
  if (p < end && (*p == '-' || *p == '+')) ++p;
  double value;
  if (end - p >= 2 && *p == '&' && RadixOf(p[1]))
    value = ParseRadix(p + 2, end, RadixOf(p[1]));
  else
    value = ParseDecimal(p, end);
  return negative ? -value : value;
}

StringRecord* NumberToString(double value, int32_t digits, int32_t style) {
  return NewString(NumberText(value, digits, style), kEncodingASCII);
}

void FormatNumber(StringRecord** result, double value, const StringRecord* format) {
  std::string text = FormatText(value, StringToStdUTF8(format));
  StringRecord* made = NewString(text, AllASCII(text) ? kEncodingASCII : kEncodingUTF8);
  StringRecordRelease(*result);
  *result = made;
}

}  // extern "C"

#ifdef _WINDOWS_
#error "basicstr is portable: it must not include <windows.h>."
#endif
