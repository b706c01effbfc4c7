#include "decoder_rig.h"

#include <cstring>
#include <sstream>
#include <stdexcept>

#include "codec/crc32.h"
#include "ops/drives.h"
#include "zip/input.h"
#include "zip/open_archive.h"

namespace test {

void BitWriter::put(std::uint32_t value, unsigned bits) {
    for (unsigned i = 0; i < bits; ++i) {
        acc_ |= ((value >> i) & 1u) << count_;
        if (++count_ == 8) {
            out_.push_back(static_cast<std::uint8_t>(acc_));
            acc_ = 0;
            count_ = 0;
        }
    }
}

void BitWriter::align() {
    if (count_) put(0, 8 - count_);
}

const Bytes& BitWriter::bytes() {
    align();
    return out_;
}

namespace {

// The job buffers every decoder finds at the start of an extraction. The
// window holds what an earlier member might have left, so that a decoder
// reading it where it must not shows.
void prepare_engine(zip& z) {
    z.input_buffer = allocate_buffer(z, kInputBufferSize);
    makeCrcTable(z);
    z.window = allocate_buffer(z, 32768);
    std::memset(z.window.get(), 0xA5, 32768);
    z.decoder_buffer = allocate_buffer(z, 65536);
}

Decoded run_member(zip& z, zentry& e, std::uint32_t capacity, const Decoder& decoder) {
    Decoded d;
    Bytes target(capacity);
    z.current_entry = &e;
    z.compressed_left = e.compressed_size;
    z.uncompressed_size = e.uncompressed_size;
    z.extract_crc = 0xFFFFFFFFu;
    z.output_count = 0;
    z.to_memory = 1;
    z.memory_target = target.data();
    z.memory_capacity = capacity;
    d.result = decoder(z);
    d.error = z.error;
    d.crc = ~z.extract_crc;
    d.compressed_left = z.compressed_left;
    d.window_present = z.window != nullptr;
    d.data.assign(target.begin(), target.begin() + z.output_count);
    z.memory_target = nullptr;
    return d;
}

std::uint32_t parse_number(const std::string& s, int base) {
    return static_cast<std::uint32_t>(std::stoul(s, nullptr, base));
}

} // namespace

Decoded decode_raw(const Bytes& data, const RawMemberOptions& options, const Decoder& decoder) {
    TempDir dir;
    zip z;
    platform::copy_bounded(z.archive_path, sizeof z.archive_path,
                           dir.write("member.bin", data).c_str());
    if (open_archive_input(z) != 0) throw std::runtime_error("cannot open the member file");
    prepare_engine(z);
    zentry e;
    e.method = 0;
    e.flags = options.flags;
    e.compressed_size = options.compressed_size == 0xFFFFFFFFu
                            ? static_cast<std::uint32_t>(data.size())
                            : options.compressed_size;
    e.uncompressed_size = options.uncompressed_size;
    std::uint32_t capacity =
        options.capacity == 0xFFFFFFFFu ? options.uncompressed_size + 65536 : options.capacity;
    Decoded d = run_member(z, e, capacity, decoder);
    release_job(z);
    return d;
}

std::vector<ManifestMember> manifest_members(const std::string& archive) {
    Bytes raw = read_host_file(data_host_path("zip/MANIFEST.tsv"));
    std::istringstream in(std::string(raw.begin(), raw.end()));
    std::string line;
    std::vector<ManifestMember> out;
    while (std::getline(in, line)) {
        std::vector<std::string> cols;
        std::istringstream fields(line);
        std::string col;
        while (std::getline(fields, col, '\t'))
            cols.push_back(col);
        if (cols.size() < 7 || cols[0] != archive || cols[1] == "(archive)") continue;
        ManifestMember m;
        m.name = cols[1];
        m.method = parse_number(cols[2], 10);
        m.flags = parse_number(cols[3], 16);
        m.compressed_size = parse_number(cols[4], 10);
        m.uncompressed_size = parse_number(cols[5], 10);
        m.crc = parse_number(cols[6], 16);
        out.push_back(m);
    }
    return out;
}

int decode_fixture(const std::string& archive, std::uint32_t method, const Decoder& decoder,
                   const std::function<void(const zentry&, const Decoded&)>& check) {
    zip z;
    zlist list;
    // Some archives warn when opened (offsets that leave out a stub): answered, not shown.
    ScriptedResponder answers({}, platform::kIdOk);
    if (open_archive(z, list, data_dos_path("zip/" + archive).c_str()) != 0)
        throw std::runtime_error("cannot open " + archive);
    if (open_archive_input(z) != 0) throw std::runtime_error("cannot reopen " + archive);
    prepare_engine(z);
    int decoded = 0;
    for (auto& p : list.entries) {
        zentry& e = *p;
        if (e.method != method) continue;
        z.current_entry = &e;
        if (seek_archive(z, e.local_header_offset, e.disk_number_start) != 0 ||
            read_local_header(z) != 0)
            throw std::runtime_error("cannot reach the data of " + e.name);
        check(e, run_member(z, e, e.uncompressed_size + 65536, decoder));
        ++decoded;
        z.error = 0;
    }
    release_job(z);
    return decoded;
}

} // namespace test
