#pragma once

// A plain action for the tests of the actions and of the windows that list
// them. Header only: the support library sits below the settings library.
#include "settings/superactions.h"

#include <QKeySequence>
#include <QString>

namespace vidora::test {

inline TSuperAction *MakeSuperAction(QObject *owner, const QString &name, const QString &caption,
                                     const QString &key, const QString &switchName,
                                     const QString &token)
{
    auto *action = new TSuperAction(owner);
    action->setObjectName(name);
    action->setCaption(caption);
    action->setShortCut(QKeySequence(key));
    action->setSwitch(switchName);
    action->setToken(token);
    return action;
}

} // namespace vidora::test
