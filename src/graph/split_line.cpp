#include "graph/split_line.h"

namespace tintara {

void splitLine(std::string& line, std::string delimiter, std::vector<std::string>& tokens) {
  // Walk a cursor along the line instead of erasing each token from its
  // front, which would copy the rest of the line once per token.
  std::size_t start = 0;
  if (!delimiter.empty()) {
    for (std::size_t hit = line.find(delimiter); hit != std::string::npos;
         hit = line.find(delimiter, start)) {
      tokens.emplace_back(line, start, hit - start);
      start = hit + delimiter.size();
    }
  }
  line.erase(0, start);
  tokens.push_back(line);
}

}  // namespace tintara
