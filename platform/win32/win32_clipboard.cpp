// The clipboard on Windows, filled with plain text.
#include "platform/clipboard.h"

#include <windows.h>

#include <cstring>

static_assert((GMEM_MOVEABLE | GMEM_DDESHARE) == 0x2002, "a movable, shareable block");

void copy_to_clipboard(const std::string& text) {
  if (!OpenClipboard(nullptr)) return;
  // GMEM_MOVEABLE | GMEM_DDESHARE: a block the clipboard can take over.
  const HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, text.size() + 1);
  void* memory = block != nullptr ? GlobalLock(block) : nullptr;
  if (memory == nullptr) {
    if (block != nullptr) GlobalFree(block);
    CloseClipboard();
    return;
  }
  std::memcpy(memory, text.c_str(), text.size() + 1);
  GlobalUnlock(block);
  EmptyClipboard();
  // Once handed over, the block belongs to the clipboard.
  if (SetClipboardData(CF_TEXT, block) == nullptr) GlobalFree(block);
  CloseClipboard();
}
