#pragma once
// Record file: raw blocks and length-prefixed strings in one file. Every failure is raised as an
// ENFile whose message names the operation, the file and an error number.
#include <windows.h>

#include <cstdint>
#include <exception>
#include <string>
#include <utility>

// Common base of the program's exceptions: one message text.
class EBase : public std::exception {
  public:
    explicit EBase(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& Message() const noexcept { return message_; }

  private:
    std::string message_;
};

class ENFile : public EBase {
  public:
    using EBase::EBase;
};

// Longest string ReadPChar accepts is one less than this.
constexpr int32_t MaxPCharLength = 60000;

class TNFile {
  public:
    TNFile() = default;
    // Closes the file; a failing close is dropped here, never thrown out of the destructor.
    virtual ~TNFile();
    TNFile(const TNFile&) = delete;
    TNFile& operator=(const TNFile&) = delete;

    HANDLE Handle = INVALID_HANDLE_VALUE;
    int32_t LastError = 0;
    bool CreateNew = false;  // CREATE_ALWAYS: create, or truncate an existing file
    bool MustExist = false;  // OPEN_EXISTING (unless CreateNew); else OPEN_ALWAYS
    bool ShareRead = false;  // FILE_SHARE_READ
    bool ShareWrite = false; // FILE_SHARE_WRITE
    std::string FileName;
    bool Opened = false; // result of the last Open; Close leaves it alone

    void Open(const std::string& path); // always read and write access
    void Close();
    void Write(const void* source, int32_t count);
    void Read(void* destination, int32_t count);
    void WritePChar(const char* text);
    // text receives a new heap string (owned by the caller, also when the characters fail to
    // arrive) or null for a length of 0. The previous value is not freed.
    void ReadPChar(char*& text);
    bool eof();
    // Commits written data to the disk (FlushFileBuffers).
    void Flush();

  private:
    [[noreturn]] void Fail(const char* prefix, DWORD code);
};

// Replaces target by source in one step (the old target stays whole if this fails).
// Raises ENFile "NFile.Move '" target "' Error " code.
void MoveFileOver(const std::string& source, const std::string& target);
