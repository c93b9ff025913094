// The OpenSSL functions the engine calls itself (hashed known_hosts names, the %C of ssh_config) and the
// About box's version, each forwarded to libcrypto once it is opened. libssh brings its own libcrypto: the
// same one, since the loader maps a library once.
#include "engine/ssh/SshLibraries.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

namespace korvel
{

platform::OnDemandLibrary& Libcrypto()
{
    static platform::OnDemandLibrary library("libcrypto.so.3");
    return library;
}

} // namespace korvel

using korvel::Libcrypto;

KORVEL_FORWARD(Libcrypto(), const EVP_MD*, EVP_sha1, (), ());
KORVEL_FORWARD(Libcrypto(), int, EVP_Digest,
               (const void* data, size_t count, unsigned char* md, unsigned int* size, const EVP_MD* type,
                ENGINE* impl),
               (data, count, md, size, type, impl));
KORVEL_FORWARD(Libcrypto(), int, EVP_EncodeBlock, (unsigned char* t, const unsigned char* f, int n),
               (t, f, n));
KORVEL_FORWARD(Libcrypto(), int, EVP_DecodeBlock, (unsigned char* t, const unsigned char* f, int n),
               (t, f, n));
KORVEL_FORWARD(Libcrypto(), unsigned char*, HMAC,
               (const EVP_MD* evp_md, const void* key, int key_len, const unsigned char* data,
                size_t data_len, unsigned char* md, unsigned int* md_len),
               (evp_md, key, key_len, data, data_len, md, md_len));
KORVEL_FORWARD(Libcrypto(), int, RAND_bytes, (unsigned char* buf, int num), (buf, num));
KORVEL_FORWARD(Libcrypto(), const char*, OpenSSL_version, (int type), (type));
