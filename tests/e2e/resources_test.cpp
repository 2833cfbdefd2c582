// tests/e2e/resources_test.cpp -- what the program file itself carries: the dialog
// template exactly as laid out, the 16x16 16-colour icon and the version record.
#include <stdio.h>
#include <string.h>

#include "main_dialog.h"
#include "ui.h"

// Reads a template string (UTF-16 or an 0xFFFF-prefixed ordinal) as ASCII; returns the
// word after it.
static const WORD *ReadName(const WORD *at, char *out, int size, WORD *ordinal)
{
    int n = 0;
    *ordinal = 0;
    out[0] = 0;
    if (*at == 0xFFFF) {
        *ordinal = at[1];
        return at + 2;
    }
    while (*at) {
        if (n + 1 < size) out[n++] = (char)*at;
        at++;
    }
    out[n] = 0;
    return at + 1;
}

static void CheckDialogTemplate(HMODULE module)
{
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(IDD_MAIN), (LPCSTR)RT_DIALOG);
    const DLGTEMPLATE *dialog;
    const WORD *at;
    char name[128];
    WORD ordinal, pointSize;
    int i;
    REQUIRE(found != NULL);
    dialog = (const DLGTEMPLATE *)LockResource(LoadResource(module, found));
    REQUIRE(dialog != NULL);
    REQUIRE(*(const DWORD *)dialog != 0xFFFF0001);   // a classic template, not DIALOGEX
    CHECK_INT(dialog->style, DS_CENTER | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU |
                             WS_MINIMIZEBOX);
    CHECK_INT(dialog->cdit, MAIN_DIALOG_CONTROL_COUNT);
    CHECK_INT(dialog->cx, 385);
    CHECK_INT(dialog->cy, 226);
    at = (const WORD *)(dialog + 1);
    at = ReadName(at, name, sizeof(name), &ordinal);
    CHECK(name[0] == 0 && ordinal == 0);           // no menu
    at = ReadName(at, name, sizeof(name), &ordinal);
    CHECK(name[0] == 0 && ordinal == 0);           // no class of its own
    at = ReadName(at, name, sizeof(name), &ordinal);
    CHECK_TEXT(name, MAIN_DIALOG_CAPTION);
    pointSize = *at++;
    CHECK_INT(pointSize, 8);
    at = ReadName(at, name, sizeof(name), &ordinal);
    CHECK_TEXT(name, "MS Sans Serif");

    for (i = 0; i < MAIN_DIALOG_CONTROL_COUNT && i < dialog->cdit; i++) {
        const DLGITEMTEMPLATE *item;
        const MainDialogControl *want = &MAIN_DIALOG_CONTROLS[i];
        WORD extra;
        at = (const WORD *)(((ULONG_PTR)at + 3) & ~(ULONG_PTR)3);   // items are DWORD aligned
        item = (const DLGITEMTEMPLATE *)at;
        printf("template item %d\n", i + 1);
        CHECK_INT(item->style, want->style | WS_CHILD | WS_VISIBLE);
        CHECK_INT(item->dwExtendedStyle, 0);
        CHECK_INT(item->id, want->id);
        CHECK(item->x == want->x && item->y == want->y);
        CHECK(item->cx == want->cx && item->cy == want->cy);
        at = (const WORD *)(item + 1);
        // A class may be stored as its predefined atom or by name, in any case.
        at = ReadName(at, name, sizeof(name), &ordinal);
        if (ordinal) CHECK_INT(ordinal, want->classAtom);
        else CHECK(lstrcmpiA(name, MainDialogClassName(want)) == 0);
        at = ReadName(at, name, sizeof(name), &ordinal);
        CHECK_TEXT(name, want->text);
        extra = *at++;
        at = (const WORD *)((const BYTE *)at + extra);
    }
}

#pragma pack(push, 2)
struct IconGroupEntry {
    BYTE width, height, colorCount, reserved;
    WORD planes, bitCount;
    DWORD bytesInRes;
    WORD id;
};
struct IconGroup {
    WORD reserved, type, count;
    IconGroupEntry entries[1];
};
#pragma pack(pop)

static void CheckIcon(HMODULE module)
{
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(IDI_MAIN), (LPCSTR)RT_GROUP_ICON);
    const IconGroup *group;
    const BITMAPINFOHEADER *image;
    HRSRC imageFound;
    REQUIRE(found != NULL);
    group = (const IconGroup *)LockResource(LoadResource(module, found));
    REQUIRE(group != NULL);
    CHECK_INT(group->type, 1);
    CHECK_INT(group->count, 1);
    CHECK_INT(group->entries[0].width, 16);
    CHECK_INT(group->entries[0].height, 16);
    CHECK_INT(group->entries[0].colorCount, 16);
    CHECK_INT(group->entries[0].bitCount, 4);
    imageFound = FindResourceA(module, MAKEINTRESOURCEA(group->entries[0].id), (LPCSTR)RT_ICON);
    REQUIRE(imageFound != NULL);
    image = (const BITMAPINFOHEADER *)LockResource(LoadResource(module, imageFound));
    REQUIRE(image != NULL);
    CHECK_INT(image->biWidth, 16);
    CHECK_INT(image->biHeight, 32);     // colour and mask rows
    CHECK_INT(image->biBitCount, 4);
    // A drawn picture, not a blank: more than one colour in the pixel rows.
    {
        const BYTE *pixels = (const BYTE *)(image + 1) + 16 * 4;
        int i, colours = 0, seen[16] = {0};
        for (i = 0; i < 16 * 8; i++) {
            seen[pixels[i] >> 4] = 1;
            seen[pixels[i] & 15] = 1;
        }
        for (i = 0; i < 16; i++) colours += seen[i];
        CHECK(colours >= 3);
    }
}

static void CheckVersion(const char *path)
{
    static const struct {
        const char *name, *value;
    } STRINGS[] = {
        {"FileVersion", "1.0"},
        {"ProductVersion", "1.0"},
        {"FileDescription", "Quorvel's Base64 Encoder/Decoder"},
        {"ProductName", "Quorvel's Base64 Encoder/Decoder"},
        {"Comments", "Quorvel's Base64 Encoder/Decoder"},
        {"PrivateBuild", "N/A"},
        {"SpecialBuild", "N/A"},
        {"OriginalFilename", "QuorvelBase64.exe"},
    };
    DWORD ignored = 0, size = GetFileVersionInfoSizeA(path, &ignored);
    static BYTE data[16384];
    VS_FIXEDFILEINFO *fixed = NULL;
    WORD *translation = NULL;
    UINT length = 0;
    size_t i;
    REQUIRE(size > 0 && size <= sizeof(data));
    REQUIRE(GetFileVersionInfoA(path, 0, size, data));
    REQUIRE(VerQueryValueA(data, "\\", (void **)&fixed, &length) && fixed);
    CHECK_INT(fixed->dwSignature, 0xFEEF04BD);
    CHECK_INT(fixed->dwFileVersionMS, 0x00010000);
    CHECK_INT(fixed->dwFileVersionLS, 0);
    CHECK_INT(fixed->dwProductVersionMS, 0x00010000);
    CHECK_INT(fixed->dwProductVersionLS, 0);
    CHECK_INT(fixed->dwFileFlagsMask, 0x3F);
    CHECK_INT(fixed->dwFileFlags, VS_FF_PRIVATEBUILD | VS_FF_SPECIALBUILD);
    CHECK_INT(fixed->dwFileOS, VOS_NT_WINDOWS32);
    CHECK_INT(fixed->dwFileType, VFT_APP);
    CHECK_INT(fixed->dwFileDateMS, 0);
    CHECK_INT(fixed->dwFileDateLS, 0);
    REQUIRE(VerQueryValueA(data, "\\VarFileInfo\\Translation", (void **)&translation, &length));
    CHECK_INT(translation[0], 0x0409);
    CHECK_INT(translation[1], 1200);
    for (i = 0; i < sizeof(STRINGS) / sizeof(STRINGS[0]); i++) {
        char query[128];
        char *value = NULL;
        wsprintfA(query, "\\StringFileInfo\\040904b0\\%s", STRINGS[i].name);
        CHECK(VerQueryValueA(data, query, (void **)&value, &length) && value);
        if (value) CHECK_TEXT(value, STRINGS[i].value);
    }
    // Entries left to us are present and not empty.
    {
        const char *own[] = {"CompanyName", "LegalCopyright", "InternalName"};
        for (i = 0; i < 3; i++) {
            char query[128];
            char *value = NULL;
            wsprintfA(query, "\\StringFileInfo\\040904b0\\%s", own[i]);
            CHECK(VerQueryValueA(data, query, (void **)&value, &length) && value && *value);
        }
    }
}

int main(int argc, char **argv)
{
    char path[MAX_PATH];
    HMODULE module;
    REQUIRE(argc >= 2);
    UiWindowsPath(argv[1], path, sizeof(path));
    module = LoadLibraryExA(path, NULL, LOAD_LIBRARY_AS_DATAFILE);
    REQUIRE(module != NULL);
    CheckDialogTemplate(module);
    CheckIcon(module);
    FreeLibrary(module);
    CheckVersion(path);
    return UiFinish();
}
