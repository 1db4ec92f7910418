#include "framework/system/zLogStream.h"

#include "framework/tools/zString.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

// A private log whose printed lines are recorded.
class RecordingLog : public zLogStream {
public:
    RecordingLog() { SetSink(&recorder); }

    struct Recorder : zLogSink {
        void Write(const char* line) override { lines.emplace_back(line); }
        std::vector<std::string> lines;
    } recorder;

    const std::vector<std::string>& Lines() const { return recorder.lines; }
};

} // namespace

TEST(zLogStream, ComposesALineFromAppends)
{
    RecordingLog log;
    log << "abc" << 12;
    EXPECT_TRUE(log.Lines().empty());
    log << "\n";
    ASSERT_EQ(log.Lines().size(), 1u);
    EXPECT_EQ(log.Lines()[0], "abc12\n");
}

TEST(zLogStream, FormatsEachValueType)
{
    RecordingLog log;
    log << 1.5f << " " << true << " " << false << " " << char(-5) << " " << static_cast<unsigned char>(250) << " "
        << static_cast<unsigned short>(65535) << " " << -7 << " " << zString("z") << " " << zString() << static_cast<const char*>(nullptr)
        << "\n";
    ASSERT_EQ(log.Lines().size(), 1u);
    EXPECT_EQ(log.Lines()[0], "1.500 TRUE FALSE -5 250 65535 -7 z \n");
}

TEST(zLogStream, TextAfterALineFeedInTheSamePieceStaysOnThatLine)
{
    RecordingLog log;
    log << "a\nb";
    log << "c\n";
    ASSERT_EQ(log.Lines().size(), 2u);
    EXPECT_EQ(log.Lines()[0], "a\nb");
    EXPECT_EQ(log.Lines()[1], "c\n");

    // A second line feed in one piece finishes an empty line, which prints nothing.
    log << "x\n\n";
    EXPECT_EQ(log.Lines().back(), "x\n\n");
}

TEST(zLogStream, LongLinesAreCut)
{
    RecordingLog log;
    log << std::string(5000, 'x').c_str() << "\n";
    ASSERT_EQ(log.Lines().size(), 1u);
    EXPECT_EQ(log.Lines()[0].size(), 4095u);
}

struct FilterCase {
    const char* line;
    uint8_t mask;
    bool printed;
    friend void PrintTo(const FilterCase& c, std::ostream* os) { *os << '"' << std::string(c.line, std::strlen(c.line) - 1) << "\" mask " << int(c.mask); }
};

class LogFilterTest : public testing::TestWithParam<FilterCase> {};

TEST_P(LogFilterTest, CategoryDecidesPrinting)
{
    const FilterCase& c = GetParam();
    RecordingLog log;
    log.VerbosityMask = c.mask;
    log << c.line;
    EXPECT_EQ(log.Lines().size(), c.printed ? 1u : 0u) << c.line << " mask " << int(c.mask);
}

INSTANTIATE_TEST_SUITE_P(Categories, LogFilterTest,
    testing::Values(
        FilterCase{"plain\n", 0xFF, true},
        FilterCase{"plain\n", zLogStream::Standard, true},
        FilterCase{"plain\n", 0xFF & ~zLogStream::Standard, false},
        FilterCase{"[!] error\n", 0, false},
        FilterCase{"[!] error\n", zLogStream::Error, true},
        FilterCase{"[!] \n", zLogStream::Warning, false},
        FilterCase{"[*] warning\n", zLogStream::Warning, true},
        FilterCase{"[*] warning\n", zLogStream::Error, false},
        FilterCase{"[H] heading\n", zLogStream::Heading, true},
        FilterCase{"[H] heading\n", zLogStream::Standard, false},
        FilterCase{"[S] script\n", zLogStream::Script, true},
        FilterCase{"[S] script\n", zLogStream::Error, false},
        FilterCase{"[1] always\n", 0, true},
        FilterCase{"[x] always\n", 0, true},
        FilterCase{"[!\n", zLogStream::Standard, true},
        FilterCase{"[!\n", 0, false}));

TEST(zLogStream, MaskFromOptionLetters)
{
    EXPECT_EQ(zLogStream::MaskFromLetters(""), 0);
    EXPECT_EQ(zLogStream::MaskFromLetters("!*"), 12);
    EXPECT_EQ(zLogStream::MaskFromLetters("sHS"), 19);
    EXPECT_EQ(zLogStream::MaskFromLetters("a"), 0xFF);
    EXPECT_EQ(zLogStream::MaskFromLetters("an!"), 8);
}

TEST(zLogStream, PlacedLinesNameMethodFileAndLine)
{
    LogCapture capture;
    LogAt(LogErrorPrefix, "zThing::Do", "source/thing.cpp", 42) << "went wrong.\n";
    ASSERT_EQ(capture.lines.size(), 1u);
    EXPECT_EQ(capture.lines[0], "[!] zThing::Do (source/thing.cpp:42) went wrong.\n");

    const int line = __LINE__ + 1;
    LogWarning("zThing::Check") << "careful.\n";
    ASSERT_EQ(capture.lines.size(), 2u);
    EXPECT_EQ(capture.lines[1], "[*] zThing::Check (tests/framework/system/zLogStreamTest.cpp:" + std::to_string(line) + ") careful.\n");
}

TEST(zLogStream, LinesFromTwoThreadsNeverMix)
{
    RecordingLog log;
    constexpr int LinesPerThread = 300;
    auto writer = [&log](const char* word) {
        for (int i = 0; i < LinesPerThread; ++i)
            log << word << " " << i << " " << word << "\n";
    };
    std::thread a(writer, "alpha");
    std::thread b(writer, "beta");
    a.join();
    b.join();

    ASSERT_EQ(log.Lines().size(), size_t(2 * LinesPerThread));
    for (const std::string& line : log.Lines()) {
        const bool alpha = line.rfind("alpha ", 0) == 0 && line.find(" alpha\n") != std::string::npos;
        const bool beta = line.rfind("beta ", 0) == 0 && line.find(" beta\n") != std::string::npos;
        EXPECT_TRUE(alpha != beta) << line;
        EXPECT_EQ(line.find("alpha", 1) != std::string::npos && line.find("beta") != std::string::npos, false) << line;
    }
}
