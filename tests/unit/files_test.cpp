// The pure parts of files/: the speed window, percentages and status text of a running
// job tick by tick, UTF-16 texts narrowed for the decoder, and the names the Save dialog
// suggests.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "files/progress_calc.h"
#include "files/save_name.h"
#include "files/utf16_text.h"

namespace {

const uint32_t KB = 1024;
const uint32_t MAX_PATH_BYTES = 260;    // the platform's MAX_PATH, which the program passes
const uint32_t MB = 1024 * 1024;

// The status line as the program formats it from a reading.
std::string Text(const ProgressReading &r)
{
    char text[STATUS_TEXT_BYTES];
    int length = snprintf(text, sizeof(text), STATUS_FORMAT, (int)r.doneKB, r.coded,
                          (int)r.totalKB, (int)r.percent, (int)r.speedKBs);
    EXPECT_LT(length, STATUS_TEXT_BYTES);  // not cut short
    return text;
}

// A job as OnProgressTimer sees it: a fresh window, then one reading per tick.
struct Job {
    uint32_t lastProcessed = 0;
    uint32_t samples[SPEED_WINDOW_TICKS] = {};
    uint32_t total;
    int encoding;
    ProgressReading reading;

    Job(uint32_t total, int encoding) : total(total), encoding(encoding) {}

    const ProgressReading &Tick(uint32_t processed)
    {
        memset(&reading, 0x5A, sizeof(reading));  // nothing may survive from before
        TakeProgressTick(&lastProcessed, samples, processed, total, encoding, &reading);
        return reading;
    }
};

TEST(ProgressCalc, WorkedExampleShowsKilobytesPerSecond)
{
    struct Row {
        uint32_t processed;
        const char *text;
        uint32_t percent;
    };
    const Row rows[] = {
        {1048576, "1024 KB encoded out of 10240 KB total (10%), average speed: 2048 KB/s.", 10},
        {1572864, "1536 KB encoded out of 10240 KB total (15%), average speed: 1536 KB/s.", 15},
        // A tick without progress adds a zero sample, which does not lower the mean.
        {1572864, "1536 KB encoded out of 10240 KB total (15%), average speed: 1536 KB/s.", 15},
        {3145728, "3072 KB encoded out of 10240 KB total (30%), average speed: 2048 KB/s.", 30},
    };
    Job job(10485760, 1);
    for (const Row &row : rows) {
        SCOPED_TRACE(row.processed);
        const ProgressReading &r = job.Tick(row.processed);
        EXPECT_EQ(row.text, Text(r));
        EXPECT_EQ(row.percent, r.percent);
    }
    const uint32_t window[SPEED_WINDOW_TICKS] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                 1048576, 524288, 0, 1572864};
    EXPECT_EQ(0, memcmp(window, job.samples, sizeof(window)));
    EXPECT_EQ(3145728u, job.lastProcessed);
}

// One first tick each: the figures that end up in the bar and the text.
TEST(ProgressCalc, PercentAndWording)
{
    struct Row {
        const char *what;
        int encoding;
        uint32_t processed, total;
        uint32_t percent;
        const char *text;
    };
    const Row rows[] = {
        {"under 1 KB is complete", 0, 700, 1000, 100,
         "0 KB decoded out of 0 KB total (100%), average speed: 1 KB/s."},
        {"nothing yet of nothing", 1, 0, 0, 100,
         "0 KB encoded out of 0 KB total (100%), average speed: 0 KB/s."},
        {"truncated from KB", 1, 511 * KB, 512 * KB, 99,
         "511 KB encoded out of 512 KB total (99%), average speed: 1022 KB/s."},
        {"bytes below 1 KB do not count", 0, 512 * KB - 1, 512 * KB + 1023, 99,
         "511 KB decoded out of 512 KB total (99%), average speed: 1023 KB/s."},
        {"finished", 0, 10 * MB, 10 * MB, 100,
         "10240 KB decoded out of 10240 KB total (100%), average speed: 20480 KB/s."},
        {"a first tick without progress", 0, 0, 10 * MB, 0,
         "0 KB decoded out of 10240 KB total (0%), average speed: 0 KB/s."},
        // 3 GB in one tick: doubled in 32 bits the sum would wrap.
        {"largest files", 1, 3072u * MB, 4095u * MB, 75,
         "3145728 KB encoded out of 4193280 KB total (75%), average speed: 6291456 KB/s."},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        Job job(row.total, row.encoding);
        const ProgressReading &r = job.Tick(row.processed);
        EXPECT_EQ(row.percent, r.percent);
        EXPECT_EQ(row.text, Text(r));
    }
}

TEST(ProgressCalc, StallsKeepTheSpeedUntilTheWindowHoldsNoProgress)
{
    Job job(100 * MB, 1);
    EXPECT_EQ(200u, job.Tick(100 * KB).speedKBs);
    for (int tick = 1; tick < SPEED_WINDOW_TICKS; tick++) {
        SCOPED_TRACE(tick);
        EXPECT_EQ(200u, job.Tick(100 * KB).speedKBs);  // the one sample still counts
    }
    // Fifteen stalled ticks: the progress has left the window, and 0 is shown, not a
    // division by zero.
    const ProgressReading &r = job.Tick(100 * KB);
    EXPECT_EQ(0u, r.speedKBs);
    EXPECT_EQ("100 KB encoded out of 102400 KB total (0%), average speed: 0 KB/s.", Text(r));
    EXPECT_EQ(100 * KB, job.lastProcessed);
    // Progress after the stall is measured from where the job stood, not from zero.
    EXPECT_EQ(20u, job.Tick(110 * KB).speedKBs);
}

TEST(ProgressCalc, WindowSlidesPastFifteenTicks)
{
    Job job(100 * MB, 0);
    std::vector<uint32_t> speeds;
    uint32_t processed = 30 * KB;
    speeds.push_back(job.Tick(processed).speedKBs);
    for (int tick = 2; tick <= SPEED_WINDOW_TICKS + 2; tick++) {
        processed += KB;
        speeds.push_back(job.Tick(processed).speedKBs);
    }
    // 30 KB then 1 KB a tick: the mean over the ticks in the window, doubled.
    EXPECT_EQ(60u, speeds[0]);
    EXPECT_EQ(31u, speeds[1]);                                // (30 + 1) * 2 / 2
    EXPECT_EQ(88u / 15, speeds[SPEED_WINDOW_TICKS - 1]);      // (30 + 14) * 2 / 15
    EXPECT_EQ(2u, speeds[SPEED_WINDOW_TICKS]);                // the 30 KB tick has left
    EXPECT_EQ(2u, speeds[SPEED_WINDOW_TICKS + 1]);
    for (uint32_t sample : job.samples) EXPECT_EQ(KB, sample);
}

TEST(ProgressCalc, CountersWrapAt32Bits)
{
    Job job(0xFFFFFFFFu, 1);
    job.lastProcessed = 0xFFFFFC00u;  // 1 KB short of wrapping
    const ProgressReading &r = job.Tick(0x400);
    EXPECT_EQ(2 * KB, job.samples[SPEED_WINDOW_TICKS - 1]);
    EXPECT_EQ(4u, r.speedKBs);
    EXPECT_EQ(1u, r.doneKB);
    EXPECT_EQ(4194303u, r.totalKB);
    EXPECT_EQ(0u, r.percent);
}

TEST(ProgressCalc, LongestTextFitsItsBuffer)
{
    // The largest figures the counters allow, past the total as well.
    Job job(KB, 1);
    const ProgressReading &r = job.Tick(0xFFFFFFFFu);
    EXPECT_EQ(
        "4194303 KB encoded out of 1 KB total (419430300%), average speed: 8388607 KB/s.", Text(r));
}

// Each row fails with one of the rules taken out or turned round: the byte-order marks
// and which byte of a unit holds the character, the zero the other byte must be, the
// ASCII limit, and a file cut in the middle of a character.
TEST(Utf16Text, NarrowsMarkedTextsAndRefusesWhatNoBase64TextHolds)
{
    struct Row {
        const char *what;
        std::string text;
        int ok;
        std::string narrowed;   // when ok
    };
    const Row rows[] = {
        {"no mark: left as it is", "QUJD", 1, "QUJD"},
        {"a lone 0xFF is no mark", "\xFF", 1, "\xFF"},
        {"UTF-16LE", std::string("\xFF\xFE" "Q\0U\0J\0D\0", 10), 1, "QUJD"},
        {"UTF-16BE", std::string("\xFE\xFF" "\0Q\0U\0J\0D", 10), 1, "QUJD"},
        {"only the mark", "\xFF\xFE", 1, ""},
        {"cut mid-character: QUI and a stray byte D",
         std::string("\xFF\xFE" "Q\0U\0I\0D", 9), 0, ""},
        {"above 0x7F", std::string("\xFF\xFE" "Q\0\xC1\0", 6), 0, ""},
        {"LE unit with its high byte set (U+0151)", std::string("\xFF\xFE" "Q\0Q\x01", 6), 0, ""},
        {"BE unit with its high byte set (U+0151)", std::string("\xFE\xFF" "\0Q\x01Q", 6), 0, ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        // The block the program reads a file into: the bytes and one zero after them.
        std::vector<uint8_t> block(row.text.begin(), row.text.end());
        block.push_back(0);
        uint32_t length = (uint32_t)row.text.size();
        ASSERT_EQ(row.ok, NarrowUtf16Text(block.data(), &length));
        if (!row.ok) continue;
        ASSERT_EQ(row.narrowed.size(), length);
        EXPECT_EQ(row.narrowed, std::string((const char *)block.data(), length));
        EXPECT_EQ(0, block[length]);    // still a NUL-ended text for the decoder
    }
}

std::string Lower(std::string text)
{
    for (char &c : text)
        if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
    return text;
}

int NoLeadBytes(uint8_t)
{
    return 0;
}

// Shift-JIS (code page 932), where a trail byte may be 0x5C, the backslash.
int ShiftJisLeadByte(uint8_t byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

TEST(SaveName, SuggestsTheInputsFolderAndANameByItsExtension)
{
    struct Row {
        const char *input;
        int encoding;
        const char *suggested;
        int whole;                      // 0: only the folder (or nothing) fits
        uint32_t outSize = MAX_PATH_BYTES;
        LeadByteTest leadByte = NoLeadBytes;
    };
    const Row rows[] = {
        {"C:\\in\\photo.png", 1, "C:\\in\\photo.png.QVB", 1},
        {"C:\\in\\photo.png.QVB", 1, "C:\\in\\photo.png.QVB.QVB", 1},
        {"C:\\in\\photo.png.QVB", 0, "C:\\in\\photo.png", 1},
        {"C:\\in\\PHOTO.PNG.qvb", 0, "C:\\in\\PHOTO.PNG", 1},
        {"C:\\in\\data.b64", 0, "C:\\in\\data", 1},
        {"C:\\in\\data.Base64", 0, "C:\\in\\data", 1},
        {"C:\\in\\cert.pem", 0, "C:\\in\\cert.der", 1},
        {"C:\\in\\cert.CRT", 0, "C:\\in\\cert.der", 1},
        {"C:\\in\\cert.cer", 0, "C:\\in\\cert.der", 1},
        {"C:\\in\\rsa.key", 0, "C:\\in\\rsa.der", 1},
        {"C:\\in\\request.csr", 0, "C:\\in\\request.der", 1},
        {"C:\\in\\chain.p7b", 0, "C:\\in\\chain.der", 1},
        {"C:\\in\\notes.txt", 0, "C:\\in\\notes.txt.bin", 1},
        {"C:\\in\\noextension", 0, "C:\\in\\noextension.bin", 1},
        {"C:\\in\\x.qvbx", 0, "C:\\in\\x.qvbx.bin", 1},
        // A name that is only an extension has none; dots that would end a name go.
        {"C:\\in\\.QVB", 0, "C:\\in\\.QVB.bin", 1},
        {"C:\\in\\. .QVB", 0, "C:\\in\\. .QVB.bin", 1},
        {"C:\\in\\a..QVB", 0, "C:\\in\\a", 1},
        // Dots in folders are not the name's.
        {"C:\\my.QVB\\data", 0, "C:\\my.QVB\\data.bin", 1},
        {"\\\\server\\share.b64\\x.qvb", 0, "\\\\server\\share.b64\\x", 1},
        {"C:/in/x.QVB", 0, "C:/in/x", 1},
        {"C:x.QVB", 0, "C:x", 1},
        // In Shift-JIS 0x95 0x5C is one character of the name, not a separator; in a
        // single-byte code page the same bytes are a character and a backslash.
        {"C:\\in\\\x95\x5C.qvb", 0, "C:\\in\\\x95\x5C", 1, MAX_PATH_BYTES, ShiftJisLeadByte},
        {"C:\\in\\\x95\x5C.qvb", 0, "C:\\in\\\x95\x5C.qvb.bin", 1},
        // Near the buffer's end: exactly fitting, one byte short, only the folder, nothing.
        {"C:\\in\\photo.png", 1, "C:\\in\\photo.png.QVB", 1, 20},
        {"C:\\in\\photo.png", 1, "C:\\in\\", 0, 19},
        {"C:\\in\\photo.png", 1, "", 0, 6},
        {"C:\\in\\", 0, "", 0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(std::string(row.input) + (row.encoding ? " encoded" : " decoded"));
        char out[MAX_PATH_BYTES + 16];
        memset(out, 0x5A, sizeof(out));
        EXPECT_EQ(row.whole, SuggestSavePath(row.input, row.encoding, row.leadByte, out,
                                             row.outSize));
        EXPECT_EQ(std::string(row.suggested), out);
        EXPECT_NE(Lower(row.input), Lower(out));    // never the input's own name
    }

    // A path of 256 characters, as the Open dialog may give: with ".bin" it needs 261
    // bytes, so the dialog gets the folder alone.
    const std::string folder = "C:\\" + std::string(240, 'f') + "\\";
    const std::string path = folder + "photo.png.xy";
    char out[MAX_PATH_BYTES];
    EXPECT_EQ(0, SuggestSavePath(path.c_str(), 0, NoLeadBytes, out, MAX_PATH_BYTES));
    EXPECT_EQ(folder, out);
}

}  // namespace
