// The Blowfish decipher: published vectors, texts enciphered by the build's own tool, the
// zero fill, in-place use, and the silent end on a key of the wrong length.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "AboutTextsCheck.inc"
#include "common/NBF.h"
#include "support/TestSupport.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Hex(const char* text) {
    Bytes out;
    for (size_t i = 0; text[i] && text[i + 1]; i += 2)
        out.push_back(static_cast<uint8_t>(std::stoi(std::string(text + i, 2), nullptr, 16)));
    return out;
}

std::string KeyOf(const Bytes& key) {
    return std::string(key.begin(), key.end());
}

// Deciphers into a fresh buffer under key.
Bytes Plain(const std::string& key, const Bytes& cipher) {
    CipherKey = key;
    Bytes out(cipher.size() + 8, 0xEE);
    EXPECT_TRUE(Decipher(cipher.data(), out.data(), static_cast<uint16_t>(cipher.size())));
    out.resize((cipher.size() + 7) / 8 * 8);
    return out;
}

struct Vector {
    const char* Key;
    const char* Plain;
    const char* Cipher;
};

// The published electronic-codebook set: key, plaintext, ciphertext.
const Vector EcbVectors[] = {
    {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
    {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
    {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
    {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
    {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
    {"1111111111111111", "0123456789ABCDEF", "7D0CC630AFDA1EC7"},
    {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
    {"7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B"},
    {"0131D9619DC1376E", "5CD54CA83DEF57DA", "B1B8CC0B250F09A0"},
    {"07A1133E4A0B2686", "0248D43806F67172", "1730E5778BEA1DA4"},
    {"3849674C2602319E", "51454B582DDF440A", "A25E7856CF2651EB"},
    {"04B915BA43FEB5B6", "42FD443059577FA2", "353882B109CE8F1A"},
    {"0113B970FD34F2CE", "059B5E0851CF143A", "48F4D0884C379918"},
    {"0170F175468FB5E6", "0756D8E0774761D2", "432193B78951FC98"},
    {"43297FAD38E373FE", "762514B829BF486A", "13F04154D69D1AE5"},
    {"07A7137045DA2A16", "3BDD119049372802", "2EEDDA93FFD39C79"},
    {"04689104C2FD3B2F", "26955F6835AF609A", "D887E0393C2DA6E3"},
    {"37D06BB516CB7546", "164D5E404F275232", "5F99D04F5B163969"},
    {"1F08260D1AC2465E", "6B056E18759F5CCA", "4A057A3B24D3977B"},
    {"584023641ABA6176", "004BD6EF09176062", "452031C1E4FADA8E"},
    {"025816164629B007", "480D39006EE762F2", "7555AE39F59B87BD"},
    {"49793EBC79B3258F", "437540C8698F3CFA", "53C55F9CB49FC019"},
    {"4FB05E1515AB73A7", "072D43A077075292", "7A8E7BFA937E89A3"},
    {"49E95D6D4CA229BF", "02FE55778117F12A", "CF9C5D7A4986ADB5"},
    {"018310DC409B26D6", "1D9D5C5018F728C2", "D1ABB290658BC778"},
    {"1C587F1C13924FEF", "305532286D6F295A", "55CB3774D13EF201"},
    {"0101010101010101", "0123456789ABCDEF", "FA34EC4847B268B2"},
    {"1F1F1F1F0E0E0E0E", "0123456789ABCDEF", "A790795108EA3CAE"},
    {"E0FEE0FEF1FEF1FE", "0123456789ABCDEF", "C39E072D9FAC631D"},
    {"0000000000000000", "FFFFFFFFFFFFFFFF", "014933E0CDAFF6E4"},
    {"FFFFFFFFFFFFFFFF", "0000000000000000", "F21E9A77B71C49BC"},
    {"0123456789ABCDEF", "0000000000000000", "245946885754369A"},
    {"FEDCBA9876543210", "FFFFFFFFFFFFFFFF", "6B5C5A9C5D9E0A5A"},
};

// The published variable-key set: plaintext FEDCBA9876543210 under the first n bytes of one
// 24-byte key. Keys below 8 bytes end the program here, so the set starts at 8.
const char VariableKey[] = "F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677";
const char VariableKeyPlain[] = "FEDCBA9876543210";
const char* const VariableKeyCiphers[] = {
    "E87A244E2CC85E82", // 8 bytes
    "15750E7A4F4EC577", "122BA70B3AB64AE0", "3A833C9AFFC537F6", "9409DA87A90F6BF2",
    "884F80625060B8B4", "1F85031C19E11968", "79D9373A714CA34F", "93142887EE3BE15C",
    "03429E838CE2D14B", "A4299E27469FF67B", "AFD5AED1C1BC96A8", "10851C0E3858DA9F",
    "E6F51ED79B9DB21F", "64A6E14AFD36B46F", "80C7D7D45A5479AD",
    "05044B62FA52D080", // 24 bytes
};

TEST(PublishedVectors, EveryElectronicCodebookVectorDeciphers) {
    for (const Vector& v : EcbVectors) {
        SCOPED_TRACE(v.Key);
        EXPECT_EQ(Hex(v.Plain), Plain(KeyOf(Hex(v.Key)), Hex(v.Cipher)));
    }
}

// From 17 bytes on, the key holds a zero byte: the key is its bytes, not a C string.
TEST(PublishedVectors, VariableKeyLengthsFromEightToTwentyFourDecipher) {
    Bytes full = Hex(VariableKey);
    ASSERT_EQ(0, full[16]);
    size_t length = 8;
    for (const char* cipher : VariableKeyCiphers) {
        SCOPED_TRACE(length);
        Bytes key(full.begin(), full.begin() + static_cast<ptrdiff_t>(length));
        EXPECT_EQ(Hex(VariableKeyPlain), Plain(KeyOf(key), Hex(cipher)));
        ++length;
    }
    EXPECT_EQ(25u, length);
}

// Into another buffer, and in place.
TEST(BuildTool, TextsEncipheredByTheToolComeBack) {
    for (const ToolVector& v : ToolVectors) {
        SCOPED_TRACE(std::string(v.Key, v.KeyLength));
        uint16_t padded = static_cast<uint16_t>((v.Length + 7) / 8 * 8);
        Bytes cipher(v.Cipher, v.Cipher + padded);
        EXPECT_EQ(Bytes(v.Plain, v.Plain + padded), Plain(std::string(v.Key, v.KeyLength), cipher));
        ASSERT_TRUE(Decipher(cipher.data(), cipher.data(), padded));
        EXPECT_EQ(Bytes(v.Plain, v.Plain + padded), cipher);
    }
}

TEST(BuildTool, TheProgramKeyIsTheToolKeyAndItsFieldsComeBack) {
    EXPECT_STREQ(CheckProgramKey, ProgramKey);
    EXPECT_EQ(35u, std::strlen(ProgramKey));
    for (const char* c = ProgramKey; *c; ++c)
        EXPECT_TRUE(*c > ' ' && *c < 127) << "not printable: " << int(*c);
    const uint16_t sizes[] = {8, 16, 16, 32, 16, 16, 40};
    Bytes fields(CheckCipherFields, CheckCipherFields + sizeof CheckCipherFields);
    CipherKey = ProgramKey;
    size_t offset = 0;
    for (uint16_t size : sizes) {
        EXPECT_TRUE(Decipher(fields.data() + offset, fields.data() + offset, size));
        offset += size;
    }
    EXPECT_EQ(sizeof CheckPlainFields, offset);
    EXPECT_EQ(Bytes(CheckPlainFields, CheckPlainFields + sizeof CheckPlainFields), fields);
}

TEST(Framing, ThirteenBytesDecipherSixteenWithTheLastThreeZeroFirst) {
    const ToolVector& v = ToolVectors[0];
    ASSERT_EQ(13, v.Length);
    std::string key(v.Key, v.KeyLength);
    // Bytes 13 to 15 of the source are not part of the text: they must not leak in.
    Bytes source(v.Cipher, v.Cipher + 16);
    source[13] = 0xA5, source[14] = 0x5A, source[15] = 0xC3;
    Bytes zeroFilled(v.Cipher, v.Cipher + 16);
    zeroFilled[13] = zeroFilled[14] = zeroFilled[15] = 0;
    Bytes expected = Plain(key, zeroFilled);

    Bytes out(24, 0xEE);
    CipherKey = key;
    ASSERT_TRUE(Decipher(source.data(), out.data(), 13));
    EXPECT_EQ(expected, Bytes(out.begin(), out.begin() + 16));
    EXPECT_EQ(Bytes(8, 0xEE), Bytes(out.begin() + 16, out.end())) << "wrote past 16 bytes";
    EXPECT_EQ(Bytes({0xA5, 0x5A, 0xC3}), Bytes(source.begin() + 13, source.end()))
        << "the source was changed";
    // The first block is whole, so it is the tool's text.
    EXPECT_EQ(Bytes(v.Plain, v.Plain + 8), Bytes(out.begin(), out.begin() + 8));
}

// A null destination leaves the result in the work buffer, which may itself be the source.
TEST(Framing, TheWorkBufferHoldsTheResultAndMayBeTheSource) {
    const Vector& v = EcbVectors[7];
    Bytes cipher = Hex(v.Cipher);
    CipherKey = KeyOf(Hex(v.Key));
    ASSERT_TRUE(Decipher(cipher.data(), nullptr, 8));
    EXPECT_EQ(Hex(v.Plain), Bytes(CipherBuffer, CipherBuffer + 8));
    EXPECT_EQ(Hex(v.Cipher), cipher);

    const Vector& w = EcbVectors[9];
    std::memcpy(CipherBuffer, Hex(w.Cipher).data(), 8);
    CipherKey = KeyOf(Hex(w.Key));
    Bytes out(8);
    ASSERT_TRUE(Decipher(CipherBuffer, out.data(), 8));
    EXPECT_EQ(Hex(w.Plain), out);
    EXPECT_EQ(Hex(w.Plain), Bytes(CipherBuffer, CipherBuffer + 8));
}

// Equal cipher blocks give equal plain blocks (no chaining) across the whole buffer, and
// another key in between leaves nothing behind.
TEST(Framing, BlocksAreIndependentAcrossTheWholeBufferAndCallsRepeatable) {
    const Vector& v = EcbVectors[15];
    Bytes block = Hex(v.Cipher), plainBlock = Hex(v.Plain);
    Bytes cipher, expected;
    for (int i = 0; i < CipherBufferSize / 8; ++i) {
        cipher.insert(cipher.end(), block.begin(), block.end());
        expected.insert(expected.end(), plainBlock.begin(), plainBlock.end());
    }
    const std::string key = KeyOf(Hex(v.Key));
    EXPECT_EQ(expected, Plain(key, cipher));
    Plain(KeyOf(Hex(EcbVectors[20].Key)), Hex(EcbVectors[20].Cipher));
    EXPECT_EQ(expected, Plain(key, cipher));
}

TEST(Framing, LengthsOutsideTheBufferAreRefusedUntouched) {
    CipherKey = "eight ch";
    std::memset(CipherBuffer, 0x11, sizeof CipherBuffer);
    Bytes source(CipherBufferSize + 8, 0x22), out(CipherBufferSize + 8, 0x33);
    EXPECT_FALSE(Decipher(source.data(), out.data(), 0));
    EXPECT_FALSE(Decipher(source.data(), out.data(), CipherBufferSize + 1));
    EXPECT_FALSE(Decipher(nullptr, out.data(), 8));
    EXPECT_EQ(Bytes(out.size(), 0x33), out);
    EXPECT_EQ(Bytes(CipherBufferSize, 0x11), Bytes(CipherBuffer, CipherBuffer + CipherBufferSize));
}

TEST(Keys, EightAndSixtyFiveCharactersAreAccepted) {
    Bytes cipher = Hex(EcbVectors[0].Cipher);
    Bytes out(8);
    CipherKey = std::string(8, 'k');
    EXPECT_TRUE(Decipher(cipher.data(), out.data(), 8));
    Bytes withEight = out;
    CipherKey = std::string(65, 'k');
    EXPECT_TRUE(Decipher(cipher.data(), out.data(), 8));
    // A key of one repeated byte is cyclic either way: the same schedule, the same result.
    EXPECT_EQ(withEight, out);
    CipherKey = std::string(64, 'k') + 'j';
    EXPECT_TRUE(Decipher(cipher.data(), out.data(), 8));
    EXPECT_NE(withEight, out) << "the 65th key byte was not used";
}

// ---- A key of the wrong length ends the program: run in a child process ----------------------

constexpr char ChildSwitch[] = "--decipher-with-key-length";
constexpr int ChildContinued = 0x600D;

int ChildDecipher(int keyLength) {
    CipherKey = std::string(static_cast<size_t>(keyLength), 'q');
    uint8_t block[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    Decipher(block, block, 8);
    return ChildContinued;
}

struct ChildRun {
    DWORD ExitCode = STILL_ACTIVE;
    bool SawWindow = false;
};

BOOL CALLBACK FindVisibleWindowOf(HWND window, LPARAM param) {
    auto* pid = reinterpret_cast<DWORD*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != *pid || !IsWindowVisible(window)) return TRUE;
    *pid = 0;
    return FALSE;
}

ChildRun RunChild(int keyLength) {
    char exe[MAX_PATH * 2] = {};
    GetModuleFileNameA(nullptr, exe, sizeof exe);
    std::string command =
        std::string("\"") + exe + "\" " + ChildSwitch + " " + std::to_string(keyLength);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    ChildRun run;
    if (!CreateProcessA(exe, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi)) {
        ADD_FAILURE() << "cannot start the child";
        return run;
    }
    CloseHandle(pi.hThread);
    PumpUntil(
        [&] {
            DWORD pid = pi.dwProcessId;
            EnumWindows(FindVisibleWindowOf, reinterpret_cast<LPARAM>(&pid));
            if (pid == 0) run.SawWindow = true;
            return WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0 || run.SawWindow;
        },
        20000);
    if (WaitForSingleObject(pi.hProcess, 0) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
    WaitForSingleObject(pi.hProcess, 5000);
    GetExitCodeProcess(pi.hProcess, &run.ExitCode);
    CloseHandle(pi.hProcess);
    return run;
}

// With a key in bounds (8) the child comes back from Decipher: the harness itself works.
TEST(Keys, OutOfBoundsKeysEndTheProgramWithoutAMessage) {
    for (int length : {7, 66, 0, 8}) {
        SCOPED_TRACE(length);
        ChildRun run = RunChild(length);
        EXPECT_EQ(length == 8 ? DWORD(ChildContinued) : BadCipherKeyExitCode, run.ExitCode);
        EXPECT_FALSE(run.SawWindow);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], ChildSwitch) == 0)
        return ChildDecipher(std::atoi(argv[2]));
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
