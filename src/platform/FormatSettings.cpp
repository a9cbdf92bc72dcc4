#include "platform/FormatSettings.h"

TFormatSettings& FormatSettings()
{
    static TFormatSettings settings;
    return settings;
}
