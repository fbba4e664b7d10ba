#include "graph/split_line.h"

#include <cstring>

namespace tintara {

namespace {

// Large enough that a million-line file takes a few hundred reads; the
// stream's own buffer is passed over for reads this size.
constexpr std::size_t kBlockSize = 1 << 16;

constexpr int64_t kInt32Magnitude = int64_t{1} << 31;  // the magnitude of INT32_MIN

}  // namespace

std::string Token::shown() const {
  std::string text;
  for (std::size_t i = 0; i < headLength; ++i) {
    const auto c = static_cast<unsigned char>(head[i]);
    if (c == '\r') {
      text += "\\r";
    } else if (c < 0x20 || c == 0x7f) {
      const char* digits = "0123456789abcdef";
      text += {'\\', 'x', digits[c >> 4], digits[c & 15]};
    } else {
      text += static_cast<char>(c);
    }
  }
  if (length > static_cast<int64_t>(headLength)) {
    text += "... (" + std::to_string(length) + " characters)";
  }
  return text;
}

LineSplitter::LineSplitter(std::istream& in) : in(in), block(kBlockSize) {
  pos = end = block.data();
}

bool LineSplitter::fill() {
  const auto kept = static_cast<std::size_t>(end - pos);
  std::memmove(block.data(), pos, kept);
  const std::streamsize got =
      in.rdbuf()->sgetn(block.data() + kept, static_cast<std::streamsize>(block.size() - kept));
  pos = block.data();
  end = pos + kept + (got > 0 ? got : 0);
  return got > 0;
}

bool LineSplitter::finalReturn() {
  if (end - pos < 2) fill();
  return end - pos < 2 || pos[1] == '\n';
}

bool LineSplitter::nextLine() {
  if (line > 0) {
    for (;;) {
      const void* feed = std::memchr(pos, '\n', static_cast<std::size_t>(end - pos));
      if (feed) {
        pos = static_cast<const char*>(feed) + 1;
        break;
      }
      pos = end;
      if (!fill()) return false;
    }
  }
  ++line;
  if (pos == end && !fill()) {
    --line;
    return false;
  }
  if (line == 1) {
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    while (end - pos < 3 && fill()) {
    }
    if (std::string_view(pos, static_cast<std::size_t>(end - pos)).starts_with(kByteOrderMark)) {
      pos += kByteOrderMark.size();
    }
  }
  return true;
}

bool LineSplitter::nextToken(Token& token) {
  for (;;) {
    if (pos == end && !fill()) return false;
    const char c = *pos;
    if (c == '\n' || (c == '\r' && finalReturn())) return false;
    if (c != ' ' && c != '\t') break;
    ++pos;
  }

  token.headLength = 0;
  token.length = 0;
  // The number is read as the bytes go by: a sign only first, then digits;
  // the magnitude stops growing once beyond 32 bits.
  bool negative = false;
  bool digitsOnly = true;
  int64_t digits = 0;
  int64_t magnitude = 0;
  for (;;) {
    if (pos == end && !fill()) break;
    const char c = *pos;
    if (c == ' ' || c == '\t' || c == '\n' || (c == '\r' && finalReturn())) break;
    if (token.headLength < Token::kHeadLength) token.head[token.headLength++] = c;
    if (c >= '0' && c <= '9') {
      ++digits;
      if (magnitude <= kInt32Magnitude) magnitude = magnitude * 10 + (c - '0');
    } else if ((c == '-' || c == '+') && token.length == 0) {
      negative = c == '-';
    } else {
      digitsOnly = false;
    }
    ++token.length;
    ++pos;
  }
  token.whole = digitsOnly && digits > 0;
  token.fits = token.whole && magnitude <= (negative ? kInt32Magnitude : kInt32Magnitude - 1);
  token.value = token.fits ? static_cast<int32_t>(negative ? -magnitude : magnitude) : 0;
  return true;
}

}  // namespace tintara
