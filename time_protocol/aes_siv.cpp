// GnuTLS names the 32-byte-key cipher AES-128-SIV: the key is split into a CMAC half and a CTR half.
#include "time_protocol/aes_siv.h"

#include <gnutls/crypto.h>
#include <gnutls/gnutls.h>

namespace AesSiv {
namespace {
// One cipher handle for one call; freed on every path.
class Cipher {
public:
    explicit Cipher(const QByteArray& key) {
        gnutls_datum_t datum{reinterpret_cast<unsigned char*>(const_cast<char*>(key.constData())),
                             static_cast<unsigned>(key.size())};
        if (key.size() != kKeySize || gnutls_aead_cipher_init(&m_handle, GNUTLS_CIPHER_AES_128_SIV, &datum) < 0)
            m_handle = nullptr;
    }
    ~Cipher() {
        if (m_handle)
            gnutls_aead_cipher_deinit(m_handle);
    }
    Cipher(const Cipher&) = delete;
    Cipher& operator=(const Cipher&) = delete;
    gnutls_aead_cipher_hd_t handle() const { return m_handle; }

private:
    gnutls_aead_cipher_hd_t m_handle = nullptr;
};
} // namespace

bool seal(const QByteArray& key, const QByteArray& nonce, const QByteArray& associated, const QByteArray& plaintext,
          QByteArray* sealed) {
    // An empty nonce would abort inside the cipher rather than fail.
    if (nonce.isEmpty())
        return false;
    Cipher cipher(key);
    if (!cipher.handle())
        return false;
    QByteArray out(plaintext.size() + kTagSize, '\0');
    size_t size = static_cast<size_t>(out.size());
    if (gnutls_aead_cipher_encrypt(cipher.handle(), nonce.constData(), static_cast<size_t>(nonce.size()),
                                   associated.constData(), static_cast<size_t>(associated.size()), kTagSize,
                                   plaintext.constData(), static_cast<size_t>(plaintext.size()), out.data(), &size) < 0)
        return false;
    out.truncate(static_cast<int>(size));
    *sealed = out;
    return true;
}

bool open(const QByteArray& key, const QByteArray& nonce, const QByteArray& associated, const QByteArray& sealed,
          QByteArray* plaintext) {
    if (nonce.isEmpty() || sealed.size() < kTagSize)
        return false;
    Cipher cipher(key);
    if (!cipher.handle())
        return false;
    // GnuTLS wants room for the whole input even though the tag does not come out.
    QByteArray out(sealed.size(), '\0');
    size_t size = static_cast<size_t>(out.size());
    if (gnutls_aead_cipher_decrypt(cipher.handle(), nonce.constData(), static_cast<size_t>(nonce.size()),
                                   associated.constData(), static_cast<size_t>(associated.size()), kTagSize,
                                   sealed.constData(), static_cast<size_t>(sealed.size()), out.data(), &size) < 0)
        return false;
    out.truncate(static_cast<int>(size));
    *plaintext = out;
    return true;
}
} // namespace AesSiv
