// UTF-8 to code page 1251: never fails, never grows, and keeps 1251 text whole.
#include "db/TextConv.h"
#include "platform/Cp1251.h"
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string in(reinterpret_cast<const char*>(data), size);
    const std::string out = utf8_to_ansi(in);
    // One code point takes at least one byte and gives at most one 1251 byte.
    if (out.size() > in.size())
        std::abort();
    // Text that came from 1251 goes back to the same bytes.
    std::string ansi;
    for (unsigned char c : in)
        if (c != 0x98)   // the one byte 1251 leaves undefined
            ansi.push_back(static_cast<char>(c));
    if (utf8_to_ansi(Cp1251ToUtf8(ansi)) != ansi)
        std::abort();
    return 0;
}
