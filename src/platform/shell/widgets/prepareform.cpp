#include "platform/shell/widgets/prepareform.h"

#include <QLayout>
#include <QScreen>

#include <cmath>

namespace vidora {

double FormScaleFactor(int screenDpi, int formDpi)
{
    if (screenDpi <= 0 || formDpi <= 0 || screenDpi == formDpi)
        return 1.0;
    return double(screenDpi) / double(formDpi);
}

namespace {

QRect scaled(const QRect &rect, double factor)
{
    return QRect(int(std::lround(rect.x() * factor)), int(std::lround(rect.y() * factor)),
                 int(std::lround(rect.width() * factor)), int(std::lround(rect.height() * factor)));
}

// True when a layout of `parent` places `child`.
bool placedByLayout(const QWidget *parent, QWidget *child)
{
    return parent->layout() && parent->layout()->indexOf(child) >= 0;
}

void scaleChildren(QWidget *parent, double factor)
{
    for (QWidget *child : parent->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (child->isWindow())
            continue;
        if (!placedByLayout(parent, child))
            child->setGeometry(scaled(child->geometry(), factor));
        scaleChildren(child, factor);
    }
}

} // namespace

void PrepareForm(QWidget *form, int formDpi)
{
    if (!form)
        return;
    QFont font = form->font();
    font.setFamily(QStringLiteral("Arial"));
    form->setFont(font);

    const QScreen *screen = form->screen();
    const double factor =
        FormScaleFactor(screen ? int(std::lround(screen->logicalDotsPerInch())) : 0, formDpi);
    if (factor == 1.0)
        return;
    form->resize(int(std::lround(form->width() * factor)),
                 int(std::lround(form->height() * factor)));
    scaleChildren(form, factor);
}

} // namespace vidora
