// UTF-8 to code page 1251: never fails, never grows, keeps 1251 text whole, and the loads'
// fast conversion gives the same bytes without writing past its room.
#include "db/FastTextConv.h"
#include "db/TextConv.h"
#include "platform/Cp1251.h"
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string in(reinterpret_cast<const char*>(data), size);
    const std::string out = utf8_to_ansi(in);
    // One code point takes at least one byte and gives at most one 1251 byte.
    if (out.size() > in.size())
        std::abort();
    // The fuzzer's own buffer has exactly its size: a read past the text shows.
    const std::string_view exact(reinterpret_cast<const char*>(data), size);
    std::string fast;
    utf8_to_ansi_fast(exact, fast);
    if (fast != out)
        std::abort();
    // A buffer of exactly the promised room, so that the sanitizer sees any write past it;
    // on every code path this processor has.
    const auto room = std::make_unique<char[]>(size + kConvertSlack);
    for (TextConvSteps steps : {TextConvSteps::Plain, TextConvSteps::Sse, TextConvSteps::Avx2, TextConvSteps::Avx512}) {
        if (!UseTextConvSteps(steps)) continue;
        size_t length = 0, zero = 0;
        if (utf8_to_ansi_into(exact, room.get(), length, zero) &&
            (std::string(room.get(), length) != out || zero != out.find('\0')))
            std::abort();
    }
    UseTextConvSteps(TextConvSteps::Best);
    // Text that came from 1251 goes back to the same bytes.
    std::string ansi;
    for (unsigned char c : in)
        if (c != 0x98)   // the one byte 1251 leaves undefined
            ansi.push_back(static_cast<char>(c));
    if (utf8_to_ansi(Cp1251ToUtf8(ansi)) != ansi)
        std::abort();
    return 0;
}
