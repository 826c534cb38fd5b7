#include "platform/win32/code_page.h"

#include <windows.h>

#include "util/text_encoding.h"

namespace sccevtmon {

void useSystemCodePage() {
  CPINFO info;
  if (!GetCPInfo(CP_ACP, &info) || info.MaxCharSize != 1) return;
  CodePage page;
  page.number = static_cast<int>(GetACP());
  for (int b = 0; b < 256; ++b) {
    char byte = static_cast<char>(b);
    wchar_t character = 0;
    // Without MB_ERR_INVALID_CHARS: a byte the code page leaves undefined reads as the
    // system reads it everywhere else.
    if (MultiByteToWideChar(CP_ACP, 0, &byte, 1, &character, 1) == 1) {
      page.characters[b] = character;
    } else {
      page.characters[b] = static_cast<char32_t>(b);
    }
  }
  useCodePage(page);
}

}  // namespace sccevtmon
