#include "engine/wire/Utf8.h"

namespace korvel
{

std::string_view CutUtf8(std::string_view text, std::size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return text;
    // Step back over at most three continuation bytes (the most a UTF-8 character has); bytes that are not
    // UTF-8 at all are then cut where the limit falls instead of losing the whole string.
    std::size_t cut = maxBytes;
    for (int step = 0; step < 3 && cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80; ++step)
        --cut;
    if ((static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        cut = maxBytes;
    return text.substr(0, cut);
}

} // namespace korvel
