#include "platform/posix/posix_paths.h"

namespace {

bool is_ascii_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

std::string native_path(const std::string& logical) {
  std::string rest = logical;
  std::string path;
  if (rest.size() >= 2 && is_ascii_letter(rest[0]) && rest[1] == ':') {
    rest.erase(0, 2);
    path = ".";
    // "C:bench" names bench in the current directory, as "C:\bench" does.
    if (!rest.empty() && rest[0] != '\\' && rest[0] != '/') path += '/';
  }
  for (char c : rest) path += (c == '\\') ? '/' : c;
  return path;
}
