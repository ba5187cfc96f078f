// wsprintfA and wvsprintfA of the host layer: user32's own formatter, not
// the C library's. "l" means 32 bits (a Windows long), "h" 16 bits; there is
// no floating point; the output stops at 1024 characters.
#include <cstring>

#include "hostwin.h"

namespace {

constexpr int kMaxOutput = 1024;

struct Out {
    char* p;
    int n = 0;
    void Put(char c) {
        if (n < kMaxOutput) p[n++] = c;
    }
};

void PutField(Out& out, const char* text, int length, int width, bool left, char pad) {
    if (!left)
        for (int i = length; i < width; ++i) out.Put(pad);
    for (int i = 0; i < length; ++i) out.Put(text[i]);
    if (left)
        for (int i = length; i < width; ++i) out.Put(' ');
}

}  // namespace

int WINAPI wvsprintfA(LPSTR lpOut, LPCSTR lpFmt, va_list arglist) {
    if (lpOut == nullptr) return 0;
    Out out{lpOut};
    if (lpFmt == nullptr) {
        lpOut[0] = '\0';
        return 0;
    }
    va_list ap;
    va_copy(ap, arglist);
    for (const char* f = lpFmt; *f != '\0'; ++f) {
        if (*f != '%') {
            out.Put(*f);
            continue;
        }
        ++f;
        if (*f == '%') {
            out.Put('%');
            continue;
        }
        bool left = false, alternate = false;
        char pad = ' ';
        for (;; ++f) {
            if (*f == '-') {
                left = true;
            } else if (*f == '#') {
                alternate = true;
            } else if (*f == '0') {
                pad = '0';
            } else {
                break;
            }
        }
        int width = 0;
        while (*f >= '0' && *f <= '9') width = width * 10 + (*f++ - '0');
        int precision = -1;
        if (*f == '.') {
            precision = 0;
            ++f;
            while (*f >= '0' && *f <= '9') precision = precision * 10 + (*f++ - '0');
        }
        bool half = false;
        if (*f == 'l') {
            ++f;
        } else if (*f == 'h') {
            half = true;
            ++f;
        }
        char buf[40];
        int len = 0;
        switch (*f) {
            case 'c':
            case 'C': {
                const char c = static_cast<char>(va_arg(ap, int));
                PutField(out, &c, 1, width, left, pad);
                break;
            }
            case 's':
            case 'S': {
                const char* s = va_arg(ap, const char*);
                if (s == nullptr) s = "(null)";
                len = static_cast<int>(std::strlen(s));
                if (precision >= 0 && len > precision) len = precision;
                PutField(out, s, len, width, left, ' ');
                break;
            }
            case 'd':
            case 'i':
            case 'u':
            case 'x':
            case 'X': {
                const bool is_signed = *f == 'd' || *f == 'i';
                uint32_t v = va_arg(ap, uint32_t);
                if (half) v = is_signed ? static_cast<uint32_t>(static_cast<int16_t>(v)) : (v & 0xFFFF);
                bool negative = false;
                uint32_t magnitude = v;
                if (is_signed && static_cast<int32_t>(v) < 0) {
                    negative = true;
                    magnitude = 0u - v;
                }
                const unsigned base = (*f == 'x' || *f == 'X') ? 16 : 10;
                const char* digits = *f == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
                char rev[16];
                int nd = 0;
                do {
                    rev[nd++] = digits[magnitude % base];
                    magnitude /= base;
                } while (magnitude != 0);
                while (nd < precision) rev[nd++] = '0';
                if (alternate && base == 16 && v != 0) {
                    buf[len++] = '0';
                    buf[len++] = *f;
                }
                if (negative) buf[len++] = '-';
                // Zero padding goes between the sign and the digits.
                if (pad == '0' && !left)
                    for (int i = len + nd; i < width; ++i) buf[len++] = '0';
                while (nd > 0) buf[len++] = rev[--nd];
                PutField(out, buf, len, width, left, ' ');
                break;
            }
            case '\0':
                --f;
                break;
            default:
                out.Put(*f);
                break;
        }
    }
    va_end(ap);
    lpOut[out.n] = '\0';
    return out.n;
}

int WINAPIV wsprintfA(LPSTR lpOut, LPCSTR lpFmt, ...) {
    va_list ap;
    va_start(ap, lpFmt);
    const int n = wvsprintfA(lpOut, lpFmt, ap);
    va_end(ap);
    return n;
}
