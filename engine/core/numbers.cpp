// Number helpers: truncating conversions, absolute values, integer text and 128-bit arithmetic.
#include <cmath>

#include "core/core.h"

void ComputeSinCos(float angle, float* sine, float* cosine) {
    double s;
    double c;
    sincos(static_cast<double>(angle), &s, &c);
    *sine = static_cast<float>(s);
    *cosine = static_cast<float>(c);
}

int ComputeAbsInt(int value) {
    // The most negative value has no positive counterpart and stays as it is.
    return value < 0 ? static_cast<int>(0u - static_cast<unsigned>(value)) : value;
}

float ComputeAbsFloat(float value) { return std::fabs(value); }

namespace {
int TruncateToInt(double value) {
    // Out-of-range values give the processor's "integer indefinite" value, as a truncating
    // conversion instruction does, instead of undefined behaviour.
    if (!(value > -2147483649.0 && value < 2147483648.0)) return INT32_MIN;
    return static_cast<int>(value);
}
}  // namespace

int TruncateFloatToInt(float value) { return TruncateToInt(value); }
int TruncateDoubleToInt(double value) { return TruncateToInt(value); }

void TruncateDoublesToInts(double a, double b, double c, double d, int* outA, int* outB, int* outC,
                           int* outD) {
    *outA = TruncateToInt(a);
    *outB = TruncateToInt(b);
    *outC = TruncateToInt(c);
    *outD = TruncateToInt(d);
}

float ComputeSqrtFloat(float value) { return std::sqrt(value); }

char* IntToString(int value, char* buffer, int radix) {
    if (radix < 2 || radix > 36) radix = 10;
    uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    char digits[33];
    int count = 0;
    do {
        uint32_t digit = magnitude % static_cast<uint32_t>(radix);
        digits[count++] = static_cast<char>(digit < 10 ? '0' + digit : 'a' + (digit - 10));
        magnitude /= static_cast<uint32_t>(radix);
    } while (magnitude != 0);
    char* out = buffer;
    if (value < 0) *out++ = '-';
    while (count > 0) *out++ = digits[--count];
    *out = '\0';
    return buffer;
}

void MultiplyUnsigned64To128(uint64_t a, uint64_t b, UInt128* product) {
    unsigned __int128 full = static_cast<unsigned __int128>(a) * b;
    product->low = static_cast<uint64_t>(full);
    product->high = static_cast<uint64_t>(full >> 64);
}

void DivideUnsigned128By64(const UInt128* dividend, uint64_t divisor, UInt128* quotient) {
    if (divisor == 0) {
        quotient->low = quotient->high = ~0ull;
        return;
    }
    unsigned __int128 value = (static_cast<unsigned __int128>(dividend->high) << 64) | dividend->low;
    unsigned __int128 result = value / divisor;
    quotient->low = static_cast<uint64_t>(result);
    quotient->high = static_cast<uint64_t>(result >> 64);
}
