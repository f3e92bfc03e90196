#include "app/NStatusLog.h"

#include <cstring>
#include <memory>
#include <new>
#include <vector>

// The texts are packed back to back into large blocks, and a paged index holds one pointer per
// line. A line costs its text, its zero and one pointer; no page or block is ever moved once
// written.
static constexpr size_t TextBlockBytes = 64 * 1024;
static constexpr size_t IndexPageShift = 12;
static constexpr size_t IndexPageLines = size_t(1) << IndexPageShift;

static std::vector<std::unique_ptr<char[]>> TextBlocks;
static size_t TextBlocksBytes = 0; // sum of the blocks' sizes
static char* TextCursor = nullptr; // free space in the newest block
static size_t TextFree = 0;
static std::vector<std::unique_ptr<const char*[]>> IndexPages;
static int32_t LineCount = 0;
static int32_t Widest = 0;

static char* StoreText(const char* text, size_t bytes) {
    if (bytes > TextFree) {
        size_t size = bytes > TextBlockBytes ? bytes : TextBlockBytes;
        TextBlocks.push_back(std::make_unique<char[]>(size));
        TextBlocksBytes += size;
        TextCursor = TextBlocks.back().get();
        TextFree = size;
    }
    char* copy = TextCursor;
    std::memcpy(copy, text, bytes);
    TextCursor += bytes;
    TextFree -= bytes;
    return copy;
}

// Everything that can throw happens before anything is changed; StoreText itself changes
// nothing until its allocations have succeeded.
bool AppendLogLine(const char* text, int32_t width) {
    try {
        size_t slot = static_cast<size_t>(LineCount) & (IndexPageLines - 1);
        std::unique_ptr<const char*[]> page;
        if (slot == 0) {
            page = std::make_unique<const char*[]>(IndexPageLines);
            if (IndexPages.size() == IndexPages.capacity())
                IndexPages.reserve(IndexPages.empty() ? 4 : 2 * IndexPages.size());
        }
        char* copy = StoreText(text, std::strlen(text) + 1);
        if (page) IndexPages.push_back(std::move(page)); // room reserved: cannot throw
        IndexPages.back()[slot] = copy;
        ++LineCount;
        if (width > Widest) Widest = width;
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

int32_t StatusLineCount() {
    return LineCount;
}

const char* StatusLineText(int32_t index) {
    if (index < 0 || index >= LineCount) return nullptr;
    size_t i = static_cast<size_t>(index);
    return IndexPages[i >> IndexPageShift][i & (IndexPageLines - 1)];
}

int32_t StatusLogWidest() {
    return Widest;
}

size_t StatusLogBytes() {
    return TextBlocksBytes + IndexPages.size() * IndexPageLines * sizeof(const char*) +
           IndexPages.capacity() * sizeof(IndexPages[0]) +
           TextBlocks.capacity() * sizeof(TextBlocks[0]);
}

void FreeStatusLog() {
    std::vector<std::unique_ptr<const char*[]>>().swap(IndexPages);
    std::vector<std::unique_ptr<char[]>>().swap(TextBlocks);
    TextBlocksBytes = 0;
    TextCursor = nullptr;
    TextFree = 0;
    LineCount = 0;
    Widest = 0;
}
