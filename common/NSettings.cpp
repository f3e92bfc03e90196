#include "common/NSettings.h"

#include <cstddef>

#include "common/NFile.h"
#include "common/NString.h"

TSettings Settings;
char* SessionPassword = nullptr;
bool LoadFailed = false;
std::string SettingsFile;
IntPair DefaultWindowSize = BaseWindowSize;

void FreeSettingsStrings() {
    FreeString(Settings.ConnectionName);
    FreeString(Settings.UserName);
    WipeString(Settings.Password);
    WipeString(SessionPassword);
}

// The record is read and written as one block: its layout is the file's, on both targets.
static_assert(sizeof(SettingsRecord) == 20);
static_assert(offsetof(SettingsRecord, SimpleStatus) == 0);
static_assert(offsetof(SettingsRecord, AutoReconnect) == 1);
static_assert(offsetof(SettingsRecord, ShrinkWhenConnected) == 2);
static_assert(offsetof(SettingsRecord, AlwaysOnTop) == 3);
static_assert(offsetof(SettingsRecord, WindowRect) + offsetof(WindowBox, Left) == 4);
static_assert(offsetof(SettingsRecord, WindowRect) + offsetof(WindowBox, Top) == 8);
static_assert(offsetof(SettingsRecord, WindowRect) + offsetof(WindowBox, Width) == 12);
static_assert(offsetof(SettingsRecord, WindowRect) + offsetof(WindowBox, Height) == 16);

static constexpr char CorruptText[] =
    "Tovane's settings file appears corrupted. The default settings will be used.\n\n"
    "Is the hard disk full? \nRun ScanDisk?\n\n";
static constexpr char SaveFailedText[] =
    "Tovane was unable to save your settings. \n\nIs the hard disk full? \n"
    "Are you trying to run Tovane from a read-only CD-ROM?\n\n";
static constexpr char EofMessage[] = "eof";
// The new settings are written beside Tovane.dat under this suffix, then moved over it.
static constexpr char SaveTempSuffix[] = ".tmp";

int MessageBoxProblem(const char* text, const char* caption, UINT style) {
    return MessageBoxA(nullptr, text, caption, style);
}

int (*ShowProblemBox)(const char* text, const char* caption, UINT style) = MessageBoxProblem;

static void ReportProblem(const char* fixedText, const std::string& message) {
    std::string text = fixedText + message;
    ShowProblemBox(text.c_str(), ProblemCaption, ProblemStyle);
}

static void UseDefaultSettings() {
    Settings.SimpleStatus = Settings.AutoReconnect = Settings.ShrinkWhenConnected =
        Settings.AlwaysOnTop = 1;
    Settings.WindowRect = {0, 0, DefaultWindowSize.X, DefaultWindowSize.Y};
    FreeString(Settings.ConnectionName);
    FreeString(Settings.UserName);
    WipeString(Settings.Password);
}

void LoadSettings() {
    LoadFailed = false;
    // A save cut short leaves its temporary file, with the password in plain text.
    DeleteFileA((SettingsFile + SaveTempSuffix).c_str());
    // Read into locals and take them over only when the whole file is good.
    SettingsRecord record = {};
    char* connectionName = nullptr;
    char* userName = nullptr;
    char* password = nullptr;
    bool damaged = false;
    std::string problem;
    {
        TNFile file;
        file.MustExist = true;
        try {
            file.Open(SettingsFile);
            file.Read(&record, sizeof record);
            file.ReadPChar(connectionName);
            file.ReadPChar(userName);
            file.ReadPChar(password);
            if (!file.eof()) throw ENFile(EofMessage);
            file.Close();
        } catch (const ENFile& e) {
            LoadFailed = true;
            // A missing file, or one that cannot be opened for reading and writing, is no
            // damage: the defaults come silently.
            damaged = file.Opened;
            problem = e.Message();
        }
    } // a failing close in the destructor is dropped there

    if (LoadFailed) {
        FreeString(connectionName);
        FreeString(userName);
        WipeString(password);
        UseDefaultSettings();
        if (damaged) ReportProblem(CorruptText, problem);
        return;
    }
    static_cast<SettingsRecord&>(Settings) = record;
    ReplaceString(Settings.ConnectionName, connectionName);
    ReplaceString(Settings.UserName, userName);
    WipeString(Settings.Password);
    Settings.Password = password;
}

static void WriteSettings(TNFile& file) {
    file.Write(&static_cast<const SettingsRecord&>(Settings), sizeof(SettingsRecord));
    file.WritePChar(Settings.ConnectionName);
    file.WritePChar(Settings.UserName);
    file.WritePChar(Settings.Password);
    file.Flush();
    file.Close();
}

// Attributes the user may have given Tovane.dat (read-only is refused before the move).
static constexpr DWORD KeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                        FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

void SaveSettings() {
    // Truncating Tovane.dat and writing it in place would lose every setting to a full disk
    // or an interrupted write. The complete file goes to a temporary file first, reaches the
    // disk, and only then replaces Tovane.dat in one step; any failure leaves the old file.
    // Where the folder refuses the temporary file, Tovane.dat itself is written in place.
    std::string temp = SettingsFile + SaveTempSuffix;
    bool created = false;
    bool failed = false;
    std::string problem;
    {
        TNFile file;
        file.CreateNew = true;
        try {
            try {
                file.Open(temp);
            } catch (const ENFile&) {
                file.Open(SettingsFile);
                WriteSettings(file);
                return;
            }
            created = true;
            WriteSettings(file);
            DWORD attributes = GetFileAttributesA(SettingsFile.c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & KeptAttributes))
                SetFileAttributesA(temp.c_str(), attributes & KeptAttributes);
            MoveFileOver(temp, SettingsFile);
        } catch (const ENFile& e) {
            failed = true;
            problem = e.Message();
        }
    } // closes the file if a write failed
    if (!failed) return;
    // Only what this save created goes; it may hold a password.
    if (created) DeleteFileA(temp.c_str());
    ReportProblem(SaveFailedText, problem);
}
