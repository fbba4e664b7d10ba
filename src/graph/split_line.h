// Tokenizer of the instance reader.
//
// splitLine appends to `tokens` the pieces of `line` between successive
// occurrences of `delimiter` (not empty), then the rest of the line: d
// occurrences give exactly d + 1 tokens, empty ones included. On return
// `line` holds only its last piece. Linear in the length of the line.
#pragma once

#include <string>
#include <vector>

namespace tintara {

void splitLine(std::string& line, std::string delimiter, std::vector<std::string>& tokens);

}  // namespace tintara
