#include "common/NFile.h"

#include <cstring>
#include <new>

static constexpr char OpenPrefix[] = "NFile.Open  '"; // two blanks: the operations line up
static constexpr char ClosePrefix[] = "NFile.Close '";
static constexpr char WritePCharPrefix[] = "NFile.WritePChar '";
static constexpr char ReadPCharPrefix[] = "NFile.ReadPChar '";
static constexpr char WritePrefix[] = "NFile.Write '";
static constexpr char ReadPrefix[] = "NFile.Read '";
static constexpr char EofPrefix[] = "NFile.eof '";
static constexpr char FlushPrefix[] = "NFile.Flush '";
static constexpr char MovePrefix[] = "NFile.Move '";
static constexpr char ErrorInfix[] = "' Error ";

// Error numbers of a transfer that succeeded but moved fewer bytes than asked.
static constexpr DWORD ShortBlock = 1; // a raw block or a string's 4-byte length
static constexpr DWORD ShortChars = 2; // a string's characters

static std::string Message(const char* prefix, const std::string& name, DWORD code) {
    return prefix + name + ErrorInfix + std::to_string(code);
}

// A call that failed outright reports the system's code; one that succeeded short reports
// shortCode. (Judging by the byte count alone would turn a failed write, say a full disk, into
// "Error 1" and lose the code that tells the user what happened.)
static DWORD TransferError(BOOL ok, DWORD shortCode) {
    if (ok) return shortCode;
    DWORD code = GetLastError();
    return code != 0 ? code : shortCode;
}

TNFile::~TNFile() {
    try {
        Close();
    } catch (const ENFile&) {
        // The only user ignores it, and a destructor must not throw.
    }
}

void TNFile::Fail(const char* prefix, DWORD code) {
    LastError = static_cast<int32_t>(code);
    throw ENFile(Message(prefix, FileName, code));
}

void TNFile::Open(const std::string& path) {
    // Opened once in its life; a second Open must not leak the first handle.
    if (Handle != INVALID_HANDLE_VALUE) Close();
    FileName = path;
    DWORD disposition = CreateNew ? CREATE_ALWAYS : MustExist ? OPEN_EXISTING : OPEN_ALWAYS;
    DWORD share = (ShareRead ? FILE_SHARE_READ : 0) | (ShareWrite ? FILE_SHARE_WRITE : 0);
    Handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr, disposition,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    if (Handle == INVALID_HANDLE_VALUE) {
        Opened = false;
        Fail(OpenPrefix, GetLastError());
    }
    Opened = true;
}

void TNFile::Close() {
    if (Handle != INVALID_HANDLE_VALUE) {
        if (!CloseHandle(Handle)) Fail(ClosePrefix, GetLastError());
    }
    Handle = INVALID_HANDLE_VALUE;
}

void TNFile::Write(const void* source, int32_t count) {
    // A negative count would reach the system as a huge unsigned one.
    if (count < 0) Fail(WritePrefix, ERROR_INVALID_PARAMETER);
    DWORD done = 0;
    BOOL ok = WriteFile(Handle, source, static_cast<DWORD>(count), &done, nullptr);
    if (!ok || done != static_cast<DWORD>(count)) Fail(WritePrefix, TransferError(ok, ShortBlock));
}

void TNFile::Read(void* destination, int32_t count) {
    if (count < 0) Fail(ReadPrefix, ERROR_INVALID_PARAMETER);
    DWORD done = 0;
    BOOL ok = ReadFile(Handle, destination, static_cast<DWORD>(count), &done, nullptr);
    if (!ok || done != static_cast<DWORD>(count)) Fail(ReadPrefix, TransferError(ok, ShortBlock));
}

void TNFile::WritePChar(const char* text) {
    size_t length = text ? std::strlen(text) : 0;
    if (length > INT32_MAX) Fail(WritePCharPrefix, ERROR_INVALID_PARAMETER);
    int32_t n = static_cast<int32_t>(length);
    DWORD done = 0;
    BOOL ok = WriteFile(Handle, &n, sizeof n, &done, nullptr);
    if (!ok || done != sizeof n) Fail(WritePCharPrefix, TransferError(ok, ShortBlock));
    if (n == 0) return;
    done = 0;
    ok = WriteFile(Handle, text, static_cast<DWORD>(n), &done, nullptr);
    if (!ok || done != static_cast<DWORD>(n)) Fail(WritePCharPrefix, TransferError(ok, ShortChars));
}

void TNFile::ReadPChar(char*& text) {
    int32_t n = 0;
    DWORD done = 0;
    BOOL ok = ReadFile(Handle, &n, sizeof n, &done, nullptr);
    if (!ok || done != sizeof n) Fail(ReadPCharPrefix, TransferError(ok, ShortBlock));
    if (n == 0) {
        text = nullptr;
        return;
    }
    // Number-less message; LastError stays as it was.
    if (n < 0 || n >= MaxPCharLength) throw ENFile(ReadPCharPrefix + FileName + ErrorInfix);
    // Zero-filled, so a buffer whose characters fail to arrive is still a terminated string
    // that the caller can wipe and free.
    char* buffer = new (std::nothrow) char[static_cast<size_t>(n) + 1]();
    if (!buffer) throw ENFile(ReadPCharPrefix + FileName + ErrorInfix);
    text = buffer;
    done = 0;
    ok = ReadFile(Handle, buffer, static_cast<DWORD>(n), &done, nullptr);
    if (!ok || done != static_cast<DWORD>(n)) Fail(ReadPCharPrefix, TransferError(ok, ShortChars));
    buffer[n] = 0;
}

bool TNFile::eof() {
    // All 32 bits set is a valid low part unless the last-error code says otherwise, so the
    // code is cleared first: a stale one would turn a valid answer into a failure.
    LONG positionHigh = 0;
    SetLastError(NO_ERROR);
    DWORD positionLow = SetFilePointer(Handle, 0, &positionHigh, FILE_CURRENT);
    if (positionLow == INVALID_SET_FILE_POINTER) {
        DWORD code = GetLastError();
        if (code != NO_ERROR) Fail(EofPrefix, code);
    }
    DWORD sizeHigh = 0;
    SetLastError(NO_ERROR);
    DWORD sizeLow = GetFileSize(Handle, &sizeHigh);
    if (sizeLow == INVALID_FILE_SIZE) {
        DWORD code = GetLastError();
        if (code != NO_ERROR) Fail(EofPrefix, code);
    }
    // High parts signed, low parts unsigned: exactly a signed 64-bit comparison.
    int64_t position = static_cast<int64_t>(
        (static_cast<uint64_t>(static_cast<uint32_t>(positionHigh)) << 32) | positionLow);
    int64_t size = static_cast<int64_t>((static_cast<uint64_t>(sizeHigh) << 32) | sizeLow);
    return position >= size;
}

void TNFile::Flush() {
    if (!FlushFileBuffers(Handle)) Fail(FlushPrefix, GetLastError());
}

void MoveFileOver(const std::string& source, const std::string& target) {
    // Windows refuses to replace a read-only file; Wine's rename never asks. One rule for both.
    DWORD attributes = GetFileAttributesA(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        throw ENFile(Message(MovePrefix, target, ERROR_ACCESS_DENIED));
    if (!MoveFileExA(source.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        throw ENFile(Message(MovePrefix, target, GetLastError()));
}
