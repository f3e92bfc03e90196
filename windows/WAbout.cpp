#include "windows/WAbout.h"

#include <cstdint>
#include <cstring>

#include "common/NBF.h"
#include "common/NCommon.h"
#include "common/NGdi.h"
#include "controls/NIBtn.h"
#include "controls/NURL.h"
#include "windows/NSecondary.h"

static constexpr char AboutClassName[] = "TovaneAboutWndClass";
static constexpr char AboutTitle[] = "About Tovane";

static constexpr uint16_t CloseId = 1;
static constexpr char CloseCaption[] = "Close";
static constexpr COLORREF Navy = RGB(0, 0, 128);
static constexpr COLORREF Teal = RGB(0, 128, 128);

// ---- Texts --------------------------------------------------------------------------------

struct FieldStyle {
    uint16_t Offset; // into AboutTexts
    uint16_t Bytes;  // stored, a whole number of cipher blocks
    int Shown;       // characters drawn; the link draws up to its terminator
    const char* Face;
    int Height; // character height in pixels, never scaled
    int Weight;
    bool Italic;
    bool Underline;
    BYTE PitchAndFamily;
};

static constexpr int FieldCount = 7;
static constexpr int LinkField = 6;
static constexpr FieldStyle Fields[FieldCount] = {
    {0, 8, 6, "MS Sans Serif", 32, FW_BOLD, false, false, FF_SWISS},
    {8, 16, 8, "MS Sans Serif", 16, FW_BOLD, false, false, FF_SWISS},
    {24, 16, 11, "MS Sans Serif", 13, FW_NORMAL, false, false, FF_SWISS},
    {40, 32, 26, "MS Sans Serif", 5, FW_NORMAL, false, false, FF_SWISS},
    {72, 16, 9, "Courier New", 32, FW_NORMAL, true, false, FF_MODERN},
    {88, 16, 8, "Courier New", 32, FW_NORMAL, true, false, FF_MODERN},
    {104, 40, 0, "MS Sans Serif", 11, FW_NORMAL, false, true, FF_SWISS},
};
static constexpr int FirstCentredField = 1;
static constexpr int FirstTealField = 4;
static constexpr size_t AboutTextsSize = 144;
static_assert(Fields[LinkField].Offset + Fields[LinkField].Bytes == AboutTextsSize);

// Enciphered by the build from resources/about.txt; plain text after SetupAboutWindow.
static uint8_t AboutTexts[AboutTextsSize] =
#include "AboutTexts.inc"
    ;

static const char* FieldText(int field) {
    return reinterpret_cast<const char*>(AboutTexts + Fields[field].Offset);
}

// ---- Layout, in pixels at 96 dots per inch, scaled from this base at each set-up -------------

struct AboutLayout {
    IntPair WindowSize;
    RECT Frames[2];
    IntPair Icon;
    IntPair Fields[FieldCount]; // the last one is the link's top-left corner
    WindowBox Close;
};

static constexpr AboutLayout BaseLayout = {
    {380, 155},         {{5, 5, 161, 95}, {167, 5, 370, 95}},
    {16, 11},           {{54, 8}, {83, 38}, {83, 57}, {83, 75}, {268, 9}, {268, 40}, {180, 74}},
    {295, 101, 75, 25},
};

static LRESULT CALLBACK AboutProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
static TSecondaryWindow State = {AboutClassName, AboutProc, {500, 100, 0, 0}};
static AboutLayout Layout = BaseLayout;
static bool AboutReady = false;
static HFONT AboutLinkFont = nullptr;
static HWND AboutLink = nullptr;
static HWND AboutCloseButton = nullptr;

// Tab order, one line a control, round and round.
// clang-format off
static HWND* const TabCycle[] = {
    &AboutLink,
    &AboutCloseButton, // also where Tab starts from outside the cycle
};
// clang-format on

const TSecondaryWindow& AboutWindowState() {
    return State;
}

void SetupAboutWindow() {
    SetupSecondary(State, BaseLayout, Layout);

    // Deciphering is in place: a second run would scramble the texts again.
    if (AboutReady) return;
    AboutReady = true;
    CipherKey = ProgramKey;
    for (const FieldStyle& field : Fields)
        Decipher(AboutTexts + field.Offset, AboutTexts + field.Offset, field.Bytes);
    // The link is drawn and opened up to its terminator: never run past the field.
    AboutTexts[AboutTextsSize - 1] = 0;
}

// ---- Creation -------------------------------------------------------------------------------

static HFONT CreateFieldFont(const FieldStyle& style) {
    return CreateFontA(-style.Height, 0, 0, 0, style.Weight, style.Italic, style.Underline, FALSE,
                       ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, PROOF_QUALITY,
                       style.PitchAndFamily, style.Face);
}

HWND CreateAboutWindow(HWND owner) {
    HWND window = CreateSecondary(State, owner, AboutTitle);
    if (!window) return nullptr;

    AboutLinkFont = CreateFieldFont(Fields[LinkField]);
    const IntPair& link = Layout.Fields[LinkField];
    AboutLink =
        CreateLinkControl(window, link.X, link.Y, FieldText(LinkField), AboutLinkFont, Teal);
    AboutCloseButton = CreateImageButton(window, CloseId, CloseCaption, Layout.Close);
    return window;
}

// ---- Window procedure -------------------------------------------------------------------------

namespace {
// Selects one font after another into a DC, deleting each one it replaces; the DC's own font
// goes back at the end.
class FontSequence {
  public:
    explicit FontSequence(HDC dc) : dc_(dc) {}
    ~FontSequence() {
        if (original_) SelectObject(dc_, original_);
        if (current_) DeleteObject(current_);
    }
    FontSequence(const FontSequence&) = delete;
    FontSequence& operator=(const FontSequence&) = delete;
    void Use(HFONT font) {
        HGDIOBJ previous = SelectObject(dc_, font);
        if (!original_) original_ = previous;
        if (current_) DeleteObject(current_);
        current_ = font;
    }

  private:
    HDC dc_;
    HGDIOBJ original_ = nullptr;
    HFONT current_ = nullptr;
};
} // namespace

static bool SameFont(const FieldStyle& a, const FieldStyle& b) {
    return a.Height == b.Height && a.Weight == b.Weight && a.Italic == b.Italic &&
           a.Underline == b.Underline && std::strcmp(a.Face, b.Face) == 0;
}

static void OnPaint(HWND window) {
    PaintGuard paint(window);
    HDC dc = paint.Get();
    RECT client;
    GetClientRect(window, &client);
    FillRect(dc, &client, BtnFaceBrush);
    for (RECT frame : Layout.Frames)
        DrawEdge(dc, &frame, EDGE_ETCHED, BF_RECT);
    DrawIcon(dc, Layout.Icon.X, Layout.Icon.Y, MainIcon);

    SetBkColor(dc, ColorBtnFace);
    SetTextColor(dc, Navy);
    {
        FontSequence fonts(dc);
        for (int i = 0; i < LinkField; ++i) {
            const FieldStyle& style = Fields[i];
            if (i == FirstCentredField) SetTextAlign(dc, TA_CENTER | TA_TOP);
            if (i == FirstTealField) SetTextColor(dc, Teal);
            if (i == 0 || !SameFont(style, Fields[i - 1])) fonts.Use(CreateFieldFont(style));
            const IntPair& at = Layout.Fields[i];
            ExtTextOutA(dc, at.X, at.Y, 0, nullptr, FieldText(i), style.Shown, nullptr);
        }
    }
}

static void OnDestroy(HWND window) {
    SecondaryDestroyed(State, window);
    if (AboutLinkFont) DeleteObject(AboutLinkFont);
    AboutLinkFont = nullptr;
    AboutLink = AboutCloseButton = nullptr;
}

static void OnKeyDown(HWND window, WPARAM key) {
    switch (key) {
    case VK_TAB:
        MoveTabFocus(TabCycle, GetKeyState(VK_SHIFT) < 0, AboutCloseButton, AboutCloseButton);
        break;
    case VK_RETURN: CloseSecondary(window, ModalOk); break;
    case VK_ESCAPE: CloseSecondary(window, ModalCancel); break;
    }
}

static LRESULT CALLBACK AboutProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DESTROY: OnDestroy(window); return 0;
    case WM_MOVE: SecondaryMoved(State); return 0;
    case WM_PAINT: OnPaint(window); return 0;
    case WM_CLOSE: CloseSecondary(window, ModalCancel); return 0;
    case WM_DRAWITEM:
        if (wParam == CloseId) DrawImageButton(reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
        return 0;
    case WM_KEYDOWN: OnKeyDown(window, wParam); return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) != CloseId) break;
        CloseSecondary(window, ModalOk);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
