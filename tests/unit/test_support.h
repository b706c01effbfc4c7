// Helpers shared by the engine tests: test data paths, temporary folders,
// a scripted answerer for message boxes, a recording progress sink and a
// small writer of stored ZIP archives for crafted cases.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "zip/progress.h"

namespace test {

using Bytes = std::vector<std::uint8_t>;

std::string data_host_path(const std::string& relative); // below tests/data
std::string data_dos_path(const std::string& relative);
Bytes read_host_file(const std::string& host_path);
void write_host_file(const std::string& host_path, const Bytes& bytes);

// A fresh folder removed with its contents at the end of the test.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& host() const { return host_; }
    std::string host(const std::string& name) const;
    std::string dos(const std::string& name) const; // DOS path of a file inside
    std::string write(const std::string& name, const Bytes& bytes) const; // returns its DOS path

  private:
    std::string host_;
};

// Answers message boxes from a script and records every prompt. Each step
// may act (e.g. change the disk) before answering; when the script runs out
// every further prompt is answered with `fallback`.
class ScriptedResponder {
  public:
    using Step = std::function<int(const platform::Prompt&)>;
    explicit ScriptedResponder(std::vector<Step> steps = {}, int fallback = platform::kIdCancel);
    ~ScriptedResponder();
    const std::vector<platform::Prompt>& prompts() const { return prompts_; }

  private:
    std::vector<Step> steps_;
    std::size_t next_ = 0;
    int fallback_;
    std::vector<platform::Prompt> prompts_;
    platform::PromptResponder previous_;
};

ScriptedResponder::Step answer(int id);

// Records the calls a job makes on its progress dialog.
class RecordingProgress : public JobProgress {
  public:
    std::vector<std::string> calls; // "AddLine(1):text" and the like
    void SetCaption(const char* c) override;
    void StartJob(const char* path, int total) override;
    void SetFile(const char* name) override;
    void FileProgress(std::uint64_t total, std::uint64_t done) override;
    void ResetFileGauge(int value) override;
    void Step() override;
    void AddLine(const char* text, int flag) override;
    void LogLine(const char* action, const char* name) override;
    void LogResult(const char* action, const char* path, int failed) override;
    void LogAdded(const char* action, const char* path, std::uint64_t size, std::uint64_t packed) override;
    void AddWarning(const char* text) override;
    void FinishJob() override;
    // The recorded calls that start with prefix, in order.
    std::vector<std::string> calls_starting(const std::string& prefix) const;
};

// Writes stored ZIP archives byte by byte, for cases no tool produces.
struct ZipMember {
    std::string name;
    Bytes data;
    std::uint16_t date = 0x4E21; // 2019-01-01
    std::uint16_t time = 0x6000; // 12:00:00
    std::uint32_t external_attributes = 0;
    std::string comment;
    std::uint16_t version_needed = 10;
    std::uint16_t method = 0;
    std::uint32_t compressed_size_override = 0xFFFFFFFFu;   // keep data size unless set
    std::uint32_t uncompressed_size_override = 0xFFFFFFFFu; // the same for the stored size
    std::uint16_t flags = 0;
    bool wrong_crc = false; // store a CRC that does not match the data
    Bytes local_extra;
    Bytes central_extra;
    std::uint16_t version_made_by = 20; // host in the high byte: 3 is Unix
};

struct ZipLayout {
    Bytes stub;                   // bytes before the first local header
    bool offsets_from_file_start = true; // false: offsets count from the ZIP data (unadjusted SFX)
    std::string archive_comment;
    std::int64_t central_offset_shift = 0; // corrupt the stored directory offset
};

Bytes build_zip(const std::vector<ZipMember>& members, const ZipLayout& layout = {});

std::uint32_t crc32_of(const Bytes& data);

} // namespace test
