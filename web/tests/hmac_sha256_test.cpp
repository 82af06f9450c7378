// SHA-256, HMAC-SHA256 and PBKDF2 against the published test vectors (FIPS
// 180-2, RFC 4231, RFC 7914): messages that end in every part of a block,
// keys shorter and longer than one.
#include "web/hmac_sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Hex(const Sha256Digest& digest) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (unsigned char byte : digest) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 15];
  }
  return text;
}

TEST(HmacSha256, MatchesThePublishedVectors) {
  EXPECT_EQ(Hex(Sha256("")), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Hex(Sha256("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // 56 bytes: the length no longer fits in the message's block.
  EXPECT_EQ(Hex(Sha256("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(Hex(Sha256(std::string(1000000, 'a'))),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");

  EXPECT_EQ(Hex(HmacSha256(std::string(20, '\x0b'), "Hi There")),
            "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7");
  EXPECT_EQ(Hex(HmacSha256("Jefe", "what do ya want for nothing?")),
            "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
  // A key longer than a block is hashed first.
  EXPECT_EQ(Hex(HmacSha256(std::string(131, '\xaa'),
                           "Test Using Larger Than Block-Size Key - Hash Key First")),
            "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54");

  EXPECT_EQ(Hex(Pbkdf2HmacSha256("passwd", "salt", 1)),
            "55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc");
  EXPECT_EQ(Hex(Pbkdf2HmacSha256("Password", "NaCl", 80000)),
            "4ddcd8f60b98be21830cee5ef22701f9641a4418d04c0414aeff08876b34ab56");
}

}  // namespace
