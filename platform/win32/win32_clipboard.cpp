// The clipboard on Windows, filled with plain text.
#include "platform/clipboard.h"

#include <windows.h>

#include <cstring>

#include "platform/win32/win32_failure.h"

static_assert((GMEM_MOVEABLE | GMEM_DDESHARE) == 0x2002, "a movable, shareable block");

namespace {

ClipboardCopy not_copied(const char* operation) {
  return {false, "", last_error_failure(operation, "clipboard").reason};
}

// Only one program at a time may have the clipboard open, and others (a
// clipboard viewer, a program that just copied) hold it for moments: try
// for about five seconds before giving up.
bool open_clipboard() {
  for (int attempt = 0; attempt < 100; ++attempt) {
    if (OpenClipboard(nullptr)) return true;
    Sleep(50);
  }
  return false;
}

}  // namespace

ClipboardCopy copy_to_clipboard(const std::string& text) {
  if (!open_clipboard()) return not_copied("open");
  // GMEM_MOVEABLE | GMEM_DDESHARE: a block the clipboard can take over.
  const HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, text.size() + 1);
  void* memory = block != nullptr ? GlobalLock(block) : nullptr;
  if (memory == nullptr) {
    const ClipboardCopy failed = not_copied("allocate");
    if (block != nullptr) GlobalFree(block);
    CloseClipboard();
    return failed;
  }
  std::memcpy(memory, text.c_str(), text.size() + 1);
  GlobalUnlock(block);
  EmptyClipboard();
  // Once handed over, the block belongs to the clipboard.
  ClipboardCopy copied{true, "Windows clipboard, as text", ""};
  if (SetClipboardData(CF_TEXT, block) == nullptr) {
    copied = not_copied("set");
    GlobalFree(block);
  }
  CloseClipboard();
  return copied;
}
