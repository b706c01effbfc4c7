// SHA-256 for comparing extracted files with the digests of the fixture manifest.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace test {
std::string sha256_hex(const std::vector<std::uint8_t>& data);
}
