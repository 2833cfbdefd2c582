// Encode File and Decode File with the check box unchecked, through the real Open and
// Save dialogs: the exact bytes written, the default extension, the preselected filters,
// openssl's PEM files and texts with a BOM or in UTF-16, every error message, overwriting,
// and refusing files of 4 GiB and more; the names and folders the Save dialogs suggest,
// in the foreground and the background; files dropped on the dialog, and refused drops.
// Usage: files_foreground_test <program.exe> [case]; QUORVEL_PEM_FOLDER names the folder
// of openssl's PEM and DER files.
#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "files_steps.h"
#include "tests/small_png.h"

static Session s;
static char folder[MAX_PATH];

static std::string At(const char *name)
{
    return JoinPath(folder, name);
}

static std::string EveryByteValue(size_t size)
{
    std::string bytes(size, '\0');
    unsigned state = 12345;
    for (size_t i = 0; i < size; i++) {
        // Every value in order first, then a pseudo-random tail.
        state = state * 1103515245u + 12345u;
        bytes[i] = (char)(i < 256 ? i : state >> 16);
    }
    return bytes;
}

// Encodes `input` to `output`, decodes that back to `again`; both files must be exact.
static void RoundTrip(const char *what, const std::string &bytes)
{
    std::string input = At((std::string(what) + ".bin").c_str());
    std::string encoded = At((std::string(what) + ".QVB").c_str());
    std::string decoded = At((std::string(what) + ".out").c_str());
    printf("round trip: %s (%u bytes)\n", what, (unsigned)bytes.size());
    REQUIRE(UiWriteFile(input.c_str(), bytes.data(), (DWORD)bytes.size()));

    CHECK(OpenThrough(&s, s.encode, ENCODE_OPEN_TITLE, input.c_str()));
    CHECK(SaveThrough(&s, ENCODE_SAVE_TITLE, encoded.c_str(), ENCODED_FILTER_NAME));
    CHECK(WaitForIdle(&s, UI_TIMEOUT_MS));
    std::string text = ReadAll(encoded.c_str());
    CHECK_INT(text.size(), (bytes.size() + 2) / 3 * 4);  // no NUL at the end
    CHECK(text == ReferenceEncode(bytes));

    CHECK(OpenThrough(&s, s.decode, DECODE_OPEN_TITLE, encoded.c_str()));
    CHECK(SaveThrough(&s, DECODE_SAVE_TITLE, decoded.c_str(), ANY_FILTER_NAME));
    CHECK(WaitForIdle(&s, UI_TIMEOUT_MS));
    std::string back = ReadAll(decoded.c_str());
    CHECK_INT(back.size(), bytes.size());
    CHECK(back == bytes);
}

static void RoundTrips(void)
{
    RoundTrip("empty", "");
    RoundTrip("one", std::string(1, '\xFF'));
    RoundTrip("two", std::string("\x00\x80", 2));
    RoundTrip("three", "Man");
    RoundTrip("large", EveryByteValue(3 * 1024 * 1024 + 1));
}

static void DecodesLineBrokenText(void)
{
    std::string bytes = EveryByteValue(1000);
    std::string text = ReferenceEncode(bytes), broken;
    std::string input = At("lines.txt"), output = At("lines.out");
    for (size_t i = 0; i < text.size(); i += 76) broken += text.substr(i, 76) + "\r\n";
    REQUIRE(UiWriteFile(input.c_str(), broken.data(), (DWORD)broken.size()));
    CHECK(OpenThrough(&s, s.decode, DECODE_OPEN_TITLE, input.c_str()));
    CHECK(SaveThrough(&s, DECODE_SAVE_TITLE, output.c_str(), NULL));
    CHECK(WaitForIdle(&s, UI_TIMEOUT_MS));
    CHECK(ReadAll(output.c_str()) == bytes);
}

// Decodes `input` through Decode File into `output`; 1 when the file written is `bytes`.
static int DecodesFileTo(const std::string &input, const std::string &output,
                         const std::string &bytes)
{
    CHECK(OpenThrough(&s, s.decode, DECODE_OPEN_TITLE, input.c_str()));
    CHECK(SaveThrough(&s, DECODE_SAVE_TITLE, output.c_str(), ANY_FILTER_NAME));
    CHECK(WaitForIdle(&s, UI_TIMEOUT_MS));
    return ReadAll(output.c_str()) == bytes;
}

// openssl's certificate and keys, as it wrote them, decode to its DER bytes, and so does
// the certificate with explanatory text around its armour (x509 -text's dump, pkcs12's Bag
// Attributes, a note after it), with LF and with CR LF line ends; a chain of two
// certificates and ecparam's two blocks are refused, with no Save dialog and no file.
// Every other file goes through a background job. The Ed25519 key's body is whole groups,
// with no '='.
static void DecodesOpensslPemFiles(void)
{
    static const struct {
        const char *pem, *der;   // der NULL: refused
    } FILES[] = {
        {"cert", "cert"},           {"ed25519_key", "ed25519_key"}, {"rsa_key", "rsa_key"},
        {"cert_text", "cert"},      {"cert_text_crlf", "cert"},     {"cert_bag", "cert"},
        {"cert_bag_crlf", "cert"},  {"cert_note", "cert"},          {"cert_note_crlf", "cert"},
        {"chain", NULL},            {"ec_key", NULL},
    };
    const char *pemFolder = getenv("QUORVEL_PEM_FOLDER");
    REQUIRE(pemFolder != NULL);
    for (size_t i = 0; i < sizeof FILES / sizeof FILES[0]; ++i) {
        std::string pem = JoinPath(pemFolder, (std::string(FILES[i].pem) + ".pem").c_str());
        int background = i % 2;
        SetAsync(&s, background);
        if (!FILES[i].der) {
            int files = CountFiles(folder);
            printf("pem: %s refused%s\n", FILES[i].pem, background ? ", in the background" : "");
            CHECK(OpenThrough(&s, s.decode, DECODE_OPEN_TITLE, pem.c_str()));
            CHECK(ExpectError(&s, "Error: Could not decode file!"));
            CHECK(WaitForIdle(&s, UI_TIMEOUT_MS));
            CHECK_INT(CountFiles(folder), files);
            continue;
        }
        std::string der = ReadAll(JoinPath(pemFolder, (std::string(FILES[i].der) + ".der").c_str()).c_str());
        printf("pem: %s (%u DER bytes)%s\n", FILES[i].pem, (unsigned)der.size(),
               background ? ", in the background" : "");
        CHECK(!der.empty());
        CHECK(DecodesFileTo(pem, At((std::string(FILES[i].pem) + ".der").c_str()), der));
    }
    SetAsync(&s, 0);
}

// A Base64 text saved as UTF-8 with a BOM, and as UTF-16LE and UTF-16BE with theirs, as
// Windows editors and PowerShell save it: each decodes to the same bytes.
static void DecodesTextsWithByteOrderMarks(void)
{
    std::string png(SMALL_PNG, SMALL_PNG_BYTES);
    std::string text = "data:image/png;base64," + ReferenceEncode(png) + "\r\n";
    std::string little = "\xFF\xFE", big = "\xFE\xFF";
    for (char c : text) {
        little += std::string(1, c) + '\0';
        big += std::string(1, '\0') + c;
    }
    const struct {
        const char *name;
        std::string file;
    } files[] = {
        {"utf8", "\xEF\xBB\xBF" + text},
        {"utf16le", little},
        {"utf16be", big},
    };
    for (const auto &f : files) {
        printf("text with a byte-order mark: %s\n", f.name);
        std::string input = At((std::string(f.name) + ".QVB").c_str());
        REQUIRE(UiWriteFile(input.c_str(), f.file.data(), (DWORD)f.file.size()));
        CHECK(DecodesFileTo(input, At((std::string(f.name) + ".png").c_str()), png));
    }
}

static void AddsDefaultExtension(void)
{
    std::string input = At("plain.txt");
    REQUIRE(UiWriteFile(input.c_str(), "hello", 5));
    CHECK(OpenThrough(&s, s.encode, ENCODE_OPEN_TITLE, input.c_str()));
    CHECK(SaveThrough(&s, ENCODE_SAVE_TITLE, At("noextension").c_str(), ENCODED_FILTER_NAME));
    CHECK(WaitForIdle(&s, UI_TIMEOUT_MS));
    CHECK_TEXT(ReadAll(At("noextension.QVB").c_str()).c_str(), "aGVsbG8=");
    CHECK(!FileExists(At("noextension").c_str()));
}

static void RefusesInvalidBase64(void)
{
    struct Case {
        const char *what;
        std::string text;
    };
    const Case cases[] = {
        {"not Base64", "this is not base64!"},
        {"a zero byte inside", std::string("aGVs\0bG8=", 9)},
        {"one character too many", "aGVsbG8gd"},
        {"a chain of two PEM blocks",
         "-----BEGIN CERTIFICATE-----\naGVsbG8=\n-----END CERTIFICATE-----\n"
         "-----BEGIN CERTIFICATE-----\naGVsbG8=\n-----END CERTIFICATE-----\n"},
        // Read as bytes, or with the high byte dropped, each of these would decode.
        {"UTF-16LE with a character above 0x7F",
         std::string("\xFF\xFE" "a\0G\0V\0s\0b\0G\0" "8\0\x41\x01", 18)},
        {"UTF-16BE with an odd byte at the end",
         std::string("\xFE\xFF\0a\0G\0V\0s\0b\0G\0" "8\0=\0", 19)},
    };
    for (const Case &c : cases) {
        printf("invalid: %s\n", c.what);
        std::string input = At("invalid.QVB"), output = At("invalid.out");
        REQUIRE(UiWriteFile(input.c_str(), c.text.data(), (DWORD)c.text.size()));
        CHECK(OpenThrough(&s, s.decode, DECODE_OPEN_TITLE, input.c_str()));
        CHECK(ExpectError(&s, "Error: Could not decode file!"));
        CHECK(WaitForIdle(&s, UI_TIMEOUT_MS));
        CHECK(!FileExists(output.c_str()));
    }
}

static void ReportsUnreadableInput(void)
{
    std::string input = At("locked.bin");
    char windowsPath[MAX_PATH];
    HANDLE held;
    REQUIRE(UiWriteFile(input.c_str(), "abc", 3));
    UiWindowsPath(input.c_str(), windowsPath, sizeof(windowsPath));
    held = CreateFileA(windowsPath, GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    REQUIRE(held != INVALID_HANDLE_VALUE);
    CHECK(OpenThrough(&s, s.encode, ENCODE_OPEN_TITLE, input.c_str()));
    CHECK(ExpectError(&s, "Error: Could not access file!"));
    CHECK(WaitForIdle(&s, UI_TIMEOUT_MS));
    CloseHandle(held);
}

static void RefusesFilesOf4GiB(void)
{
    std::string input = At("huge.bin");
    char windowsPath[MAX_PATH];
    LARGE_INTEGER size;
    HANDLE file;
    DWORD ignored = 0;
    UiWindowsPath(input.c_str(), windowsPath, sizeof(windowsPath));
    file = CreateFileA(windowsPath, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    REQUIRE(file != INVALID_HANDLE_VALUE);
    // Sparse, so the 4 GiB cost no disk; read modulo 4 GiB it would look like 10 bytes.
    DeviceIoControl(file, FSCTL_SET_SPARSE, NULL, 0, NULL, 0, &ignored, NULL);
    size.QuadPart = 0x100000000LL + 10;
    REQUIRE(SetFilePointerEx(file, size, NULL, FILE_BEGIN) && SetEndOfFile(file));
    CloseHandle(file);
    CHECK(OpenThrough(&s, s.encode, ENCODE_OPEN_TITLE, input.c_str()));
    CHECK(ExpectError(&s, "Error: Could not access file!"));
    CHECK(WaitForIdle(&s, UI_TIMEOUT_MS));
    DeleteFileA(windowsPath);
}

static void CancelledDialogsAreSilent(void)
{
    std::string input = At("cancel.bin");
    int before;
    REQUIRE(UiWriteFile(input.c_str(), "xyz", 3));
    CHECK(OpenThrough(&s, s.encode, ENCODE_OPEN_TITLE, NULL));
    CHECK(NothingAppears(&s, 1000));
    CHECK(OpenThrough(&s, s.decode, DECODE_OPEN_TITLE, NULL));
    CHECK(NothingAppears(&s, 1000));
    before = CountFiles(folder);
    CHECK(OpenThrough(&s, s.encode, ENCODE_OPEN_TITLE, input.c_str()));
    CHECK(SaveThrough(&s, ENCODE_SAVE_TITLE, NULL, NULL));
    CHECK(NothingAppears(&s, 1000));
    CHECK(WaitForIdle(&s, UI_TIMEOUT_MS));
    CHECK_INT(CountFiles(folder), before);
}

// Saves "Man" encoded over an existing destination and answers the overwrite prompt.
static int SaveOver(const std::string &destination)
{
    HWND fileDialog;
    std::string input = At("over.bin");
    REQUIRE(UiWriteFile(input.c_str(), "Man", 3));
    CHECK(OpenThrough(&s, s.encode, ENCODE_OPEN_TITLE, input.c_str()));
    fileDialog = UiWaitForFileDialog(s.pid, ENCODE_SAVE_TITLE, UI_TIMEOUT_MS);
    if (!CHECK(fileDialog != NULL)) return 0;
    UiChooseFile(fileDialog, destination.c_str());
    CHECK(UiAnswerOverwrite(s.pid, fileDialog, IDYES));
    return CHECK(UiWaitForWindowGone(fileDialog, UI_TIMEOUT_MS));
}

static void OverwritesOnlyWhenEveryByteIsWritten(void)
{
    std::string destination = At("existing.QVB");
    std::string old(100000, 'Q');
    char windowsPath[MAX_PATH];
    HANDLE held;
    int before;

    // A confirmed overwrite replaces the whole file, however long it was.
    REQUIRE(UiWriteFile(destination.c_str(), old.data(), (DWORD)old.size()));
    SaveOver(destination);
    CHECK(WaitForIdle(&s, UI_TIMEOUT_MS));
    CHECK_TEXT(ReadAll(destination.c_str()).c_str(), "TWFu");

    // A destination in use cannot be replaced: the error shows, the old file stays whole
    // and no temporary file is left beside it.
    REQUIRE(UiWriteFile(destination.c_str(), old.data(), (DWORD)old.size()));
    UiWindowsPath(destination.c_str(), windowsPath, sizeof(windowsPath));
    held = CreateFileA(windowsPath, GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    REQUIRE(held != INVALID_HANDLE_VALUE);
    before = CountFiles(folder);
    SaveOver(destination);
    CHECK(ExpectError(&s, "Error: Could not access file!"));
    CHECK(WaitForIdle(&s, UI_TIMEOUT_MS));
    CloseHandle(held);
    CHECK_INT(CountFiles(folder), before);
    CHECK(ReadAll(destination.c_str()) == old);

    // A destination that names a folder cannot be created either. Typed as it is, the
    // dialog would open the folder; typed without the extension, the name it completes
    // with the default extension is the folder's.
    std::string input = At("tofolder.bin");
    std::string sub = At("folder.QVB");
    char subPath[MAX_PATH];
    UiWindowsPath(sub.c_str(), subPath, sizeof(subPath));
    REQUIRE(CreateDirectoryA(subPath, NULL));
    REQUIRE(UiWriteFile(input.c_str(), "abc", 3));
    before = CountFiles(folder);
    CHECK(OpenThrough(&s, s.encode, ENCODE_OPEN_TITLE, input.c_str()));
    HWND fileDialog = UiWaitForFileDialog(s.pid, ENCODE_SAVE_TITLE, UI_TIMEOUT_MS);
    REQUIRE(fileDialog != NULL);
    UiChooseFile(fileDialog, At("folder").c_str());
    // The dialog may ask before replacing; the save must then fail all the same.
    if (UiWaitForWindowGone(fileDialog, 3000) == 0) {
        UiMessageBox box;
        if (UiWaitForMessageBox(s.pid, 1000, &box)) UiPressButton(box.window, IDYES);
        CHECK(UiWaitForWindowGone(fileDialog, UI_TIMEOUT_MS));
    }
    CHECK(ExpectError(&s, "Error: Could not access file!"));
    CHECK(WaitForIdle(&s, UI_TIMEOUT_MS));
    CHECK_INT(CountFiles(folder), before);
    CHECK(GetFileAttributesA(subPath) & FILE_ATTRIBUTE_DIRECTORY);
}

static void PreselectsFilters(void)
{
    char type[256];
    HWND fileDialog;
    UiClick(s.decode);
    fileDialog = UiWaitForFileDialog(s.pid, DECODE_OPEN_TITLE, UI_TIMEOUT_MS);
    REQUIRE(fileDialog != NULL);
    CHECK_INT(SelectedFileType(fileDialog, type, sizeof(type)), 0);
    CHECK_TEXT(type, ENCODED_FILTER_NAME);
    CHECK(UiCancelFileDialog(fileDialog));
    UiClick(s.encode);
    fileDialog = UiWaitForFileDialog(s.pid, ENCODE_OPEN_TITLE, UI_TIMEOUT_MS);
    REQUIRE(fileDialog != NULL);
    CHECK_INT(SelectedFileType(fileDialog, type, sizeof(type)), 0);
    CHECK_TEXT(type, ANY_FILTER_NAME);
    CHECK(UiCancelFileDialog(fileDialog));
    CHECK(WaitForIdle(&s, UI_TIMEOUT_MS));
}

// A subfolder of the test's folder for one step, created empty.
static std::string Subfolder(const char *name)
{
    std::string path = At(name);
    char windowsPath[MAX_PATH];
    UiWindowsPath(path.c_str(), windowsPath, sizeof(windowsPath));
    CreateDirectoryA(windowsPath, NULL);
    return path;
}

// The Save dialog offers the input's folder, which the dialog did not last show (each row
// has a folder of its own), and a name from the input's, which the user takes with OK.
static void SuggestsNameAndFolder(void)
{
    std::string png(SMALL_PNG, SMALL_PNG_BYTES), text = ReferenceEncode(png);
    const struct {
        const char *input;
        int encode, background;
        const char *suggested;
    } rows[] = {
        {"photo.png", 1, 0, "photo.png.QVB"},
        {"photo.png.QVB", 0, 1, "photo.png"},
        {"archive.tar.gz", 1, 1, "archive.tar.gz.QVB"},
        {"cert.pem", 0, 0, "cert.der"},
        {"data.B64", 0, 1, "data"},
        {"notes.txt", 0, 0, "notes.txt.bin"},
    };
    int row = 0;
    for (const auto &r : rows) {
        char name[32];
        wsprintfA(name, "suggest%d", row++);
        std::string sub = Subfolder(name);
        std::string input = JoinPath(sub.c_str(), r.input);
        const std::string &content = r.encode ? png : text;
        printf("suggestion: %s %s in the %s\n", r.encode ? "encoding" : "decoding", r.input,
               r.background ? "background" : "foreground");
        REQUIRE(UiWriteFile(input.c_str(), content.data(), (DWORD)content.size()));
        SetAsync(&s, r.background);
        CHECK(OpenThrough(&s, r.encode ? s.encode : s.decode,
                          r.encode ? ENCODE_OPEN_TITLE : DECODE_OPEN_TITLE, input.c_str()));
        CHECK(AcceptSuggestion(&s, r.encode ? ENCODE_SAVE_TITLE : DECODE_SAVE_TITLE,
                               r.suggested));
        CHECK(WaitForIdle(&s, UI_TIMEOUT_MS));
        CHECK(ReadAll(JoinPath(sub.c_str(), r.suggested).c_str()) == (r.encode ? text : png));
        CHECK_INT(CountFiles(sub.c_str()), 2);
    }
    SetAsync(&s, 0);
}

// A file dropped on each place that takes it converts as its button's does after the Open
// dialog; a drop elsewhere, of two files or of a folder converts nothing and says why.
static void TakesDroppedFiles(void)
{
    std::string png(SMALL_PNG, SMALL_PNG_BYTES), text = ReferenceEncode(png);
    std::string sub = Subfolder("drops");
    const struct {
        const char *what;
        HWND *place;
        int encode;
    } places[] = {
        {"the plain text box", &s.plain, 1},
        {"the plain text label", &s.plainLabel, 1},
        {"Encode File", &s.encode, 1},
        {"the Base64 box", &s.base64, 0},
        {"the Base64 label", &s.base64Label, 0},
        {"Decode File", &s.decode, 0},
    };
    int place = 0;
    for (const auto &p : places) {
        char name[32], suggested[40];
        wsprintfA(name, p.encode ? "dropped%d.png" : "dropped%d.png.QVB", place++);
        lstrcpyA(suggested, name);
        if (p.encode) lstrcatA(suggested, ".QVB");
        else suggested[lstrlenA(suggested) - 4] = '\0';
        std::string input = JoinPath(sub.c_str(), name);
        const std::string &content = p.encode ? png : text;
        printf("drop on %s\n", p.what);
        REQUIRE(UiWriteFile(input.c_str(), content.data(), (DWORD)content.size()));
        const char *paths[] = {input.c_str()};
        CHECK(DropOn(&s, *p.place, paths, 1));
        CHECK(AcceptSuggestion(&s, p.encode ? ENCODE_SAVE_TITLE : DECODE_SAVE_TITLE, suggested));
        CHECK(WaitForIdle(&s, UI_TIMEOUT_MS));
        CHECK(ReadAll(JoinPath(sub.c_str(), suggested).c_str()) == (p.encode ? text : png));
    }

    std::string one = JoinPath(sub.c_str(), "dropped0.png");
    std::string two = JoinPath(sub.c_str(), "dropped1.png");
    const char *single[] = {one.c_str()}, *pair[] = {one.c_str(), two.c_str()};
    const char *folderOnly[] = {sub.c_str()};
    const struct {
        const char *what;
        HWND place;
        const char *const *paths;
        int count;
        const char *error;
    } refused[] = {
        {"a file on the progress bar", s.progress, single, 1, DROP_ELSEWHERE_ERROR},
        {"a file on the check box", s.async, single, 1, DROP_ELSEWHERE_ERROR},
        {"two files on the plain text box", s.plain, pair, 2, DROP_SEVERAL_ERROR},
        {"a folder on the Base64 box", s.base64, folderOnly, 1, DROP_FOLDER_ERROR},
    };
    for (const auto &r : refused) {
        int before = CountFiles(sub.c_str());
        printf("refused drop: %s\n", r.what);
        CHECK(DropOn(&s, r.place, r.paths, r.count));
        CHECK(ExpectError(&s, r.error));
        CHECK(NothingAppears(&s, 1000));
        CHECK(WaitForIdle(&s, UI_TIMEOUT_MS));
        CHECK_INT(CountFiles(sub.c_str()), before);
    }

    // The Save dialog of a conversion disables the dialog; a drop then would start a
    // second command inside the first.
    printf("refused drop: a file while a Save dialog is open\n");
    int before = CountFiles(sub.c_str());
    CHECK(DropOn(&s, s.plain, single, 1));
    HWND saveDialog = UiWaitForFileDialog(s.pid, ENCODE_SAVE_TITLE, UI_TIMEOUT_MS);
    REQUIRE(saveDialog != NULL);
    CHECK(DropOn(&s, s.base64, single, 1));
    CHECK(ExpectError(&s, DROP_BUSY_ERROR));
    CHECK(IsWindowVisible(saveDialog));
    CHECK(UiCancelFileDialog(saveDialog));
    CHECK(NothingAppears(&s, 1000));
    CHECK(WaitForIdle(&s, UI_TIMEOUT_MS));
    CHECK_INT(CountFiles(sub.c_str()), before);
}

struct Case {
    const char *name;
    void (*run)(void);
};
// An optional second argument runs one case alone.
static const Case CASES[] = {
    {"filters", PreselectsFilters},
    {"roundtrips", RoundTrips},
    {"linebreaks", DecodesLineBrokenText},
    {"pem", DecodesOpensslPemFiles},
    {"bom", DecodesTextsWithByteOrderMarks},
    {"extension", AddsDefaultExtension},
    {"invalid", RefusesInvalidBase64},
    {"unreadable", ReportsUnreadableInput},
    {"4gib", RefusesFilesOf4GiB},
    {"cancel", CancelledDialogsAreSilent},
    {"overwrite", OverwritesOnlyWhenEveryByteIsWritten},
    {"suggestions", SuggestsNameAndFolder},
    {"drops", TakesDroppedFiles},
};

int main(int argc, char **argv)
{
    DWORD exitCode = 1;
    REQUIRE(argc >= 2);
    MakeTestFolder("files-fg", folder, sizeof(folder));
    StartSession(argv[1], &s);
    SetAsync(&s, 0);

    for (const Case &c : CASES) {
        if (argc >= 3 && lstrcmpA(argv[2], c.name) != 0) continue;
        printf("== %s\n", c.name);
        c.run();
    }

    UiCloseButton(s.dialog);
    CHECK(UiWaitForExit(&s.program, UI_TIMEOUT_MS, &exitCode));
    CHECK_INT(exitCode, 0);
    UiEndProgram(&s.program);
    return UiFinish();
}
