// The faces the windows ask for, as the system resolves them: every layout test measures text in
// these, so a machine that substitutes a wider face would pass or fail them for the wrong reason.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/NCommon.h"
#include "common/NGdi.h"

namespace {

struct Resolved {
    std::string Face;   // GetTextFaceA: the name the DC reports
    std::string Family; // the font file's own family name; empty for a bitmap font
    SIZE Extent = {};   // of the sample text
};

constexpr char Sample[] = "Shrink when connected.";

Resolved Resolve(HFONT font) {
    Resolved r;
    WindowDC screen(nullptr);
    SelectGuard selected(screen.Get(), font);
    HDC dc = screen.Get();
    char face[LF_FACESIZE] = {};
    GetTextFaceA(dc, sizeof face, face);
    r.Face = face;
    UINT size = GetOutlineTextMetricsA(dc, 0, nullptr);
    if (size) {
        std::vector<char> buffer(size);
        auto* otm = reinterpret_cast<OUTLINETEXTMETRICA*>(buffer.data());
        if (GetOutlineTextMetricsA(dc, size, otm))
            r.Family = buffer.data() + reinterpret_cast<size_t>(otm->otmpFamilyName);
    }
    GetTextExtentPoint32A(dc, Sample, sizeof Sample - 1, &r.Extent);
    return r;
}

Resolved Resolve(const char* face, int height, BYTE charset = ANSI_CHARSET) {
    HFONT font = CreateFontA(-height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, charset,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, PROOF_QUALITY, 0, face);
    Resolved r = Resolve(font);
    DeleteObject(font);
    return r;
}

class Fonts : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { InitShared(); }
    static void TearDownTestSuite() { DoneShared(); }
};

// Faces found under their own names: the about window's, Wine's caption glyphs and its
// dialog face. A bitmap face has no family name of its own in the file.
TEST_F(Fonts, RequestedFacesAreFoundUnderTheirOwnNames) {
    Resolved sans = Resolve("MS Sans Serif", 11);
    EXPECT_EQ("MS Sans Serif", sans.Face);
    EXPECT_EQ("", sans.Family) << "expected the bitmap face";
    Resolved marlett = Resolve("Marlett", 13, SYMBOL_CHARSET);
    EXPECT_EQ("Marlett", marlett.Face);
    EXPECT_EQ("Marlett", marlett.Family);
    Resolved tahoma = Resolve("Tahoma", 11);
    EXPECT_EQ("Tahoma", tahoma.Face);
    EXPECT_EQ("Tahoma", tahoma.Family);
}

// "Courier New" keeps its name; where the system lacks it the file is Liberation Mono, whose
// advance widths are the same.
TEST_F(Fonts, CourierNewIsItselfOrItsMetricTwin) {
    Resolved courier = Resolve("Courier New", 32);
    EXPECT_EQ("Courier New", courier.Face);
    EXPECT_TRUE(courier.Family == "Courier New" || courier.Family == "Liberation Mono")
        << courier.Family;
    // 0.6 em per character, rounded per glyph.
    EXPECT_EQ(19 * static_cast<LONG>(sizeof Sample - 1), courier.Extent.cx);
}

// The stock GUI font every control uses is "MS Shell Dlg", which must measure like MS Sans
// Serif of the same height, as on Windows: the window layouts were made for it.
TEST_F(Fonts, GuiFontMeasuresLikeMsSansSerif) {
    LOGFONTA lf = {};
    ASSERT_TRUE(GetObjectA(GuiFont, sizeof lf, &lf));
    EXPECT_STREQ("MS Shell Dlg", lf.lfFaceName);
    Resolved gui = Resolve(GuiFont);
    Resolved sans = Resolve("MS Sans Serif", -lf.lfHeight);
    EXPECT_EQ("", gui.Family) << "resolved to the outline face " << gui.Family;
    EXPECT_EQ(sans.Extent.cx, gui.Extent.cx);
    EXPECT_EQ(sans.Extent.cy, gui.Extent.cy);
}

} // namespace
