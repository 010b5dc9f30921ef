// Test helper: prints the clipboard's plain text byte for byte, or empties
// the clipboard when called with "--empty". Exit codes: 0 done, 2 the
// clipboard cannot be opened, 3 it holds no text.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  if (!OpenClipboard(nullptr)) return 2;
  if (argc > 1 && std::strcmp(argv[1], "--empty") == 0) {
    const bool emptied = EmptyClipboard() != 0;
    CloseClipboard();
    return emptied ? 0 : 2;
  }
  const HANDLE data = GetClipboardData(CF_TEXT);
  const char* text = data != nullptr ? static_cast<const char*>(GlobalLock(data)) : nullptr;
  if (text == nullptr) {
    CloseClipboard();
    return 3;
  }
  _setmode(_fileno(stdout), _O_BINARY);  // the text's own line ends, untranslated
  std::fwrite(text, 1, std::strlen(text), stdout);
  GlobalUnlock(data);
  CloseClipboard();
  return 0;
}
