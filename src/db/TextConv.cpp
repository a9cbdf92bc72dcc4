#include "db/TextConv.h"
#include "platform/WinText.h"

std::u16string& utf8_to_wide(const std::string& in, std::u16string& out)
{
    const int n = static_cast<int>(in.size());
    // n bytes of UTF-8 never give more than n UTF-16 units; the retry is a safeguard.
    out.assign(static_cast<size_t>(n) + 1, u'\0');
    int r;
    for (;;) {
        r = MultiByteToWideChar(CP_UTF8, 0, in.data(), n, out.data(), static_cast<int>(out.size()));
        if (r == 0 && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
            out.assign(out.size() * 2, u'\0');
            continue;
        }
        break;
    }
    out.resize(static_cast<size_t>(r));
    return out;
}

std::string& wide_to_ansi(const std::u16string& in, std::string& out)
{
    if (in.empty())
        return out;
    const int n = static_cast<int>(in.size());
    const int m = WideCharToMultiByte(CP_ACP, 0, in.data(), n, nullptr, 0, nullptr, nullptr);
    if (m == 0)
        return out;
    out.resize(static_cast<size_t>(m));
    if (WideCharToMultiByte(CP_ACP, 0, in.data(), n, out.data(), m, nullptr, nullptr) == 0)
        out.clear();
    return out;
}

std::string& utf8_to_ansi(const std::string& in, std::string& out)
{
    // Loads convert every text column of every row: the UTF-16 buffer is reused rather than
    // allocated per call. It carries nothing from one call to the next (step 1 refills it).
    thread_local std::u16string wide;
    utf8_to_wide(in, wide);
    return wide_to_ansi(wide, out);
}

std::string utf8_to_ansi(const std::string& in)
{
    std::string out;
    utf8_to_ansi(in, out);
    return out;
}
