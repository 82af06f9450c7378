#include "web/hmac_sha256.h"

#include <cstring>
#include <string>

namespace {

constexpr uint32_t kRoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr size_t kBlockBytes = 64;

uint32_t RotateRight(uint32_t value, int bits) { return (value >> bits) | (value << (32 - bits)); }

// The hash's state over whole blocks, and the bytes of the block begun.
class Sha256State {
 public:
  void Update(std::string_view data) {
    for (char c : data) {
      block[filled++] = static_cast<unsigned char>(c);
      if (filled == kBlockBytes) {
        Compress();
        filled = 0;
      }
    }
    length += data.size();
  }

  Sha256Digest Finish() {
    const uint64_t bits = length * 8;
    block[filled++] = 0x80;
    if (filled > kBlockBytes - 8) {
      std::memset(block + filled, 0, kBlockBytes - filled);
      Compress();
      filled = 0;
    }
    std::memset(block + filled, 0, kBlockBytes - 8 - filled);
    for (int i = 0; i < 8; ++i)
      block[kBlockBytes - 1 - i] = static_cast<unsigned char>(bits >> (8 * i));
    Compress();
    Sha256Digest digest;
    for (size_t i = 0; i < 8; ++i) {
      for (size_t j = 0; j < 4; ++j) {
        digest[4 * i + j] = static_cast<unsigned char>(hash[i] >> (24 - 8 * j));
      }
    }
    return digest;
  }

 private:
  void Compress() {
    uint32_t w[64];
    for (size_t i = 0; i < 16; ++i) {
      w[i] = (uint32_t{block[4 * i]} << 24) | (uint32_t{block[4 * i + 1]} << 16) |
             (uint32_t{block[4 * i + 2]} << 8) | uint32_t{block[4 * i + 3]};
    }
    for (size_t i = 16; i < 64; ++i) {
      const uint32_t s0 = RotateRight(w[i - 15], 7) ^ RotateRight(w[i - 15], 18) ^ (w[i - 15] >> 3);
      const uint32_t s1 = RotateRight(w[i - 2], 17) ^ RotateRight(w[i - 2], 19) ^ (w[i - 2] >> 10);
      w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t a = hash[0], b = hash[1], c = hash[2], d = hash[3];
    uint32_t e = hash[4], f = hash[5], g = hash[6], h = hash[7];
    for (size_t i = 0; i < 64; ++i) {
      const uint32_t s1 = RotateRight(e, 6) ^ RotateRight(e, 11) ^ RotateRight(e, 25);
      const uint32_t choice = (e & f) ^ (~e & g);
      const uint32_t t1 = h + s1 + choice + kRoundConstants[i] + w[i];
      const uint32_t s0 = RotateRight(a, 2) ^ RotateRight(a, 13) ^ RotateRight(a, 22);
      const uint32_t majority = (a & b) ^ (a & c) ^ (b & c);
      const uint32_t t2 = s0 + majority;
      h = g;
      g = f;
      f = e;
      e = d + t1;
      d = c;
      c = b;
      b = a;
      a = t1 + t2;
    }
    hash[0] += a;
    hash[1] += b;
    hash[2] += c;
    hash[3] += d;
    hash[4] += e;
    hash[5] += f;
    hash[6] += g;
    hash[7] += h;
  }

  uint32_t hash[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                      0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  unsigned char block[kBlockBytes] = {};
  size_t filled = 0;
  uint64_t length = 0;
};

std::string_view View(const Sha256Digest& digest) {
  return std::string_view(reinterpret_cast<const char*>(digest.data()), digest.size());
}

// HMAC's two hashes begun with the key's padded blocks, to be copied for
// every message (PBKDF2 hashes thousands with one key).
struct HmacKey {
  explicit HmacKey(std::string_view key) {
    Sha256Digest shortened;
    if (key.size() > kBlockBytes) {
      shortened = Sha256(key);
      key = View(shortened);
    }
    char innerPad[kBlockBytes];
    char outerPad[kBlockBytes];
    for (size_t i = 0; i < kBlockBytes; ++i) {
      const unsigned char byte = i < key.size() ? static_cast<unsigned char>(key[i]) : 0;
      innerPad[i] = static_cast<char>(byte ^ 0x36);
      outerPad[i] = static_cast<char>(byte ^ 0x5c);
    }
    inner.Update(std::string_view(innerPad, kBlockBytes));
    outer.Update(std::string_view(outerPad, kBlockBytes));
  }

  Sha256Digest Sign(std::string_view message) const {
    Sha256State innerHash = inner;
    innerHash.Update(message);
    Sha256State outerHash = outer;
    outerHash.Update(View(innerHash.Finish()));
    return outerHash.Finish();
  }

  Sha256State inner;
  Sha256State outer;
};

}  // namespace

Sha256Digest Sha256(std::string_view data) {
  Sha256State state;
  state.Update(data);
  return state.Finish();
}

Sha256Digest HmacSha256(std::string_view key, std::string_view message) {
  return HmacKey(key).Sign(message);
}

Sha256Digest Pbkdf2HmacSha256(std::string_view password, std::string_view salt,
                              uint32_t iterations) {
  const HmacKey key(password);
  std::string first(salt);
  first += std::string("\0\0\0\1", 4);  // the first block's number
  Sha256Digest round = key.Sign(first);
  Sha256Digest result = round;
  for (uint32_t i = 1; i < iterations; ++i) {
    round = key.Sign(View(round));
    for (size_t j = 0; j < result.size(); ++j) result[j] ^= round[j];
  }
  return result;
}
