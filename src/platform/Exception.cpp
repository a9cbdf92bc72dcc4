#include "platform/Exception.h"

AnsiString FormatMessage(const AnsiString& pattern, std::initializer_list<AnsiString> args)
{
    AnsiString out;
    out.reserve(pattern.size() + 32);
    auto next = args.begin();
    for (size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c == '%' && i + 1 < pattern.size()) {
            const char k = pattern[i + 1];
            if (k == 's') {
                if (next != args.end())
                    out += *next++;
                ++i;
                continue;
            }
            if (k == '%') {
                out += '%';
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}
