// SHA-256, HMAC-SHA256 and PBKDF2-HMAC-SHA256, for the web remote's tokens:
// a token carries a code that only the key it was made with can compute.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

using Sha256Digest = std::array<unsigned char, 32>;

Sha256Digest Sha256(std::string_view data);

Sha256Digest HmacSha256(std::string_view key, std::string_view message);

// The first 32 bytes of PBKDF2 with HMAC-SHA256 (RFC 8018): `iterations`
// rounds, which make every guess of the password as slow.
Sha256Digest Pbkdf2HmacSha256(std::string_view password, std::string_view salt,
                              uint32_t iterations);
