// Record file: open modes, block and string transfers, their failures and messages, eof.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/NCommon.h"
#include "common/NFile.h"
#include "support/Harness.h"

namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values)
        s += static_cast<char>(v);
    return s;
}

// Runs what and returns the ENFile message it raises, caught as the common base that the
// program's handlers catch; fails the test when nothing is raised.
template <typename F> std::string RaisedMessage(F what) {
    try {
        what();
    } catch (const EBase& e) {
        EXPECT_NE(nullptr, dynamic_cast<const ENFile*>(&e));
        EXPECT_EQ(e.Message(), e.what());
        return e.Message();
    }
    ADD_FAILURE() << "no ENFile raised";
    return std::string();
}

// A real handle of this test that is not a file: file calls on it fail, and it can never be
// some other part of the process's handle.
struct NotAFile {
    HANDLE Handle = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ~NotAFile() { CloseHandle(Handle); }
};

class NFile : public ::testing::Test {
  protected:
    TempFolder folder;
    std::string path = folder.File("data.bin");

    // Opens an existing file with the given contents.
    void OpenWith(TNFile& file, const std::string& contents) {
        WriteWholeFile(path, contents);
        file.MustExist = true;
        file.Open(path);
    }
};

// ---- Open and Close -----------------------------------------------------------------------

// A missing file (MustExist) or folder: the system's code, nothing created, and the object
// destroyed afterwards without raising.
TEST_F(NFile, OpeningWhatIsNotThereNamesTheSystemsCode) {
    const std::string missingFolder = folder.File("no-such-folder\\x.dat");
    for (const std::string& name : {path, missingFolder}) {
        TNFile file;
        file.MustExist = true;
        const DWORD code = name == path ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
        EXPECT_EQ("NFile.Open  '" + name + "' Error " + std::to_string(code),
                  RaisedMessage([&] { file.Open(name); }));
        EXPECT_FALSE(file.Opened);
        EXPECT_EQ(code, static_cast<DWORD>(file.LastError));
        EXPECT_EQ(INVALID_HANDLE_VALUE, file.Handle);
        EXPECT_EQ(name, file.FileName);
        EXPECT_FALSE(FileExists(name));
    }
}

// Without flags a missing file is made empty and an existing one kept; CreateNew (winning over
// MustExist) empties it.
TEST_F(NFile, WithoutFlagsOpenCreatesAnEmptyFileOrKeepsContents) {
    for (const char* before : {"", "keep", "old contents"}) {
        const bool createNew = std::strlen(before) > 4;
        if (*before) WriteWholeFile(path, before);
        {
            TNFile file;
            file.CreateNew = createNew;
            file.MustExist = createNew;
            file.Open(path);
            EXPECT_TRUE(file.Opened);
            EXPECT_NE(INVALID_HANDLE_VALUE, file.Handle);
            char got[5] = {};
            if (!createNew) file.Read(got, static_cast<int32_t>(std::strlen(before)));
            EXPECT_STREQ(createNew ? "" : before, got);
            EXPECT_TRUE(file.eof());
        }
        bool exists = false;
        EXPECT_EQ(createNew ? "" : before, ReadWholeFile(path, &exists));
        EXPECT_TRUE(exists);
    }
}

TEST_F(NFile, ShareFlagsDecideWhetherOthersMayOpen) {
    WriteWholeFile(path, "x");
    auto otherCanOpen = [&](DWORD access) {
        HANDLE h = CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        CloseHandle(h);
        return true;
    };
    for (int share = 0; share < 3; ++share) { // none, read, read and write
        TNFile file;
        file.ShareRead = share >= 1;
        file.ShareWrite = share == 2;
        file.Open(path);
        EXPECT_EQ(share >= 1, otherCanOpen(GENERIC_READ)) << share;
        EXPECT_EQ(share == 2, otherCanOpen(GENERIC_WRITE)) << share;
    }
    // Held by an unshared record file, or read by another program that lets others only read:
    // the record file, which always asks for writing as well, is refused.
    for (bool ours : {true, false}) {
        TNFile first, second;
        if (ours) first.Open(path);
        HANDLE reader = ours ? INVALID_HANDLE_VALUE
                             : CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        second.ShareRead = second.ShareWrite = !ours;
        EXPECT_EQ("NFile.Open  '" + path + "' Error 32", RaisedMessage([&] { second.Open(path); }));
        EXPECT_FALSE(second.Opened);
        EXPECT_EQ(ERROR_SHARING_VIOLATION, static_cast<DWORD>(second.LastError));
        if (!ours) CloseHandle(reader);
    }
}

TEST_F(NFile, CloseTwiceAndOpenedSurvivesClose) {
    TNFile never; // closing an object never opened does nothing
    EXPECT_NO_THROW(never.Close());
    EXPECT_FALSE(never.Opened);
    EXPECT_EQ(0, never.LastError);
    TNFile file;
    file.Open(path);
    file.Close();
    EXPECT_EQ(INVALID_HANDLE_VALUE, file.Handle);
    EXPECT_TRUE(file.Opened);
    EXPECT_NO_THROW(file.Close());
    EXPECT_TRUE(file.Opened);
    // The handle really is closed: an unshared open now succeeds.
    TNFile again;
    EXPECT_NO_THROW(again.Open(path));
}

TEST_F(NFile, FailedCloseRaisesKeepsTheHandleAndTheDestructorDropsIt) {
    DWORD before = OpenHandleCount();
    // A file handle of the test's own that refuses to be closed.
    HANDLE kept = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, kept);
    ASSERT_TRUE(
        SetHandleInformation(kept, HANDLE_FLAG_PROTECT_FROM_CLOSE, HANDLE_FLAG_PROTECT_FROM_CLOSE));
    {
        TNFile file;
        file.FileName = path;
        file.Handle = kept;
        std::string message = RaisedMessage([&] { file.Close(); });
        EXPECT_EQ("NFile.Close '" + path + "' Error " + std::to_string(file.LastError), message);
        EXPECT_NE(0, file.LastError);
        EXPECT_EQ(kept, file.Handle);
        // Leaving the scope closes again, fails again, and must not throw.
    }
    SetHandleInformation(kept, HANDLE_FLAG_PROTECT_FROM_CLOSE, 0);
    EXPECT_TRUE(CloseHandle(kept)) << "the failed closes left it open";
    EXPECT_EQ(before, OpenHandleCount());
}

// A second open lets go of the first file, and the destructor of the last.
TEST_F(NFile, EveryHandleIsClosedByTheNextOpenOrTheDestructor) {
    const std::string other = folder.File("other.bin");
    const DWORD before = OpenHandleCount();
    {
        TNFile file;
        file.Open(path);
        EXPECT_EQ(before + 1, OpenHandleCount()); // the count is real: the checks mean something
        file.Open(other);
        EXPECT_EQ(before + 1, OpenHandleCount());
        EXPECT_EQ(other, file.FileName);
        TNFile first; // the first file is free again
        EXPECT_NO_THROW(first.Open(path));
    }
    EXPECT_EQ(before, OpenHandleCount());
}

// ---- Blocks -----------------------------------------------------------------------------------

// Blocks and strings come back as written; an empty or absent string is stored as length 0
// and read as null, never as an empty buffer.
TEST_F(NFile, BlocksAndStringsAreWrittenAndReadUnchanged) {
    const std::string block = Bytes({0, 1, 2, 0xFF, 0x80, 0x7F, 0});
    {
        TNFile file;
        file.CreateNew = true;
        file.Open(path);
        file.Write(block.data(), static_cast<int32_t>(block.size()));
        file.Write("", 0);
        for (const char* text : {static_cast<const char*>(nullptr), "", "abc", "\xE4\xF6"})
            file.WritePChar(text);
    }
    EXPECT_EQ(
        block + Bytes({0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 'a', 'b', 'c', 2, 0, 0, 0, 0xE4, 0xF6}),
        ReadWholeFile(path));
    TNFile file;
    file.MustExist = true;
    file.Open(path);
    char got[7] = {};
    file.Read(got, 7);
    EXPECT_EQ(block, std::string(got, 7));
    char* one = reinterpret_cast<char*>(1);
    char* texts[4] = {one, one, nullptr, nullptr};
    for (char*& text : texts)
        file.ReadPChar(text);
    EXPECT_EQ(
        (std::vector<std::string>{"(null)", "(null)", "abc", "\xE4\xF6"}),
        (std::vector<std::string>{Text(texts[0]), Text(texts[1]), Text(texts[2]), Text(texts[3])}));
    EXPECT_TRUE(file.eof());
    FreeString(texts[2]);
    FreeString(texts[3]);
}

// A read short of its count, also at the very end, raises number one; the file stays open.
TEST_F(NFile, ShortReadRaisesWithNumberOne) {
    for (int have : {10, 0}) {
        TNFile file;
        OpenWith(file, std::string(static_cast<size_t>(have), 'x'));
        char buffer[20];
        EXPECT_EQ("NFile.Read '" + path + "' Error 1",
                  RaisedMessage([&] { file.Read(buffer, have + 1); }));
        EXPECT_EQ(1, file.LastError);
        EXPECT_NE(INVALID_HANDLE_VALUE, file.Handle);
        EXPECT_TRUE(file.eof());
    }
}

TEST_F(NFile, FailedCallsReportTheSystemCode) {
    WriteWholeFile(path, "0123456789");
    // Handles with only one kind of access make the other transfer fail outright.
    HANDLE readOnly = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE writeOnly = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, readOnly);
    ASSERT_NE(INVALID_HANDLE_VALUE, writeOnly);
    TNFile file;
    file.FileName = path;
    char buffer[4] = {};

    file.Handle = readOnly;
    // Negative counts are refused before the system is asked.
    EXPECT_EQ("NFile.Read '" + path + "' Error 87", RaisedMessage([&] { file.Read(buffer, -1); }));
    EXPECT_EQ("NFile.Write '" + path + "' Error 87",
              RaisedMessage([&] { file.Write(buffer, -5); }));
    EXPECT_EQ("NFile.Write '" + path + "' Error 5", RaisedMessage([&] { file.Write("ab", 2); }));
    EXPECT_EQ(5, file.LastError);
    EXPECT_EQ("NFile.WritePChar '" + path + "' Error 5",
              RaisedMessage([&] { file.WritePChar("ab"); }));

    file.Handle = writeOnly;
    EXPECT_EQ("NFile.Read '" + path + "' Error 5", RaisedMessage([&] { file.Read(buffer, 2); }));
    char* text = nullptr;
    EXPECT_EQ("NFile.ReadPChar '" + path + "' Error 5",
              RaisedMessage([&] { file.ReadPChar(text); }));
    EXPECT_EQ(nullptr, text);

    file.Handle = INVALID_HANDLE_VALUE;
    CloseHandle(readOnly);
    CloseHandle(writeOnly);
    EXPECT_EQ("0123456789", ReadWholeFile(path));
}

// ---- Strings ----------------------------------------------------------------------------------

// 59999 characters are read; longer or negative lengths raise without a number.
TEST_F(NFile, TheLongestLengthIsReadAndLongerOnesRaiseWithoutANumber) {
    std::string longest(59999, 'q');
    longest[0] = 'A';
    longest.back() = 'Z';
    {
        TNFile file;
        OpenWith(file, Int32Bytes(59999) + longest);
        char* got = nullptr;
        file.ReadPChar(got);
        EXPECT_EQ(longest, Text(got));
        EXPECT_TRUE(file.eof());
        FreeString(got);
    }
    for (int32_t n : {60000, -1, INT32_MIN, INT32_MAX, 1 << 20}) {
        TNFile file;
        OpenWith(file, Int32Bytes(n) + std::string(16, 'x'));
        file.LastError = 77;
        char* text = reinterpret_cast<char*>(8);
        EXPECT_EQ("NFile.ReadPChar '" + path + "' Error ",
                  RaisedMessage([&] { file.ReadPChar(text); }))
            << n;
        EXPECT_EQ(77, file.LastError) << n;               // left as it was
        EXPECT_EQ(reinterpret_cast<char*>(8), text) << n; // left as it was
    }
}

// Every cut of a stored "hello": within the length number one and no text, within the
// characters number two and what did arrive, terminated, for the caller to free.
TEST_F(NFile, CutOffLengthRaisesNumberOneAndCutOffCharactersNumberTwo) {
    const std::string stored = Int32Bytes(5) + "hello";
    for (size_t have = 0; have < stored.size(); ++have) {
        TNFile file;
        OpenWith(file, stored.substr(0, have));
        char* text = nullptr;
        const int number = have < 4 ? 1 : 2;
        EXPECT_EQ("NFile.ReadPChar '" + path + "' Error " + std::to_string(number),
                  RaisedMessage([&] { file.ReadPChar(text); }))
            << have;
        EXPECT_EQ(number, file.LastError);
        EXPECT_EQ(have < 4 ? "(null)" : stored.substr(4, have - 4), Text(text));
        FreeString(text);
    }
}

// ---- eof --------------------------------------------------------------------------------------

// True in an empty file, at and beyond the end; false one byte before it.
TEST_F(NFile, EofIsTrueAtAndBeyondTheEndAndComparesSixtyFourBitPositions) {
    {
        TNFile empty;
        OpenWith(empty, "");
        EXPECT_TRUE(empty.eof());
    }
    TNFile file;
    OpenWith(file, "abc");
    EXPECT_FALSE(file.eof());
    char buffer[3];
    file.Read(buffer, 2);
    EXPECT_FALSE(file.eof());
    file.Read(buffer, 1);
    EXPECT_TRUE(file.eof());
    // Past the end (position 10 of 3 bytes).
    SetFilePointer(file.Handle, 10, nullptr, FILE_BEGIN);
    EXPECT_TRUE(file.eof());
    // A position of 0xFFFFFFFF (low part all ones, valid) within a larger sparse size.
    LARGE_INTEGER big;
    big.QuadPart = 0x100000010LL;
    ASSERT_TRUE(SetFilePointerEx(file.Handle, big, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(file.Handle));
    LARGE_INTEGER at;
    at.QuadPart = 0xFFFFFFFFLL;
    ASSERT_TRUE(SetFilePointerEx(file.Handle, at, nullptr, FILE_BEGIN));
    SetLastError(ERROR_ACCESS_DENIED); // a stale code must not make the valid low part a failure
    EXPECT_FALSE(file.eof());
    // Low part of the position is smaller than the size's, but the high part is larger.
    at.QuadPart = 0x100000011LL;
    ASSERT_TRUE(SetFilePointerEx(file.Handle, at, nullptr, FILE_BEGIN));
    EXPECT_TRUE(file.eof());
    at.QuadPart = 0x10000000FLL;
    ASSERT_TRUE(SetFilePointerEx(file.Handle, at, nullptr, FILE_BEGIN));
    EXPECT_FALSE(file.eof());
    SetEndOfFile(file.Handle); // give the space back
}

TEST_F(NFile, FlushCommitsAndEofAndFlushReportFailures) {
    TNFile file;
    file.CreateNew = true;
    file.Open(path);
    file.Write("abc", 3);
    EXPECT_NO_THROW(file.Flush());
    HANDLE real = file.Handle;
    NotAFile event;
    file.Handle = event.Handle;
    EXPECT_EQ("NFile.Flush '" + path + "' Error 6", RaisedMessage([&] { file.Flush(); }));
    EXPECT_EQ(ERROR_INVALID_HANDLE, static_cast<DWORD>(file.LastError));
    file.LastError = 0;
    EXPECT_EQ("NFile.eof '" + path + "' Error 6", RaisedMessage([&] { file.eof(); }));
    EXPECT_EQ(ERROR_INVALID_HANDLE, static_cast<DWORD>(file.LastError));
    file.Handle = real;
    file.Close();
    EXPECT_EQ("abc", ReadWholeFile(path));
}

// ---- Replacing a file -------------------------------------------------------------------------

// A target that cannot be replaced (read-only, held open by another program) or a missing
// source: the message names the target, and both files stay as they were.
TEST_F(NFile, MoveFileOverReplacesTheTargetOrFailsLeavingBoth) {
    const std::string source = folder.File("new.bin");
    WriteWholeFile(path, "old");
    WriteWholeFile(source, "new");
    MoveFileOver(source, path);
    EXPECT_EQ("new", ReadWholeFile(path));
    EXPECT_FALSE(FileExists(source));

    enum Target { ReadOnly, HeldOpen, NoSource };
    for (Target target : {ReadOnly, HeldOpen, NoSource}) {
        SCOPED_TRACE(target);
        WriteWholeFile(path, "old");
        target == NoSource ? (void)DeleteFileA(source.c_str()) : WriteWholeFile(source, "new");
        if (target == ReadOnly) SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
        HANDLE other =
            target != HeldOpen
                ? INVALID_HANDLE_VALUE
                : CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        const std::string message = RaisedMessage([&] { MoveFileOver(source, path); });
        if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        // Held open, any code of the platform's own choice.
        const std::string code[] = {"5", "", "2"};
        const std::string expected = "NFile.Move '" + path + "' Error " + code[target];
        EXPECT_EQ(expected, target == HeldOpen ? message.substr(0, expected.size()) : message);
        EXPECT_GT(message.size(), target == HeldOpen ? expected.size() : 0u);
        EXPECT_EQ("old", ReadWholeFile(path));
        EXPECT_EQ(target == NoSource ? "" : "new", ReadWholeFile(source));
    }
}

} // namespace
