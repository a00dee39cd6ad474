#include "cli/TagOptions.h"

bool ParseTagOptions(const std::vector<std::string>& options, std::vector<TagEdit>& edits, std::string& error) {
  edits.clear();
  for (const std::string& o : options) {
    TagEdit e;
    if (!ParseTagEdit(o, e, error)) return false;
    edits.push_back(e);
  }
  return true;
}

std::vector<TagEdit> NumberedEdits(const std::vector<TagEdit>& edits, int n) {
  std::vector<TagEdit> out = edits;
  const std::string number = std::to_string(n);
  for (TagEdit& e : out)
    for (std::size_t at = 0; (at = e.Value.find("{n}", at)) != std::string::npos; at += number.size())
      e.Value.replace(at, 3, number);
  return out;
}
