#include "itunes/AesCbcDecryptor.h"

#include <mbedtls/aes.h>
#include <mbedtls/platform_util.h>

#include <cstring>
#include <stdexcept>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define PARLEWICK_AESNI 1
#include <immintrin.h>
#endif

namespace {

constexpr int kRounds = 14;  // AES-256

#ifdef PARLEWICK_AESNI

#define AESNI_FN __attribute__((target("aes,sse2")))

AESNI_FN inline __m128i spreadWords(__m128i k)
{
    k = _mm_xor_si128(k, _mm_slli_si128(k, 4));
    k = _mm_xor_si128(k, _mm_slli_si128(k, 4));
    return _mm_xor_si128(k, _mm_slli_si128(k, 4));
}

// Even round keys: RotWord/SubWord of the previous odd key with the round constant.
#define NEXT_EVEN(prev, odd, rcon) \
    _mm_xor_si128(spreadWords(prev), _mm_shuffle_epi32(_mm_aeskeygenassist_si128(odd, rcon), 0xff))
// Odd round keys: SubWord only.
#define NEXT_ODD(prev, even) \
    _mm_xor_si128(spreadWords(prev), _mm_shuffle_epi32(_mm_aeskeygenassist_si128(even, 0x00), 0xaa))

// FIPS-197 key expansion, then the equivalent inverse cipher's keys for AESDEC.
AESNI_FN void decryptionKeys(const uchar *key, __m128i dk[kRounds + 1])
{
    __m128i rk[kRounds + 1];
    rk[0] = _mm_loadu_si128(reinterpret_cast<const __m128i *>(key));
    rk[1] = _mm_loadu_si128(reinterpret_cast<const __m128i *>(key + 16));
    rk[2] = NEXT_EVEN(rk[0], rk[1], 0x01);
    rk[3] = NEXT_ODD(rk[1], rk[2]);
    rk[4] = NEXT_EVEN(rk[2], rk[3], 0x02);
    rk[5] = NEXT_ODD(rk[3], rk[4]);
    rk[6] = NEXT_EVEN(rk[4], rk[5], 0x04);
    rk[7] = NEXT_ODD(rk[5], rk[6]);
    rk[8] = NEXT_EVEN(rk[6], rk[7], 0x08);
    rk[9] = NEXT_ODD(rk[7], rk[8]);
    rk[10] = NEXT_EVEN(rk[8], rk[9], 0x10);
    rk[11] = NEXT_ODD(rk[9], rk[10]);
    rk[12] = NEXT_EVEN(rk[10], rk[11], 0x20);
    rk[13] = NEXT_ODD(rk[11], rk[12]);
    rk[14] = NEXT_EVEN(rk[12], rk[13], 0x40);
    dk[0] = rk[kRounds];
    for (int i = 1; i < kRounds; ++i)
        dk[i] = _mm_aesimc_si128(rk[kRounds - i]);
    dk[kRounds] = rk[0];
    mbedtls_platform_zeroize(rk, sizeof rk);
}

#undef NEXT_EVEN
#undef NEXT_ODD

// Eight blocks at a time keep the AES unit busy; CBC decryption has no chain between blocks.
AESNI_FN void cbcDecryptAesni(const __m128i dk[kRounds + 1], uchar iv[16], const uchar *in, uchar *out,
                              size_t blocks)
{
    constexpr size_t kLanes = 8;
    __m128i prev = _mm_loadu_si128(reinterpret_cast<const __m128i *>(iv));
    const auto *src = reinterpret_cast<const __m128i *>(in);
    auto *dst = reinterpret_cast<__m128i *>(out);
    size_t b = 0;
    for (; b + kLanes <= blocks; b += kLanes) {
        __m128i c[kLanes], x[kLanes];
        for (size_t l = 0; l < kLanes; ++l) {
            c[l] = _mm_loadu_si128(src + b + l);
            x[l] = _mm_xor_si128(c[l], dk[0]);
        }
        for (int r = 1; r < kRounds; ++r) {
            for (size_t l = 0; l < kLanes; ++l)
                x[l] = _mm_aesdec_si128(x[l], dk[r]);
        }
        for (size_t l = 0; l < kLanes; ++l)
            x[l] = _mm_aesdeclast_si128(x[l], dk[kRounds]);
        _mm_storeu_si128(dst + b, _mm_xor_si128(x[0], prev));
        for (size_t l = 1; l < kLanes; ++l)
            _mm_storeu_si128(dst + b + l, _mm_xor_si128(x[l], c[l - 1]));
        prev = c[kLanes - 1];
    }
    for (; b < blocks; ++b) {
        const __m128i c = _mm_loadu_si128(src + b);
        __m128i x = _mm_xor_si128(c, dk[0]);
        for (int r = 1; r < kRounds; ++r)
            x = _mm_aesdec_si128(x, dk[r]);
        x = _mm_aesdeclast_si128(x, dk[kRounds]);
        _mm_storeu_si128(dst + b, _mm_xor_si128(x, prev));
        prev = c;
    }
    _mm_storeu_si128(reinterpret_cast<__m128i *>(iv), prev);
}

#endif // PARLEWICK_AESNI

} // namespace

struct AesCbcDecryptor::State
{
    mbedtls_aes_context ctx;
    uchar iv[16] = {};
    bool hardware = false;
#ifdef PARLEWICK_AESNI
    __m128i dk[kRounds + 1];
#endif
};

AesCbcDecryptor::AesCbcDecryptor(const QByteArray &key, const QByteArray &iv)
    : m_state(std::make_unique<State>())
{
    if (key.size() != 32)
        throw std::invalid_argument("AES-256 needs a 32-byte key");
    mbedtls_aes_init(&m_state->ctx);
    mbedtls_aes_setkey_dec(&m_state->ctx, reinterpret_cast<const uchar *>(key.constData()), 256);
    if (iv.size() == 16)
        std::memcpy(m_state->iv, iv.constData(), 16);
#ifdef PARLEWICK_AESNI
    m_state->hardware = hasHardwareAes();
    if (m_state->hardware)
        decryptionKeys(reinterpret_cast<const uchar *>(key.constData()), m_state->dk);
#endif
}

AesCbcDecryptor::~AesCbcDecryptor()
{
    mbedtls_aes_free(&m_state->ctx);
    mbedtls_platform_zeroize(m_state.get(), sizeof(State));
}

bool AesCbcDecryptor::hasHardwareAes()
{
#ifdef PARLEWICK_AESNI
    static const bool has = __builtin_cpu_supports("aes") && __builtin_cpu_supports("sse2");
    return has;
#else
    return false;
#endif
}

void AesCbcDecryptor::setHardwareAllowed(bool allowed)
{
    // The constructor made the round keys whenever the processor has AES.
    m_state->hardware = allowed && hasHardwareAes();
}

void AesCbcDecryptor::decrypt(const uchar *in, uchar *out, size_t length)
{
    Q_ASSERT(length % 16 == 0);
#ifdef PARLEWICK_AESNI
    if (m_state->hardware) {
        cbcDecryptAesni(m_state->dk, m_state->iv, in, out, length / 16);
        return;
    }
#endif
    mbedtls_aes_crypt_cbc(&m_state->ctx, MBEDTLS_AES_DECRYPT, length, m_state->iv, in, out);
}
