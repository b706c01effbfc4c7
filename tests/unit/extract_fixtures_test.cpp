// Every member of every archive in the fixture corpus (written by other
// tools) extracts byte-exactly as the manifest's SHA-256 says, or gives the
// warning or error the manifest expects.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "cli/commands.h"
#include "manifest.h"
#include "sha256.h"
#include "test_support.h"
#include "zip/errors.h"

namespace {

using test::ManifestArchive;
using test::ManifestRow;

int notes_int(const std::string& notes, const std::string& pattern, int fallback) {
    std::string v = test::find_in(notes, pattern);
    return v.empty() ? fallback : std::stoi(v);
}

bool unsafe_name(const std::string& name) {
    if (name.empty()) return false;
    if (name[0] == '/' || name[0] == '\\' || name.find(':') != std::string::npos) return true;
    std::string n = name;
    for (char& c : n)
        if (c == '\\') c = '/';
    std::istringstream parts(n);
    for (std::string part; std::getline(parts, part, '/');)
        if (part == "..") return true;
    return false;
}

// What extracting the whole archive must do to each member, from the manifest alone.
struct Expectation {
    std::vector<const ManifestRow*> written;
    std::vector<const ManifestRow*> not_written;
    int warnings = 0;
};

Expectation expect(const ManifestArchive& a) {
    Expectation x;
    std::string crc_warned = test::find_in(a.notes, R"((\S+) gives warning 28)");
    if (!test::find_in(a.notes, R"(opens with \d+ members? and gives warning (\d+))").empty())
        ++x.warnings;
    for (const auto& m : a.members) {
        int method = std::stoi(m.method);
        int flags = std::stoi(m.flags, nullptr, 16);
        int version = notes_int(m.notes, R"(version needed (\d+))", 20);
        std::string name = test::unescape_name(m.name);
        // Members that cannot be read are skipped one by one: encrypted ones,
        // methods not decoded, versions past ZIP64's 4.5, unsafe names.
        bool skipped = (flags & 1) || (method != 0 && method != 1 && method != 6 && method != 8 && method != 9) ||
                       version > 45 || unsafe_name(name);
        if (skipped || name == crc_warned) ++x.warnings;
        (skipped ? x.not_written : x.written).push_back(&m);
    }
    return x;
}

class FixtureExtraction : public ::testing::TestWithParam<ManifestArchive> {};

TEST_P(FixtureExtraction, ExtractsAsTheManifestSays) {
    const ManifestArchive& a = GetParam();
    Expectation x = expect(a);
    test::TempDir dir;
    std::string archive = test::data_host_path("zip/" + a.path);
    std::string out = dir.host("out");
    const char* argv[] = {"zarvo-cli", "x", "-y", "-o", out.c_str(), archive.c_str()};
    std::ostringstream sout, serr;
    int status = run_cli(6, const_cast<char**>(argv), sout, serr);
    SCOPED_TRACE(serr.str());
    EXPECT_EQ(status, x.warnings ? 1 : 0);
    // Warnings given while the archive is read come as a message box: its
    // caption leads the line, which holds the warning's own "Warning: " too.
    std::size_t warning_lines = 0;
    std::istringstream err_lines(serr.str());
    for (std::string line; std::getline(err_lines, line);)
        if (line.rfind("Warning: ", 0) == 0) ++warning_lines;
    EXPECT_EQ(warning_lines, static_cast<std::size_t>(x.warnings));

    for (const ManifestRow* m : x.written) {
        std::string name = test::unescape_name(m->name);
        std::string path = dir.host("out/" + name);
        if (m->sha256 == "-") {
            EXPECT_TRUE(platform::get_attributes(platform::dos_path_from_host(path).c_str()) & platform::kAttrDirectory)
                << name;
            continue;
        }
        test::Bytes data;
        ASSERT_NO_THROW(data = test::read_host_file(path)) << name;
        EXPECT_EQ(std::to_string(data.size()), m->uncompressed_size) << name;
        EXPECT_EQ(test::sha256_hex(data), m->sha256) << name;
    }
    for (const ManifestRow* m : x.not_written) {
        std::string name = test::unescape_name(m->name);
        if (unsafe_name(name)) continue; // checked below: nothing lies outside
        EXPECT_EQ(platform::get_attributes(platform::dos_path_from_host(dir.host("out/" + name)).c_str()),
                  platform::kInvalidAttributes)
            << name;
    }
    std::vector<platform::FindData> top;
    platform::find_files(platform::dos_path_from_host(dir.host("*")).c_str(), &top);
    ASSERT_EQ(top.size(), 1u);
    EXPECT_EQ(top[0].name, "out");
}

std::vector<ManifestArchive> extractable() {
    std::vector<ManifestArchive> out;
    try {
        for (auto& a : test::load_manifest()) {
            // Archives that do not open are the listing tests' business, and a
            // set of disks needs its drive (tested with simulated drives).
            if (a.notes.find("open fails") != std::string::npos) continue;
            if (a.path.rfind("spanned", 0) == 0) continue;
            out.push_back(a);
        }
    } catch (...) {
    }
    return out;
}

std::string name_of(const ::testing::TestParamInfo<ManifestArchive>& info) { return test::test_name_of(info.param); }

INSTANTIATE_TEST_SUITE_P(Fixtures, FixtureExtraction, ::testing::ValuesIn(extractable()), name_of);

// The Deflate64 archives of tests/data/deflate64, written by 7zz (make_archives.py
// there): zarvo-cli lists their method, tests them and extracts every member as
// its input was. One of them has a shrunk member first, after which the Deflate64
// member needs the whole 64 KiB window back.
TEST(Deflate64Fixtures, ListTestAndExtractAsTheirInputs) {
    struct Row {
        std::string member, method, size, sha256;
    };
    std::map<std::string, std::vector<Row>> archives;
    test::Bytes raw = test::read_host_file(test::data_host_path("deflate64/MANIFEST.tsv"));
    std::istringstream lines(std::string(raw.begin(), raw.end()));
    std::string line;
    std::getline(lines, line); // the column names
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string archive;
        Row r;
        std::getline(fields, archive, '\t');
        std::getline(fields, r.member, '\t');
        std::getline(fields, r.method, '\t');
        std::getline(fields, r.size, '\t');
        std::getline(fields, r.sha256, '\t');
        archives[archive].push_back(r);
    }
    ASSERT_EQ(archives.size(), 3u);
    for (const auto& [name, rows] : archives) {
        SCOPED_TRACE(name);
        test::TempDir dir;
        const std::string archive = test::data_host_path("deflate64/" + name);
        const std::string out = dir.host("out");
        std::ostringstream list_out, list_err, test_out, test_err, x_out, x_err;
        const char* list_argv[] = {"zarvo-cli", "l", "-v", archive.c_str()};
        EXPECT_EQ(run_cli(4, const_cast<char**>(list_argv), list_out, list_err), 0);
        const char* test_argv[] = {"zarvo-cli", "t", archive.c_str()};
        EXPECT_EQ(run_cli(3, const_cast<char**>(test_argv), test_out, test_err), 0) << test_err.str();
        const char* x_argv[] = {"zarvo-cli", "x", "-y", "-o", out.c_str(), archive.c_str()};
        EXPECT_EQ(run_cli(6, const_cast<char**>(x_argv), x_out, x_err), 0) << x_err.str();
        for (const Row& r : rows) {
            EXPECT_NE(list_out.str().find("\n" + r.member + "\t" + r.method + "\t"), std::string::npos) << r.member;
            test::Bytes data;
            ASSERT_NO_THROW(data = test::read_host_file(dir.host("out/" + r.member))) << r.member;
            EXPECT_EQ(std::to_string(data.size()), r.size) << r.member;
            EXPECT_EQ(test::sha256_hex(data), r.sha256) << r.member;
        }
    }
}

TEST(Sha256, KnownDigests) {
    EXPECT_EQ(test::sha256_hex({}), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(test::sha256_hex({'a', 'b', 'c'}), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

} // namespace
