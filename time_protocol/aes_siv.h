// AEAD_AES_SIV_CMAC_256 (RFC 5297) through GnuTLS: a 32-byte key, one associated data and a nonce; the output is
// the 16-byte synthetic IV followed by the ciphertext.
#pragma once

#include <QByteArray>

namespace AesSiv {
constexpr int kKeySize = 32;
constexpr int kTagSize = 16;

// False when the key is not 32 bytes or the nonce is empty (the cipher needs one byte at least).
bool seal(const QByteArray& key, const QByteArray& nonce, const QByteArray& associated, const QByteArray& plaintext,
          QByteArray* sealed);
// False as well when `sealed` is shorter than the tag or does not authenticate.
bool open(const QByteArray& key, const QByteArray& nonce, const QByteArray& associated, const QByteArray& sealed,
          QByteArray* plaintext);
} // namespace AesSiv
