// Settings store: Tovane.dat read at start-up and written back, its problem boxes, the safe save,
// and loading every kind of damaged file.
#include <gtest/gtest.h>

#include <cstring>
#include <iostream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "common/NCommon.h"
#include "common/NFile.h"
#include "support/Harness.h"

namespace {

const char Caption[] = "Tovane - Problem";

struct Box {
    std::string Text;
    std::string Caption;
    UINT Style;
    bool FileFree; // Tovane.dat could be opened unshared while the box was up
};
std::vector<Box> Boxes;

int CaptureBox(const char* text, const char* caption, UINT style) {
    HANDLE h = CreateFileA(SettingsFile.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    Boxes.push_back(
        {text ? text : "(null)", caption ? caption : "(null)", style, h != INVALID_HANDLE_VALUE});
    return IDOK;
}

std::string Record(uint8_t simple, uint8_t reconnect, uint8_t shrink, uint8_t onTop,
                   WindowBox box) {
    std::string s = {static_cast<char>(simple), static_cast<char>(reconnect),
                     static_cast<char>(shrink), static_cast<char>(onTop)};
    return s + Int32Bytes(box.Left) + Int32Bytes(box.Top) + Int32Bytes(box.Width) +
           Int32Bytes(box.Height);
}

// A whole file: the record, then the three strings (empty ones stored as absent).
std::string Stored(uint8_t simple, uint8_t reconnect, uint8_t shrink, uint8_t onTop, WindowBox box,
                   const std::string& entry = "", const std::string& user = "",
                   const std::string& password = "") {
    return Record(simple, reconnect, shrink, onTop, box) + StrBytes(entry) + StrBytes(user) +
           StrBytes(password);
}

class SettingsStore : public ::testing::Test {
  protected:
    TempFolder folder;
    std::string oldSettingsFile;
    std::string file;
    std::string temp;

    const IntPair oldDefaultSize = DefaultWindowSize;

    void SetUp() override {
        oldSettingsFile = SettingsFile;
        file = folder.File("Tovane.dat");
        temp = file + ".tmp";
        SettingsFile = file;
        ShowProblemBox = CaptureBox;
        Boxes.clear();
        ClearSettings();
    }
    void TearDown() override {
        ClearSettings();
        ShowProblemBox = MessageBoxProblem;
        SettingsFile = oldSettingsFile;
        DefaultWindowSize = oldDefaultSize;
        SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    static void ClearSettings() {
        static_cast<SettingsRecord&>(Settings) = SettingsRecord{};
        FreeString(Settings.ConnectionName);
        FreeString(Settings.UserName);
        WipeString(Settings.Password);
        WipeString(SessionPassword);
        LoadFailed = false;
    }
    // The settings in memory: the record's bytes, and each string ("(null)" when absent).
    static void ExpectSettings(const std::string& record, const char* entry, const char* user,
                               const char* password) {
        EXPECT_EQ(record, CurrentSettingsBytes().substr(0, sizeof(SettingsRecord)));
        EXPECT_EQ(Text(entry), Text(Settings.ConnectionName));
        EXPECT_EQ(Text(user), Text(Settings.UserName));
        EXPECT_EQ(Text(password), Text(Settings.Password));
    }
    static void ExpectDefaults() {
        EXPECT_TRUE(LoadFailed);
        ExpectSettings(Record(1, 1, 1, 1, {0, 0, DefaultWindowSize.X, DefaultWindowSize.Y}),
                       nullptr, nullptr, nullptr);
    }
    // Exactly one problem box with this text; a corruption box waits until the file is closed.
    static void ExpectBox(const std::string& text) {
        ASSERT_EQ(1u, Boxes.size());
        EXPECT_EQ(Caption, Boxes[0].Caption);
        EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION), Boxes[0].Style);
        EXPECT_EQ(text, Boxes[0].Text);
        EXPECT_TRUE(Boxes[0].FileFree || !text.starts_with(CorruptSettingsText))
            << "a corruption box waits until the file is closed";
    }
    void SetStrings(const char* connection, const char* user, const char* password) {
        ReplaceString(Settings.ConnectionName, NewString(connection));
        ReplaceString(Settings.UserName, NewString(user));
        ReplaceString(Settings.Password, NewString(password));
    }
};

// ---- Load (the loads of telling and of damaged files are in the last test) --------------------

// A file that is read-only, or held open by another program: loaded where the platform lets
// Tovane open it for writing, else the defaults, silently; never replaced by a save, which
// reports the failed move.
TEST_F(SettingsStore, ReadOnlyOrLockedFileIsNeverReplacedAndLoadsOnlyWhereWritable) {
    const std::string bytes = Stored(0, 0, 0, 0, {9, 9, 99, 99}, "E", "U", "P");
    for (bool locked : {false, true}) {
        SCOPED_TRACE(locked ? "locked" : "read-only");
        WriteWholeFile(file, bytes);
        ASSERT_TRUE(locked || SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY));
        HANDLE other = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, other);
        if (!locked) CloseHandle(other);
        // Windows (and Wine for a normal user) refuses the read+write open of a read-only file;
        // Wine run by root opens it.
        HANDLE h = CreateFileA(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        const bool platformRefuses = h == INVALID_HANDLE_VALUE;
        if (!platformRefuses) CloseHandle(h);
        ASSERT_TRUE(platformRefuses || !locked) << "a held file opens for writing";
        SetStrings("stale", "stale", "stale");
        Boxes.clear();
        LoadSettings();
        EXPECT_TRUE(Boxes.empty());
        if (platformRefuses) {
            ExpectDefaults();
        } else {
            EXPECT_FALSE(LoadFailed);
            EXPECT_EQ("P", Text(Settings.Password));
        }

        SetStrings("entry", "user", "secret");
        SaveSettings();
        if (locked) CloseHandle(other);
        // Held open, any code of the platform's own choice.
        const std::string prefix = SaveFailedText + "NFile.Move '" + file + "' Error ";
        ASSERT_EQ(1u, Boxes.size());
        EXPECT_EQ(prefix, Boxes[0].Text.substr(0, prefix.size()));
        if (!locked) ExpectBox(prefix + "5");
        EXPECT_GT(Boxes[0].Text.size(), prefix.size());
        EXPECT_EQ(bytes, ReadWholeFile(file));
        EXPECT_EQ(!locked, (GetFileAttributesA(file.c_str()) & FILE_ATTRIBUTE_READONLY) != 0);
        EXPECT_FALSE(FileExists(temp));
        EXPECT_EQ("secret", Text(Settings.Password));
        SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

// ---- Save ---------------------------------------------------------------------------------------

TEST_F(SettingsStore, SaveWritesTheRecordAndStringsButNeverTheSessionPassword) {
    LoadSettings(); // a first run: the defaults, with the box where the main window ended up
    ASSERT_TRUE(LoadFailed);
    Settings.WindowRect = {371, 301, 282, 165};
    SaveSettings();
    EXPECT_EQ(Stored(1, 1, 1, 1, {371, 301, 282, 165}), ReadWholeFile(file));

    static_cast<SettingsRecord&>(Settings) = {1, 0, 1, 0, {-20, 30, 282, 165}};
    SetStrings("Dial Up", "abc", nullptr);
    SessionPassword = NewString("typed-only-once");
    SaveSettings();
    EXPECT_EQ(Stored(1, 0, 1, 0, {-20, 30, 282, 165}, "Dial Up", "abc"), ReadWholeFile(file));
    EXPECT_EQ("typed-only-once", Text(SessionPassword));
    EXPECT_TRUE(Boxes.empty());
    EXPECT_FALSE(FileExists(temp));
}

// A flag byte of two, as the settings window never stores it, goes out and comes back as it is.
TEST_F(SettingsStore, SaveThenLoadGivesTheSameRecordAndStrings) {
    const std::string record = Record(0, 1, 0, 2, {-1000, 2000000000, 640, 480});
    std::memcpy(static_cast<SettingsRecord*>(&Settings), record.data(), record.size());
    const std::string longName(59999, 'n');
    SetStrings(longName.c_str(), "\x80\xFF user", "pa ss\twd");
    SaveSettings();
    ClearSettings();
    SessionPassword = NewString("session");
    LoadSettings();
    EXPECT_FALSE(LoadFailed);
    EXPECT_TRUE(Boxes.empty());
    ExpectSettings(record, longName.c_str(), "\x80\xFF user", "pa ss\twd");
    EXPECT_EQ("session", Text(SessionPassword)); // loading leaves it alone

    // Empty strings are stored as absent and come back null.
    SetStrings(nullptr, nullptr, nullptr);
    SaveSettings();
    LoadSettings();
    EXPECT_FALSE(LoadFailed);
    ExpectSettings(record, nullptr, nullptr, nullptr);
}

// A save cut short leaves the password in plain text: the next start drops the file. A save
// writes over a stale one and replaces a longer Tovane.dat completely, keeping its attributes.
TEST_F(SettingsStore, StaleTemporaryFileIsDroppedAtLoadAndOverwrittenBySave) {
    WriteWholeFile(temp, "left over by a crash");
    LoadSettings();
    EXPECT_FALSE(FileExists(temp));
    ClearSettings();
    WriteWholeFile(temp, "left over by a crash");
    WriteWholeFile(file, Stored(0, 0, 0, 0, {}, std::string(500, 'z')));
    const DWORD attributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE;
    ASSERT_TRUE(SetFileAttributesA(file.c_str(), attributes));
    SetStrings("e", nullptr, nullptr);
    SaveSettings();
    EXPECT_TRUE(Boxes.empty());
    EXPECT_FALSE(FileExists(temp));
    EXPECT_EQ(Stored(0, 0, 0, 0, {}, "e"), ReadWholeFile(file));
    EXPECT_EQ(attributes, GetFileAttributesA(file.c_str()));
}

// A failing save keeps the previous file byte for byte and the settings in memory untouched.
class FailingSave : public SettingsStore {
  protected:
    const std::string previous =
        Stored(0, 1, 0, 1, {11, 22, 333, 444}, "Old ISP", "olduser", "oldpw");

    void SetUp() override {
        SettingsStore::SetUp();
        WriteWholeFile(file, previous);
        static_cast<SettingsRecord&>(Settings) = {1, 0, 1, 0, {5, 6, 7, 8}};
        SetStrings("New ISP", "newuser", "newpw");
    }
    void ExpectNothingChanged() {
        EXPECT_EQ(previous, ReadWholeFile(file));
        ExpectSettings(Record(1, 0, 1, 0, {5, 6, 7, 8}), "New ISP", "newuser", "newpw");
    }
};

// Where the temporary file cannot be made (a folder in its way, another program holding it, a
// folder that refuses new files), Tovane.dat itself is written in place.
TEST_F(FailingSave, TemporaryFileThatCannotBeMadeFallsBackToWritingInPlace) {
    for (bool held : {false, true}) {
        SCOPED_TRACE(held ? "held open" : "a folder");
        WriteWholeFile(file, previous);
        HANDLE other = held ? CreateFileA(temp.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)
                            : INVALID_HANDLE_VALUE;
        ASSERT_TRUE(held || CreateDirectoryA(temp.c_str(), nullptr));
        SaveSettings();
        EXPECT_TRUE(Boxes.empty());
        EXPECT_EQ(Stored(1, 0, 1, 0, {5, 6, 7, 8}, "New ISP", "newuser", "newpw"),
                  ReadWholeFile(file));
        if (held) CloseHandle(other);
        EXPECT_EQ(!held, (GetFileAttributesA(temp.c_str()) & FILE_ATTRIBUTE_DIRECTORY) != 0);
        held ? DeleteFileA(temp.c_str()) : RemoveDirectoryA(temp.c_str());
    }
    // Where the folder is gone the fallback fails too, and names the file it could not open.
    SettingsFile = folder.File("gone\\Tovane.dat");
    SaveSettings();
    ExpectBox(SaveFailedText + "NFile.Open  '" + SettingsFile + "' Error 3");
    EXPECT_FALSE(FileExists(SettingsFile));
}

TEST_F(FailingSave, ReadOnlyTargetAfterACompleteWriteReportsEveryTime) {
    ASSERT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY));
    SaveSettings();
    ExpectBox(SaveFailedText + "NFile.Move '" + file + "' Error 5");
    EXPECT_FALSE(FileExists(temp)); // written completely, then removed
    SaveSettings();
    EXPECT_EQ(2u, Boxes.size());
    ExpectNothingChanged();
}

// ---- Damaged files of every kind
// ------------------------------------------------------------------

// What a correct reader makes of the bytes: either the values, or the message of the first
// failing step.
struct Expected {
    bool Valid = false;
    std::string Message;
    SettingsRecord Record = {};
    std::optional<std::string> Strings[3];
};

Expected Decode(const std::string& bytes, const std::string& path) {
    Expected e;
    if (bytes.size() < 20) {
        e.Message = "NFile.Read '" + path + "' Error 1";
        return e;
    }
    std::memcpy(&e.Record, bytes.data(), 20);
    size_t at = 20;
    for (auto& s : e.Strings) {
        if (bytes.size() - at < 4) {
            e.Message = "NFile.ReadPChar '" + path + "' Error 1";
            return e;
        }
        int32_t n;
        std::memcpy(&n, bytes.data() + at, 4);
        at += 4;
        if (n == 0) continue;
        if (n < 0 || n >= 60000) {
            e.Message = "NFile.ReadPChar '" + path + "' Error ";
            return e;
        }
        if (bytes.size() - at < static_cast<size_t>(n)) {
            e.Message = "NFile.ReadPChar '" + path + "' Error 2";
            return e;
        }
        s = bytes.substr(at, static_cast<size_t>(n));
        at += static_cast<size_t>(n);
    }
    if (at != bytes.size()) {
        e.Message = "eof";
        return e;
    }
    e.Valid = true;
    return e;
}

std::string RandomText(std::mt19937& rng, size_t maxLength) {
    std::string s(std::uniform_int_distribution<size_t>(0, maxLength)(rng), '\0');
    for (char& c : s)
        c = static_cast<char>(std::uniform_int_distribution<int>(0, 255)(rng));
    return s;
}

std::string RandomValidFile(std::mt19937& rng) {
    std::string s = RandomText(rng, 0);
    for (int i = 0; i < 20; ++i)
        s += static_cast<char>(std::uniform_int_distribution<int>(0, 255)(rng));
    for (int i = 0; i < 3; ++i)
        s += StrBytes(RandomText(rng, rng() % 8 == 0 ? 300 : 24));
    return s;
}

std::string Mutate(std::string s, std::mt19937& rng) {
    auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); };
    int steps = 1 + static_cast<int>(pick(3));
    for (int i = 0; i < steps; ++i) {
        switch (pick(8)) {
        case 0: // flip one bit
            if (!s.empty()) s[pick(s.size())] ^= static_cast<char>(1 << pick(8));
            break;
        case 1: // overwrite one byte
            if (!s.empty()) s[pick(s.size())] = static_cast<char>(pick(256));
            break;
        case 2: // insert bytes
            s.insert(pick(s.size() + 1), RandomText(rng, 6));
            break;
        case 3: // delete bytes
            if (!s.empty()) {
                size_t at = pick(s.size());
                s.erase(at, 1 + pick(6));
            }
            break;
        case 4: // append bytes
            s += RandomText(rng, 5) + static_cast<char>(pick(256));
            break;
        case 5: // cut the tail
            s.resize(pick(s.size() + 1));
            break;
        case 6: { // a telling value for the first length field
            static const int32_t values[] = {0,     1,          -1,        59999, 60000,
                                             65536, 0x7FFFFFFF, INT32_MIN, 4,     200};
            if (s.size() >= 24) {
                int32_t v = values[pick(std::size(values))];
                std::memcpy(s.data() + 20, &v, 4);
            }
            break;
        }
        case 7: // a random 32-bit value anywhere
            if (s.size() >= 4) {
                uint32_t v = static_cast<uint32_t>(rng());
                std::memcpy(s.data() + pick(s.size() - 3), &v, 4);
            }
            break;
        }
    }
    return s;
}

// The defaults take the scaled window size, as at 120 dpi.
TEST_F(SettingsStore, EveryTruncationAndThousandsOfMutationsLoadOrReport) {
    DefaultWindowSize = {352, 206};
    std::mt19937 rng(20240603);
    // Telling files first: each read that can fail, one byte too many, and loads of null, of
    // 8-bit and of the longest strings.
    const std::string full = Record(1, 1, 1, 1, {1, 2, 3, 4}), big(59999, 'w');
    std::vector<std::string> files = {
        "",
        full.substr(0, 19),
        full,
        full + Int32Bytes(0).substr(0, 3),
        full + StrBytes("abc").substr(0, 6),
        full + StrBytes("") + StrBytes("") + Int32Bytes(2) + "x",
        full + Int32Bytes(60000) + std::string(60000, 'x') + StrBytes("") + StrBytes(""),
        full + StrBytes("") + Int32Bytes(-1) + StrBytes(""),
        Stored(0, 0, 0, 0, {1, 2, 3, 4}, "a", "b", "c") + "!",
        Stored(1, 1, 1, 1, {1, 2, 3, 4}) + StrBytes(""),
        Stored(0, 1, 0, 1, {-5, 7, 300, 200}),
        Stored(1, 0, 1, 0, {10, 20, 30, 40}, "My ISP", "jane", "p\xE4ss"),
        Stored(1, 1, 1, 1, {0, 0, 1, 1}, big, big, big),
    };
    const size_t named = files.size();
    std::vector<std::string> bases = {
        Stored(1, 1, 1, 1, {0, 0, 282, 165}),
        Stored(0, 2, 1, 0, {-7, 8, 300, 200}, "My ISP", "abc", "secret")};
    for (int i = 0; i < 6; ++i)
        bases.push_back(RandomValidFile(rng));
    for (const std::string& base : bases)
        for (size_t n = 0; n <= base.size(); ++n)
            files.push_back(base.substr(0, n));
    const size_t truncations = files.size();
    const int mutations = 4000;
    for (int i = 0; i < mutations; ++i)
        files.push_back(Mutate(bases[rng() % bases.size()], rng));

    DWORD handlesBefore = 0;
    size_t corrupt = 0, loaded = 0, missing = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        // Counted once the telling files have loaded (Wine makes a handle on some first uses).
        // The count sees a handle come and go, so an unchanged count at the end means no leak.
        if (i == named) {
            handlesBefore = OpenHandleCount();
            HANDLE probe = CreateEventA(nullptr, FALSE, FALSE, nullptr);
            ASSERT_EQ(handlesBefore + 1, OpenHandleCount());
            CloseHandle(probe);
            ASSERT_EQ(handlesBefore, OpenHandleCount());
        }
        const std::string& bytes = files[i];
        const Expected expected = Decode(bytes, file);
        SCOPED_TRACE("file #" + std::to_string(i) + " of " + std::to_string(bytes.size()) +
                     " bytes");
        WriteWholeFile(file, bytes);
        SetStrings("stale", "stale", "stale");
        Boxes.clear();
        LoadSettings();
        if (expected.Valid) {
            ++loaded;
            ASSERT_FALSE(LoadFailed);
            ASSERT_TRUE(Boxes.empty());
            ASSERT_EQ(0,
                      std::memcmp(&expected.Record, &static_cast<SettingsRecord&>(Settings), 20));
            char* got[3] = {Settings.ConnectionName, Settings.UserName, Settings.Password};
            for (int k = 0; k < 3; ++k) {
                ASSERT_EQ(expected.Strings[k].has_value(), got[k] != nullptr) << k;
                // Characters up to the first zero byte are what the program can see.
                if (got[k]) {
                    ASSERT_EQ(std::string(expected.Strings[k]->c_str()), std::string(got[k])) << k;
                }
            }
        } else {
            ++corrupt;
            ASSERT_TRUE(LoadFailed);
            ASSERT_NO_FATAL_FAILURE(ExpectDefaults());
            ASSERT_NO_FATAL_FAILURE(ExpectBox(CorruptSettingsText + expected.Message));
        }
        ASSERT_EQ(bytes, ReadWholeFile(file)) << "the file is only read";
        if (i % 97 == 0) { // now and then the file goes missing: never a box for that
            DeleteFileA(file.c_str());
            Boxes.clear();
            SetStrings("stale", "stale", "stale");
            LoadSettings();
            ++missing;
            ASSERT_NO_FATAL_FAILURE(ExpectDefaults());
            ASSERT_TRUE(Boxes.empty());
            ASSERT_FALSE(FileExists(file)) << "loading creates nothing";
        }
    }
    EXPECT_EQ(handlesBefore, OpenHandleCount());
    // Both outcomes were really exercised.
    EXPECT_GT(corrupt, 3000u);
    EXPECT_GT(loaded, 100u);
    std::cout << "[ figures  ] " << files.size() << " files (" << truncations << " truncations, "
              << mutations << " mutations): " << corrupt << " damaged, " << loaded << " loaded; "
              << missing << " missing-file loads" << std::endl;
}

} // namespace
