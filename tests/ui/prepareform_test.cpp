// Preparing a window: the program's font, and the scale of a window laid out
// at another density than its screen's.
#include "platform/shell/widgets/prepareform.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace vidora;

TEST(PrepareForm, ScaleFactor)
{
    EXPECT_EQ(FormScaleFactor(96, 96), 1.0);
    EXPECT_EQ(FormScaleFactor(144, 96), 1.5);
    EXPECT_EQ(FormScaleFactor(96, 120), 0.8);
    EXPECT_EQ(FormScaleFactor(0, 96), 1.0);
    EXPECT_EQ(FormScaleFactor(96, 0), 1.0);
}

TEST(PrepareForm, SetsTheFontAndScalesWhatNoLayoutPlaces)
{
    QWidget form;
    QFont font(QStringLiteral("Liberation Serif"), 11);
    form.setFont(font);
    form.resize(200, 100);
    auto *free = new QLabel(QStringLiteral("x"), &form);
    free->setGeometry(10, 20, 40, 30);

    const int screenDpi = int(std::lround(form.screen()->logicalDotsPerInch()));
    PrepareForm(&form, screenDpi); // laid out for this very screen: no scaling
    EXPECT_EQ(form.font().family(), QStringLiteral("Arial"));
    EXPECT_EQ(form.font().pointSize(), 11);
    EXPECT_EQ(free->font().family(), QStringLiteral("Arial")) << "children inherit the font";
    EXPECT_EQ(form.size(), QSize(200, 100));
    EXPECT_EQ(free->geometry(), QRect(10, 20, 40, 30));

    // Laid out at half the screen's density: twice as large.
    PrepareForm(&form, screenDpi / 2);
    const double f = FormScaleFactor(screenDpi, screenDpi / 2);
    EXPECT_EQ(form.width(), int(std::lround(200 * f)));
    EXPECT_EQ(free->geometry().topLeft(),
              QPoint(int(std::lround(10 * f)), int(std::lround(20 * f))));
}

} // namespace
