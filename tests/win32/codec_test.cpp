// tests/win32/codec_test.cpp -- the text operations through the import library, bound by
// ordinal: RFC 4648 vectors, the forgiving decoder's rules and the wrappers it accepts,
// openssl's PEM files against their DER bytes, size limits, that bad arguments or small
// buffers fail without writing a byte, and that empty input may come as a NULL pointer,
// to the text operations and the job starts alike.
#include "codec/codrix.h"
#include "tests/reference_codec.h"
#include "tests/small_png.h"
#include "tests/win32/check.h"

#include <stdlib.h>

#include <string>

struct Vector {
    const char *plain;
    const char *encoded;
};

// RFC 4648 section 10.
static const Vector RFC_VECTORS[] = {
    {"", ""},          {"f", "Zg=="},         {"fo", "Zm8="},        {"foo", "Zm9v"},
    {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
};

// Each vector both ways, into blocks of exactly the announced size, then one byte short.
static void CheckRfcVectors(void)
{
    for (const Vector &v : RFC_VECTORS) {
        DWORD plainLength = (DWORD)strlen(v.plain);
        DWORD textLength = (DWORD)strlen(v.encoded);
        DWORD size = EncodedSize(plainLength);
        DWORD decodedSize = DecodedSize(textLength, MeasureText(v.encoded));
        BYTE *text = NewGuarded(size);
        BYTE *plain = NewGuarded(decodedSize);

        CHECK(size == textLength + 1);
        CHECK(decodedSize == plainLength);
        CHECK(EncodeBuffer((const BYTE *)v.plain, plainLength, (char *)text, size));
        CHECK(strcmp((const char *)text, v.encoded) == 0);
        CHECK(Untouched(text + size, GUARD_BYTES));
        CHECK(DecodeText(v.encoded, plain, decodedSize));
        CHECK(memcmp(plain, v.plain, plainLength) == 0);
        CHECK(Untouched(plain + decodedSize, GUARD_BYTES));

        memset(text, GUARD_BYTE, size + GUARD_BYTES);
        CHECK(!EncodeBuffer((const BYTE *)v.plain, plainLength, (char *)text, size - 1));
        CHECK(Untouched(text, size + GUARD_BYTES));
        if (decodedSize > 0) {
            memset(plain, GUARD_BYTE, decodedSize + GUARD_BYTES);
            CHECK(!DecodeText(v.encoded, plain, decodedSize - 1));
            CHECK(Untouched(plain + decodedSize - 1, GUARD_BYTES));
        }
        CHECK(!DecodeText(v.encoded, plain, decodedSize + 1));   // exact size only
        LocalFree(text);
        LocalFree(plain);
    }
}

struct DecodeCase {
    const char *text;
    int decodes;
    const char *bytes;   // what it decodes to, when it does
    DWORD length;
};

// The forgiving rules as the program meets them: pasted text with line breaks, padding
// dropped or kept, base64url, and what must be refused.
static const DecodeCase DECODE_CASES[] = {
    {" Zm9v\r\nYg== ", 1, "foob", 4},
    {"Zm9vYg", 1, "foob", 4},
    {"Zm9vYg=", 0, "", 0},              // '=' is dropped only from a multiple of 4
    {"Zm\t9v\fYmFy\n", 1, "foobar", 6},
    {"-_-_", 1, "\xFB\xFF\xBF", 3},
    {"+/+/", 1, "\xFB\xFF\xBF", 3},
    {"Zg", 1, "f", 1},
    {"Zh==", 1, "f", 1},                // leftover bits are discarded
    {"Zm9vY", 0, "", 0},                // one character over
    {"Zm=9v", 0, "", 0},                // '=' inside
    {"Zm9v===", 0, "", 0},
    {"Zm9v*Yg==", 0, "", 0},
    {"Zm9v\x80Yg==", 0, "", 0},
    // PEM armour, data: URLs and a UTF-8 BOM around the text, and wrappers refused.
    {"-----BEGIN CERTIFICATE-----\r\nZm9vYmFy\r\n-----END CERTIFICATE-----\r\n", 1, "foobar", 6},
    {"\xEF\xBB\xBF-----BEGIN X-----\nZm9vYg==\n-----END X-----", 1, "foob", 4},
    {"\xEF\xBB\xBFZm9v\r\n", 1, "foo", 3},
    {" data:text/plain;base64,Zm9v\n", 1, "foo", 3},
    {"-----BEGIN CERTIFICATE-----\nZm9v\n-----END PRIVATE KEY-----\n", 0, "", 0},
    {"-----BEGIN X-----\nZm9v\n", 0, "", 0},
    // Explanatory text around the armour; a BEGIN line is never data, even after text.
    {"note\r\n-----BEGIN X-----\r\nZm9v\r\n-----END X-----\r\nnote\r\n", 1, "foo", 3},
    {"note\n-----BEGIN CERTIFICATE-----\nMIIDDzCCAfegAwIB\n", 0, "", 0},
    {"Zm9vYmFy\n-----END CERTIFICATE-----\n", 0, "", 0},
    {"-----BEGIN X-----\nZm9v\n-----END X-----\n-----BEGIN X-----\nZm9v\n-----END X-----\n", 0, "", 0},
    {"-----BEGIN X-----\nProc-Type: 4,ENCRYPTED\n\nZm9v\n-----END X-----\n", 0, "", 0},
    {"-----BEGIN X-----\nZm9v\n-----\nZm9v\n-----END X-----\n", 0, "", 0},
    {"data:text/plain,Zm9v", 0, "", 0},
    {"data:;base64,Zm8%3D", 0, "", 0},
};

static void CheckDecodeRules(void)
{
    BYTE out[32];
    for (const DecodeCase &c : DECODE_CASES) {
        DWORD size = c.decodes ? c.length : DecodedSize((DWORD)strlen(c.text), MeasureText(c.text));
        memset(out, GUARD_BYTE, sizeof(out));
        int ok = DecodeText(c.text, out, size);
        if (!CHECK(ok == c.decodes)) printf("  text \"%s\"\n", c.text);
        if (c.decodes) {
            CHECK(DecodedSize((DWORD)strlen(c.text), MeasureText(c.text)) == c.length);
            CHECK(memcmp(out, c.bytes, c.length) == 0);
        }
        CHECK(Untouched(out + size, sizeof(out) - size));
    }
}

// Decodes `text` at its measured size and compares with `bytes`; 1 when they agree.
static int DecodesTo(const std::string &text, const std::string &bytes)
{
    DWORD size = DecodedSize((DWORD)text.size(), MeasureText(text.c_str()));
    BYTE *out = NewGuarded(size);
    int ok = size == bytes.size() && DecodeText(text.c_str(), out, size) &&
             memcmp(out, bytes.data(), size) == 0 && Untouched(out + size, GUARD_BYTES);
    LocalFree(out);
    return ok;
}

// 1 when `text` does not decode at its measured size.
static int Refused(const std::string &text)
{
    DWORD size = DecodedSize((DWORD)text.size(), MeasureText(text.c_str()));
    BYTE *out = NewGuarded(size);
    int refused = !DecodeText(text.c_str(), out, size) && Untouched(out + size, GUARD_BYTES);
    LocalFree(out);
    return refused;
}

static int ReadTestFile(const char *folder, const char *name, std::string *bytes)
{
    std::string path = std::string(folder) + "/" + name;
    FILE *file = fopen(path.c_str(), "rb");
    char block[4096];
    size_t got = 0;
    if (!file) {
        printf("  cannot open %s\n", path.c_str());
        return 0;
    }
    bytes->clear();
    while ((got = fread(block, 1, sizeof(block), file)) > 0) bytes->append(block, got);
    fclose(file);
    return 1;
}

// What openssl wrote (a certificate, an RSA key, and an Ed25519 key whose body has no
// '='; the certificate also with explanatory text around its armour), as it wrote it, with
// CR LF line ends and after a UTF-8 BOM: each decodes to the DER bytes openssl made of it.
// Two blocks in one file (a chain, ecparam's parameters and key) are refused.
static void CheckOpensslPemFiles(void)
{
    static const struct {
        const char *pem, *der;
    } FILES[] = {
        {"cert", "cert"}, {"rsa_key", "rsa_key"}, {"ed25519_key", "ed25519_key"},
        {"cert_text", "cert"}, {"cert_bag", "cert"}, {"cert_note", "cert"},
    };
    const char *folder = getenv("QUORVEL_PEM_FOLDER");
    int wholeGroups = 0;
    if (!CHECK(folder != NULL)) return;
    for (const auto &file : FILES) {
        const char *name = file.pem;
        std::string pem, der, crlf;
        if (!CHECK(ReadTestFile(folder, (std::string(name) + ".pem").c_str(), &pem)) ||
            !CHECK(ReadTestFile(folder, (std::string(file.der) + ".der").c_str(), &der)))
            continue;
        for (char c : pem) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        wholeGroups += der.size() % 3 == 0 && pem.find('=') == std::string::npos;
        if (!CHECK(DecodesTo(pem, der))) printf("  %s.pem\n", name);
        if (!CHECK(DecodesTo(crlf, der))) printf("  %s.pem with CR LF\n", name);
        if (!CHECK(DecodesTo("\xEF\xBB\xBF" + crlf, der))) printf("  %s.pem after a BOM\n", name);
        // Without its BEGIN line the armour is refused, never read as data.
        size_t begin = pem.find("-----BEGIN");
        std::string headless = pem.substr(0, begin) + pem.substr(pem.find('\n', begin) + 1);
        if (!CHECK(Refused(headless))) printf("  %s.pem headless\n", name);
    }
    for (const char *name : {"chain", "ec_key"}) {
        std::string pem;
        if (CHECK(ReadTestFile(folder, (std::string(name) + ".pem").c_str(), &pem)) && !CHECK(Refused(pem)))
            printf("  %s.pem\n", name);
    }
    CHECK(wholeGroups >= 1);
}

static void CheckDataUrlOfPng(void)
{
    std::string png(SMALL_PNG, SMALL_PNG_BYTES);
    std::string base64 = ReferenceEncode((const uint8_t *)png.data(), png.size());
    CHECK(DecodesTo("data:image/png;base64," + base64, png));
    CHECK(DecodesTo("data:image/png;base64," + base64 + "\r\n", png));
}

// Null pointers are failures, never writes or crashes.
static void CheckBadArguments(void)
{
    BYTE block[8];
    memset(block, GUARD_BYTE, sizeof(block));
    CHECK(!EncodeBuffer(NULL, 3, (char *)block, sizeof(block)));
    CHECK(!EncodeBuffer((const BYTE *)"foo", 3, NULL, sizeof(block)));
    CHECK(!EncodeBuffer((const BYTE *)"foo", 3, (char *)block, 0));
    CHECK(!DecodeText(NULL, block, 3));
    CHECK(!DecodeText("Zm9v", NULL, 3));
    CHECK(Untouched(block, sizeof(block)));
    CHECK(MeasureText(NULL) == 0);
    CHECK(MeasureText(" =\t\r\n\f=A") == 7);
}

static volatile LONG emptyJobsDone = 0;
static volatile LONG emptyJobsSucceeded = 0;

static void WINAPI CountEmptyJob(HANDLE job, int success, DWORD userValue)
{
    (void)job;
    (void)userValue;
    if (success) InterlockedIncrement(&emptyJobsSucceeded);
    InterlockedIncrement(&emptyJobsDone);
}

// A NULL pointer is an empty buffer wherever its length is 0 (an empty container's data
// pointer); with any other length, or in place of a text, it stays a clean failure.
static void CheckEmptyInputsMayBeNull(void)
{
    BYTE block[8];
    char text[8];
    HANDLE jobs[2];
    DWORD started = GetTickCount();

    memset(text, GUARD_BYTE, sizeof(text));
    CHECK(EncodeBuffer(NULL, 0, text, 1));
    CHECK(text[0] == '\0' && Untouched((const BYTE *)text + 1, sizeof(text) - 1));
    CHECK(DecodeText("", NULL, 0));
    CHECK(DecodeText(" \r\n", NULL, 0));
    CHECK(!DecodeText("Zm9v", NULL, 0));
    CHECK(!DecodeText(NULL, NULL, 0));
    CHECK(!EncodeBuffer(NULL, 0, NULL, 1));

    memset(text, GUARD_BYTE, sizeof(text));
    memset(block, GUARD_BYTE, sizeof(block));
    jobs[0] = StartEncodeJob(NULL, 0, text, 1, CountEmptyJob, 0);
    jobs[1] = StartDecodeJob("", NULL, 0, CountEmptyJob, 0);
    CHECK(jobs[0] != INVALID_HANDLE_VALUE && jobs[1] != INVALID_HANDLE_VALUE);
    CHECK(StartEncodeJob(NULL, 3, (char *)block, sizeof(block), CountEmptyJob, 0) ==
          INVALID_HANDLE_VALUE);
    CHECK(StartDecodeJob("Zm9v", NULL, 0, CountEmptyJob, 0) == INVALID_HANDLE_VALUE);
    CHECK(StartDecodeJob(NULL, block, 0, CountEmptyJob, 0) == INVALID_HANDLE_VALUE);
    CHECK(Untouched(block, sizeof(block)));
    // Only the jobs that started complete; a job is over once its completion has run.
    while (emptyJobsDone < 2 && GetTickCount() - started < 60000) Sleep(1);
    CHECK(emptyJobsDone == 2 && emptyJobsSucceeded == 2);
    CHECK(text[0] == '\0' && Untouched((const BYTE *)text + 1, sizeof(text) - 1));
    for (HANDLE job : jobs)
        if (job != INVALID_HANDLE_VALUE) CloseHandle(job);
}

// The 32-bit limits: the largest input whose text still fits, and the first that does not.
static void CheckSizeLimits(void)
{
    BYTE block[8];
    CHECK(EncodedSize(0) == 1);
    CHECK(EncodedSize(0xBFFFFFFDu) == 0xFFFFFFFDu);
    CHECK(EncodedSize(0xBFFFFFFEu) == 0);
    CHECK(EncodedSize(0xFFFFFFFFu) == 0);
    CHECK(DecodedSize(0xFFFFFFFFu, 3) == 0xBFFFFFFDu);
    CHECK(DecodedSize(0xFFFFFFFFu, 0) == 0xBFFFFFFFu);
    CHECK(DecodedSize(1, 2) == 0);
    CHECK(DecodedSize(6, 0) == 4);
    // A length whose text overflows is refused before the input is read.
    memset(block, GUARD_BYTE, sizeof(block));
    CHECK(!EncodeBuffer(block, 0xFFFFFFFFu, (char *)block, sizeof(block)));
    CHECK(Untouched(block, sizeof(block)));
}

// Every length 0..300 of random bytes survives the round trip through exact buffers.
static void CheckRoundTrips(void)
{
    BYTE input[300];
    FillRandom(input, sizeof(input), 12345);
    for (DWORD length = 0; length <= sizeof(input); ++length) {
        DWORD size = EncodedSize(length);
        BYTE *text = NewGuarded(size);
        BYTE *back = NULL;
        DWORD backSize = 0;
        CHECK(EncodeBuffer(input, length, (char *)text, size));
        backSize = DecodedSize(size - 1, MeasureText((const char *)text));
        CHECK(backSize == length);
        back = NewGuarded(backSize);
        CHECK(DecodeText((const char *)text, back, backSize));
        CHECK(memcmp(back, input, length) == 0);
        CHECK(Untouched(text + size, GUARD_BYTES) && Untouched(back + backSize, GUARD_BYTES));
        LocalFree(text);
        LocalFree(back);
    }
}

// The library answers by ordinal and by no name at all.
static void CheckOrdinalsOnly(void)
{
    static const char *NAMES[] = {"EncodedSize", "DecodedSize", "MeasureText", "EncodeBuffer",
                                  "DecodeText", "StartEncodeJob", "StartDecodeJob",
                                  "QueryEncodeProgress", "QueryDecodeProgress"};
    static const WORD ORDINALS[] = {1, 2, 3, 7, 9, 11, 13, 15, 16};
    HMODULE library = GetModuleHandleA("Codrix.dll");
    if (!CHECK(library != NULL)) return;
    for (const char *name : NAMES) CHECK(GetProcAddress(library, name) == NULL);
    for (WORD ordinal : ORDINALS)
        CHECK(GetProcAddress(library, MAKEINTRESOURCEA(ordinal)) != NULL);
    CHECK(GetProcAddress(library, MAKEINTRESOURCEA(4)) == NULL);
}

int main(void)
{
    CheckRfcVectors();
    CheckDecodeRules();
    CheckOpensslPemFiles();
    CheckDataUrlOfPng();
    CheckBadArguments();
    CheckEmptyInputsMayBeNull();
    CheckSizeLimits();
    CheckRoundTrips();
    CheckOrdinalsOnly();
    return CheckSummary("codec_test");
}
