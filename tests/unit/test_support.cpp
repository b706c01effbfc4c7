#include "test_support.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace test {

namespace {

// Times in the tests are given in UTC; make local time UTC too.
struct UtcZone {
    UtcZone() {
#ifdef _WIN32
        _putenv("TZ=UTC");
        _tzset();
#else
        setenv("TZ", "UTC", 1);
        tzset();
#endif
    }
} g_utc_zone;

void put16(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32(Bytes& b, std::uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}
void put_bytes(Bytes& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }

} // namespace

std::string data_host_path(const std::string& relative) {
    return std::string(ZARVO_TEST_DATA) + "/" + relative;
}

std::string data_dos_path(const std::string& relative) {
    return platform::dos_path_from_host(data_host_path(relative));
}

Bytes read_host_file(const std::string& host_path) {
    std::ifstream in(fs::u8path(host_path), std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + host_path);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_host_file(const std::string& host_path, const Bytes& bytes) {
    std::ofstream out(fs::u8path(host_path), std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + host_path);
}

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    for (;;) {
        fs::path p = fs::temp_directory_path() /
                     ("zarvo-test-" + std::to_string(std::rand()) + "-" + std::to_string(counter++));
        std::error_code ec;
        if (fs::create_directory(p, ec)) {
            host_ = p.string();
            return;
        }
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    // Read-only files cannot be removed on Windows; make them writable first.
    for (auto& entry : fs::recursive_directory_iterator(host_, ec))
        fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, ec);
    fs::remove_all(host_, ec);
}

std::string TempDir::host(const std::string& name) const { return (fs::path(host_) / name).string(); }

std::string TempDir::dos(const std::string& name) const {
    std::string p = platform::dos_path_from_host(host_);
    if (!p.empty() && p.back() != '\\') p += "\\";
    for (char c : name) p += c == '/' ? '\\' : c;
    return p;
}

std::string TempDir::write(const std::string& name, const Bytes& bytes) const {
    write_host_file(host(name), bytes);
    return dos(name);
}

ScriptedResponder::ScriptedResponder(std::vector<Step> steps, int fallback)
    : steps_(std::move(steps)), fallback_(fallback) {
    previous_ = platform::set_prompt_responder([this](const platform::Prompt& p) {
        prompts_.push_back(p);
        if (next_ < steps_.size()) return steps_[next_++](p);
        return fallback_;
    });
}

ScriptedResponder::~ScriptedResponder() { platform::set_prompt_responder(std::move(previous_)); }

ScriptedResponder::Step answer(int id) {
    return [id](const platform::Prompt&) { return id; };
}

void RecordingProgress::SetCaption(const char* c) { calls.push_back(std::string("SetCaption:") + c); }
void RecordingProgress::StartJob(const char* path, int total) {
    calls.push_back("StartJob:" + std::string(path) + ":" + std::to_string(total));
}
void RecordingProgress::SetFile(const char* name) { calls.push_back(std::string("SetFile:") + name); }
void RecordingProgress::FileProgress(std::uint64_t total, std::uint64_t done) {
    calls.push_back("FileProgress:" + std::to_string(total) + ":" + std::to_string(done));
}
void RecordingProgress::ResetFileGauge(int value) { calls.push_back("ResetFileGauge:" + std::to_string(value)); }
void RecordingProgress::Step() { calls.push_back("Step"); }
void RecordingProgress::AddLine(const char* text, int flag) {
    calls.push_back("AddLine(" + std::to_string(flag) + "):" + text);
}
void RecordingProgress::LogLine(const char* action, const char* name) {
    calls.push_back(std::string("LogLine:") + action + ":" + name);
}
void RecordingProgress::LogResult(const char* action, const char* path, int failed) {
    calls.push_back(std::string("LogResult:") + action + ":" + path + ":" + std::to_string(failed));
}
void RecordingProgress::LogAdded(const char* action, const char* path, std::uint64_t size, std::uint64_t packed) {
    calls.push_back(std::string("LogAdded:") + action + ":" + path + ":" + std::to_string(size) + ":" +
                    std::to_string(packed));
}
void RecordingProgress::AddWarning(const char* text) { calls.push_back(std::string("AddWarning:") + text); }
void RecordingProgress::FinishJob() { calls.push_back("FinishJob"); }

std::vector<std::string> RecordingProgress::calls_starting(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& c : calls)
        if (c.rfind(prefix, 0) == 0) out.push_back(c);
    return out;
}

std::uint32_t crc32_of(const Bytes& data) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::uint8_t byte : data) {
        crc ^= byte;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

Bytes build_zip(const std::vector<ZipMember>& members, const ZipLayout& layout) {
    Bytes out = layout.stub;
    const std::uint32_t base = layout.offsets_from_file_start ? 0 : static_cast<std::uint32_t>(layout.stub.size());
    std::vector<std::uint32_t> offsets;
    for (const ZipMember& m : members) {
        offsets.push_back(static_cast<std::uint32_t>(out.size()) - base);
        std::uint32_t csize = m.compressed_size_override != 0xFFFFFFFFu ? m.compressed_size_override
                                                                        : static_cast<std::uint32_t>(m.data.size());
        put32(out, 0x04034B50);
        put16(out, m.version_needed);
        put16(out, m.flags);
        put16(out, m.method);
        put16(out, m.time);
        put16(out, m.date);
        put32(out, crc32_of(m.data) ^ (m.wrong_crc ? 0x00010000u : 0u));
        put32(out, csize);
        put32(out, m.uncompressed_size_override != 0xFFFFFFFFu
                       ? m.uncompressed_size_override
                       : static_cast<std::uint32_t>(m.data.size()));
        put16(out, static_cast<std::uint32_t>(m.name.size()));
        put16(out, static_cast<std::uint32_t>(m.local_extra.size()));
        put_bytes(out, m.name);
        out.insert(out.end(), m.local_extra.begin(), m.local_extra.end());
        out.insert(out.end(), m.data.begin(), m.data.end());
    }
    const std::uint32_t central_start = static_cast<std::uint32_t>(out.size()) - base;
    for (std::size_t i = 0; i < members.size(); ++i) {
        const ZipMember& m = members[i];
        std::uint32_t csize = m.compressed_size_override != 0xFFFFFFFFu ? m.compressed_size_override
                                                                        : static_cast<std::uint32_t>(m.data.size());
        put32(out, 0x02014B50);
        put16(out, m.version_made_by);
        put16(out, m.version_needed);
        put16(out, m.flags);
        put16(out, m.method);
        put16(out, m.time);
        put16(out, m.date);
        put32(out, crc32_of(m.data) ^ (m.wrong_crc ? 0x00010000u : 0u));
        put32(out, csize);
        put32(out, m.uncompressed_size_override != 0xFFFFFFFFu
                       ? m.uncompressed_size_override
                       : static_cast<std::uint32_t>(m.data.size()));
        put16(out, static_cast<std::uint32_t>(m.name.size()));
        put16(out, static_cast<std::uint32_t>(m.central_extra.size()));
        put16(out, static_cast<std::uint32_t>(m.comment.size()));
        put16(out, 0);
        put16(out, 0);
        put32(out, m.external_attributes);
        put32(out, offsets[i]);
        put_bytes(out, m.name);
        out.insert(out.end(), m.central_extra.begin(), m.central_extra.end());
        put_bytes(out, m.comment);
    }
    const std::uint32_t central_size = static_cast<std::uint32_t>(out.size()) - base - central_start;
    put32(out, 0x06054B50);
    put16(out, 0);
    put16(out, 0);
    put16(out, static_cast<std::uint32_t>(members.size()));
    put16(out, static_cast<std::uint32_t>(members.size()));
    put32(out, central_size);
    put32(out, static_cast<std::uint32_t>(central_start + layout.central_offset_shift));
    put16(out, static_cast<std::uint32_t>(layout.archive_comment.size()));
    put_bytes(out, layout.archive_comment);
    return out;
}

} // namespace test
