#include "app/NLogCopy.h"

#include <cstdlib>
#include <cstring>

#include "app/NStatusLog.h"
#include "app/WStatus.h"

static constexpr char CrLf[] = "\r\n";
static constexpr UINT LogMenuFlags = TPM_LEFTALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD;
static constexpr int KeyboardMenuInset = 4; // pixels from the strip's corner

// Owns a global memory block until it is handed to the clipboard.
class GlobalBlock {
  public:
    explicit GlobalBlock(size_t bytes) : block_(GlobalAlloc(GMEM_MOVEABLE, bytes)) {}
    ~GlobalBlock() {
        if (block_) GlobalFree(block_);
    }
    GlobalBlock(const GlobalBlock&) = delete;
    GlobalBlock& operator=(const GlobalBlock&) = delete;
    HGLOBAL Get() const { return block_; }
    HGLOBAL Release() {
        HGLOBAL block = block_;
        block_ = nullptr;
        return block;
    }

  private:
    HGLOBAL block_;
};

// The clipboard converts CF_TEXT to Unicode with CF_LOCALE's ANSI code page; left to itself it
// takes the keyboard layout's, which need not be the one the text is in.
static LCID TextLocale() {
    LCID user = GetUserDefaultLCID();
    char page[8] = {};
    GetLocaleInfoA(user, LOCALE_IDEFAULTANSICODEPAGE, page, sizeof page);
    return static_cast<UINT>(std::atoi(page)) == GetACP() ? user : GetSystemDefaultLCID();
}

// Fills a new block with the lines; the size is counted first, so the text is copied once.
static HGLOBAL JoinLines(int32_t first, int32_t count) {
    size_t bytes = 1;
    for (int32_t i = 0; i < count; ++i)
        bytes += std::strlen(StatusLineText(first + i)) + (i > 0 ? 2 : 0);
    GlobalBlock block(bytes);
    char* out = block.Get() ? static_cast<char*>(GlobalLock(block.Get())) : nullptr;
    if (!out) return nullptr;
    for (int32_t i = 0; i < count; ++i) {
        if (i > 0) out = static_cast<char*>(std::memcpy(out, CrLf, 2)) + 2;
        const char* text = StatusLineText(first + i);
        const size_t length = std::strlen(text);
        out = static_cast<char*>(std::memcpy(out, text, length)) + length;
    }
    *out = 0;
    GlobalUnlock(block.Get());
    return block.Release();
}

static HGLOBAL LocaleBlock() {
    GlobalBlock block(sizeof(LCID));
    auto* locale = block.Get() ? static_cast<LCID*>(GlobalLock(block.Get())) : nullptr;
    if (!locale) return nullptr;
    *locale = TextLocale();
    GlobalUnlock(block.Get());
    return block.Release();
}

bool CopyStatusLines(HWND owner, int32_t first, int32_t count) {
    const int32_t total = StatusLineCount();
    if (first < 0) first = 0;
    if (count > total - first) count = total - first;
    if (count < 0) count = 0;

    HGLOBAL joined = JoinLines(first, count);
    if (!joined || !OpenClipboard(owner)) {
        if (joined) GlobalFree(joined);
        return false;
    }
    EmptyClipboard();
    // Once set, a block belongs to the clipboard.
    bool copied = SetClipboardData(CF_TEXT, joined) != nullptr;
    if (!copied) GlobalFree(joined);
    if (HGLOBAL locale = copied ? LocaleBlock() : nullptr)
        if (!SetClipboardData(CF_LOCALE, locale)) GlobalFree(locale);
    CloseClipboard();
    return copied;
}

void ShowLogMenu(HWND owner, int x, int y) {
    if (x == -1 && y == -1) {
        POINT corner = {KeyboardMenuInset, KeyboardMenuInset};
        ClientToScreen(StatusStrip, &corner);
        x = corner.x;
        y = corner.y;
    }
    HMENU menu = CreatePopupMenu();
    if (!menu) return;
    const UINT state = StatusLineCount() > 0 ? MF_ENABLED : MF_GRAYED;
    AppendMenuA(menu, MF_STRING | state, CmdCopyLog, "&Copy log");
    AppendMenuA(menu, MF_STRING | state, CmdCopyVisible, "Copy &visible lines");
    const UINT chosen =
        static_cast<UINT>(TrackPopupMenu(menu, LogMenuFlags, x, y, 0, owner, nullptr));
    DestroyMenu(menu);

    bool copied = true;
    if (chosen == CmdCopyLog)
        copied = CopyStatusLines(owner, 0, StatusLineCount());
    else if (chosen == CmdCopyVisible)
        copied = CopyStatusLines(owner, TopLine, VisibleLines);
    if (!copied) MessageBeep(MB_ICONHAND);
}
