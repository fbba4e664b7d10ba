// Tokenizer of the instance reader: cuts a stream into lines and each line
// into tokens.
//
// A line ends at a line feed or at the end of the input; a carriage return
// right before either is dropped, and a UTF-8 byte-order mark before the
// first line is skipped. Tokens are separated by runs of blanks and tabs;
// blanks and tabs at either end of a line are ignored.
//
// The stream is read in blocks of fixed size, and a token is kept only as
// its first bytes, its length and its value as a whole number. So no line is
// ever held whole: a line of any length costs the same memory, and the rest
// of a line nobody asks tokens of (a comment, say) is skipped without being
// split. Reading errors of the stream's buffer (std::ios_base::failure from
// a file stream) pass through to the caller.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

namespace tintara {

struct Token {
  static constexpr std::size_t kHeadLength = 24;
  std::array<char, kHeadLength> head{};  // the first bytes of the token
  std::size_t headLength = 0;
  int64_t length = 0;  // the whole token's length in bytes
  // A whole decimal integer: an optional sign, then digits and nothing else.
  bool whole = false;
  // Whole and within a 32-bit int; value holds it then.
  bool fits = false;
  int32_t value = 0;

  bool is(std::string_view word) const {
    return static_cast<std::size_t>(length) == word.size() &&
           std::string_view(head.data(), headLength) == word;
  }
  // The token as an error message shows it: control characters written as
  // escapes (a stray carriage return would send the terminal's cursor back
  // over the message) and a long token cut short, so that the message stays
  // one readable line whatever the file holds.
  std::string shown() const;
};

class LineSplitter {
 public:
  explicit LineSplitter(std::istream& in);

  // Moves to the start of the next line, passing over what is left of the
  // current one. False at the end of the input.
  bool nextLine();
  // The number of the current line, counting from 1 (or of the line being
  // reached, while nextLine reads).
  int64_t lineNumber() const { return line; }
  // Reads the current line's next token into `token`; false when the line
  // has none left.
  bool nextToken(Token& token);

 private:
  // Keeps the unread bytes, appends the next block of the stream; false
  // when the stream has nothing more.
  bool fill();
  // Whether the carriage return at `pos` ends the line.
  bool finalReturn();

  std::istream& in;
  std::vector<char> block;
  const char* pos = nullptr;
  const char* end = nullptr;
  int64_t line = 0;
};

}  // namespace tintara
