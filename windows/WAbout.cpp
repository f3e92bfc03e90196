#include "windows/WAbout.h"

#include <cstdint>
#include <cstring>

#include "app/WMain.h"
#include "common/NBF.h"
#include "common/NCommon.h"
#include "common/NGdi.h"
#include "controls/NIBtn.h"
#include "controls/NURL.h"

static constexpr char AboutClassName[] = "TovaneAboutWndClass";
static constexpr char AboutTitle[] = "About Tovane";
static constexpr DWORD AboutExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
static constexpr DWORD AboutStyle = WS_CAPTION | WS_SYSMENU;
static constexpr UINT RemovedSystemCommands[] = {SC_RESTORE, SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE};

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

// ---- Layout, in pixels at 96 dots per inch until SetupAboutWindow scales it -----------------

struct AboutLayout {
    RECT Frames[2];
    IntPair Icon;
    IntPair Fields[FieldCount]; // the last one is the link's top-left corner
    WindowBox Close;
};

static constexpr WindowBox InitialPlace = {500, 100, 380, 155};
static constexpr AboutLayout BaseLayout = {
    {{5, 5, 161, 95}, {167, 5, 370, 95}},
    {16, 11},
    {{54, 8}, {83, 38}, {83, 57}, {83, 75}, {268, 9}, {268, 40}, {180, 74}},
    {295, 101, 75, 25},
};

static WindowBox AboutPlace = InitialPlace;
static AboutLayout Layout = BaseLayout;
static bool AboutReady = false;
static HFONT AboutLinkFont = nullptr;
static HWND AboutLink = nullptr;
static HWND AboutCloseButton = nullptr;

static void ScaleRect(RECT& r) {
    WindowBox box = {r.left, r.top, r.right, r.bottom};
    ScaleBox(box, box);
    r = {box.Left, box.Top, box.Width, box.Height};
}

static void ScaleLayout() {
    IntPair size = {AboutPlace.Width, AboutPlace.Height};
    ScalePoint(size, size);
    AboutPlace.Width = size.X;
    AboutPlace.Height = size.Y;
    for (RECT& frame : Layout.Frames)
        ScaleRect(frame);
    ScalePoint(Layout.Icon, Layout.Icon);
    for (IntPair& point : Layout.Fields)
        ScalePoint(point, point);
    ScaleBox(Layout.Close, Layout.Close);
}

void SetupAboutWindow() {
    // Deciphering is in place: a second run would scramble the texts again.
    if (AboutReady) return;
    AboutReady = true;

    RegisterProgramClass(AboutClassName, AboutProc);

    CipherKey = ProgramKey;
    for (const FieldStyle& field : Fields)
        Decipher(AboutTexts + field.Offset, AboutTexts + field.Offset, field.Bytes);
    // The link is drawn and opened up to its terminator: never run past the field.
    AboutTexts[AboutTextsSize - 1] = 0;

    if (DpiScaling) ScaleLayout();
}

// ---- Creation -------------------------------------------------------------------------------

static HFONT CreateFieldFont(const FieldStyle& style) {
    return CreateFontA(-style.Height, 0, 0, 0, style.Weight, style.Italic, style.Underline, FALSE,
                       ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, PROOF_QUALITY,
                       style.PitchAndFamily, style.Face);
}

HWND CreateAboutWindow() {
    if (!AboutMoved) AlignToOwner(MainWindow, AboutPlace);
    ClampToWorkArea(AboutPlace);
    HWND window =
        CreateWindowExA(AboutExStyle, AboutClassName, AboutTitle, AboutStyle, AboutPlace.Left,
                        AboutPlace.Top, AboutPlace.Width, AboutPlace.Height, MainWindow, nullptr,
                        GetModuleHandleA(nullptr), nullptr);
    if (!window) return nullptr;

    HMENU menu = GetSystemMenu(window, FALSE);
    for (UINT command : RemovedSystemCommands)
        DeleteMenu(menu, command, MF_BYCOMMAND);

    AboutLinkFont = CreateFieldFont(Fields[LinkField]);
    const IntPair& link = Layout.Fields[LinkField];
    AboutLink =
        CreateLinkControl(window, link.X, link.Y, FieldText(LinkField), AboutLinkFont, Teal);
    const WindowBox& close = Layout.Close;
    AboutCloseButton = CreateImageButton(window, CloseId, CloseCaption, close.Left, close.Top,
                                         close.Width, close.Height, ImageButtonStyle, GuiFont);
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
    RECT r;
    GetWindowRect(window, &r);
    AboutPlace = {r.left, r.top, r.right - r.left, r.bottom - r.top};
    if (AboutLinkFont) DeleteObject(AboutLinkFont);
    AboutLinkFont = nullptr;
    AboutLink = AboutCloseButton = nullptr;
}

// The button paths end the modal loop first, then destroy the window.
static void CloseWith(HWND window, int result) {
    EndModal(result, MainWindow);
    DestroyWindow(window);
}

static void OnKeyDown(HWND window, WPARAM key) {
    switch (key) {
    case VK_TAB: SetFocus(GetFocus() == AboutCloseButton ? AboutLink : AboutCloseButton); break;
    case VK_RETURN: CloseWith(window, ModalOk); break;
    case VK_ESCAPE: CloseWith(window, ModalCancel); break;
    }
}

LRESULT CALLBACK AboutProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DESTROY: OnDestroy(window); return 0;
    case WM_MOVE: AboutMoved = true; return 0;
    case WM_PAINT: OnPaint(window); return 0;
    case WM_CLOSE:
        DestroyWindow(window);
        EndModal(ModalCancel, MainWindow);
        return 0;
    case WM_DRAWITEM:
        if (wParam == CloseId) DrawImageButton(reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
        return 0;
    case WM_KEYDOWN: OnKeyDown(window, wParam); return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) != CloseId) break;
        CloseWith(window, ModalOk);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
