#include <gtest/gtest.h>

#include "test_support.h"
#include "zip/errors.h"
#include "zip/zip.h"

namespace {

TEST(ErrorText, EveryCodeHasItsText) {
    const struct {
        int code;
        const char* text;
    } cases[] = {
        {1, "General error"},       {3, "Unexpected end of file"},
        {4, "Bad zip structure"},   {5, "Out of memory"},
        {6, "Logic error"},         {7, "Invalid comment format"},
        {8, "User canceled"},       {9, "Can't create temp file"},
        {10, "Read or seek error"}, {11, "Nothing to do"},
        {13, "Writing to a file"},  {14, "Can't create file"},
        {15, "Can't delete the original file"}, {16, "Unknown compression method"},
        {17, "Can't open file"},    {18, "Can't open file"},
        {20, "Zipfile not found"},  {21, "No files found"},
        {22, "Disk is full"},       {23, "File not found"},
        {24, "Path not found"},     {26, "Access denied"},
        {27, "Bad CE signature"},   {28, "Bad CRC"},
        {29, "Can't extract encrypted files"}, {32, "Could not get volume info"},
        {33, "Could not set volume info"}, {34, "Could not get freespace"},
        {35, "Can't remove all files"}, {38, "File to large"},
        // Numbers without a text of their own.
        {2, "Unspecified error"},   {12, "Unspecified error"},
        {19, "Unspecified error"},  {25, "Unspecified error"},
        {31, "Unspecified error"},  {36, "Unspecified error"},
        {37, "Unspecified error"},  {39, "Unspecified error"},
        {-1, "Unspecified error"},
    };
    for (const auto& c : cases) EXPECT_STREQ(error_text(c.code, kDriveTypeFixed), c.text) << c.code;
}

TEST(ErrorText, DriveErrorDependsOnDriveType) {
    const struct {
        std::uint32_t type;
        const char* text;
    } cases[] = {
        {0, "Destination disk type is unknown"},
        {2, "Can't modify files on removable media"},
        {4, "Can't use a NetWork drive"},
        {5, "Can't write to a CD Rom drive"},
        {6, "Can't use a Ram Disk"},
    };
    for (const auto& c : cases) EXPECT_STREQ(error_text(ZERR_DRIVE, c.type), c.text) << c.type;
}

TEST(ZipError, WithoutDialogShowsErrorBoxAndStoresCode) {
    test::ScriptedResponder responder({}, platform::kIdOk);
    zip z;
    z.drive_type = kDriveTypeRemovable;
    zip_error(z, ZERR_DRIVE);
    ASSERT_EQ(responder.prompts().size(), 1u);
    EXPECT_EQ(responder.prompts()[0].text, "Can't modify files on removable media");
    EXPECT_EQ(responder.prompts()[0].caption, "Error");
    EXPECT_EQ(responder.prompts()[0].style, platform::kMbOk | platform::kMbIconExclamation);
    EXPECT_EQ(responder.prompts()[0].owner, nullptr);
    EXPECT_EQ(z.error, ZERR_DRIVE);
}

TEST(ZipError, WithDialogGoesToProblemListOnly) {
    test::ScriptedResponder responder;
    test::RecordingProgress progress;
    zip z;
    z.progress = &progress;
    zip_error(z, 2);
    EXPECT_TRUE(responder.prompts().empty());
    ASSERT_EQ(progress.calls.size(), 1u);
    EXPECT_EQ(progress.calls[0], "AddLine(1):Unspecified error");
    EXPECT_EQ(z.error, 2);
}

TEST(ZipWarning, FormatsAndCountsWithoutTouchingError) {
    const struct {
        int code;
        const char* line;
    } cases[] = {
        {16, "Warning: Unknown method. File a.bin was skipped"},
        {17, "Warning: Can't open a.bin. File was skipped"},
        {28, "Warning: Bad CRC for a.bin"},
        {36, "Warning: UnShrinking is not supported. File a.bin was skipped"},
        {37, "Warning: Can't replace original file. New file left as a.bin"},
        {55, "Warning: Name a.bin is not UTF-8. It was stored as it is and will read as code page 437"},
        {56, "Warning: Link a.bin leads outside the destination or its target is malformed. It was "
             "skipped"},
        {57,
         "Warning: a.bin is a symbolic link, which this system does not restore. It was skipped"},
        {4, "Warning: Unspecified warning"},
        {99, "Warning: Unspecified warning"},
    };
    test::RecordingProgress progress;
    zip z;
    z.progress = &progress;
    z.error = ZERR_CANCEL;
    for (const auto& c : cases) zip_warning(z, c.code, "a.bin");
    ASSERT_EQ(progress.calls.size(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(progress.calls[i], std::string("AddWarning:") + cases[i].line);
    EXPECT_EQ(z.warnings, std::size(cases));
    EXPECT_EQ(z.error, ZERR_CANCEL);
}

TEST(ZipWarning, WithoutDialogShowsWarningBox) {
    test::ScriptedResponder responder({}, platform::kIdOk);
    zip z;
    zip_warning(z, ZERR_CRC, "x.txt");
    ASSERT_EQ(responder.prompts().size(), 1u);
    EXPECT_EQ(responder.prompts()[0].caption, "Warning");
    EXPECT_EQ(responder.prompts()[0].text, "Warning: Bad CRC for x.txt");
    EXPECT_EQ(responder.prompts()[0].style, platform::kMbOk | platform::kMbIconExclamation);
    EXPECT_EQ(z.warnings, 1u);
}

TEST(ZipWarning, MethodWarningNamesTheMethodThenTheMember) {
    EXPECT_EQ(warning_line(ZWARN_METHOD, "a.bin", "bzip2"),
              "Warning: Method bzip2 is not supported. File a.bin was skipped");
    // Texts with one blank ignore the detail.
    EXPECT_EQ(warning_line(ZWARN_ENCRYPTED, "a.bin", "bzip2"),
              "Warning: Can't extract encrypted files. File a.bin was skipped");
    const std::string name(1000, 'n'), method(1000, 'm');
    EXPECT_EQ(warning_line(ZWARN_METHOD, name.c_str(), method.c_str()),
              "Warning: Method " + method + " is not supported. File " + name + " was skipped");
}

TEST(ZipWarning, LongNameIsNeverCut) {
    std::string name(1000, 'n');
    EXPECT_EQ(warning_line(ZERR_OPEN, name.c_str()), "Warning: Can't open " + name + ". File was skipped");
}

TEST(MapWriteError, SystemCodesAndFirstErrorWins) {
    const struct {
        std::uint32_t system;
        int code;
    } cases[] = {{2, 23}, {3, 24}, {5, 26}, {112, 22}, {1, 13}, {32, 13}, {0, 13}};
    for (const auto& c : cases) {
        zip z;
        EXPECT_EQ(map_write_error(z, c.system), c.code) << c.system;
        EXPECT_EQ(z.error, c.code);
    }
    zip z;
    z.error = ZERR_CANCEL;
    map_write_error(z, 112);
    EXPECT_EQ(z.error, ZERR_CANCEL);
}

TEST(EngineState, Defaults) {
    zip z;
    EXPECT_EQ(z.action, 2u);
    EXPECT_EQ(z.method, 8u);
    EXPECT_EQ(z.level, 5u);
    EXPECT_EQ(z.span_options, 1u);
    EXPECT_EQ(z.error, 0);
    EXPECT_EQ(z.warnings, 0u);
    EXPECT_EQ(z.progress, nullptr);
    EXPECT_EQ(z.file_list, nullptr);
    EXPECT_EQ(std::string(z.local_signature), "PK\x03\x04");
    EXPECT_EQ(std::string(z.central_signature), "PK\x01\x02");
    EXPECT_EQ(std::string(z.end_signature), "PK\x05\x06");
}

} // namespace
