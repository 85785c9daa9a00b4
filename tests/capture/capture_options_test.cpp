#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/capture_options.h"

namespace {

struct Parsed {
    bool ok;
    CaptureOptions options;
    std::string error;
};

Parsed parse(std::vector<const char*> args)
{
    args.insert(args.begin(), "vordel-capture");
    Parsed parsed{};
    parsed.ok = parse_capture_options(static_cast<int>(args.size()), args.data(), parsed.options, parsed.error);
    return parsed;
}

}  // namespace

TEST(CaptureOptions, DefaultsAreFullHdAtSixtyToVordelMp4ForTheWholeDemo)
{
    const Parsed p = parse({});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.options.width, 1920);
    EXPECT_EQ(p.options.height, 1080);
    EXPECT_EQ(p.options.frames_per_second, 60u);
    EXPECT_EQ(p.options.out, "vordel.mp4");
    EXPECT_EQ(p.options.from_row, 0.0);
    EXPECT_LT(p.options.to_row, 0.0);
    EXPECT_FALSE(p.options.help);
}

TEST(CaptureOptions, TakesEveryOptionAsTwoWordsOrWithAnEqualsSign)
{
    const Parsed p = parse({"--size", "160x90", "--fps=10", "--out", "a b.mp4", "--from", "12.5", "--to=40"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.width, 160);
    EXPECT_EQ(p.options.height, 90);
    EXPECT_EQ(p.options.frames_per_second, 10u);
    EXPECT_EQ(p.options.out, "a b.mp4");
    EXPECT_EQ(p.options.from_row, 12.5);
    EXPECT_EQ(p.options.to_row, 40.0);
    EXPECT_TRUE(parse({"--out", "x.mp4", "--help"}).options.help);
}

TEST(CaptureOptions, RefusesBadArgumentsWithAOneLineReason)
{
    const std::vector<std::vector<const char*>> bad = {
        {"--bogus"},        {"extra"},         {"--size"},           {"--size", "160"},   {"--size", "161x90"},
        {"--size", "0x0"},  {"--size", "-2x4"}, {"--size", "9000x90"}, {"--size", "16x9x"}, {"--fps", "0"},
        {"--fps", "2.5"},   {"--fps", "-10"},  {"--fps", "1001"},    {"--out", ""},       {"--from", "-1"},
        {"--from", "nan"},  {"--to", "inf"},   {"--to", "12abc"},    {"--from", "1e12"},  {"--from", "50", "--to", "40"},
    };
    for (const auto& args : bad) {
        const Parsed p = parse(args);
        EXPECT_FALSE(p.ok) << args[0];
        EXPECT_FALSE(p.error.empty()) << args[0];
        EXPECT_EQ(p.error.find('\n'), std::string::npos) << p.error;
    }
    EXPECT_NE(parse({"--size", "161x90"}).error.find("even"), std::string::npos);
}

TEST(CaptureOptions, UsageNamesEveryOption)
{
    const std::string usage = capture_usage();
    for (const char* option : {"--size WxH", "--fps N", "--out FILE", "--from ROW", "--to ROW", "--help"})
        EXPECT_NE(usage.find(option), std::string::npos) << option;
}
