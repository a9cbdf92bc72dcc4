// The generated best-fit table against Qt's own Unicode data, for the whole Basic
// Multilingual Plane: a character 1251 lacks becomes the letter its canonical decomposition
// begins with, when 1251 has that letter, and nothing else has a best fit.
#include "platform/Cp1251.h"

#include <QChar>
#include <QString>

#include <gtest/gtest.h>

namespace {

TEST(BestFit, FollowsTheCanonicalDecompositionAcrossThePlane)
{
    int fits = 0;
    for (char32_t u = 0; u < 0x10000; ++u) {
        if (u >= 0xD800 && u <= 0xDFFF) continue;
        const char16_t unit = static_cast<char16_t>(u);
        const int own = UnicodeToCp1251(unit);
        int expected = own;
        if (own < 0) {
            const QString s{QChar(unit)};
            const QString d = s.normalized(QString::NormalizationForm_D);
            if (d != s && d.at(0).isLetter()) expected = UnicodeToCp1251(d.at(0).unicode());
        }
        ASSERT_EQ(UnicodeToCp1251BestFit(unit), expected) << std::hex << static_cast<unsigned>(u);
        fits += own < 0 && expected >= 0;
    }
    EXPECT_GT(fits, 400); // Latin letters with marks, Cyrillic ones, signs such as K and Å
}

} // namespace
